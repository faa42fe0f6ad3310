#include "win32/TrafficDlgWin32.h"

#include "engine/ModuleSetupEngine.h"
#include "engine/UiText.h"
#include "res/resource.h"
#include "win32/Win32Common.h"

#include <algorithm>

namespace {

constexpr CUiSource kSaveFilter = KESTREL_TR_NOOP("Traffic", "文本文件 (*.txt);;所有文件 (*)");
constexpr CUiSource kCannotSave = KESTREL_TR_NOOP("Traffic", "无法保存通信记录：%1\n%2");
constexpr wchar_t kSaveFileName[] = L"kestrel-trace.txt";

// The one traffic window of the process whose keys the message filter hands over.
CTrafficDlgWin32 *g_pFiltered = nullptr;

// Where the user's selection (or caret) stands in the view.
struct CSelection
{
    DWORD nStart = 0;
    DWORD nEnd = 0;
    bool bCaretAtEnd = false; // nothing selected, the caret after the last line
};

CSelection SelectionOf(HWND hView)
{
    CSelection selection;
    SendMessageW(hView, EM_GETSEL, reinterpret_cast<WPARAM>(&selection.nStart),
                 reinterpret_cast<LPARAM>(&selection.nEnd));
    selection.bCaretAtEnd = selection.nStart == selection.nEnd &&
                            selection.nEnd == static_cast<DWORD>(GetWindowTextLengthW(hView));
    return selection;
}

// Removes the view's first lines; how many characters went.
DWORD CutFirstLines(HWND hView, size_t nLines)
{
    if (nLines == 0)
        return 0;
    const int nCut = Edit_LineIndex(hView, static_cast<int>(nLines));
    if (nCut <= 0)
        return 0;
    Edit_SetSel(hView, 0, nCut);
    Edit_ReplaceSel(hView, L"");
    return static_cast<DWORD>(nCut);
}

template <typename TLines> std::wstring JoinedLines(const TLines &lines)
{
    std::wstring strText;
    for (const std::string &strLine : lines)
        strText += WideFromUtf8(strLine) + L"\r\n";
    return strText;
}

} // namespace

CTrafficDlgWin32::CTrafficDlgWin32(HINSTANCE hInstance, HWND hOwner, CModuleSetupEngine &engine)
    : m_hInstance(hInstance), m_engine(engine), m_log(engine.SessionTrace(), [this] {
          // Under the trace's lock on the recording thread: only a wake-up may leave here.
          if (const HWND hWnd = m_hWnd.load(); hWnd != nullptr)
              PostMessageW(hWnd, WM_APP_TAKE, 0, 0);
      })
{
    CreateDialogParamW(hInstance, MAKEINTRESOURCEW(IDD_TRAFFIC), hOwner, DialogProc,
                       reinterpret_cast<LPARAM>(this));
}

CTrafficDlgWin32::~CTrafficDlgWin32()
{
    // Its owner may have taken it along already.
    if (const HWND hWnd = m_hWnd.load(); hWnd != nullptr)
        DestroyWindow(hWnd);
}

void CTrafficDlgWin32::Show()
{
    const HWND hWnd = m_hWnd.load();
    if (hWnd == nullptr)
        return;
    ShowWindow(hWnd, IsIconic(hWnd) ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(hWnd);
}

INT_PTR CALLBACK CTrafficDlgWin32::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        reinterpret_cast<CTrafficDlgWin32 *>(lParam)->m_hWnd = hwnd;
    }
    auto *pThis = reinterpret_cast<CTrafficDlgWin32 *>(GetWindowLongPtrW(hwnd, DWLP_USER));
    return pThis != nullptr ? pThis->OnMessage(message, wParam, lParam) : FALSE;
}

INT_PTR CTrafficDlgWin32::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    const HWND hwnd = m_hWnd.load();
    switch (message) {
        HANDLE_DLGMSG(hwnd, WM_INITDIALOG, OnInitDialog);
        HANDLE_DLGMSG(hwnd, WM_COMMAND, OnCommand);
        HANDLE_DLGMSG(hwnd, WM_SHOWWINDOW, OnShowWindow);
        HANDLE_DLGMSG(hwnd, WM_SIZE, OnSize);
        HANDLE_DLGMSG(hwnd, WM_GETMINMAXINFO, OnGetMinMaxInfo);
    case WM_APP_TAKE:
        TakeLines();
        return TRUE;
    case WM_DESTROY:
        OnDestroy();
        return FALSE;
    default:
        return FALSE;
    }
}

