#include "win32/ModuleSetupDlgWin32.h"

#include "engine/FieldFilter.h"
#include "engine/ParamTable.h"
#include "engine/UiText.h"
#include "res/resource.h"
#include "win32/PortSelectDlgWin32.h"
#include "win32/TrafficDlgWin32.h"
#include "win32/Win32Common.h"

namespace {

std::wstring ClassOf(HWND hwnd)
{
    wchar_t szClass[64] = {};
    GetClassNameW(hwnd, szClass, 64);
    return szClass;
}

bool IsComboBox(HWND hwnd)
{
    return hwnd != nullptr && _wcsicmp(ClassOf(hwnd).c_str(), WC_COMBOBOXW) == 0;
}

bool IsDropDownList(HWND hwnd)
{
    return IsComboBox(hwnd) && (GetWindowLongPtrW(hwnd, GWL_STYLE) & 0x3) == CBS_DROPDOWNLIST;
}

// A push button of the form's actions; "关闭" is not one: it always works.
bool IsActionButton(HWND hwnd)
{
    const auto nType = GetWindowLongPtrW(hwnd, GWL_STYLE) & BS_TYPEMASK;
    return (nType == BS_PUSHBUTTON || nType == BS_DEFPUSHBUTTON) && ClassOf(hwnd) == L"Button" &&
           GetDlgCtrlID(hwnd) != IDC_BUTTON_CLOSE;
}

std::wstring EntryText(HWND hCombo, int nIndex)
{
    const int nLength = ComboBox_GetLBTextLen(hCombo, nIndex);
    if (nLength <= 0)
        return {};
    std::wstring strText(static_cast<size_t>(nLength) + 1, L'\0');
    const int nCopied = ComboBox_GetLBText(hCombo, nIndex, strText.data());
    strText.resize(static_cast<size_t>(nCopied > 0 ? nCopied : 0));
    return strText;
}

// What a field holds in GBK; a character GBK cannot carry never gets past the field filter, and
// a text that still holds one (set from outside the program) reads as empty.
std::string GbkTextOf(HWND hwnd)
{
    return GbkFromWide(WindowTextOf(hwnd)).value_or(std::string());
}

// The device as the user knows it: "COM7" for "\\.\COM7".
std::string PortDisplayName(const std::string &strPath)
{
    const std::string strPrefix = "\\\\.\\";
    return strPath.rfind(strPrefix, 0) == 0 ? strPath.substr(strPrefix.size()) : strPath;
}

} // namespace

