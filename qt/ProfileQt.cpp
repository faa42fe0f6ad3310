#include "qt/ProfileQt.h"

#include <QSettings>

namespace {
QSettings UserProfile()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Kestrel"),
                     QStringLiteral("Kestrel"));
}

QString KeyPath(const std::string &strSection, const std::string &strKey)
{
    return QString::fromStdString(strSection + '/' + strKey);
}
} // namespace

std::optional<std::string> CProfileQt::ReadString(const std::string &strSection,
                                                  const std::string &strKey)
{
    const QVariant value = UserProfile().value(KeyPath(strSection, strKey));
    if (!value.isValid())
        return std::nullopt;
    return value.toString().toStdString();
}

void CProfileQt::WriteString(const std::string &strSection, const std::string &strKey,
                             const std::string &strValue)
{
    UserProfile().setValue(KeyPath(strSection, strKey), QString::fromStdString(strValue));
}

void CProfileQt::Remove(const std::string &strSection, const std::string &strKey)
{
    UserProfile().remove(KeyPath(strSection, strKey));
}

void CProfileQt::Flush()
{
    UserProfile().sync();
}
