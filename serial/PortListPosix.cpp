// Serial devices as the kernel describes them: every tty in /sys/class/tty that has a device behind
// it, the USB device above it for the ids and names, and the links udev keeps under /dev/serial.

#include "serial/PortList.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>

namespace fs = std::filesystem;

namespace {
// tty, interface, USB device: the USB device is at most this far above the tty's device.
constexpr int kUsbSearchDepth = 4;

std::string ReadAttribute(const fs::path &file)
{
    std::ifstream stream(file);
    std::string strValue;
    std::getline(stream, strValue);
    while (!strValue.empty() && std::isspace(static_cast<unsigned char>(strValue.back())))
        strValue.pop_back();
    return strValue;
}

fs::path Canonical(const fs::path &path)
{
    std::error_code error;
    fs::path resolved = fs::canonical(path, error);
    return error ? fs::path() : resolved;
}

// An 8250 driver registers a node for every port it might have; type 0 means none is there.
bool IsPlaceholder(const fs::path &ttyDir)
{
    std::error_code error;
    return fs::exists(ttyDir / "type", error) && ReadAttribute(ttyDir / "type") == "0";
}

void ReadUsbFacts(const fs::path &device, CSerialPortEntry &entry)
{
    fs::path dir = Canonical(device);
    for (int nDepth = 0; nDepth < kUsbSearchDepth && !dir.empty() && dir.has_relative_path();
         ++nDepth, dir = dir.parent_path()) {
        std::error_code error;
        if (!fs::exists(dir / "idVendor", error))
            continue;
        entry.strUsbId = ReadAttribute(dir / "idVendor") + ":" + ReadAttribute(dir / "idProduct");
        entry.strSerialNumber = ReadAttribute(dir / "serial");
        entry.strManufacturer = ReadAttribute(dir / "manufacturer");
        entry.strDescription = ReadAttribute(dir / "product");
        return;
    }
}

// Each device node the links in one folder of /dev/serial lead to, with the first link's name.
std::map<fs::path, std::string> LinksIn(const fs::path &folder)
{
    std::map<fs::path, std::string> links;
    std::error_code error;
    std::vector<fs::path> names;
    for (const fs::directory_entry &link : fs::directory_iterator(folder, error))
        names.push_back(link.path());
    std::sort(names.begin(), names.end());
    for (const fs::path &name : names) {
        const fs::path target = Canonical(name);
        if (!target.empty())
            links.emplace(target, name.string());
    }
    return links;
}

// "ttyS2" before "ttyS10": the letters, then the number.
bool ComesBefore(const std::string &strA, const std::string &strB)
{
    const auto split = [](const std::string &strName) {
        size_t nDigits = strName.size();
        while (nDigits > 0 && std::isdigit(static_cast<unsigned char>(strName[nDigits - 1])))
            --nDigits;
        const std::string strNumber = strName.substr(nDigits);
        return std::make_tuple(strName.substr(0, nDigits), strNumber.size(), strNumber);
    };
    return split(strA) < split(strB);
}
} // namespace

std::vector<CSerialPortEntry> ListSerialPorts(const CPortListRoots &roots)
{
    std::vector<std::string> names;
    std::error_code error;
    const fs::path classDir = fs::path(roots.strSys) / "class" / "tty";
    for (const fs::directory_entry &tty : fs::directory_iterator(classDir, error)) {
        std::error_code linkError;
        if (fs::exists(tty.path() / "device", linkError) && !IsPlaceholder(tty.path()))
            names.push_back(tty.path().filename().string());
    }
    std::sort(names.begin(), names.end(), ComesBefore);

    const fs::path dev(roots.strDev);
    const std::map<fs::path, std::string> byId = LinksIn(dev / "serial" / "by-id");
    const std::map<fs::path, std::string> byPath = LinksIn(dev / "serial" / "by-path");
    std::vector<CSerialPortEntry> ports;
    for (const std::string &strName : names) {
        CSerialPortEntry entry;
        entry.strPath = (dev / strName).string();
        ReadUsbFacts(classDir / strName / "device", entry);
        const fs::path node = Canonical(dev / strName);
        if (const auto found = byId.find(node); !node.empty() && found != byId.end())
            entry.strById = found->second;
        if (const auto found = byPath.find(node); !node.empty() && found != byPath.end())
            entry.strByPath = found->second;
        ports.push_back(std::move(entry));
    }
    return ports;
}
