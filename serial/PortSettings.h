#pragma once

#include "serial/SerialLink.h"

#include <optional>
#include <string>

// The user's profile, Kestrel.ini: where each window keeps what the user chose between runs.
// Each front end stores it its own way (QSettings on Linux, the profile functions of Windows);
// what is kept and how a bad value falls back is decided once, here. Texts are UTF-8.
class CProfile
{
public:
    virtual ~CProfile() = default;
    virtual std::optional<std::string> ReadString(const std::string &strSection,
                                                  const std::string &strKey) = 0;
    virtual void WriteString(const std::string &strSection, const std::string &strKey,
                             const std::string &strValue) = 0;
    virtual void Remove(const std::string &strSection, const std::string &strKey) = 0;
    // Written through before the call returns, so another process sees it.
    virtual void Flush() {}

    // A whole decimal number, optionally signed; anything else (missing, junk, out of range)
    // gives nDefault.
    int ReadNumber(const std::string &strSection, const std::string &strKey, int nDefault);
    void WriteNumber(const std::string &strSection, const std::string &strKey, int nValue);
};

// The port and flow-control choice remembered between runs, section [Settings].
class CPortSettings
{
public:
    // Reads the saved choice; an index outside the lists (negative ones included) becomes 0.
    static CPortSettings Load(CProfile &profile, int nPortCount);
    void Save(CProfile &profile) const;

    int m_nPortNum = 0;         // zero-based index in the port list
    int m_nFlow = 0;            // zero-based index in the flow list: 0 none, 1 hardware
    std::string m_strPortName;  // the chosen device path, empty when not to be kept; finds the
                                // device when the list reorders
    // The line rate: one of kLineRates, or kAutoLineRate for "自动检测"; a missing or unknown
    // value gives kDefaultLineRate.
    int m_nBaud = static_cast<int>(kDefaultLineRate);
    // Whether DTR and RTS are raised while the port is open: keys "Dtr" and "Rts", 1 or 0,
    // anything else 1. Kept only in the profile; no dialog writes them.
    bool m_bDtr = true;
    bool m_bRts = true;
};
