#pragma once

#include "serial/PortSettings.h"

// The profile as QSettings keeps it: the user's Kestrel.ini under the configuration folder
// (~/.config/Kestrel/Kestrel.ini).
class CProfileQt : public CProfile
{
public:
    std::optional<std::string> ReadString(const std::string &strSection,
                                          const std::string &strKey) override;
    void WriteString(const std::string &strSection, const std::string &strKey,
                     const std::string &strValue) override;
    void Remove(const std::string &strSection, const std::string &strKey) override;
    void Flush() override;
};