BOOL CTrafficDlgWin32::OnInitDialog(HWND hwnd, HWND, LPARAM)
{
    TranslateDialog(hwnd, "Traffic");
    RECT rect = {};
    GetWindowRect(hwnd, &rect);
    m_minTrackSize = {rect.right - rect.left, rect.bottom - rect.top};
    GetClientRect(hwnd, &rect);
    m_clientAtStart = {rect.right, rect.bottom};
    // Edges that follow: left, top, right, bottom.
    m_anchors = {{IDC_TRAFFIC_TEXT, false, false, true, true},
                 {IDC_CONSOLE_COMMAND, false, true, true, true},
                 {IDC_CONSOLE_EOL, true, true, true, true},
                 {IDC_BUTTON_CONSOLE_SEND, true, true, true, true},
                 {IDC_TRAFFIC_COPY, false, true, false, true},
                 {IDC_TRAFFIC_SAVE, false, true, false, true},
                 {IDC_TRAFFIC_CLEAR, false, true, false, true},
                 {IDCANCEL, true, true, true, true}};
    for (CAnchor &anchor : m_anchors) {
        GetWindowRect(Item(anchor.nId), &anchor.rect);
        MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT *>(&anchor.rect), 2);
    }
    SetUpView();
    SetUpConsole();
    m_hFilter = SetWindowsHookExW(WH_MSGFILTER, MessageFilter, nullptr, GetCurrentThreadId());
    g_pFiltered = this;
    return TRUE;
}

// Read-only, unwrapped, in a fixed-pitch face of the dialog's size, and as long as it needs to be
// (an edit control stops at 32 KB by default).
void CTrafficDlgWin32::SetUpView()
{
    const HWND hView = Item(IDC_TRAFFIC_TEXT);
    LOGFONTW logFont = {};
    GetObjectW(GetWindowFont(m_hWnd.load()), sizeof(logFont), &logFont);
    const LONG nHeight = logFont.lfHeight;
    logFont = {};
    logFont.lfHeight = nHeight;
    logFont.lfCharSet = DEFAULT_CHARSET;
    logFont.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    lstrcpynW(logFont.lfFaceName, L"Consolas", LF_FACESIZE);
    m_hFixedFont = CreateFontIndirectW(&logFont);
    if (m_hFixedFont != nullptr)
        SetWindowFont(hView, m_hFixedFont, FALSE);
    SendMessageW(hView, EM_SETLIMITTEXT, 0, 0);
}

void CTrafficDlgWin32::OnCommand(HWND hwnd, int nId, HWND, UINT nNotify)
{
    if (nId == IDC_CONSOLE_EOL && nNotify == CBN_SELCHANGE)
        OnLineEndingChosen();
    if (nNotify != BN_CLICKED)
        return;
    if (nId == IDC_BUTTON_CONSOLE_SEND)
        SendTyped();
    else if (nId == IDC_TRAFFIC_COPY)
        CopyToClipboard();
    else if (nId == IDC_TRAFFIC_SAVE)
        OnSave();
    else if (nId == IDC_TRAFFIC_CLEAR)
        Clear();
    else if (nId == IDCANCEL) // its Close, Escape and the close box: hidden, kept for next time
        ShowWindow(hwnd, SW_HIDE);
}

void CTrafficDlgWin32::OnShowWindow(HWND, BOOL bShown, UINT)
{
    m_log.SetShown(bShown != FALSE);
}

void CTrafficDlgWin32::OnSize(HWND, UINT nState, int cx, int cy)
{
    if (nState == SIZE_MINIMIZED)
        return;
    for (const CAnchor &anchor : m_anchors)
        PlaceControl(anchor, cx - m_clientAtStart.cx, cy - m_clientAtStart.cy);
}

// A control that keeps its size is only moved: a drop-down list's height is that of its open
// list, which the size of its closed box would cut short.
void CTrafficDlgWin32::PlaceControl(const CAnchor &anchor, int dx, int dy)
{
    RECT rect = anchor.rect;
    rect.left += anchor.bLeftFollows ? dx : 0;
    rect.top += anchor.bTopFollows ? dy : 0;
    rect.right += anchor.bRightFollows ? dx : 0;
    rect.bottom += anchor.bBottomFollows ? dy : 0;
    const bool bSameSize =
        anchor.bLeftFollows == anchor.bRightFollows && anchor.bTopFollows == anchor.bBottomFollows;
    SetWindowPos(Item(anchor.nId), nullptr, rect.left, rect.top, rect.right - rect.left,
                 rect.bottom - rect.top,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS | (bSameSize ? SWP_NOSIZE : 0));
}

void CTrafficDlgWin32::OnGetMinMaxInfo(HWND, MINMAXINFO *pInfo)
{
    if (pInfo != nullptr && m_minTrackSize.x > 0)
        pInfo->ptMinTrackSize = m_minTrackSize;
}

