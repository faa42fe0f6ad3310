// COM ports as Windows registers them: every serial driver enters its ports under
// HARDWARE\DEVICEMAP\SERIALCOMM (device object name -> "COMn"). Where that key is missing, the
// DOS device names starting with COM are taken instead.

#include "cli/PortList.h"

#include <algorithm>
#include <cstdlib>
#include <windows.h>

namespace {

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
        if (strName.size() > 3 && _strnicmp(strName.c_str(), "COM", 3) == 0)
            ports.push_back({strName, {}});
        nStart += strName.size() + 1;
    }
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

std::vector<CSerialPortEntry> ListSerialPorts()
{
    std::vector<CSerialPortEntry> ports = FromRegistry();
    if (ports.empty())
        ports = FromDosDevices();
    std::sort(ports.begin(), ports.end(), ComesBefore);
    return ports;
}
