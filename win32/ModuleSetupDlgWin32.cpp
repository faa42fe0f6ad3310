#include "win32/ModuleSetupDlgWin32.h"

#include "engine/ParamTable.h"
#include "res/resource.h"
#include "serial/SerialLink.h"
#include "win32/AboutDlgWin32.h"
#include "win32/PortSelectDlgWin32.h"
#include "win32/ProfileWin32.h"
#include "win32/Win32Common.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <optional>

CModuleSetupDlgWin32 *g_pMainDlg = nullptr;

namespace {
// How often a pulled adapter is looked for; its COM port is back within a second of plugging.
constexpr UINT kReopenTimerId = 2001;
constexpr UINT kReopenPollMs = 500;

// The fields that take text; their typing limits, in GBK bytes (a Chinese character counts two),
// are the parameter table's.
constexpr int kTextFields[] = {
    IDC_EDIT_NAME,          IDC_EDIT_CLASS,         IDC_EDIT_PASSWORD,      IDC_EDIT_VERSION,
    IDC_EDIT_CONN_INTERVAL, IDC_EDIT_CONN_DURATION, IDC_EDIT_INQ_INTERVAL,  IDC_EDIT_INQ_DURATION,
    IDC_EDIT_SNIFF_MAX,     IDC_EDIT_SNIFF_MIN,     IDC_EDIT_SNIFF_ATTEMPT, IDC_EDIT_SNIFF_TIMEOUT,
    IDC_COMBO_BINDADDR,     IDC_EDIT_LOCALADDR,
};

bool IsCheckBox(int nId)
{
    return nId == IDC_CHECK_ROLE || nId == IDC_CHECK_BIND || nId == IDC_CHECK_AUTH;
}

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
    // The reader must be gone before the window it posts to.
    CloseSessionLink();
    DiscardPostedChunks();
    m_pSerial = nullptr;
    if (g_pMainDlg == this)
        g_pMainDlg = nullptr;
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
    // windowsx.h's cracker for this one cuts the handle to 32 bits.
    case WM_QUERYDRAGICON:
        return reinterpret_cast<INT_PTR>(OnQueryDragIcon());
    // These two fall back to the dialog manager's own handling unless they apply.
    case WM_SYSCOMMAND:
        return OnSysCommand(static_cast<UINT>(wParam)) ? TRUE : FALSE;
    case WM_PAINT:
        return OnPaint() ? TRUE : FALSE;
    case WM_APP_RECEIVED:
        OnChunkReceived(reinterpret_cast<std::string *>(lParam));
        return TRUE;
    case WM_APP_PORTLOST:
        OnLinkLost();
        return TRUE;
    default:
        return FALSE;
    }
}

BOOL CModuleSetupDlgWin32::OnInitDialog(HWND hwnd, HWND, LPARAM)
{
    // The form as the template and the members start: empty texts, "0" in the number fields.
    TranslateDialog(hwnd, "MainWindow");
    UpdateData(false);
    for (int nId : kTextFields) {
        if (const size_t nMaxBytes = FieldByteLimit(nId); nMaxBytes != 0)
            Edit_LimitText(Item(nId), static_cast<WPARAM>(nMaxBytes));
    }
    AddAboutEntry();
    SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hSmallIcon));
    SetUpSliders();

    CPortSelectDlgWin32 portDlg(m_hInstance);
    if (portDlg.DoModal() != IDOK) {
        EndDialog(hwnd, IDCANCEL); // no port is open yet
        return FALSE;
    }
    if (!StartSession(portDlg.m_strPortPath, portDlg.m_line)) {
        EndDialog(hwnd, IDCANCEL);
        return FALSE;
    }
    return TRUE;
}

