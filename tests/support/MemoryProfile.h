#pragma once

#include "serial/PortSettings.h"

#include <map>
#include <optional>
#include <string>

// A profile in memory, each value kept under "Section/Key". bTrimsLikeWindows reads values back
// as GetPrivateProfileString does: blanks at the ends dropped, then enclosing quotes.
class CMemoryProfile : public CProfile
{
public:
    CMemoryProfile() = default;
    // Starts with these values, by key, in one section.
    CMemoryProfile(const std::string &strSection, const std::map<std::string, std::string> &values)
    {
        for (const auto &[strKey, strValue] : values)
            m_values[strSection + "/" + strKey] = strValue;
    }

    std::optional<std::string> ReadString(const std::string &strSection,
                                          const std::string &strKey) override
    {
        const auto it = m_values.find(strSection + "/" + strKey);
        if (it == m_values.end())
            return std::nullopt;
        std::string strValue = it->second;
        if (m_bTrimsLikeWindows) {
            strValue.erase(0, strValue.find_first_not_of(' '));
            strValue.erase(strValue.find_last_not_of(' ') + 1);
            if (strValue.size() >= 2 && strValue.front() == strValue.back() &&
                (strValue.front() == '"' || strValue.front() == '\''))
                strValue = strValue.substr(1, strValue.size() - 2);
        }
        return strValue;
    }
    void WriteString(const std::string &strSection, const std::string &strKey,
                     const std::string &strValue) override
    {
        m_values[strSection + "/" + strKey] = strValue;
    }
    void Remove(const std::string &strSection, const std::string &strKey) override
    {
        m_values.erase(strSection + "/" + strKey);
    }

    std::map<std::string, std::string> m_values;
    bool m_bTrimsLikeWindows = false;
};
