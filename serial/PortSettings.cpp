#include "serial/PortSettings.h"

#include <QSettings>

namespace {
constexpr int kFlowMaxIndex = 1;
const QString kOrganization = QStringLiteral("Kestrel");
const QString kApplication = QStringLiteral("Kestrel");
} // namespace

CPortSettings CPortSettings::Load(int nPortCount)
{
    QSettings profile(QSettings::IniFormat, QSettings::UserScope, kOrganization, kApplication);
    CPortSettings settings;
    settings.m_nPortNum = profile.value(QStringLiteral("Settings/PortNum"), 0).toInt();
    settings.m_nFlow = profile.value(QStringLiteral("Settings/Flow"), 0).toInt();
    settings.m_strPortName = profile.value(QStringLiteral("Settings/PortName")).toString();
    // Compared unsigned, so a negative stored value falls back as well.
    if (static_cast<unsigned>(settings.m_nPortNum) >= static_cast<unsigned>(nPortCount))
        settings.m_nPortNum = 0;
    if (static_cast<unsigned>(settings.m_nFlow) > static_cast<unsigned>(kFlowMaxIndex))
        settings.m_nFlow = 0;
    return settings;
}

void CPortSettings::Save() const
{
    QSettings profile(QSettings::IniFormat, QSettings::UserScope, kOrganization, kApplication);
    profile.setValue(QStringLiteral("Settings/PortNum"), m_nPortNum);
    profile.setValue(QStringLiteral("Settings/Flow"), m_nFlow);
    if (m_strPortName.isEmpty())
        profile.remove(QStringLiteral("Settings/PortName"));
    else
        profile.setValue(QStringLiteral("Settings/PortName"), m_strPortName);
    profile.sync();
}
