// COM ports as Windows knows them. The device manager's ports class gives each port's friendly
// name, maker and hardware ids; every serial driver also enters its ports under
// HARDWARE\DEVICEMAP\SERIALCOMM (device object name -> "COMn"), which catches ports of drivers
// that install no device; the DOS device names starting with COM, and under Wine the prefix's
// dosdevices links, add any port still missing.

#include "serial/PortList.h"

#include <algorithm>
#include <cstdlib>
#include <cwctype>
#include <windows.h>

#include <setupapi.h> // needs windows.h first

namespace {

// The device setup class "Ports (COM & LPT)"; spelled out so that no GUID library is needed.
const GUID kPortsClass = {
    0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

constexpr wchar_t kSerialCommKey[] = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr DWORD kDosNamesBytes = 64 * 1024;

std::string ToUtf8(const std::wstring &strWide)
{
    const int nWide = static_cast<int>(strWide.size());
    const int nBytes =
        WideCharToMultiByte(CP_UTF8, 0, strWide.data(), nWide, nullptr, 0, nullptr, nullptr);
    std::string strUtf8(static_cast<size_t>(std::max(nBytes, 0)), '\0');
    if (nBytes > 0)
        WideCharToMultiByte(CP_UTF8, 0, strWide.data(), nWide, strUtf8.data(), nBytes, nullptr,
                            nullptr);
    return strUtf8;
}

std::wstring DeviceText(HDEVINFO hDevices, SP_DEVINFO_DATA &device, DWORD dwProperty)
{
    wchar_t achText[512] = {};
    DWORD dwType = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(hDevices, &device, dwProperty, &dwType,
                                           reinterpret_cast<BYTE *>(achText),
                                           sizeof(achText) - sizeof(wchar_t), nullptr) ||
        (dwType != REG_SZ && dwType != REG_MULTI_SZ))
        return {};
    return achText; // a multi-string's first entry
}

std::wstring PortNameOf(HDEVINFO hDevices, SP_DEVINFO_DATA &device)
{
    const HKEY hKey =
        SetupDiOpenDevRegKey(hDevices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (hKey == INVALID_HANDLE_VALUE)
        return {};
    wchar_t achName[64] = {};
    DWORD dwBytes = sizeof(achName) - sizeof(wchar_t);
    DWORD dwType = 0;
    const LONG nResult = RegQueryValueExW(hKey, L"PortName", nullptr, &dwType,
                                          reinterpret_cast<BYTE *>(achName), &dwBytes);
    RegCloseKey(hKey);
    return nResult == ERROR_SUCCESS && dwType == REG_SZ ? std::wstring(achName) : std::wstring();
}

// "USB\VID_1A86&PID_7523&REV_0254" -> "1a86:7523".
std::string UsbIdOf(const std::wstring &strHardwareId)
{
    const size_t nVid = strHardwareId.find(L"VID_");
    const size_t nPid = strHardwareId.find(L"PID_");
    if (nVid == std::wstring::npos || nPid == std::wstring::npos)
        return {};
    std::wstring strId =
        strHardwareId.substr(nVid + 4, 4) + L":" + strHardwareId.substr(nPid + 4, 4);
    for (wchar_t &ch : strId)
        ch = static_cast<wchar_t>(std::towlower(ch));
    return ToUtf8(strId);
}

// A USB device's instance id ends in its serial number, unless Windows made one up (it has a '&').
std::string SerialNumberOf(HDEVINFO hDevices, SP_DEVINFO_DATA &device)
{
    wchar_t achId[512] = {};
    if (!SetupDiGetDeviceInstanceIdW(hDevices, &device, achId, ARRAYSIZE(achId), nullptr))
        return {};
    const std::wstring strId(achId);
    const size_t nLast = strId.rfind(L'\\');
    if (strId.rfind(L"USB\\", 0) != 0 || nLast == std::wstring::npos ||
        strId.find(L'&', nLast) != std::wstring::npos)
        return {};
    return ToUtf8(strId.substr(nLast + 1));
}

std::vector<CSerialPortEntry> FromDeviceManager()
{
    std::vector<CSerialPortEntry> ports;
    const HDEVINFO hDevices = SetupDiGetClassDevsW(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
    if (hDevices == INVALID_HANDLE_VALUE)
        return ports;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    for (DWORD dwIndex = 0; SetupDiEnumDeviceInfo(hDevices, dwIndex, &device); ++dwIndex) {
        const std::wstring strPort = PortNameOf(hDevices, device);
        if (strPort.size() <= 3 || _wcsnicmp(strPort.c_str(), L"COM", 3) != 0)
            continue; // a printer port of the same class
        CSerialPortEntry entry;
        entry.strPath = ToUtf8(strPort);
        entry.strDescription = ToUtf8(DeviceText(hDevices, device, SPDRP_FRIENDLYNAME));
        if (entry.strDescription.empty())
            entry.strDescription = ToUtf8(DeviceText(hDevices, device, SPDRP_DEVICEDESC));
        entry.strManufacturer = ToUtf8(DeviceText(hDevices, device, SPDRP_MFG));
        entry.strUsbId = UsbIdOf(DeviceText(hDevices, device, SPDRP_HARDWAREID));
        entry.strSerialNumber = SerialNumberOf(hDevices, device);
        ports.push_back(std::move(entry));
    }
    SetupDiDestroyDeviceInfoList(hDevices);
    return ports;
}

// Reads one value of the open key; false when there are no more.
bool ReadValue(HKEY hKey, DWORD dwIndex, CSerialPortEntry &entry)
{
    wchar_t achName[256];
    wchar_t achData[256];
    DWORD dwNameChars = ARRAYSIZE(achName);
    DWORD dwDataBytes = sizeof(achData) - sizeof(wchar_t);
    DWORD dwType = 0;
    const LONG nResult = RegEnumValueW(hKey, dwIndex, achName, &dwNameChars, nullptr, &dwType,
                                       reinterpret_cast<BYTE *>(achData), &dwDataBytes);
    if (nResult == ERROR_NO_MORE_ITEMS)
        return false;
    entry = {};
    if (nResult == ERROR_SUCCESS && dwType == REG_SZ) {
        achData[dwDataBytes / sizeof(wchar_t)] = L'\0';
        entry.strPath = ToUtf8(achData);
        entry.strDescription = ToUtf8(std::wstring(achName, dwNameChars));
    }
    return true;
}

std::vector<CSerialPortEntry> FromRegistry()
{
    std::vector<CSerialPortEntry> ports;
    HKEY hKey = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSerialCommKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return ports;
    CSerialPortEntry entry;
    for (DWORD dwIndex = 0; ReadValue(hKey, dwIndex, entry); ++dwIndex) {
        if (!entry.strPath.empty())
            ports.push_back(entry);
    }
    RegCloseKey(hKey);
    return ports;
}

std::vector<CSerialPortEntry> FromDosDevices()
{
    std::vector<CSerialPortEntry> ports;
    std::string strNames(kDosNamesBytes, '\0');
    const DWORD dwChars = QueryDosDeviceA(nullptr, strNames.data(), kDosNamesBytes);
    for (size_t nStart = 0; nStart < dwChars && strNames[nStart] != '\0';) {
        const std::string strName(strNames.c_str() + nStart);
        if (strName.size() > 3 && _strnicmp(strName.c_str(), "COM", 3) == 0 &&
            strName.find_first_not_of("0123456789", 3) == std::string::npos)
            ports.push_back({strName, {}});
        nStart += strName.size() + 1;
    }
    return ports;
}

// Under Wine a port is mapped by a link in the prefix's dosdevices folder ("com7" -> a tty), which
// neither the registry nor the DOS device list shows; the folder itself is read. Elsewhere the two
// functions Wine adds to kernel32 are missing and nothing is added.
std::vector<CSerialPortEntry> FromWineDosDevices()
{
    using UnixNameOf = char *(CDECL *)(const wchar_t *);
    using DosNameOf = wchar_t *(CDECL *)(const char *);
    const HMODULE hKernel = GetModuleHandleW(L"kernel32");
    const auto pfnUnixName = reinterpret_cast<UnixNameOf>(
        reinterpret_cast<void (*)()>(GetProcAddress(hKernel, "wine_get_unix_file_name")));
    const auto pfnDosName = reinterpret_cast<DosNameOf>(
        reinterpret_cast<void (*)()>(GetProcAddress(hKernel, "wine_get_dos_file_name")));
    std::vector<CSerialPortEntry> ports;
    if (pfnUnixName == nullptr || pfnDosName == nullptr)
        return ports;
    // Drive C: is itself such a link: "<prefix>/dosdevices/c:/".
    char *pszDrive = pfnUnixName(L"C:\\");
    const std::string strDrive = pszDrive != nullptr ? pszDrive : "";
    HeapFree(GetProcessHeap(), 0, pszDrive);
    const size_t nFolderEnd = strDrive.rfind("/dosdevices/");
    if (nFolderEnd == std::string::npos)
        return ports;
    wchar_t *pszFolder = pfnDosName(strDrive.substr(0, nFolderEnd + 11).c_str());
    const std::wstring strPattern =
        pszFolder != nullptr ? std::wstring(pszFolder) + L"\\com*" : L"";
    HeapFree(GetProcessHeap(), 0, pszFolder);
    WIN32_FIND_DATAW found{};
    const HANDLE hFind =
        strPattern.empty() ? INVALID_HANDLE_VALUE : FindFirstFileW(strPattern.c_str(), &found);
    if (hFind == INVALID_HANDLE_VALUE)
        return ports;
    do {
        std::string strName = ToUtf8(found.cFileName);
        if (strName.size() > 3 && strName.find_first_not_of("0123456789", 3) == std::string::npos) {
            strName.replace(0, 3, "COM");
            ports.push_back({strName});
        }
    } while (FindNextFileW(hFind, &found));
    FindClose(hFind);
    return ports;
}

// The n of "COMn", 0 for any other name.
long PortNumber(const std::string &strPath)
{
    return strPath.size() > 3 ? std::strtol(strPath.c_str() + 3, nullptr, 10) : 0;
}

// COM2 before COM10.
bool ComesBefore(const CSerialPortEntry &a, const CSerialPortEntry &b)
{
    const long nA = PortNumber(a.strPath);
    const long nB = PortNumber(b.strPath);
    return nA != nB ? nA < nB : a.strPath < b.strPath;
}

} // namespace

std::vector<CSerialPortEntry> ListSerialPorts(const CPortListRoots &)
{
    // Each source adds the ports the ones before it did not know, with what it knows of them.
    std::vector<CSerialPortEntry> ports = FromDeviceManager();
    for (const auto &source : {FromRegistry(), FromDosDevices(), FromWineDosDevices()}) {
        for (const CSerialPortEntry &found : source) {
            const bool bKnown =
                std::any_of(ports.begin(), ports.end(), [&](const CSerialPortEntry &port) {
                    return _stricmp(port.strPath.c_str(), found.strPath.c_str()) == 0;
                });
            if (!bKnown)
                ports.push_back(found);
        }
    }
    std::sort(ports.begin(), ports.end(), ComesBefore);
    return ports;
}