void CTrafficDlgWin32::OnDestroy()
{
    m_log.SetShown(false);
    m_hWnd = nullptr;
    if (g_pFiltered == this)
        g_pFiltered = nullptr;
    if (m_hFilter != nullptr)
        UnhookWindowsHookEx(m_hFilter);
    m_hFilter = nullptr;
    if (m_hFixedFont != nullptr)
        DeleteObject(m_hFixedFont);
    m_hFixedFont = nullptr;
}

void CTrafficDlgWin32::TakeLines()
{
    AppendLines(m_log.Take());
}

// New lines go to the bottom; lines past the ten thousand kept leave the top of the view as they
// left the log. A selection the user made stays; a caret at the end follows the new lines.
void CTrafficDlgWin32::AppendLines(const std::vector<std::string> &lines)
{
    const HWND hView = Item(IDC_TRAFFIC_TEXT);
    if (lines.empty() || hView == nullptr)
        return;
    CSelection selection = SelectionOf(hView);
    const size_t nShown = m_nShownLines + lines.size();
    const size_t nKept = m_log.Lines().size();
    const size_t nDrop = nShown > nKept ? nShown - nKept : 0;
    if (nDrop > 0 && nDrop >= m_nShownLines) {
        // Everything shown has gone: the view starts again from what the log keeps.
        ::SetWindowTextW(hView, JoinedLines(m_log.Lines()).c_str());
        selection.nStart = selection.nEnd = 0;
    } else {
        const DWORD nCut = CutFirstLines(hView, nDrop);
        selection.nStart = selection.nStart > nCut ? selection.nStart - nCut : 0;
        selection.nEnd = selection.nEnd > nCut ? selection.nEnd - nCut : 0;
        const int nEnd = GetWindowTextLengthW(hView);
        Edit_SetSel(hView, nEnd, nEnd);
        Edit_ReplaceSel(hView, JoinedLines(lines).c_str());
    }
    m_nShownLines = std::min(nShown, nKept);
    const int nLength = GetWindowTextLengthW(hView);
    if (selection.bCaretAtEnd)
        Edit_SetSel(hView, nLength, nLength);
    else
        Edit_SetSel(hView, selection.nStart, selection.nEnd);
    Edit_ScrollCaret(hView);
}

// The selection, or every line when nothing is selected.
void CTrafficDlgWin32::CopyToClipboard()
{
    const HWND hView = Item(IDC_TRAFFIC_TEXT);
    const CSelection selection = SelectionOf(hView);
    const bool bNothingSelected = selection.nStart == selection.nEnd;
    if (bNothingSelected)
        Edit_SetSel(hView, 0, -1);
    SendMessageW(hView, WM_COPY, 0, 0);
    if (bNothingSelected)
        Edit_SetSel(hView, selection.nStart, selection.nEnd);
}

void CTrafficDlgWin32::OnSave()
{
    const HWND hwnd = m_hWnd.load();
    const std::optional<std::wstring> path = AskFilePath(
        {hwnd, true, TrWide("Traffic", "保存通信记录"),
         FileDialogFilter(Tr("Traffic", kSaveFilter)), DocumentsFolder(), kSaveFileName, L"txt"});
    if (!path)
        return;
    const std::string strPath = Utf8FromWide(*path);
    std::string strError;
    if (m_log.SaveTo(strPath, strError))
        return;
    const std::string strText = FillArgs(Tr("Traffic", kCannotSave), {strPath, strError});
    MessageBoxW(hwnd, WideFromUtf8(strText).c_str(), TrWide("Traffic", "错误").c_str(),
                MB_OK | MB_ICONHAND);
}

void CTrafficDlgWin32::Clear()
{
    m_log.Clear();
    ::SetWindowTextW(Item(IDC_TRAFFIC_TEXT), L"");
    m_nShownLines = 0;
}

LRESULT CALLBACK CTrafficDlgWin32::MessageFilter(int nCode, WPARAM wParam, LPARAM lParam)
{
    // IsDialogMessage asks this filter again before it looks at a message itself.
    static bool s_bInside = false;
    auto *pMsg = reinterpret_cast<MSG *>(lParam);
    const HWND hWnd = g_pFiltered != nullptr ? g_pFiltered->m_hWnd.load() : nullptr;
    if (nCode >= 0 && !s_bInside && pMsg != nullptr && hWnd != nullptr &&
        (pMsg->hwnd == hWnd || IsChild(hWnd, pMsg->hwnd))) {
        s_bInside = true;
        const BOOL bHandled = IsDialogMessageW(hWnd, pMsg);
        s_bInside = false;
        if (bHandled)
            return TRUE;
    }
    const HHOOK hFilter = g_pFiltered != nullptr ? g_pFiltered->m_hFilter : nullptr;
    return CallNextHookEx(hFilter, nCode, wParam, lParam);
}
