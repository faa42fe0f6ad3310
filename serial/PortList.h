#pragma once

#include <string>
#include <vector>

// One serial device of this system and what the system knows of it; texts are UTF-8, any of them
// may be empty.
struct CSerialPortEntry
{
    std::string strPath; // what opens it: /dev/ttyUSB0, COM7
    // The product, or on Windows the friendly name, "USB-SERIAL CH340 (COM7)".
    std::string strDescription = {};
    std::string strManufacturer = {};
    std::string strUsbId = {}; // "1a86:7523", vendor:product in hex, for USB devices
    std::string strSerialNumber = {};
    std::string strById = {};   // /dev/serial/by-id/...: follows the adapter to whatever node
    std::string strByPath = {}; // /dev/serial/by-path/...: follows the socket it is plugged into
};

// Where the system's facts are read; tests point these at a made-up tree.
struct CPortListRoots
{
    std::string strSys = "/sys";
    std::string strDev = "/dev";
};

// The system's serial devices, in name order (COM2 before COM10, ttyS2 before ttyS10).
std::vector<CSerialPortEntry> ListSerialPorts(const CPortListRoots &roots = {});
