#include "serial/PortSelectDlgWin32.h"

#include "res/resource.h"
#include "serial/SerialLink.h"

#include <cwchar>
#include <shlobj.h>

namespace {
constexpr int kPortCount = 50;
constexpr unsigned kFlowMaxIndex = 1;
constexpr const wchar_t *kSection = L"Settings";
constexpr const wchar_t *kKeyPort = L"PortNum";
constexpr const wchar_t *kKeyFlow = L"Flow";

void WriteProfileNumber(const wchar_t *pKey, int nValue)
{
    wchar_t szValue[16] = {};
    std::swprintf(szValue, 16, L"%d", nValue);
    WritePrivateProfileStringW(kSection, pKey, szValue, CPortSelectDlg::ProfilePath().c_str());
}

int ReadProfileNumber(const wchar_t *pKey)
{
    // Read as text: GetPrivateProfileInt turns a negative number into 0 on some systems and
    // into a huge one on others; either way it must fall back like any other bad value.
    wchar_t szValue[32] = {};
    GetPrivateProfileStringW(kSection, pKey, L"0", szValue, 32,
                             CPortSelectDlg::ProfilePath().c_str());
    return static_cast<int>(std::wcstol(szValue, nullptr, 10));
}
} // namespace

std::wstring CPortSelectDlg::ProfilePath()
{
    wchar_t szAppData[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, szAppData)))
        return L"Kestrel.ini"; // no profile folder at all: the working directory's file
    std::wstring strFolder = std::wstring(szAppData) + L"\\Kestrel";
    CreateDirectoryW(strFolder.c_str(), nullptr); // already there is fine
    return strFolder + L"\\Kestrel.ini";
}

INT_PTR CPortSelectDlg::DoModal()
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

INT_PTR CALLBACK CPortSelectDlg::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG)
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    auto *pThis = reinterpret_cast<CPortSelectDlg *>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (pThis == nullptr)
        return FALSE;
    switch (message) {
        HANDLE_DLGMSG(hwnd, WM_INITDIALOG, pThis->OnInitDialog);
        HANDLE_DLGMSG(hwnd, WM_COMMAND, pThis->OnCommand);
    default:
        return FALSE;
    }
}

BOOL CPortSelectDlg::OnInitDialog(HWND hwnd, HWND, LPARAM)
{
    m_hWnd = hwnd;
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
    m_nPort = ReadProfileNumber(kKeyPort);
    m_nFlow = ReadProfileNumber(kKeyFlow);
    if (static_cast<unsigned>(m_nPort) >= static_cast<unsigned>(kPortCount))
        m_nPort = 0;
    if (static_cast<unsigned>(m_nFlow) > kFlowMaxIndex)
        m_nFlow = 0;

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
        const wchar_t *pText;
        int nMode;
    } aFlows[] = {{L"无", FLOW_NONE}, {L"硬件", FLOW_HARDWARE}};
    for (const auto &flow : aFlows) {
        const int nIndex = ComboBox_AddString(hFlow, flow.pText);
        ComboBox_SetItemData(hFlow, nIndex, flow.nMode);
    }
    ComboBox_SetCurSel(hFlow, m_nFlow);
    return TRUE;
}

void CPortSelectDlg::OnCommand(HWND hwnd, int nId, HWND, UINT)
{
    if (nId == IDOK)
        OnOK();
    else if (nId == IDCANCEL)
        EndDialog(hwnd, IDCANCEL); // nothing is saved
}

void CPortSelectDlg::OnOK()
{
    // Both choices are written on every OK, even when unchanged.
    int nPortIndex = ComboBox_GetCurSel(GetDlgItem(m_hWnd, IDC_COMBO_PORT));
    if (nPortIndex < 0)
        nPortIndex = 0;
    m_nPort = nPortIndex + 1;
    WriteProfileNumber(kKeyPort, nPortIndex);

    const HWND hFlow = GetDlgItem(m_hWnd, IDC_COMBO_FLOW);
    int nFlowIndex = ComboBox_GetCurSel(hFlow);
    if (nFlowIndex < 0)
        nFlowIndex = 0;
    m_nFlow = static_cast<int>(ComboBox_GetItemData(hFlow, nFlowIndex));
    WriteProfileNumber(kKeyFlow, nFlowIndex);
    EndDialog(m_hWnd, IDOK);
}
