#pragma once

#include "serial/PortSettings.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

// The profile as Windows keeps it: %APPDATA%\Kestrel\Kestrel.ini, through the profile functions.
// (The program's own folder is not writable once installed.) The file is kept in UTF-16, so that
// a value in any script (a console command, a port's name) reads back as it was written.
class CProfileWin32 : public CProfile
{
public:
    // Each write goes to the file as it is made, or (Batched) all at Flush and at the latest when
    // the object goes: the file is then rewritten once for each section, where the profile
    // functions rewrite it for each key (a hundred keys took half a second under Wine).
    enum class EWrites { Immediate, Batched };

    explicit CProfileWin32(EWrites eWrites = EWrites::Immediate) : m_eWrites(eWrites) {}
    ~CProfileWin32() override { Flush(); }

    CProfileWin32(const CProfileWin32 &) = delete;
    CProfileWin32 &operator=(const CProfileWin32 &) = delete;

    // The profile file; its folder is made on the way.
    static std::wstring ProfilePath();

    std::optional<std::string> ReadString(const std::string &strSection,
                                          const std::string &strKey) override;
    void WriteString(const std::string &strSection, const std::string &strKey,
                     const std::string &strValue) override;
    void Remove(const std::string &strSection, const std::string &strKey) override;
    void Flush() override;

private:
    // A write not yet made: the value, or nothing for a key to remove.
    struct CPendingWrite
    {
        std::wstring strKey;
        std::optional<std::wstring> value;
    };

    void Write(const std::string &strSection, const std::string &strKey,
               std::optional<std::string> value);
    const CPendingWrite *Pending(const std::string &strSection, const std::string &strKey) const;
    // Before the first write through this object: the file made UTF-16 if it is not yet.
    void MakeUnicodeOnce();

    EWrites m_eWrites = EWrites::Immediate;
    bool m_bUnicodeChecked = false;
    std::map<std::wstring, std::vector<CPendingWrite>> m_pending; // by section, in order made
};
