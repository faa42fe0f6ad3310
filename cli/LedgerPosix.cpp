// The ledger's file on POSIX systems: an advisory lock (flock) held while it is open keeps a
// second Kestrel out, and fsync puts every record on the disk before it counts.

#include "cli/Ledger.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t kReadChunkBytes = 64 * 1024;

std::string OpenFailureText(const std::string &strPath, int nErrno)
{
    std::string strText = "cannot open the ledger " + strPath + ": " + std::strerror(nErrno);
    if (nErrno == EACCES || nErrno == EROFS || nErrno == EPERM)
        strText += " (the ledger must be writable, and its folder too when it does not exist yet)";
    return strText;
}

// A new file's name is part of its folder: without this a crash could lose the whole ledger.
void SyncFolderOf(const std::string &strPath)
{
    std::filesystem::path folder = std::filesystem::path(strPath).parent_path();
    if (folder.empty())
        folder = ".";
    const int nFolder = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (nFolder >= 0) {
        ::fsync(nFolder);
        ::close(nFolder);
    }
}

} // namespace

CLedgerFile::~CLedgerFile()
{
    if (m_nHandle >= 0)
        ::close(static_cast<int>(m_nHandle)); // drops the lock
}

bool CLedgerFile::Open(const std::string &strPath, std::string &strError)
{
    m_strPath = strPath;
    const int nFile = ::open(strPath.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (nFile < 0) {
        strError = OpenFailureText(strPath, errno);
        return false;
    }
    struct stat status = {};
    if (::fstat(nFile, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(nFile);
        strError = "cannot open the ledger " + strPath + ": not a regular file";
        return false;
    }
    if (::flock(nFile, LOCK_EX | LOCK_NB) != 0) {
        const int nErrno = errno;
        ::close(nFile);
        strError = nErrno == EWOULDBLOCK
                       ? "the ledger " + strPath + " is in use by another Kestrel"
                       : "cannot lock the ledger " + strPath + ": " + std::strerror(nErrno);
        return false;
    }
    m_nHandle = nFile;
    SyncFolderOf(strPath);
    return true;
}

bool CLedgerFile::ReadAll(std::string &strText, std::string &strError)
{
    strText.clear();
    std::string strChunk(kReadChunkBytes, '\0');
    for (;;) {
        const ssize_t nRead = ::pread(static_cast<int>(m_nHandle), strChunk.data(), strChunk.size(),
                                      static_cast<off_t>(strText.size()));
        if (nRead < 0 && errno == EINTR)
            continue;
        if (nRead < 0) {
            strError = "cannot read the ledger " + m_strPath + ": " + std::strerror(errno);
            return false;
        }
        if (nRead == 0)
            return true;
        strText.append(strChunk.data(), static_cast<size_t>(nRead));
    }
}

bool CLedgerFile::AppendDurably(std::string_view bytes, std::string &strError)
{
    const int nFile = static_cast<int>(m_nHandle);
    while (!bytes.empty()) {
        const ssize_t nWritten = ::write(nFile, bytes.data(), bytes.size());
        if (nWritten < 0 && errno == EINTR)
            continue;
        if (nWritten <= 0) {
            strError = "cannot write to the ledger " + m_strPath + ": " +
                       std::strerror(nWritten < 0 ? errno : EIO);
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(nWritten));
    }
    if (::fsync(nFile) != 0) {
        strError = "cannot flush the ledger " + m_strPath + " to the disk: " + std::strerror(errno);
        return false;
    }
    return true;
}