CModuleSetupDlgWin32::CModuleSetupDlgWin32(HINSTANCE hInstance) : m_hInstance(hInstance)
{
    m_hIcon =
        static_cast<HICON>(LoadImageW(hInstance, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    m_hSmallIcon = static_cast<HICON>(LoadImageW(hInstance, MAKEINTRESOURCEW(IDR_MAINFRAME),
                                                 IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                 GetSystemMetrics(SM_CYSMICON), 0));
}

CModuleSetupDlgWin32::~CModuleSetupDlgWin32()
{
    // The traffic window and the engine (with the reader it joins) go first, as declared.
    if (m_hIcon != nullptr)
        DestroyIcon(m_hIcon);
    if (m_hSmallIcon != nullptr)
        DestroyIcon(m_hSmallIcon);
}

INT_PTR CModuleSetupDlgWin32::DoModal()
{
    return DialogBoxParamW(m_hInstance, MAKEINTRESOURCEW(IDD_MODULESETUP_DIALOG), nullptr,
                           DialogProc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CModuleSetupDlgWin32::DialogProc(HWND hwnd, UINT message, WPARAM wParam,
                                                  LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        reinterpret_cast<CModuleSetupDlgWin32 *>(lParam)->m_hWnd = hwnd;
    }
    auto *pThis = reinterpret_cast<CModuleSetupDlgWin32 *>(GetWindowLongPtrW(hwnd, DWLP_USER));
    return pThis != nullptr ? pThis->OnMessage(message, wParam, lParam) : FALSE;
}

INT_PTR CModuleSetupDlgWin32::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    const HWND hwnd = m_hWnd;
    switch (message) {
        HANDLE_DLGMSG(hwnd, WM_INITDIALOG, OnInitDialog);
        HANDLE_DLGMSG(hwnd, WM_COMMAND, OnCommand);
        HANDLE_DLGMSG(hwnd, WM_TIMER, OnTimerMessage);
        HANDLE_DLGMSG(hwnd, WM_NOTIFY, OnNotify);
        HANDLE_DLGMSG(hwnd, WM_DRAWITEM, OnDrawItem);
        HANDLE_DLGMSG(hwnd, WM_CONTEXTMENU, OnContextMenu);
    // windowsx.h's cracker for this one cuts the handle to 32 bits.
    case WM_QUERYDRAGICON:
        return reinterpret_cast<INT_PTR>(m_hIcon);
    // These two fall back to the dialog manager's own handling unless they apply.
    case WM_SYSCOMMAND:
        return OnSysCommand(static_cast<UINT>(wParam)) ? TRUE : FALSE;
    case WM_PAINT:
        return OnPaint() ? TRUE : FALSE;
    case WM_APP_WORK:
        OnPostedWork(reinterpret_cast<std::function<void()> *>(lParam));
        return TRUE;
    case WM_DESTROY:
        DiscardPostedWork();
        return FALSE;
    default:
        return FALSE;
    }
}

BOOL CModuleSetupDlgWin32::OnInitDialog(HWND hwnd, HWND, LPARAM)
{
    // The form as the template and the engine start: empty texts, "0" in the number fields.
    TranslateDialog(hwnd, "MainWindow");
    m_engine.InitForm();
    LimitFieldLengths();
    AddSystemMenuEntries();
    SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hSmallIcon));
    SetUpSliders();

    CPortSelectDlgWin32 portDlg(m_hInstance);
    if (portDlg.DoModal() != IDOK || !StartSession(portDlg.m_strPortPath, portDlg.m_line)) {
        EndDialog(hwnd, IDCANCEL); // no port is open
        return FALSE;
    }
    return TRUE;
}

// Typing stops at a field's byte count in characters already; the filter cuts at its bytes.
void CModuleSetupDlgWin32::LimitFieldLengths()
{
    for (HWND hChild = GetWindow(m_hWnd, GW_CHILD); hChild != nullptr;
         hChild = GetWindow(hChild, GW_HWNDNEXT)) {
        const size_t nMaxBytes = FieldByteLimit(GetDlgCtrlID(hChild));
        if (nMaxBytes == 0)
            continue;
        if (IsComboBox(hChild))
            ComboBox_LimitText(hChild, static_cast<int>(nMaxBytes));
        else
            Edit_LimitText(hChild, static_cast<int>(nMaxBytes));
    }
}

void CModuleSetupDlgWin32::SetUpSliders()
{
    // Page and line size span the whole range: one step carries the thumb end to end, so each
    // slider works as a two-position switch.
    for (const int nId : {IDC_SLIDER_SCAN, IDC_SLIDER_SNIFF}) {
        const HWND hSlider = Item(nId);
        const LRESULT nMax = SendMessageW(hSlider, TBM_GETRANGEMAX, 0, 0);
        SendMessageW(hSlider, TBM_SETPAGESIZE, 0, nMax);
        SendMessageW(hSlider, TBM_SETLINESIZE, 0, nMax);
    }
}

bool CModuleSetupDlgWin32::StartSession(const std::string &strPortPath, const CLineSettings &line)
{
    SetStatusText(Tr("MainWindow", "准备就绪"));
    ::SetWindowTextW(m_hWnd, ResourceText(IDS_TITLE).c_str());
    if (m_engine.StartSession(strPortPath, line))
        return true;
    // A system message box has no place for details: why goes below the text.
    MessageBox(OpenFailureBoxText() + "\n\n" +
                   DescribeOpenFailure(PortDisplayName(strPortPath), m_engine.LastOpenFailure(),
                                       UiLanguage()),
               OpenFailureBoxCaption(), MB_OK | MB_ICONHAND);
    return false;
}

