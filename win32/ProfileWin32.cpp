#include "win32/ProfileWin32.h"

#include "win32/Win32Common.h"

#include <shlobj.h>

namespace {
// Profile lines are short; a longer value is read no further than this.
constexpr DWORD kValueChars = 1024;
} // namespace

std::wstring CProfileWin32::ProfilePath()
{
    wchar_t szAppData[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, szAppData)))
        return L"Kestrel.ini"; // no profile folder at all: the working directory's file
    std::wstring strFolder = std::wstring(szAppData) + L"\\Kestrel";
    CreateDirectoryW(strFolder.c_str(), nullptr); // already there is fine
    return strFolder + L"\\Kestrel.ini";
}

std::optional<std::string> CProfileWin32::ReadString(const std::string &strSection,
                                                     const std::string &strKey)
{
    // A default no value can hold tells a missing key from an empty one.
    const wchar_t *pMissing = L"\x1\x2";
    std::wstring strValue(kValueChars, L'\0');
    const DWORD nChars = GetPrivateProfileStringW(
        WideFromUtf8(strSection).c_str(), WideFromUtf8(strKey).c_str(), pMissing, strValue.data(),
        kValueChars, ProfilePath().c_str());
    strValue.resize(nChars);
    if (strValue == pMissing)
        return std::nullopt;
    return Utf8FromWide(strValue);
}

void CProfileWin32::WriteString(const std::string &strSection, const std::string &strKey,
                                const std::string &strValue)
{
    WritePrivateProfileStringW(WideFromUtf8(strSection).c_str(), WideFromUtf8(strKey).c_str(),
                               WideFromUtf8(strValue).c_str(), ProfilePath().c_str());
}

void CProfileWin32::Remove(const std::string &strSection, const std::string &strKey)
{
    WritePrivateProfileStringW(WideFromUtf8(strSection).c_str(), WideFromUtf8(strKey).c_str(),
                               nullptr, ProfilePath().c_str());
}
