// Serial devices as Qt SerialPort finds them (udev and sysfs on Linux).

#include "cli/PortList.h"

#include <QSerialPortInfo>

std::vector<CSerialPortEntry> ListSerialPorts()
{
    std::vector<CSerialPortEntry> ports;
    for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts())
        ports.push_back({port.systemLocation().toStdString(), port.description().toStdString()});
    return ports;
}
