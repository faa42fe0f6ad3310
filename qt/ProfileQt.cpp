#include "qt/ProfileQt.h"

namespace {
QString KeyPath(const std::string &strSection, const std::string &strKey)
{
    return QString::fromStdString(strSection + '/' + strKey);
}
} // namespace

CProfileQt::CProfileQt()
    : m_settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Kestrel"),
                 QStringLiteral("Kestrel"))
{
}

std::optional<std::string> CProfileQt::ReadString(const std::string &strSection,
                                                  const std::string &strKey)
{
    const QVariant value = m_settings.value(KeyPath(strSection, strKey));
    if (!value.isValid())
        return std::nullopt;
    return value.toString().toStdString();
}

void CProfileQt::WriteString(const std::string &strSection, const std::string &strKey,
                             const std::string &strValue)
{
    m_settings.setValue(KeyPath(strSection, strKey), QString::fromStdString(strValue));
}

void CProfileQt::Remove(const std::string &strSection, const std::string &strKey)
{
    m_settings.remove(KeyPath(strSection, strKey));
}

void CProfileQt::Flush()
{
    m_settings.sync();
}
