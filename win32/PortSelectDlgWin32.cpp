#include "win32/PortSelectDlgWin32.h"

#include "protocol/AtProtocol.h"
#include "res/resource.h"
#include "serial/PortList.h"
#include "serial/SerialLink.h"
#include "win32/ProfileWin32.h"
#include "win32/Win32Common.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cwchar>

namespace {
constexpr int kPortCount = 50; // COM1 to COM50 are always offered, and kept by their index
const std::string kEntrySeparator = "  ";
const std::string kDevicePrefix = "\\\\.\\";
// Posted to show the start of the chosen entry once the combo box has put it in its field.
constexpr UINT kShowEntryStartMessage = WM_APP + 1;

std::wstring Wide(const std::string &strUtf8)
{
    const int nChars = MultiByteToWideChar(CP_UTF8, 0, strUtf8.c_str(), -1, nullptr, 0);
    std::wstring strWide(static_cast<size_t>(std::max(nChars, 1)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, strUtf8.c_str(), -1, strWide.data(), nChars);
    strWide.resize(strWide.size() - 1);
    return strWide;
}

std::string Utf8(const std::wstring &strWide)
{
    const int nBytes =
        WideCharToMultiByte(CP_UTF8, 0, strWide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string strUtf8(static_cast<size_t>(std::max(nBytes, 1)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, strWide.c_str(), -1, strUtf8.data(), nBytes, nullptr, nullptr);
    strUtf8.resize(strUtf8.size() - 1);
    return strUtf8;
}

// "COM7", "com7" and "\\.\COM7" give 7; any other name 0.
int ComNumber(const std::string &strName)
{
    std::string strPort = strName.rfind(kDevicePrefix, 0) == 0 ? strName.substr(4) : strName;
    if (strPort.size() <= 3 || _strnicmp(strPort.c_str(), "COM", 3) != 0 ||
        strPort.find_first_not_of("0123456789", 3) != std::string::npos)
        return 0;
    return std::atoi(strPort.c_str() + 3);
}

// A registry entry's device object name ("\Device\Serial0") tells a user nothing.
std::string ShownDescription(const CSerialPortEntry &port)
{
    return port.strDescription.rfind('\\', 0) == 0 ? std::string() : port.strDescription;
}
} // namespace

INT_PTR CPortSelectDlgWin32::DoModal()
{
    const INT_PTR nResult = DialogBoxParamW(m_hInstance, MAKEINTRESOURCEW(IDD_PORTSELECT), nullptr,
                                            DialogProc, reinterpret_cast<LPARAM>(this));
    if (m_hIcon != nullptr)
        DestroyIcon(m_hIcon);
    if (m_hSmallIcon != nullptr)
        DestroyIcon(m_hSmallIcon);
    m_hIcon = m_hSmallIcon = nullptr;
    return nResult == IDOK ? IDOK : IDCANCEL;
}

INT_PTR CALLBACK CPortSelectDlgWin32::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG)
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    auto *pThis = reinterpret_cast<CPortSelectDlgWin32 *>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (pThis == nullptr)
        return FALSE;
    switch (message) {
        HANDLE_DLGMSG(hwnd, WM_INITDIALOG, pThis->OnInitDialog);
        HANDLE_DLGMSG(hwnd, WM_COMMAND, pThis->OnCommand);
    case kShowEntryStartMessage:
        pThis->ShowEntryStart();
        return TRUE;
    default:
        return FALSE;
    }
}

BOOL CPortSelectDlgWin32::OnInitDialog(HWND hwnd, HWND, LPARAM)
{
    m_hWnd = hwnd;
    TranslateDialog(hwnd, "PortDialog");
    // Its own taskbar button (it has no parent), so it carries the program's icon.
    m_hIcon =
        static_cast<HICON>(LoadImageW(m_hInstance, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    m_hSmallIcon = static_cast<HICON>(LoadImageW(m_hInstance, MAKEINTRESOURCEW(IDR_MAINFRAME),
                                                 IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                 GetSystemMetrics(SM_CYSMICON), 0));
    SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hSmallIcon));

    // Compared unsigned, so negative stored values fall back as well.
    CProfileWin32 profile;
    const CPortSettings settings = CPortSettings::Load(profile, kPortCount);
    m_nPort = settings.m_nPortNum;
    m_nFlow = settings.m_nFlow;
    FillPortList(settings.m_strPortName);

    const HWND hFlow = GetDlgItem(hwnd, IDC_COMBO_FLOW);
    const struct
    {
        const char *pText;
        int nMode;
    } aFlows[] = {{KESTREL_TR_NOOP("PortDialog", "无"), FLOW_NONE},
                  {KESTREL_TR_NOOP("PortDialog", "硬件"), FLOW_HARDWARE}};
    for (const auto &flow : aFlows) {
        const int nIndex = ComboBox_AddString(hFlow, TrWide("PortDialog", flow.pText).c_str());
        ComboBox_SetItemData(hFlow, nIndex, flow.nMode);
    }
    ComboBox_SetCurSel(hFlow, m_nFlow);

    // The PC's line rate: "自动检测" (0), then the rates; each entry's data is its rate.
    const HWND hRate = GetDlgItem(hwnd, IDC_COMBO_LINERATE);
    ComboBox_SetItemData(hRate, ComboBox_AddString(hRate, TrWide("PortDialog", "自动检测").c_str()), kAutoLineRate);
    for (const char *pszRate : BaudRateList) {
        wchar_t szRate[16] = {};
        std::swprintf(szRate, 16, L"%hs", pszRate);
        const int nIndex = ComboBox_AddString(hRate, szRate);
        ComboBox_SetItemData(hRate, nIndex, std::strtoul(pszRate, nullptr, 10));
        if (std::strtoul(pszRate, nullptr, 10) == static_cast<unsigned long>(settings.m_nBaud))
            ComboBox_SetCurSel(hRate, nIndex);
    }
    if (settings.m_nBaud == static_cast<int>(kAutoLineRate))
        ComboBox_SetCurSel(hRate, 0);
    m_line.bDtr = settings.m_bDtr;
    m_line.bRts = settings.m_bRts;
    // After the dialog manager has given the port box the focus, which selects its text.
    PostMessageW(hwnd, kShowEntryStartMessage, 0, 0);
    return TRUE;
}

void CPortSelectDlgWin32::FillPortList(const std::string &strSavedName)
{
    // COM1 to COM50 as always, then the system's ports past them, in number order; each with
    // the name the system gives it. A port saved by name and not present now is offered again.
    std::vector<CSerialPortEntry> ports = ListSerialPorts();
    for (int i = 1; i <= kPortCount; ++i) {
        const std::string strName = "COM" + std::to_string(i);
        if (std::none_of(ports.begin(), ports.end(), [&](const CSerialPortEntry &port) {
                return ComNumber(port.strPath) == i;
            }))
            ports.push_back({strName, {}});
    }
    if (!strSavedName.empty() &&
        std::none_of(ports.begin(), ports.end(), [&](const CSerialPortEntry &port) {
            return _stricmp(port.strPath.c_str(), strSavedName.c_str()) == 0;
        }))
        ports.push_back({strSavedName, {}});
    std::stable_sort(ports.begin(), ports.end(),
                     [](const CSerialPortEntry &a, const CSerialPortEntry &b) {
                         const int nA = ComNumber(a.strPath);
                         const int nB = ComNumber(b.strPath);
                         return (nA == 0 ? INT_MAX : nA) < (nB == 0 ? INT_MAX : nB);
                     });

    const HWND hPorts = GetDlgItem(m_hWnd, IDC_COMBO_PORT);
    int nSelect = -1;
    for (const CSerialPortEntry &port : ports) {
        const std::string strDescription = ShownDescription(port);
        const std::string strText =
            strDescription.empty() ? port.strPath : port.strPath + kEntrySeparator + strDescription;
        const int nIndex = ComboBox_AddString(hPorts, Wide(strText).c_str());
        const int nNumber = ComNumber(port.strPath);
        if (strSavedName.empty() ? nNumber == m_nPort + 1
                                 : _stricmp(port.strPath.c_str(), strSavedName.c_str()) == 0)
            nSelect = nIndex;
    }
    // The list drops as wide as its longest entry.
    const HDC hdc = GetDC(hPorts);
    const HGDIOBJ hOld =
        SelectObject(hdc, reinterpret_cast<HFONT>(SendMessageW(hPorts, WM_GETFONT, 0, 0)));
    LONG nWidest = 0;
    for (const CSerialPortEntry &port : ports) {
        const std::wstring strText = Wide(port.strPath + kEntrySeparator + ShownDescription(port));
        SIZE size{};
        GetTextExtentPoint32W(hdc, strText.c_str(), static_cast<int>(strText.size()), &size);
        nWidest = std::max(nWidest, size.cx);
    }
    SelectObject(hdc, hOld);
    ReleaseDC(hPorts, hdc);
    SendMessageW(hPorts, CB_SETDROPPEDWIDTH, nWidest + GetSystemMetrics(SM_CXVSCROLL) + 8, 0);
    ComboBox_SetCurSel(hPorts, nSelect);
}

// The field shows the start of the entry, which tells the ports apart, not its end. The text
// stays selected, so that typing replaces it, with the caret at its start.
void CPortSelectDlgWin32::ShowEntryStart()
{
    COMBOBOXINFO info = {};
    info.cbSize = sizeof(info);
    if (!GetComboBoxInfo(GetDlgItem(m_hWnd, IDC_COMBO_PORT), &info) || info.hwndItem == nullptr)
        return;
    Edit_SetSel(info.hwndItem, GetWindowTextLengthW(info.hwndItem), 0);
    Edit_ScrollCaret(info.hwndItem);
}

void CPortSelectDlgWin32::OnCommand(HWND hwnd, int nId, HWND, UINT nNotify)
{
    // The combo box updates its field only after it has told of a new choice.
    if (nId == IDC_COMBO_PORT && (nNotify == CBN_SELCHANGE || nNotify == CBN_CLOSEUP))
        PostMessageW(hwnd, kShowEntryStartMessage, 0, 0);
    else if (nId == IDOK)
        OnOK();
    else if (nId == IDCANCEL)
        EndDialog(hwnd, IDCANCEL); // nothing is saved
}

void CPortSelectDlgWin32::OnOK()
{
    // A listed entry or a typed name, up to any description: "COM51", "\\.\COM51".
    const HWND hPorts = GetDlgItem(m_hWnd, IDC_COMBO_PORT);
    wchar_t achText[256] = {};
    GetWindowTextW(hPorts, achText, ARRAYSIZE(achText));
    std::string strName = Utf8(achText);
    strName = strName.substr(0, strName.find(kEntrySeparator));
    strName.erase(0, strName.find_first_not_of(" \t"));
    strName.erase(strName.find_last_not_of(" \t") + 1);
    if (strName.empty()) {
        SetFocus(hPorts);
        return;
    }
    // COM1 to COM50 are kept by their index, as ever; any other port by its name.
    CPortSettings settings;
    const int nNumber = ComNumber(strName);
    m_nPort = nNumber >= 1 && nNumber <= kPortCount ? nNumber : 0;
    settings.m_nPortNum = m_nPort > 0 ? m_nPort - 1 : 0;
    if (m_nPort == 0)
        settings.m_strPortName = nNumber > 0 ? "COM" + std::to_string(nNumber) : strName;
    m_strPortPath = nNumber > 0 ? kDevicePrefix + "COM" + std::to_string(nNumber) : strName;

    const HWND hFlow = GetDlgItem(m_hWnd, IDC_COMBO_FLOW);
    settings.m_nFlow = ComboBox_GetCurSel(hFlow);
    if (settings.m_nFlow < 0)
        settings.m_nFlow = 0;
    m_nFlow = static_cast<int>(ComboBox_GetItemData(hFlow, settings.m_nFlow));
    const HWND hRate = GetDlgItem(m_hWnd, IDC_COMBO_LINERATE);
    const int nRateIndex = ComboBox_GetCurSel(hRate);
    settings.m_nBaud = nRateIndex < 0 ? static_cast<int>(kDefaultLineRate)
                                      : static_cast<int>(ComboBox_GetItemData(hRate, nRateIndex));
    m_line.nRate = static_cast<uint32_t>(settings.m_nBaud);
    m_line.nFlow = static_cast<uint8_t>(m_nFlow);
    CProfileWin32 profile;
    settings.Save(profile);
    EndDialog(m_hWnd, IDOK);
}
