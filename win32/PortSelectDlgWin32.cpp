#include "win32/PortSelectDlgWin32.h"

#include "protocol/AtProtocol.h"
#include "res/resource.h"
#include "serial/PortList.h"
#include "win32/ProfileWin32.h"
#include "win32/Win32Common.h"

#include <algorithm>
#include <cstdlib>
#include <cwchar>

namespace {
// Posted to show the start of the chosen entry once the combo box has put it in its field.
constexpr UINT kShowEntryStartMessage = WM_APP + 1;
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

INT_PTR CALLBACK CPortSelectDlgWin32::DialogProc(HWND hwnd, UINT message, WPARAM wParam,
                                                 LPARAM lParam)
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

    CProfileWin32 profile;
    m_choice.emplace(EPortFlavour::Windows, ListSerialPorts(), profile);
    FillPortList();
    FillFlowList();
    FillLineRateList();
    // After the dialog manager has given the port box the focus, which selects its text.
    PostMessageW(hwnd, kShowEntryStartMessage, 0, 0);
    return TRUE;
}

void CPortSelectDlgWin32::FillPortList()
{
    const HWND hPorts = GetDlgItem(m_hWnd, IDC_COMBO_PORT);
    for (const CPortChoiceEntry &entry : m_choice->Entries())
        ComboBox_AddString(hPorts, WideFromUtf8(entry.strText).c_str());
    ComboBox_SetCurSel(hPorts, m_choice->Selected());
    // The list drops as wide as its longest entry.
    const HDC hdc = GetDC(hPorts);
    const HGDIOBJ hOld = SelectObject(hdc, GetWindowFont(hPorts));
    LONG nWidest = 0;
    for (const CPortChoiceEntry &entry : m_choice->Entries()) {
        const std::wstring strText = WideFromUtf8(entry.strText);
        SIZE size{};
        GetTextExtentPoint32W(hdc, strText.c_str(), static_cast<int>(strText.size()), &size);
        nWidest = std::max(nWidest, size.cx);
    }
    SelectObject(hdc, hOld);
    ReleaseDC(hPorts, hdc);
    SendMessageW(hPorts, CB_SETDROPPEDWIDTH, nWidest + GetSystemMetrics(SM_CXVSCROLL) + 8, 0);
}

void CPortSelectDlgWin32::FillFlowList()
{
    // By index, as the core keeps it: 0 none, 1 hardware.
    const HWND hFlow = GetDlgItem(m_hWnd, IDC_COMBO_FLOW);
    for (const CUiSource text :
         {KESTREL_TR_NOOP("PortDialog", "无"), KESTREL_TR_NOOP("PortDialog", "硬件")})
        ComboBox_AddString(hFlow, WideFromUtf8(Tr("PortDialog", text)).c_str());
    ComboBox_SetCurSel(hFlow, m_choice->Saved().m_nFlow);
}

void CPortSelectDlgWin32::FillLineRateList()
{
    // The PC's line rate: "自动检测" (0), then the rates; each entry's data is its rate.
    const HWND hRate = GetDlgItem(m_hWnd, IDC_COMBO_LINERATE);
    ComboBox_SetItemData(hRate, ComboBox_AddString(hRate, TrWide("PortDialog", "自动检测").c_str()),
                         kAutoLineRate);
    for (const char *pszRate : BaudRateList) {
        wchar_t szRate[16] = {};
        std::swprintf(szRate, 16, L"%hs", pszRate);
        ComboBox_SetItemData(hRate, ComboBox_AddString(hRate, szRate),
                             std::strtoul(pszRate, nullptr, 10));
    }
    for (int i = 0, n = ComboBox_GetCount(hRate); i < n; ++i) {
        if (static_cast<int>(ComboBox_GetItemData(hRate, i)) == m_choice->Saved().m_nBaud)
            ComboBox_SetCurSel(hRate, i);
    }
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
    const HWND hRate = GetDlgItem(m_hWnd, IDC_COMBO_LINERATE);
    const int nRateIndex = ComboBox_GetCurSel(hRate);
    const std::optional<CPortChosen> chosen = m_choice->Choose(
        Utf8FromWide(WindowTextOf(hPorts)), ComboBox_GetCurSel(GetDlgItem(m_hWnd, IDC_COMBO_FLOW)),
        nRateIndex < 0 ? kDefaultLineRate
                       : static_cast<uint32_t>(ComboBox_GetItemData(hRate, nRateIndex)));
    if (!chosen) {
        SetFocus(hPorts);
        return;
    }
    CProfileWin32 profile;
    chosen->settings.Save(profile);
    m_strPortPath = chosen->strPath;
    m_line = chosen->line;
    EndDialog(m_hWnd, IDOK);
}
