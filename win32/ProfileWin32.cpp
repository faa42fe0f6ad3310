#include "win32/ProfileWin32.h"

#include "win32/Win32Common.h"

#include <algorithm>
#include <shlobj.h>
#include <string_view>

namespace {
// Profile lines are short; a longer value is read no further than this.
constexpr DWORD kValueChars = 1024;
// A profile larger than this is no profile of ours: it is left as it is.
constexpr DWORD kMaxProfileBytes = 1024 * 1024;
constexpr std::string_view kUtf16Mark = "\xFF\xFE";
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// The whole file, or nothing when it cannot be read or is too large.
std::optional<std::string> ReadWholeFile(const std::wstring &strPath)
{
    const HANDLE hFile = CreateFileW(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::optional<std::string> bytes;
    const DWORD nSize = GetFileSize(hFile, nullptr);
    if (nSize != INVALID_FILE_SIZE && nSize <= kMaxProfileBytes) {
        std::string strBytes(nSize, '\0');
        DWORD nRead = 0;
        if (ReadFile(hFile, strBytes.data(), nSize, &nRead, nullptr) && nRead == nSize)
            bytes = std::move(strBytes);
    }
    CloseHandle(hFile);
    return bytes;
}

// The file's text as UTF-16 with its byte-order mark: UTF-8 after a UTF-8 mark, else the
// system's code page, as the profile functions read a file without a mark.
std::wstring Utf16FileText(std::string_view strBytes)
{
    UINT nCodePage = CP_ACP;
    if (strBytes.starts_with(kUtf8Mark)) {
        strBytes.remove_prefix(kUtf8Mark.size());
        nCodePage = CP_UTF8;
    }
    std::wstring strText(1, L'\xFEFF');
    const int nChars = MultiByteToWideChar(nCodePage, 0, strBytes.data(),
                                           static_cast<int>(strBytes.size()), nullptr, 0);
    if (nChars <= 0)
        return strText;
    strText.resize(1 + static_cast<size_t>(nChars));
    MultiByteToWideChar(nCodePage, 0, strBytes.data(), static_cast<int>(strBytes.size()),
                        strText.data() + 1, nChars);
    return strText;
}

bool WriteWholeFile(const std::wstring &strPath, const std::wstring &strText)
{
    const HANDLE hFile = CreateFileW(strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    const auto nBytes = static_cast<DWORD>(strText.size() * sizeof(wchar_t));
    DWORD nWritten = 0;
    const BOOL bWritten = WriteFile(hFile, strText.data(), nBytes, &nWritten, nullptr);
    return CloseHandle(hFile) && bWritten && nWritten == nBytes;
}

// The section's lines ("key=value") as the file holds them.
std::vector<std::wstring> SectionLines(const std::wstring &strSection, const std::wstring &strPath)
{
    std::wstring strBlock(4096, L'\0');
    for (;;) {
        const DWORD nSize = static_cast<DWORD>(strBlock.size());
        const DWORD nChars =
            GetPrivateProfileSectionW(strSection.c_str(), strBlock.data(), nSize, strPath.c_str());
        if (nChars + 2 < nSize || nSize >= kMaxProfileBytes) {
            strBlock.resize(nChars);
            break;
        }
        strBlock.resize(static_cast<size_t>(nSize) * 2); // cut short: read again with more room
    }
    std::vector<std::wstring> lines;
    for (size_t nStart = 0; nStart < strBlock.size();) {
        const size_t nEnd = std::min(strBlock.find(L'\0', nStart), strBlock.size());
        if (nEnd > nStart)
            lines.push_back(strBlock.substr(nStart, nEnd - nStart));
        nStart = nEnd + 1;
    }
    return lines;
}

// The key of a line, compared as the profile functions compare keys: without regard to case.
bool LineHasKey(const std::wstring &strLine, const std::wstring &strKey)
{
    const std::wstring strLineKey = strLine.substr(0, strLine.find(L'='));
    return lstrcmpiW(strLineKey.c_str(), strKey.c_str()) == 0;
}

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
    if (const CPendingWrite *pWrite = Pending(strSection, strKey))
        return pWrite->value ? std::optional<std::string>(Utf8FromWide(*pWrite->value))
                             : std::nullopt;
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
    Write(strSection, strKey, strValue);
}

void CProfileWin32::Remove(const std::string &strSection, const std::string &strKey)
{
    Write(strSection, strKey, std::nullopt);
}

void CProfileWin32::Write(const std::string &strSection, const std::string &strKey,
                          std::optional<std::string> value)
{
    const std::wstring strWideKey = WideFromUtf8(strKey);
    const std::optional<std::wstring> wideValue =
        value ? std::optional<std::wstring>(WideFromUtf8(*value)) : std::nullopt;
    if (m_eWrites == EWrites::Batched) {
        m_pending[WideFromUtf8(strSection)].push_back({strWideKey, wideValue});
        return;
    }
    MakeUnicodeOnce();
    WritePrivateProfileStringW(WideFromUtf8(strSection).c_str(), strWideKey.c_str(),
                               wideValue ? wideValue->c_str() : nullptr, ProfilePath().c_str());
}

// The latest write to that key still waiting for Flush, if any.
const CProfileWin32::CPendingWrite *CProfileWin32::Pending(const std::string &strSection,
                                                           const std::string &strKey) const
{
    const auto section = m_pending.find(WideFromUtf8(strSection));
    if (section == m_pending.end())
        return nullptr;
    const std::wstring strWideKey = WideFromUtf8(strKey);
    for (auto write = section->second.rbegin(); write != section->second.rend(); ++write) {
        if (lstrcmpiW(write->strKey.c_str(), strWideKey.c_str()) == 0)
            return &*write;
    }
    return nullptr;
}

// Each section written is read, changed and written back whole. A key already there keeps its
// place; a new one goes at the section's end.
void CProfileWin32::Flush()
{
    if (m_pending.empty())
        return;
    MakeUnicodeOnce();
    const std::wstring strPath = ProfilePath();
    for (const auto &[strSection, writes] : m_pending) {
        std::vector<std::wstring> lines = SectionLines(strSection, strPath);
        for (const CPendingWrite &write : writes) {
            const auto line = std::find_if(lines.begin(), lines.end(), [&](const auto &strLine) {
                return LineHasKey(strLine, write.strKey);
            });
            if (!write.value && line != lines.end())
                lines.erase(line);
            else if (write.value && line != lines.end())
                *line = write.strKey + L"=" + *write.value;
            else if (write.value)
                lines.push_back(write.strKey + L"=" + *write.value);
        }
        std::wstring strBlock;
        for (const std::wstring &strLine : lines)
            strBlock += strLine + L'\0';
        strBlock += L'\0';
        WritePrivateProfileSectionW(strSection.c_str(), strBlock.c_str(), strPath.c_str());
    }
    m_pending.clear();
}

// The profile functions write UTF-16 only into a file that begins with its byte-order mark; any
// other file they write in the system's code page, where a character it lacks becomes "?" (a
// command typed in Chinese would come back as another command). A file of an earlier run is
// carried over whole, through a copy that replaces it only once written.
void CProfileWin32::MakeUnicodeOnce()
{
    if (m_bUnicodeChecked)
        return;
    m_bUnicodeChecked = true;
    const std::wstring strPath = ProfilePath();
    const std::optional<std::string> bytes = ReadWholeFile(strPath);
    if (bytes && bytes->starts_with(kUtf16Mark))
        return;
    const bool bExists = GetFileAttributesW(strPath.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (bExists && !bytes)
        return; // unreadable or too large: the profile functions deal with it as ever
    const std::wstring strText = Utf16FileText(bytes.value_or(std::string()));
    const std::wstring strCopy = strPath + L".new";
    if (!WriteWholeFile(strCopy, strText) ||
        !MoveFileExW(strCopy.c_str(), strPath.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        DeleteFileW(strCopy.c_str());
}