void CModuleSetupDlgWin32::OnCommand(HWND, int nId, HWND, UINT nNotify)
{
    if (nNotify == EN_CHANGE || (nId == IDC_COMBO_BINDADDR && nNotify == CBN_EDITCHANGE)) {
        FilterTypedText(nId);
        return;
    }
    if (nId == IDCANCEL || (nId == IDC_BUTTON_CLOSE && nNotify == BN_CLICKED)) {
        OnCancel();
        return;
    }
    // IDOK (Enter in a field) deliberately does nothing: that path would leave the port open.
    if (nId != IDOK && nNotify == BN_CLICKED)
        m_engine.OnCommand(nId);
}

void CModuleSetupDlgWin32::OnTimerMessage(HWND, UINT nIdEvent)
{
    // One-shot: a timer fires once per arming, and never after it was killed (a WM_TIMER may
    // already wait in the queue when it is).
    ::KillTimer(m_hWnd, nIdEvent);
    if (m_armedTimers.erase(nIdEvent) != 0)
        m_engine.OnTimer(nIdEvent);
}

LRESULT CModuleSetupDlgWin32::OnNotify(HWND, int nIdFrom, NMHDR *pHeader)
{
    // Sent when the user lets go of the thumb or of a click in the channel; keys send none.
    if (pHeader != nullptr && pHeader->code == static_cast<UINT>(NM_RELEASEDCAPTURE))
        m_engine.OnSliderReleased(nIdFrom);
    return 0;
}

void CModuleSetupDlgWin32::OnDrawItem(HWND, const DRAWITEMSTRUCT *pItem)
{
    if (pItem != nullptr && pItem->CtlID == static_cast<UINT>(IDC_STATUS))
        m_status.DrawItem(*pItem);
}

std::wstring CModuleSetupDlgWin32::ResourceText(UINT nId) const
{
    return WideFromUtf8(
        Tr("MainWindow", Utf8FromWide(LoadResourceString(m_hInstance, nId)).c_str()));
}

bool CModuleSetupDlgWin32::OnPaint()
{
    if (!IsIconic(m_hWnd))
        return false;
    PAINTSTRUCT paint = {};
    const HDC hdc = BeginPaint(m_hWnd, &paint);
    SendMessageW(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0);
    const int cxIcon = GetSystemMetrics(SM_CXICON);
    const int cyIcon = GetSystemMetrics(SM_CYICON);
    RECT rect = {};
    GetClientRect(m_hWnd, &rect);
    const int x = (rect.right - rect.left - cxIcon + 1) / 2;
    const int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
    DrawIcon(hdc, x, y, m_hIcon);
    EndPaint(m_hWnd, &paint);
    return true;
}

void CModuleSetupDlgWin32::OnCancel()
{
    // What waits is abandoned and the port closed (its reader joined) before the window goes:
    // no timer fires into it and no device coming back is reopened by it.
    m_engine.CloseSession();
    DiscardPostedWork();
    EndDialog(m_hWnd, IDCANCEL);
}

// On the link's reader thread. Posted messages keep their order, so the work runs in the order
// it was handed over; a window that is gone takes nothing, and the work is freed here.
void CModuleSetupDlgWin32::PostToViewThread(std::function<void()> fnWork)
{
    auto pWork = std::make_unique<std::function<void()>>(std::move(fnWork));
    if (m_hWnd != nullptr &&
        PostMessageW(m_hWnd, WM_APP_WORK, 0, reinterpret_cast<LPARAM>(pWork.get())))
        pWork.release();
}

void CModuleSetupDlgWin32::OnPostedWork(std::function<void()> *pWork)
{
    const std::unique_ptr<std::function<void()>> work(pWork);
    if (work && *work)
        (*work)();
}

