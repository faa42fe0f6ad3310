#pragma once

#include <filesystem>
#include <random>
#include <string>

// A folder of its own for one test or benchmark, removed with everything in it at the end.
class CTempFolder
{
public:
    CTempFolder() { std::filesystem::create_directories(m_path); }
    ~CTempFolder() { std::filesystem::remove_all(m_path, m_error); }

    CTempFolder(const CTempFolder &) = delete;
    CTempFolder &operator=(const CTempFolder &) = delete;

    const std::filesystem::path &Path() const { return m_path; }
    std::string File(const std::string &strName) const { return (m_path / strName).string(); }

private:
    std::filesystem::path m_path = std::filesystem::temp_directory_path() /
                                   ("kestrel-test-" + std::to_string(std::random_device()()));
    std::error_code m_error;
};
