#pragma once

#include <cstddef>
#include <string>

// The most a file that the tool reads whole may hold (configuration files, command scripts):
// ample for either, and small enough that a wrong file (an image, a device) is not read at all.
inline constexpr size_t kMaxReadFileBytes = 1024 * 1024;

// A whole file's bytes, or why they were not read.
struct CBoundedFileRead
{
    bool bOk = false;
    bool bTooLarge = false;
    std::string strText;
    std::string strError; // "cannot read the file: ..."
};

// Reads at most one byte beyond nMaxBytes, whatever the file claims to hold (a pipe or a device
// names no size), so a larger one is refused without being read whole.
CBoundedFileRead ReadBoundedFile(const std::string &strPath, size_t nMaxBytes = kMaxReadFileBytes);
