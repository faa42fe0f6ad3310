#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

// Small text files the user names (configuration files, scripts), by a UTF-8 path on every
// system.
std::filesystem::path PathFromUtf8(const std::string &strPath);

// The most a file the user hands in may hold: far beyond any real one, and bounded so that a
// wrong file (a log, a device) is refused before it is read whole.
constexpr size_t kMaxUserFileBytes = 1024 * 1024;

// Reads a whole file of at most nMaxBytes; false with the reason (English) otherwise, and
// *pbTooLarge (when given) says whether the reason is the size: a caller may then say what kind
// of file the user must have meant to give.
bool ReadFileBounded(const std::string &strPath, size_t nMaxBytes, std::string &strText,
                     std::string &strError, bool *pbTooLarge = nullptr);

// Writes the file aside and renames it into place, so a failed write never leaves half a file
// where a good one was; false with the reason (English).
bool WriteFileReplacing(const std::string &strPath, const std::string &strText,
                        std::string &strError);
