#pragma once

#include <chrono>
#include <filesystem>
#include <random>
#include <string>

// A folder of its own for one test, removed with everything in it at the end.
class CTempFolder
{
public:
    CTempFolder()
    {
        std::random_device random;
        m_path = std::filesystem::temp_directory_path() /
                 ("kestrel-test-" + std::to_string(random()) + "-" +
                  std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        std::filesystem::create_directories(m_path);
    }
    ~CTempFolder()
    {
        std::error_code error;
        std::filesystem::remove_all(m_path, error);
    }
    CTempFolder(const CTempFolder &) = delete;
    CTempFolder &operator=(const CTempFolder &) = delete;

    std::string File(const std::string &strName) const { return (m_path / strName).string(); }

private:
    std::filesystem::path m_path;
};
