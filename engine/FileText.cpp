#include "engine/FileText.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <system_error>

std::filesystem::path PathFromUtf8(const std::string &strPath)
{
    return std::filesystem::path(std::u8string(strPath.begin(), strPath.end()));
}

bool ReadFileBounded(const std::string &strPath, size_t nMaxBytes, std::string &strText,
                     std::string &strError, bool *pbTooLarge)
{
    if (pbTooLarge != nullptr)
        *pbTooLarge = false;
    const std::filesystem::path path = PathFromUtf8(strPath);
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        strError = "cannot read the file: it is a directory";
        return false;
    }
    errno = 0;
    std::ifstream file(path, std::ios::binary);
    const int nOpenErrno = errno;
    // At most one byte beyond the limit is read, whatever the file claims to hold (a pipe or a
    // device names no size).
    strText.assign(nMaxBytes + 1, '\0');
    if (file)
        file.read(strText.data(), static_cast<std::streamsize>(strText.size()));
    if (!file.is_open() || file.bad()) {
        strError = std::string("cannot read the file: ") +
                   (file.is_open() ? "read error"
                                   : std::strerror(nOpenErrno ? nOpenErrno : ENOENT));
        return false;
    }
    strText.resize(static_cast<size_t>(file.gcount()));
    if (strText.size() > nMaxBytes) {
        constexpr size_t kMiB = 1024 * 1024;
        const std::string strBound = nMaxBytes % kMiB == 0
                                         ? std::to_string(nMaxBytes / kMiB) + " MiB"
                                         : std::to_string(nMaxBytes / 1024) + " KiB";
        strError = "cannot read the file: larger than " + strBound + " (" +
                   std::to_string(nMaxBytes) + " bytes)";
        if (pbTooLarge != nullptr)
            *pbTooLarge = true;
        return false;
    }
    return true;
}

bool WriteFileReplacing(const std::string &strPath, const std::string &strText,
                        std::string &strError)
{
    const std::filesystem::path path = PathFromUtf8(strPath);
    std::filesystem::path aside = path;
    aside += ".kestrel-new";
    {
        errno = 0;
        std::ofstream file(aside, std::ios::binary | std::ios::trunc);
        if (file)
            file.write(strText.data(), static_cast<std::streamsize>(strText.size()));
        file.flush();
        if (!file) {
            const int nErrno = errno;
            file.close();
            std::error_code ignored;
            std::filesystem::remove(aside, ignored);
            strError = std::strerror(nErrno ? nErrno : EIO);
            return false;
        }
    }
    std::error_code error;
    std::filesystem::rename(aside, path, error);
    if (error) {
        std::error_code ignored;
        std::filesystem::remove(aside, ignored);
        strError = error.message();
        return false;
    }
    return true;
}