void CModuleSetupDlgWin32::AddAboutEntry()
{
    const HMENU hSysMenu = GetSystemMenu(m_hWnd, FALSE);
    const std::wstring strAbout = ResourceText(IDS_ABOUTBOX);
    if (hSysMenu == nullptr || strAbout.empty())
        return;
    AppendMenuW(hSysMenu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(hSysMenu, MF_STRING, IDM_ABOUTBOX, strAbout.c_str());
    // Named in both languages, so that a user who reads only one of them can find it.
    CProfileWin32 profile;
    const std::string strChosen =
        profile.ReadString(kLanguageSection, kLanguageKey).value_or(UiLanguageCode(UiLanguage()));
    const HMENU hLanguages = CreatePopupMenu();
    for (const CLanguageEntry &entry : kLanguageEntries)
        AppendMenuW(hLanguages, MF_STRING | (strChosen == entry.pCode ? MF_CHECKED : 0u),
                    entry.nCommand, WideFromUtf8(entry.pName).c_str());
    AppendMenuW(hSysMenu, MF_POPUP, reinterpret_cast<UINT_PTR>(hLanguages),
                WideFromUtf8(kLanguageMenuText).c_str());
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
    FillLists();
    SetStatusText(Tr("MainWindow", "准备就绪"));
    ::SetWindowTextW(m_hWnd, ResourceText(IDS_TITLE).c_str());
    g_pMainDlg = this;

    if (!OpenSessionLink(strPortPath, line, OnSerialReceive, OnSerialDisconnect, this)) {
        MessageBox(Tr("MainWindow", "打开串口失败，请确认是否有其他程序在使用！"),
                   Tr("MainWindow", "错误"), MB_OK | MB_ICONHAND);
        return false;
    }
    StartAutoQuery();
    return true;
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
    if (nNotify != BN_CLICKED)
        return;
    // A state the module reported beyond 0 and 1 stays readable until the user clicks the box.
    if (IsCheckBox(nId))
        m_rawCheckStates.erase(nId);
    for (const ButtonHandler &button : ButtonHandlerTable) {
        if (button.nId == nId) {
            (this->*button.pfnHandler)();
            return;
        }
    }
}

void CModuleSetupDlgWin32::OnTimerMessage(HWND, UINT nIdEvent)
{
    if (nIdEvent == kReopenTimerId) {
        TryReopenPort();
        return;
    }
    // One-shot: a timer fires once per arming, and never after it was killed.
    ::KillTimer(m_hWnd, nIdEvent);
    if (m_armedTimers.erase(nIdEvent) == 0)
        return;
    OnTimer(nIdEvent);
}

LRESULT CModuleSetupDlgWin32::OnNotify(HWND, int nIdFrom, NMHDR *pHeader)
{
    // Sent when the user lets go of the thumb or of a click in the channel; keys send none.
    if (pHeader == nullptr || pHeader->code != static_cast<UINT>(NM_RELEASEDCAPTURE))
        return 0;
    if (nIdFrom == IDC_SLIDER_SCAN)
        OnReleasedCaptureSliderScan();
    else if (nIdFrom == IDC_SLIDER_SNIFF)
        OnReleasedCaptureSliderSniff();
    return 0;
}

void CModuleSetupDlgWin32::OnDrawItem(HWND, const DRAWITEMSTRUCT *pItem)
{
    if (pItem != nullptr && pItem->CtlID == static_cast<UINT>(IDC_STATUS))
        m_status.DrawItem(*pItem);
}

HICON CModuleSetupDlgWin32::OnQueryDragIcon()
{
    return m_hIcon;
}

std::wstring CModuleSetupDlgWin32::ResourceText(UINT nId) const
{
    return WideFromUtf8(
        Tr("MainWindow", Utf8FromWide(LoadResourceString(m_hInstance, nId)).c_str()));
}

void CModuleSetupDlgWin32::ChooseLanguage(const CLanguageEntry &entry)
{
    CProfileWin32 profile;
    profile.WriteString(kLanguageSection, kLanguageKey, entry.pCode);
    const HMENU hSysMenu = GetSystemMenu(m_hWnd, FALSE);
    for (const CLanguageEntry &other : kLanguageEntries)
        CheckMenuItem(hSysMenu, other.nCommand,
                      MF_BYCOMMAND | (&other == &entry ? MF_CHECKED : MF_UNCHECKED));
    // Said in both languages: the user has just chosen the one that is not shown yet.
    MessageBoxW(m_hWnd, WideFromUtf8(kLanguageChosenText).c_str(),
                WideFromUtf8(kLanguageMenuText).c_str(), MB_OK | MB_ICONINFORMATION);
}

bool CModuleSetupDlgWin32::OnSysCommand(UINT nCommand)
{
    for (const CLanguageEntry &entry : kLanguageEntries) {
        if ((nCommand & 0xFFF0) == entry.nCommand) {
            ChooseLanguage(entry);
            return true;
        }
    }
    if ((nCommand & 0xFFF0) != static_cast<UINT>(IDM_ABOUTBOX))
        return false;
    CAboutDlgWin32 aboutDlg(m_hInstance);
    aboutDlg.DoModal(m_hWnd);
    return true;
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
    // A run waiting for a reply is abandoned: its timers must not fire into a closed window, and
    // a device coming back must not be reopened by a window that is going away.
    ::KillTimer(m_hWnd, kReopenTimerId);
    AbandonRun();
    StopAllTimers();
    CloseSessionLink();
    DiscardPostedChunks();
    EndDialog(m_hWnd, IDCANCEL);
}

void CModuleSetupDlgWin32::OnChunkReceived(std::string *pChunk)
{
    const std::unique_ptr<std::string> chunk(pChunk);
    if (chunk && !chunk->empty())
        OnReceivedBytes(chunk->data(), chunk->size());
}

void CModuleSetupDlgWin32::OnLinkLost()
{
    OnPortLost();
    if (!m_strSessionPort.empty())
        ::SetTimer(m_hWnd, kReopenTimerId, kReopenPollMs, nullptr);
}

// Reopens the same COM port with the same settings once it is back. The form keeps what the user
// typed: nothing is queried until the user asks.
void CModuleSetupDlgWin32::TryReopenPort()
{
    if (!m_pSessionLink || m_pSessionLink->IsOpen()) {
        ::KillTimer(m_hWnd, kReopenTimerId);
        return;
    }
    if (!ReopenSessionLink())
        return; // absent, or it refused its settings: try again later
    ::KillTimer(m_hWnd, kReopenTimerId);
    SetStatusText(Tr("MainWindow", "串口已重新连接"));
}

// Chunks still queued once the reader has been joined are freed, not handed to anyone.
void CModuleSetupDlgWin32::DiscardPostedChunks()
{
    if (m_hWnd == nullptr)
        return;
    MSG msg = {};
    while (PeekMessageW(&msg, m_hWnd, WM_APP_RECEIVED, WM_APP_RECEIVED, PM_REMOVE))
        delete reinterpret_cast<std::string *>(msg.lParam);
}

// What reaches a field (typed, pasted or dropped) keeps only what the module can take: a character
// GBK cannot carry is dropped, and the text ends where its GBK bytes would pass the field's limit.
void CModuleSetupDlgWin32::FilterTypedText(int nId)
{
    if (m_bSettingText)
        return;
    if (std::find(std::begin(kTextFields), std::end(kTextFields), nId) == std::end(kTextFields))
        return;
    const size_t nMaxBytes = FieldByteLimit(nId);
    const HWND hField = Item(nId);
    const std::wstring strText = WindowTextOf(hField);
    std::wstring strKept;
    size_t nBytes = 0;
    for (size_t i = 0; i < strText.size();) {
        // A surrogate pair is one character.
        const size_t nUnits =
            IS_HIGH_SURROGATE(strText[i]) && i + 1 < strText.size() ? size_t{2} : size_t{1};
        const std::wstring_view character(strText.data() + i, nUnits);
        i += nUnits;
        const std::optional<std::string> gbk = GbkFromWide(character);
        if (!gbk)
            continue;
        if (nMaxBytes != 0 && nBytes + gbk->size() > nMaxBytes)
            break;
        strKept += character;
        nBytes += gbk->size();
    }
    if (strKept == strText)
        return;
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

void CModuleSetupDlgWin32::StopAllTimers()
{
    for (const unsigned nIdEvent : m_armedTimers)
        ::KillTimer(m_hWnd, nIdEvent);
    m_armedTimers.clear();
}

// Windows drops the focus of a control as it is disabled, and the keyboard would go dead. A
// focused action button hands it to the status line (Enter and Space do nothing there) and gets
// it back when the run has ended, unless the user went elsewhere.
void CModuleSetupDlgWin32::OnRunGateChanged(bool bRunWaiting)
{
    const HWND hFocus = GetFocus();
    const int nFocusId =
        hFocus != nullptr && GetParent(hFocus) == m_hWnd ? GetDlgCtrlID(hFocus) : 0;
    const auto nType = hFocus != nullptr ? GetWindowLongPtrW(hFocus, GWL_STYLE) & BS_TYPEMASK : -1;
    const bool bActionButton = (nType == BS_PUSHBUTTON || nType == BS_DEFPUSHBUTTON) &&
                               ClassOf(hFocus) == L"Button" && nFocusId != IDC_BUTTON_CLOSE;
    if (bRunWaiting && bActionButton) {
        m_nFocusBeforeRun = nFocusId;
        SendMessageW(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(IDC_STATUS)), TRUE);
    }
    CModuleSetupEngine::OnRunGateChanged(bRunWaiting);
    if (!bRunWaiting && m_nFocusBeforeRun != 0) {
        if (GetFocus() == Item(IDC_STATUS))
            SendMessageW(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(m_nFocusBeforeRun)),
                         TRUE);
        m_nFocusBeforeRun = 0;
    }
}

