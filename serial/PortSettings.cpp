#include "serial/PortSettings.h"

#include <charconv>

namespace {
constexpr int kFlowMaxIndex = 1;
const std::string kSection = "Settings";
} // namespace

int CProfile::ReadNumber(const std::string &strSection, const std::string &strKey, int nDefault)
{
    const std::optional<std::string> strValue = ReadString(strSection, strKey);
    if (!strValue || strValue->empty())
        return nDefault;
    const char *pBegin = strValue->data();
    const char *pEnd = pBegin + strValue->size();
    if (*pBegin == '+')
        ++pBegin;
    int nValue = 0;
    const auto [pStop, error] = std::from_chars(pBegin, pEnd, nValue);
    if (error != std::errc() || pStop != pEnd)
        return nDefault;
    return nValue;
}

void CProfile::WriteNumber(const std::string &strSection, const std::string &strKey, int nValue)
{
    WriteString(strSection, strKey, std::to_string(nValue));
}

CPortSettings CPortSettings::Load(CProfile &profile, int nPortCount)
{
    CPortSettings settings;
    settings.m_nPortNum = profile.ReadNumber(kSection, "PortNum", 0);
    settings.m_nFlow = profile.ReadNumber(kSection, "Flow", 0);
    settings.m_strPortName = profile.ReadString(kSection, "PortName").value_or(std::string());
    // Compared unsigned, so a negative stored value falls back as well.
    if (static_cast<unsigned>(settings.m_nPortNum) >= static_cast<unsigned>(nPortCount))
        settings.m_nPortNum = 0;
    if (static_cast<unsigned>(settings.m_nFlow) > static_cast<unsigned>(kFlowMaxIndex))
        settings.m_nFlow = 0;
    settings.m_nBaud = profile.ReadNumber(kSection, "Baud", static_cast<int>(kDefaultLineRate));
    if (settings.m_nBaud != static_cast<int>(kAutoLineRate) &&
        (settings.m_nBaud < 0 || !IsLineRate(static_cast<uint32_t>(settings.m_nBaud))))
        settings.m_nBaud = static_cast<int>(kDefaultLineRate);
    settings.m_bDtr = profile.ReadNumber(kSection, "Dtr", 1) != 0;
    settings.m_bRts = profile.ReadNumber(kSection, "Rts", 1) != 0;
    return settings;
}

void CPortSettings::Save(CProfile &profile) const
{
    // Both choices are written on every OK, even when unchanged.
    profile.WriteNumber(kSection, "PortNum", m_nPortNum);
    profile.WriteNumber(kSection, "Flow", m_nFlow);
    profile.WriteNumber(kSection, "Baud", m_nBaud);
    if (m_strPortName.empty())
        profile.Remove(kSection, "PortName");
    else
        profile.WriteString(kSection, "PortName", m_strPortName);
    profile.Flush();
}
