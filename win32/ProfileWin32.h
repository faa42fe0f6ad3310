#pragma once

#include "serial/PortSettings.h"

#include <string>

// The profile as Windows keeps it: %APPDATA%\Kestrel\Kestrel.ini, through the profile functions.
// (The program's own folder is not writable once installed.)
class CProfileWin32 : public CProfile
{
public:
    // The profile file; its folder is made on the way.
    static std::wstring ProfilePath();

    std::optional<std::string> ReadString(const std::string &strSection,
                                          const std::string &strKey) override;
    void WriteString(const std::string &strSection, const std::string &strKey,
                     const std::string &strValue) override;
    void Remove(const std::string &strSection, const std::string &strKey) override;
};