void OnSerialReceive(const char *pData, int32_t nLength, void *pUser)
{
    if (pUser == nullptr || pData == nullptr || nLength <= 0)
        return;
    auto *pDlg = static_cast<CModuleSetupDlgWin32 *>(pUser);
    // A copy: the link's buffer is reused as soon as this returns. Posted messages keep their
    // order, so the chunks reach the engine in arrival order.
    auto *pChunk = new std::string(pData, static_cast<size_t>(nLength));
    if (!PostMessageW(pDlg->m_hWnd, CModuleSetupDlgWin32::WM_APP_RECEIVED, 0,
                      reinterpret_cast<LPARAM>(pChunk)))
        delete pChunk;
}

void OnSerialDisconnect(void *pUser)
{
    if (pUser == nullptr)
        return;
    auto *pDlg = static_cast<CModuleSetupDlgWin32 *>(pUser);
    PostMessageW(pDlg->m_hWnd, CModuleSetupDlgWin32::WM_APP_PORTLOST, 0, 0);
}

// --- Control surface: ids to control messages, GBK at this boundary

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

int CModuleSetupDlgWin32::GetCheck(int nId)
{
    const auto raw = m_rawCheckStates.find(nId);
    if (raw != m_rawCheckStates.end())
        return raw->second;
    return Button_GetCheck(Item(nId)) == BST_CHECKED ? 1 : 0;
}

// A box shows ticked for any state but 0; the state itself is kept, as the module reported it,
// so that a Set does not take an unedited box for a change.
void CModuleSetupDlgWin32::SetCheck(int nId, int nState)
{
    Button_SetCheck(Item(nId), nState != 0 ? BST_CHECKED : BST_UNCHECKED);
    if (nState == 0 || nState == 1)
        m_rawCheckStates.erase(nId);
    else
        m_rawCheckStates[nId] = nState;
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
    ::EnableWindow(Item(nId), bEnable ? TRUE : FALSE);
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

void CModuleSetupDlgWin32::SetStatusText(std::string strText)
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