void CModuleSetupDlgWin32::DiscardPostedWork()
{
    MSG msg = {};
    while (PeekMessageW(&msg, m_hWnd, WM_APP_WORK, WM_APP_WORK, PM_REMOVE))
        delete reinterpret_cast<std::function<void()> *>(msg.lParam);
}

// What reaches a field (typed, pasted or dropped) keeps only what the module can take; what was
// dropped is signalled with a beep.
void CModuleSetupDlgWin32::FilterTypedText(int nId)
{
    if (m_bSettingText)
        return;
    const HWND hField = Item(nId);
    const std::wstring strText = WindowTextOf(hField);
    const CFieldFilterResult filtered = FilterFieldText(nId, Utf8FromWide(strText));
    if (!filtered.bChanged)
        return;
    const std::wstring strKept = WideFromUtf8(filtered.strKept);
    m_bSettingText = true;
    ::SetWindowTextW(hField, strKept.c_str());
    m_bSettingText = false;
    const auto nEnd = static_cast<int>(strKept.size());
    if (IsComboBox(hField))
        ComboBox_SetEditSel(hField, nEnd, nEnd);
    else
        Edit_SetSel(hField, nEnd, nEnd);
    MessageBeep(MB_OK);
}

// Windows takes the focus from a control as it is disabled, and the keyboard would go dead. A
// focused action button hands it to the status line as the run gate closes (Enter and Space do
// nothing there) and gets it back when the run has ended, unless the user went elsewhere.
void CModuleSetupDlgWin32::OnRunGateChanged(bool bRunWaiting)
{
    if (bRunWaiting || m_nFocusBeforeRun == 0)
        return;
    if (GetFocus() == Item(IDC_STATUS))
        SendMessageW(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(m_nFocusBeforeRun)),
                     TRUE);
    m_nFocusBeforeRun = 0;
}

// --- The engine's view: ids to control messages, GBK at this boundary

std::string CModuleSetupDlgWin32::GetWindowText(int nId)
{
    // An editable list gives its edit text, a drop-down list its selected entry (or nothing).
    return GbkTextOf(Item(nId));
}

void CModuleSetupDlgWin32::SetWindowText(int nId, const std::string &strText)
{
    if (nId == IDC_STATUS) {
        SetStatusText(Utf8FromWide(WideFromGbk(strText)));
        return;
    }
    const HWND hControl = Item(nId);
    if (hControl == nullptr)
        return;
    const std::wstring strWide = WideFromGbk(strText);
    if (IsDropDownList(hControl)) {
        // Selects the entry with exactly that text; none when no entry has it.
        int nFound = -1;
        for (int i = 0, n = ComboBox_GetCount(hControl); i < n && nFound < 0; ++i) {
            if (EntryText(hControl, i) == strWide)
                nFound = i;
        }
        ComboBox_SetCurSel(hControl, nFound);
        return;
    }
    m_bSettingText = true;
    ::SetWindowTextW(hControl, strWide.c_str());
    m_bSettingText = false;
}

bool CModuleSetupDlgWin32::GetCheck(int nId)
{
    return Button_GetCheck(Item(nId)) == BST_CHECKED;
}

void CModuleSetupDlgWin32::SetCheck(int nId, bool bChecked)
{
    Button_SetCheck(Item(nId), bChecked ? BST_CHECKED : BST_UNCHECKED);
}

int CModuleSetupDlgWin32::GetCount(int nId)
{
    const int nCount = ComboBox_GetCount(Item(nId));
    return nCount > 0 ? nCount : 0;
}

std::string CModuleSetupDlgWin32::GetLBText(int nId, int nIndex)
{
    const HWND hCombo = Item(nId);
    if (nIndex < 0 || nIndex >= ComboBox_GetCount(hCombo))
        return {};
    return GbkFromWide(EntryText(hCombo, nIndex)).value_or(std::string());
}

int CModuleSetupDlgWin32::GetCurSel(int nId)
{
    return ComboBox_GetCurSel(Item(nId));
}

