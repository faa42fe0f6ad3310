// The ledger's file on Windows: a lock (LockFileEx) held while it is open keeps a second Kestrel
// out, and FlushFileBuffers puts every record on the disk before it counts. The lock covers one
// byte far past any real record, so that others can still read the ledger while it is held.

#include "cli/Ledger.h"
#include "engine/FileText.h"

#include <windows.h>

namespace {

constexpr DWORD kLockOffsetHigh = 0x40000000; // byte 2^62
constexpr DWORD kReadChunkBytes = 64 * 1024;

HANDLE HandleOf(intptr_t nHandle)
{
    return reinterpret_cast<HANDLE>(nHandle);
}

// The system's words for an error, in English where it can (the command line's language).
std::string ErrorText(DWORD dwError)
{
    char achText[256] = {};
    const DWORD dwLength = FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, dwError,
        MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), achText, sizeof(achText), nullptr);
    std::string strText(achText, dwLength);
    while (!strText.empty() && (strText.back() == '\n' || strText.back() == '\r' ||
                                strText.back() == '.' || strText.back() == ' '))
        strText.pop_back();
    return strText.empty() ? "error " + std::to_string(dwError) : strText;
}

std::string OpenFailureText(const std::string &strPath, DWORD dwError)
{
    std::string strText = "cannot open the ledger " + strPath + ": " + ErrorText(dwError);
    if (dwError == ERROR_ACCESS_DENIED || dwError == ERROR_WRITE_PROTECT)
        strText += " (the ledger must be writable, and its folder too when it does not exist yet)";
    return strText;
}

} // namespace

CLedgerFile::~CLedgerFile()
{
    if (m_nHandle != -1)
        CloseHandle(HandleOf(m_nHandle)); // drops the lock
}

bool CLedgerFile::Open(const std::string &strPath, std::string &strError)
{
    m_strPath = strPath;
    const HANDLE hFile = CreateFileW(PathFromUtf8(strPath).c_str(), GENERIC_READ | FILE_APPEND_DATA,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) {
        strError = OpenFailureText(strPath, GetLastError());
        return false;
    }
    if (GetFileType(hFile) != FILE_TYPE_DISK) {
        CloseHandle(hFile);
        strError = "cannot open the ledger " + strPath + ": not a file";
        return false;
    }
    OVERLAPPED lockAt = {};
    lockAt.OffsetHigh = kLockOffsetHigh;
    if (!LockFileEx(hFile, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &lockAt)) {
        const DWORD dwError = GetLastError();
        CloseHandle(hFile);
        strError = dwError == ERROR_LOCK_VIOLATION || dwError == ERROR_IO_PENDING
                       ? "the ledger " + strPath + " is in use by another Kestrel"
                       : "cannot lock the ledger " + strPath + ": " + ErrorText(dwError);
        return false;
    }
    m_nHandle = reinterpret_cast<intptr_t>(hFile);
    return true;
}

bool CLedgerFile::ReadAll(std::string &strText, std::string &strError)
{
    strText.clear();
    std::string strChunk(kReadChunkBytes, '\0');
    for (;;) {
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(strText.size() & 0xFFFFFFFFu);
        at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(strText.size()) >> 32);
        DWORD dwRead = 0;
        if (!ReadFile(HandleOf(m_nHandle), strChunk.data(), kReadChunkBytes, &dwRead, &at)) {
            const DWORD dwError = GetLastError();
            if (dwError == ERROR_HANDLE_EOF)
                return true;
            strError = "cannot read the ledger " + m_strPath + ": " + ErrorText(dwError);
            return false;
        }
        if (dwRead == 0)
            return true;
        strText.append(strChunk.data(), dwRead);
    }
}

bool CLedgerFile::AppendDurably(std::string_view bytes, std::string &strError)
{
    while (!bytes.empty()) {
        DWORD dwWritten = 0;
        if (!WriteFile(HandleOf(m_nHandle), bytes.data(), static_cast<DWORD>(bytes.size()),
                       &dwWritten, nullptr) ||
            dwWritten == 0) {
            strError = "cannot write to the ledger " + m_strPath + ": " + ErrorText(GetLastError());
            return false;
        }
        bytes.remove_prefix(dwWritten);
    }
    if (!FlushFileBuffers(HandleOf(m_nHandle))) {
        strError =
            "cannot flush the ledger " + m_strPath + " to the disk: " + ErrorText(GetLastError());
        return false;
    }
    return true;
}
