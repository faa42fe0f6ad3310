#pragma once

#include <cstdint>
#include <string>

// The module's nineteen parameters. Texts are GBK bytes as the module exchanges them; numbers of
// the scan and Sniff groups and the baud rate are decimal texts, compared as texts.
struct ModuleParams
{
    std::string Name;
    std::string Version;
    std::string Class;
    std::string Baud;
    // -1 until the module has reported them, so a Set before the first reading sends them.
    int32_t Parity = -1;
    int32_t StopBits = -1;
    int32_t Auth = -1;
    int32_t Role = -1;
    int32_t Bind = -1;
    std::string Password;
    std::string ConnInterval;
    std::string ConnDuration;
    std::string InqInterval;
    std::string InqDuration;
    std::string SniffMax;
    std::string SniffMin;
    std::string SniffAttempt;
    std::string SniffTimeout;
    std::string BindAddr;

    bool operator==(const ModuleParams &) const = default;
};