void CModuleSetupDlgWin32::SetCurSel(int nId, int nIndex)
{
    // An index past the end selects nothing, as the list control does.
    ComboBox_SetCurSel(Item(nId), nIndex);
}

void CModuleSetupDlgWin32::ResetContent(int nId)
{
    m_bSettingText = true;
    ComboBox_ResetContent(Item(nId)); // entries and the edit text
    m_bSettingText = false;
}

void CModuleSetupDlgWin32::InsertString(int nId, int nIndex, const std::string &strText)
{
    const HWND hCombo = Item(nId);
    const std::wstring strWide = WideFromGbk(strText);
    // A sorted list finds the place itself; neither way changes the selection or the edit text.
    if (GetWindowLongPtrW(hCombo, GWL_STYLE) & CBS_SORT)
        ComboBox_AddString(hCombo, strWide.c_str());
    else
        ComboBox_InsertString(hCombo, nIndex, strWide.c_str());
}

void CModuleSetupDlgWin32::EnableWindow(int nId, bool bEnable)
{
    // The console's "发送" is in the traffic window, once that has been made.
    if (nId == IDC_BUTTON_CONSOLE_SEND) {
        if (m_pTraffic)
            m_pTraffic->EnableSend(bEnable);
        return;
    }
    // The run gate closing on the focused button: the focus moves on before it is taken away.
    const HWND hControl = Item(nId);
    if (!bEnable && hControl != nullptr && GetFocus() == hControl && IsActionButton(hControl)) {
        m_nFocusBeforeRun = nId;
        SendMessageW(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(IDC_STATUS)), TRUE);
    }
    ::EnableWindow(hControl, bEnable ? TRUE : FALSE);
}

void CModuleSetupDlgWin32::SetReadOnly(int nId, bool bReadOnly)
{
    Edit_SetReadOnly(Item(nId), bReadOnly ? TRUE : FALSE);
}

int CModuleSetupDlgWin32::GetSliderPos(int nId)
{
    return static_cast<int>(SendMessageW(Item(nId), TBM_GETPOS, 0, 0));
}

void CModuleSetupDlgWin32::SetSliderPos(int nId, int nPos)
{
    SendMessageW(Item(nId), TBM_SETPOS, TRUE, nPos);
}

int CModuleSetupDlgWin32::GetSliderRangeMax(int nId)
{
    return static_cast<int>(SendMessageW(Item(nId), TBM_GETRANGEMAX, 0, 0));
}

void CModuleSetupDlgWin32::SetFocus(int nId)
{
    // Through the dialog manager, so the default button and the selection follow the focus.
    SendMessageW(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(nId)), TRUE);
}

void CModuleSetupDlgWin32::SetStatusText(const std::string &strText)
{
    const HWND hStatus = Item(IDC_STATUS);
    ::SetWindowTextW(hStatus, WideFromUtf8(strText).c_str());
    InvalidateRect(hStatus, nullptr, TRUE);
}

void CModuleSetupDlgWin32::SetTimer(unsigned nIdEvent, std::chrono::milliseconds period)
{
    const auto nMs = static_cast<UINT>(period.count() > 0 ? period.count() : 0);
    if (::SetTimer(m_hWnd, nIdEvent, nMs, nullptr) != 0)
        m_armedTimers.insert(nIdEvent);
}

void CModuleSetupDlgWin32::KillTimer(unsigned nIdEvent)
{
    ::KillTimer(m_hWnd, nIdEvent);
    m_armedTimers.erase(nIdEvent);
}

int CModuleSetupDlgWin32::MessageBox(const std::string &strText, const std::string &strCaption,
                                     unsigned nType)
{
    const int nResult =
        MessageBoxW(m_hWnd, WideFromUtf8(strText).c_str(), WideFromUtf8(strCaption).c_str(), nType);
    // Only Yes counts as Yes; a box closed any other way is No for a question.
    if ((nType & 0x0F) == MB_YESNO)
        return nResult == IDYES ? IDYES : IDNO;
    return IDOK;
}
