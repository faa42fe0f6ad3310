#pragma once

#include <string>
#include <vector>

// One serial device of this system, as "kestrel-cli ports" lists it.
struct CSerialPortEntry
{
    std::string strPath;        // what --port takes
    std::string strDescription; // UTF-8; may be empty
};

// The system's serial devices; COM ports in number order.
std::vector<CSerialPortEntry> ListSerialPorts();
