#include "win32/PortSelectDlgWin32.h"

#include "protocol/AtProtocol.h"
#include "res/resource.h"
#include "serial/SerialLink.h"
#include "win32/ProfileWin32.h"
#include "win32/Win32Common.h"

#include <cstdlib>
#include <cwchar>

namespace {
constexpr int kPortCount = 50;
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

    const HWND hPorts = GetDlgItem(hwnd, IDC_COMBO_PORT);
    for (int i = 1; i <= kPortCount; ++i) {
        wchar_t szName[16] = {};
        std::swprintf(szName, 16, L"COM%d", i);
        ComboBox_AddString(hPorts, szName);
    }
    ComboBox_SetCurSel(hPorts, m_nPort);

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
    ComboBox_SetItemData(hRate, ComboBox_AddString(hRate, L"自动检测"), kAutoLineRate);
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
    return TRUE;
}

void CPortSelectDlgWin32::OnCommand(HWND hwnd, int nId, HWND, UINT)
{
    if (nId == IDOK)
        OnOK();
    else if (nId == IDCANCEL)
        EndDialog(hwnd, IDCANCEL); // nothing is saved
}

void CPortSelectDlgWin32::OnOK()
{
    CPortSettings settings;
    settings.m_nPortNum = ComboBox_GetCurSel(GetDlgItem(m_hWnd, IDC_COMBO_PORT));
    if (settings.m_nPortNum < 0)
        settings.m_nPortNum = 0;
    m_nPort = settings.m_nPortNum + 1;

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
