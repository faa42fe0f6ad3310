#pragma once

#include <filesystem>
#include <random>
#include <string>

// A folder of its own for one test, removed with everything in it at the end.
class CTempFolder
{
public:
    CTempFolder() { std::filesystem::create_directories(m_path); }
    ~CTempFolder() { std::filesystem::remove_all(m_path, m_error); }

    std::string File(const std::string &strName) const { return (m_path / strName).string(); }

private:
    std::filesystem::path m_path = std::filesystem::temp_directory_path() /
                                   ("kestrel-test-" + std::to_string(std::random_device()()));
    std::error_code m_error;
};
