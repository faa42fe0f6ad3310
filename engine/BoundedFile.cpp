#include "engine/BoundedFile.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

CBoundedFileRead ReadBoundedFile(const std::string &strPath, size_t nMaxBytes)
{
    CBoundedFileRead result;
    std::error_code error;
    if (std::filesystem::is_directory(strPath, error)) {
        result.strError = "cannot read the file: it is a directory";
        return result;
    }
    std::ifstream file(strPath, std::ios::binary);
    const int nOpenErrno = errno;
    std::string strText(nMaxBytes + 1, '\0');
    if (file)
        file.read(strText.data(), static_cast<std::streamsize>(strText.size()));
    if (!file.is_open() || file.bad()) {
        result.strError = std::string("cannot read the file: ") +
                          (file.is_open() ? "read error" : std::strerror(nOpenErrno));
        return result;
    }
    strText.resize(static_cast<size_t>(file.gcount()));
    if (strText.size() > nMaxBytes) {
        result.bTooLarge = true;
        result.strError = "cannot read the file: larger than " +
                          (nMaxBytes == kMaxReadFileBytes ? std::string("1 MiB (") : "(") +
                          std::to_string(nMaxBytes) + " bytes)";
        return result;
    }
    result.bOk = true;
    result.strText = std::move(strText);
    return result;
}
