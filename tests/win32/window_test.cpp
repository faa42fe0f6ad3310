// Drives kestrel.exe from outside, as a user would, under Wine against the simulated module: finds
// the windows by title and the controls by their ids, types, clicks, answers message boxes and
// reads the status line, all through window messages.
//
// usage: kestrel_window_test [--labels] KESTREL_EXE SIM_LOG SILENT_SIM_LOG CONTROL_DIR
//   COM7 is a simulated module (its command log in SIM_LOG), COM8 one that never answers
//   "AT+NAME" nor "AT+CLEARADDR" (log SILENT_SIM_LOG), COM9 and COM10 ones that hang up after 15
//   commands. Files the driver
//   leaves in CONTROL_DIR ask the script for something: NAME.shot a picture of the window titled
//   as the file says, replug a new simulated module behind COM9. --labels checks only that every
//   dialog is drawn at the display's DPI and shows each label whole, in both languages; the
//   script runs it at 144 DPI (150 %).

#include "res/resource.h"
#include "win32/Win32Api.h"

#include <chrono>
#include <cstdio>
#include <dlgs.h>
#include <cwctype>
#include <fstream>
#include <functional>
#include <iterator>
#include <shlobj.h>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kMainPort = 7;
constexpr int kSilentPort = 8;
constexpr int kHangUpPort = 9;
constexpr int kIdleHangUpPort = 10;
constexpr auto kPoll = std::chrono::milliseconds(50);
constexpr auto kWait = std::chrono::seconds(20);
// A query run takes under a second here; the silent step's prompt comes after its 2 s timeout.
constexpr auto kRunWait = std::chrono::seconds(20);

const wchar_t *const kPortTitle = L"连接串口";
const wchar_t *const kMainTitle = L"内嵌模块参数设置工具 V4.25.20051116";

int g_nPasses = 0;
int g_nFailures = 0;

void Check(bool bOk, const std::string &strWhat, const std::wstring &strDetail = {})
{
    if (bOk) {
        std::printf("ok   %s\n", strWhat.c_str());
        ++g_nPasses;
        return;
    }
    ++g_nFailures;
    std::string strNarrow;
    for (wchar_t ch : strDetail)
        strNarrow += ch < 0x80 ? static_cast<char>(ch) : '?';
    std::printf("FAIL %s %s\n", strWhat.c_str(), strNarrow.c_str());
    std::fflush(stdout);
}

std::wstring TextOf(HWND hwnd)
{
    // WM_GETTEXT crosses the process boundary with its buffer; the owner-drawn status line
    // answers it like any control.
    DWORD_PTR nLength = 0;
    SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &nLength);
    std::wstring strText(nLength + 1, L'\0');
    SendMessageTimeoutW(hwnd, WM_GETTEXT, strText.size(), reinterpret_cast<LPARAM>(strText.data()),
                        SMTO_ABORTIFHUNG, 5000, nullptr);
    return strText.c_str();
}

bool WaitFor(const std::function<bool()> &fnDone, std::chrono::milliseconds timeout = kWait)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!fnDone()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(kPoll);
    }
    return true;
}

// A running kestrel.exe and the windows it shows.
class CApp
{
public:
    explicit CApp(const std::wstring &strExe)
    {
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        std::wstring strCommand = L"\"" + strExe + L"\"";
        m_start = std::chrono::steady_clock::now();
        if (CreateProcessW(nullptr, strCommand.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                           &startup, &m_process)) {
            CloseHandle(m_process.hThread);
        }
    }
    ~CApp()
    {
        if (m_process.hProcess == nullptr)
            return;
        if (WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(m_process.hProcess, 99);
        CloseHandle(m_process.hProcess);
    }
    CApp(const CApp &) = delete;
    CApp &operator=(const CApp &) = delete;

    bool Started() const { return m_process.hProcess != nullptr; }
    bool WaitExit(std::chrono::milliseconds timeout = kWait) const
    {
        return WaitForSingleObject(m_process.hProcess, static_cast<DWORD>(timeout.count())) ==
               WAIT_OBJECT_0;
    }
    double SecondsSinceStart() const
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    }

    // A visible top-level window of this process whose title is exactly strTitle.
    HWND Find(const std::wstring &strTitle) const
    {
        return FindWhere([&](HWND hwnd) { return TextOf(hwnd) == strTitle; });
    }
    // A visible top-level window of this process of that class ("#32768": a menu that runs).
    HWND FindClass(const std::wstring &strClass) const
    {
        return FindWhere([&](HWND hwnd) {
            wchar_t szClass[64] = {};
            GetClassNameW(hwnd, szClass, 64);
            return strClass == szClass;
        });
    }
    HWND WaitWindow(const std::wstring &strTitle, std::chrono::milliseconds timeout = kWait) const
    {
        HWND hFound = nullptr;
        WaitFor([&] { return (hFound = Find(strTitle)) != nullptr; }, timeout);
        return hFound;
    }

private:
    HWND FindWhere(const std::function<bool(HWND)> &fnMatches) const
    {
        struct Search
        {
            DWORD nPid;
            const std::function<bool(HWND)> *pMatches;
            HWND hFound;
        } search = {m_process.dwProcessId, &fnMatches, nullptr};
        EnumWindows(
            [](HWND hwnd, LPARAM lParam) -> BOOL {
                auto *pSearch = reinterpret_cast<Search *>(lParam);
                DWORD nPid = 0;
                GetWindowThreadProcessId(hwnd, &nPid);
                if (nPid != pSearch->nPid || !IsWindowVisible(hwnd) || !(*pSearch->pMatches)(hwnd))
                    return TRUE;
                pSearch->hFound = hwnd;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.hFound;
    }

    PROCESS_INFORMATION m_process = {};
    std::chrono::steady_clock::time_point m_start;
};

// Posted, not sent: the handler may open a modal box, and the driver must stay free to see it.
void Click(HWND hDlg, int nId)
{
    PostMessageW(hDlg, WM_COMMAND, MAKEWPARAM(nId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(hDlg, nId)));
}

// Into an editable combo box through its edit field, as typing or a paste would arrive.
void SetText(HWND hDlg, int nId, const std::wstring &strText)
{
    HWND hControl = GetDlgItem(hDlg, nId);
    if (const HWND hEdit = FindWindowExW(hControl, nullptr, L"Edit", nullptr))
        hControl = hEdit;
    SendMessageW(hControl, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(strText.c_str()));
}

std::wstring Text(HWND hDlg, int nId)
{
    return TextOf(GetDlgItem(hDlg, nId));
}

std::vector<std::wstring> Entries(HWND hDlg, int nId)
{
    const HWND hCombo = GetDlgItem(hDlg, nId);
    std::vector<std::wstring> entries;
    const auto nCount = SendMessageW(hCombo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < nCount; ++i) {
        wchar_t szEntry[256] = {};
        SendMessageW(hCombo, CB_GETLBTEXT, static_cast<WPARAM>(i),
                     reinterpret_cast<LPARAM>(szEntry));
        entries.emplace_back(szEntry);
    }
    return entries;
}

bool WaitStatus(HWND hDlg, const std::wstring &strStatus,
                std::chrono::milliseconds timeout = kRunWait)
{
    return WaitFor([&] { return Text(hDlg, IDC_STATUS) == strStatus; }, timeout);
}

// The message text of a message box: its one static control with text.
std::wstring MessageText(HWND hBox)
{
    std::wstring strText;
    for (HWND hChild = GetWindow(hBox, GW_CHILD); hChild != nullptr;
         hChild = GetWindow(hChild, GW_HWNDNEXT)) {
        wchar_t szClass[32] = {};
        GetClassNameW(hChild, szClass, 32);
        if (_wcsicmp(szClass, L"Static") == 0 && !TextOf(hChild).empty())
            strText = TextOf(hChild);
    }
    return strText;
}

// Opens the form's context menu as a right click does and picks an entry with the keyboard: the
// keys given (the down key skips separators, End goes to the last entry, Right opens a submenu),
// then Enter.
bool ChooseFromContextMenu(const CApp &app, HWND hMain, const std::vector<WPARAM> &keys)
{
    RECT rect = {};
    GetWindowRect(hMain, &rect);
    PostMessageW(hMain, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(hMain),
                 MAKELPARAM(rect.left + 40, rect.top + 80));
    HWND hMenu = nullptr;
    if (!WaitFor([&] { return (hMenu = app.FindClass(L"#32768")) != nullptr; }))
        return false;
    // The menu's own loop takes every key its thread gets.
    for (const WPARAM nKey : keys)
        PostMessageW(hMenu, WM_KEYDOWN, nKey, 0);
    PostMessageW(hMenu, WM_CHAR, L'\r', 0);
    return WaitFor([&] { return app.FindClass(L"#32768") == nullptr; });
}

// The context menu's entries in order (separators skipped by the down key).
const std::vector<WPARAM> kSaveEntry = {VK_DOWN};
const std::vector<WPARAM> kLoadEntry = {VK_DOWN, VK_DOWN};
const std::vector<WPARAM> kTrafficEntry = {VK_DOWN, VK_DOWN, VK_DOWN};
const std::vector<WPARAM> kAboutEntry = {VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN};

// Names the file in the system's file dialog of that title and confirms it.
bool ChooseFile(const CApp &app, const std::wstring &strTitle, const std::wstring &strPath)
{
    const HWND hDialog = app.WaitWindow(strTitle);
    if (hDialog == nullptr)
        return false;
    // The explorer-style dialog's name box, or the older dialog's plain field.
    HWND hName = GetDlgItem(hDialog, cmb13);
    if (hName != nullptr) {
        if (const HWND hEdit = FindWindowExW(hName, nullptr, L"Edit", nullptr))
            hName = hEdit;
    } else {
        hName = GetDlgItem(hDialog, edt1);
    }
    SendMessageW(hName, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(strPath.c_str()));
    PostMessageW(hDialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(hDialog, IDOK)));
    return WaitFor([&] { return app.Find(strTitle) == nullptr; });
}

std::string FileText(const std::wstring &strPath)
{
    std::ifstream file(strPath.c_str(), std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::wstring TempFile(const wchar_t *pName)
{
    wchar_t szFolder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, szFolder);
    const std::wstring strPath = std::wstring(szFolder) + pName;
    DeleteFileW(strPath.c_str());
    return strPath;
}

std::wstring ProfilePath()
{
    wchar_t szAppData[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, szAppData);
    return std::wstring(szAppData) + L"\\Kestrel\\Kestrel.ini";
}

// A fresh profile that holds only the window's language: under Wine the user's UI language
// follows the Linux side's locale (English under C.UTF-8), so each test says which it reads.
void ResetProfile(const wchar_t *pLanguage)
{
    DeleteFileW(ProfilePath().c_str());
    CreateDirectoryW(ProfilePath().substr(0, ProfilePath().rfind(L'\\')).c_str(), nullptr);
    WritePrivateProfileStringW(L"Settings", L"Language", pLanguage, ProfilePath().c_str());
}

int ProfileValue(const wchar_t *pKey)
{
    return static_cast<int>(GetPrivateProfileIntW(L"Settings", pKey, -100, ProfilePath().c_str()));
}

// The commands the simulated module logged, one per line, with "\r\n" as the log shows it.
std::vector<std::string> SimCommands(const std::wstring &strLog)
{
    std::vector<std::string> commands;
    std::ifstream log(strLog.c_str());
    std::string strLine;
    while (std::getline(log, strLine)) {
        const size_t nAt = strLine.find("] ");
        if (strLine.rfind("[", 0) == 0 && nAt != std::string::npos)
            commands.push_back(strLine.substr(nAt + 2));
    }
    return commands;
}

// The log once the simulator has written out what it received: it writes every 100 ms, so a
// count that holds still for 400 ms is complete.
size_t SettledCommandCount(const std::wstring &strLog)
{
    size_t nCount = SimCommands(strLog).size();
    for (int nStill = 0; nStill < 4;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const size_t nNow = SimCommands(strLog).size();
        nStill = nNow == nCount ? nStill + 1 : 0;
        nCount = nNow;
    }
    return nCount;
}

// Leaves a request for the script in the control folder (NAME, holding strContent) and waits
// until the script has carried it out and taken it away.
bool AskScript(const std::wstring &strDir, const std::wstring &strName,
               const std::string &strContent)
{
    const std::wstring strRequest = strDir + L"\\" + strName;
    if (FILE *pFile = _wfopen(strRequest.c_str(), L"wb")) {
        std::fputs(strContent.c_str(), pFile);
        std::fclose(pFile);
    }
    return WaitFor(
        [&] { return GetFileAttributesW(strRequest.c_str()) == INVALID_FILE_ATTRIBUTES; },
        std::chrono::seconds(15));
}

// A picture of the window as it shows on the screen, when the script was asked for pictures: it
// captures the X window of that title.
void RequestShot(HWND hwnd, const std::wstring &strDir, const std::wstring &strName)
{
    char szTitle[512] = {};
    WideCharToMultiByte(CP_UTF8, 0, TextOf(hwnd).c_str(), -1, szTitle, sizeof(szTitle), nullptr,
                        nullptr);
    AskScript(strDir, strName + L".shot", szTitle);
}

// A field of a dialog template (sz_Or_Ord): none, an ordinal, or a text up to its zero.
const WORD *SkipTemplateField(const WORD *pField)
{
    if (*pField == 0x0000)
        return pField + 1;
    if (*pField == 0xFFFF)
        return pField + 2;
    while (*pField++ != 0) {
    }
    return pField;
}

// A dialog template's font as the dialog manager makes it from the FONT statement, at nDpi,
// and the template's size in dialog units.
struct CTemplateFont
{
    HFONT hFont = nullptr;
    int nWidthDu = 0;
    int nHeightDu = 0;
};

CTemplateFont TemplateFont(const std::wstring &strExe, int nTemplateId, int nDpi)
{
    CTemplateFont font;
    const HMODULE hExe = LoadLibraryExW(strExe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    const HRSRC hResource =
        hExe ? FindResourceW(hExe, MAKEINTRESOURCEW(nTemplateId), RT_DIALOG) : nullptr;
    const auto *pTemplate =
        hResource ? static_cast<const WORD *>(LockResource(LoadResource(hExe, hResource)))
                  : nullptr;
    // DLGTEMPLATEEX: after its fixed part the menu, the class and the caption, then the font.
    if (pTemplate != nullptr && pTemplate[1] == 0xFFFF) {
        font.nWidthDu = static_cast<short>(pTemplate[11]);
        font.nHeightDu = static_cast<short>(pTemplate[12]);
        const WORD *pFont = SkipTemplateField(SkipTemplateField(SkipTemplateField(pTemplate + 13)));
        font.hFont =
            CreateFontW(-MulDiv(pFont[0], nDpi, 72), 0, 0, 0, pFont[1], LOBYTE(pFont[2]), FALSE,
                        FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                        PROOF_QUALITY, FF_DONTCARE, reinterpret_cast<const wchar_t *>(pFont + 3));
    }
    if (hExe != nullptr)
        FreeLibrary(hExe);
    return font;
}

// The dialog's width in pixels as the dialog manager computes it with this font: equal to the
// window's, the font is the one the window draws with.
int WidthWithFont(HDC hdc, const CTemplateFont &font)
{
    TEXTMETRICW metrics = {};
    GetTextMetricsW(hdc, &metrics);
    const wchar_t kLetters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    SIZE size = {};
    GetTextExtentPoint32W(hdc, kLetters, 52, &size);
    return MulDiv(font.nWidthDu, (size.cx / 26 + 1) / 2, 4);
}

// The static texts of a dialog whose text, laid out as a static lays it out (wrapped at words
// within its width), needs more room than the static has.
std::wstring ClippedLabels(HWND hDlg, HDC hdc)
{
    std::wstring strClipped;
    for (HWND hChild = GetWindow(hDlg, GW_CHILD); hChild != nullptr;
         hChild = GetWindow(hChild, GW_HWNDNEXT)) {
        wchar_t szClass[32] = {};
        GetClassNameW(hChild, szClass, 32);
        const LONG_PTR nStyle = GetWindowLongPtrW(hChild, GWL_STYLE);
        const LONG_PTR nType = nStyle & SS_TYPEMASK;
        const std::wstring strText = TextOf(hChild);
        if (_wcsicmp(szClass, L"Static") != 0 || strText.empty() ||
            (nType != SS_LEFT && nType != SS_CENTER && nType != SS_RIGHT))
            continue;
        RECT client = {};
        GetClientRect(hChild, &client);
        RECT needed = {0, 0, client.right, 0};
        DrawTextW(hdc, strText.c_str(), -1, &needed,
                  DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS |
                      ((nStyle & SS_NOPREFIX) != 0 ? DT_NOPREFIX : 0));
        if (needed.right > client.right || needed.bottom > client.bottom)
            strClipped += L"[" + strText + L"] needs " + std::to_wstring(needed.right) + L"x" +
                          std::to_wstring(needed.bottom) + L" px, has " +
                          std::to_wstring(client.right) + L"x" + std::to_wstring(client.bottom) +
                          L"; ";
    }
    return strClipped;
}

// A setting of kestrel.exe's manifest as the system reads it when the program starts.
std::wstring ManifestSetting(const std::wstring &strExe, const wchar_t *pNamespace,
                             const wchar_t *pName)
{
    ACTCTXW actCtx = {};
    actCtx.cbSize = sizeof(actCtx);
    actCtx.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    actCtx.lpSource = strExe.c_str();
    actCtx.lpResourceName = CREATEPROCESS_MANIFEST_RESOURCE_ID;
    const HANDLE hContext = CreateActCtxW(&actCtx);
    if (hContext == INVALID_HANDLE_VALUE)
        return L"(no manifest)";
    wchar_t szValue[128] = {};
    const BOOL bFound =
        QueryActCtxSettingsW(0, hContext, pNamespace, pName, szValue, ARRAYSIZE(szValue), nullptr);
    ReleaseActCtx(hContext);
    return bFound ? szValue : L"(not set)";
}

// Windows 10 takes the first value of dpiAwareness it knows, older systems read dpiAware.
// (Wine 8 draws every program at the display's DPI, so only the declaration can be checked.)
void TestManifestAsksForDpi(const std::wstring &strExe)
{
    const std::wstring strAwareness = ManifestSetting(
        strExe, L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"dpiAwareness");
    std::wstring strWords;
    for (const wchar_t ch : strAwareness) {
        if (ch != L' ')
            strWords += static_cast<wchar_t>(towlower(ch));
    }
    Check(strWords == L"permonitorv2,system",
          "the manifest asks for per-monitor v2 awareness, else system awareness", strAwareness);
    const std::wstring strAware = ManifestSetting(
        strExe, L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware");
    Check(_wcsicmp(strAware.c_str(), L"true") == 0,
          "the manifest asks older systems for system awareness", strAware);
}

// The dialog is drawn at the display's DPI, not stretched from 96, and each label shows whole.
void CheckDialogAtDpi(const std::wstring &strExe, HWND hDlg, int nTemplateId,
                      const std::string &strWhat)
{
    if (hDlg == nullptr) {
        Check(false, strWhat + ": opens");
        return;
    }
    const HDC hdc = CreateCompatibleDC(nullptr);
    const CTemplateFont font = TemplateFont(strExe, nTemplateId, GetDeviceCaps(hdc, LOGPIXELSY));
    const HGDIOBJ hOld = SelectObject(hdc, font.hFont);
    RECT client = {};
    GetClientRect(hDlg, &client);
    const int nExpected = font.hFont != nullptr ? WidthWithFont(hdc, font) : -1;
    Check(client.right == nExpected, strWhat + ": laid out in its font at the display's DPI",
          std::to_wstring(client.right) + L" px, " + std::to_wstring(nExpected) + L" expected");
    const std::wstring strClipped = ClippedLabels(hDlg, hdc);
    Check(strClipped.empty(), strWhat + ": every label shows its whole text", strClipped);
    SelectObject(hdc, hOld);
    DeleteObject(font.hFont);
    DeleteDC(hdc);
}

// Picks the port (1-based) and flow in the port dialog and confirms it.
void ChoosePort(HWND hPortDlg, int nPort, int nFlowIndex)
{
    SendMessageW(GetDlgItem(hPortDlg, IDC_COMBO_PORT), CB_SETCURSEL, nPort - 1, 0);
    SendMessageW(GetDlgItem(hPortDlg, IDC_COMBO_FLOW), CB_SETCURSEL, nFlowIndex, 0);
    Click(hPortDlg, IDOK);
}

struct CContext
{
    std::wstring strExe;
    std::wstring strSimLog;
    std::wstring strSilentLog;
    std::wstring strControlDir; // requests to the script (pictures, a module plugged back in)
};

void TestPortDialogAndCancel(const CContext &context)
{
    ResetProfile(L"zh_CN");
    CApp app(context.strExe);
    Check(app.Started(), "kestrel.exe starts");
    const HWND hPort = app.WaitWindow(kPortTitle);
    Check(hPort != nullptr, "the port dialog opens");
    if (hPort == nullptr)
        return;
    std::printf("info start to port dialog: %.2f s\n", app.SecondsSinceStart());
    // COM1 to COM50 as ever, then the system's port past them (COM51, mapped by the script).
    const std::vector<std::wstring> ports = Entries(hPort, IDC_COMBO_PORT);
    bool bNames = ports.size() == 51;
    for (size_t i = 0; bNames && i < ports.size(); ++i)
        bNames = ports[i] == L"COM" + std::to_wstring(i + 1);
    Check(bNames, "the port list holds COM1 to COM50 and the system's COM51 in order",
          ports.empty() ? L"" : ports.back());
    Check(Entries(hPort, IDC_COMBO_FLOW) == std::vector<std::wstring>{L"无", L"硬件"},
          "the flow list holds 无 and 硬件");
    Check(Text(hPort, IDC_COMBO_PORT) == L"COM1" && Text(hPort, IDC_COMBO_FLOW) == L"无",
          "a first run preselects COM1 and 无", Text(hPort, IDC_COMBO_PORT));
    Check(Entries(hPort, IDC_COMBO_LINERATE) ==
              std::vector<std::wstring>{L"自动检测", L"1200", L"2400", L"4800", L"9600",
                                        L"19200", L"38400", L"57600", L"115200", L"230400",
                                        L"460800", L"921600", L"1382400"},
          "the line-rate list holds 自动检测 and the twelve rates");
    Check(Text(hPort, IDC_COMBO_LINERATE) == L"9600", "a first run preselects 9600",
          Text(hPort, IDC_COMBO_LINERATE));
    RequestShot(hPort, context.strControlDir, L"win32-port-dialog");
    Click(hPort, IDCANCEL);
    Check(app.WaitExit(), "cancel ends the program");
    Check(ProfileValue(L"PortNum") == -100 && ProfileValue(L"Flow") == -100,
          "cancel writes no port choice");
}

// What an earlier run left in the profile decides what the port dialog offers; values outside
// the lists, negative ones included, fall back to COM1 and 无.
void TestSavedChoices(const CContext &context)
{
    const struct
    {
        const wchar_t *pPortNum;
        const wchar_t *pFlow;
        const wchar_t *pBaud;
        const wchar_t *pPort;
        const wchar_t *pFlowText;
        const wchar_t *pRateText;
    } aCases[] = {
        {L"11", L"1", L"38400", L"COM12", L"硬件", L"38400"},
        {L"49", L"0", L"0", L"COM50", L"无", L"自动检测"},
        {L"50", L"2", L"14400", L"COM1", L"无", L"9600"},
        {L"-1", L"-1", L"-1", L"COM1", L"无", L"9600"},
        {L"junk", L"", L"fast", L"COM1", L"无", L"9600"},
    };
    for (const auto &saved : aCases) {
        WritePrivateProfileStringW(L"Settings", L"PortNum", saved.pPortNum, ProfilePath().c_str());
        WritePrivateProfileStringW(L"Settings", L"Flow", saved.pFlow, ProfilePath().c_str());
        WritePrivateProfileStringW(L"Settings", L"Baud", saved.pBaud, ProfilePath().c_str());
        CApp app(context.strExe);
        const HWND hPort = app.WaitWindow(kPortTitle);
        const std::wstring strShown = hPort ? Text(hPort, IDC_COMBO_PORT) + L" " +
                                                  Text(hPort, IDC_COMBO_FLOW) + L" " +
                                                  Text(hPort, IDC_COMBO_LINERATE)
                                            : L"";
        Check(strShown == std::wstring(saved.pPort) + L" " + saved.pFlowText + L" " +
                              saved.pRateText,
              "saved PortNum, Flow and Baud preselect their entries, or COM1, 无 and 9600",
              strShown);
        if (hPort != nullptr)
            Click(hPort, IDCANCEL);
        app.WaitExit();
    }
    ResetProfile(L"zh_CN");
}

// Text that reaches a field some other way than a keystroke the edit limits (a paste, another
// program), or is typed: a character GBK cannot carry is dropped, and the text ends where its GBK
// bytes would pass the field's limit.
void TestFieldFilter(HWND hMain)
{
    const struct
    {
        int nId;
        const wchar_t *pText;
        bool bTyped; // one WM_CHAR per character instead of one WM_SETTEXT
        const wchar_t *pExpected;
    } aCases[] = {
        {IDC_EDIT_NAME, L"蓝牙模块一二三四五六", false, L"蓝牙模块一二三四五六"},   // 20 bytes
        {IDC_EDIT_NAME, L"蓝牙模块一二三四五六七", false, L"蓝牙模块一二三四五六"}, // 22 bytes
        {IDC_EDIT_NAME, L"Na\U0001F600me", false, L"Name"},                         // not in GBK
        {IDC_EDIT_NAME, L"Name1234567890123456", false, L"Name1234567890123456"},
        {IDC_EDIT_NAME, L"Name123456789012345蓝", false, L"Name123456789012345"}, // 21 bytes
        {IDC_EDIT_CLASS, L"1234567", false, L"123456"},
        {IDC_EDIT_PASSWORD, L"1234567890123456", false, L"1234567890123456"},
        {IDC_COMBO_BINDADDR, L"00AA\uD55C", true, L"00AA"}, // a Hangul syllable: not in GBK
    };
    for (const auto &field : aCases) {
        const std::wstring strBefore = Text(hMain, field.nId);
        if (field.bTyped) {
            HWND hTarget = GetDlgItem(hMain, field.nId);
            if (const HWND hEdit = FindWindowExW(hTarget, nullptr, L"Edit", nullptr))
                hTarget = hEdit;
            for (const wchar_t *p = field.pText; *p != 0; ++p)
                SendMessageW(hTarget, WM_CHAR, *p, 1);
        } else {
            SetText(hMain, field.nId, field.pText);
        }
        const std::wstring strAfter = Text(hMain, field.nId);
        Check(strAfter == field.pExpected,
              "field " + std::to_string(field.nId) + " takes a text by its GBK bytes", strAfter);
        SetText(hMain, field.nId, strBefore);
    }
}

void TestFormFillsItself(HWND hMain)
{
    Check(Text(hMain, IDC_STATUS) == L"准备就绪" && Text(hMain, IDC_EDIT_NAME).empty(),
          "the form opens empty with 准备就绪", Text(hMain, IDC_STATUS));
    Check(WaitStatus(hMain, L"查询完成"), "the first query runs by itself and completes",
          Text(hMain, IDC_STATUS));
    const struct
    {
        int nId;
        const wchar_t *pExpected;
    } aFields[] = {
        {IDC_EDIT_NAME, L"CORVA3264"},
        {IDC_EDIT_VERSION, L"V4.25"},
        {IDC_EDIT_CLASS, L"000000"},
        {IDC_EDIT_PASSWORD, L"7391"},
        {IDC_COMBO_BAUD, L"9600"},
        {IDC_COMBO_PARITY, L"无校验"},
        {IDC_COMBO_STOPBITS, L"1"},
        {IDC_EDIT_CONN_INTERVAL, L"1024"},
        {IDC_EDIT_CONN_DURATION, L"512"},
        {IDC_EDIT_SNIFF_MAX, L"0"},
        {IDC_EDIT_LOCALADDR, L"00158300A1B2"},
    };
    for (const auto &field : aFields) {
        Check(Text(hMain, field.nId) == field.pExpected,
              "control " + std::to_string(field.nId) + " shows the module's value",
              Text(hMain, field.nId));
    }
    Check(Entries(hMain, IDC_COMBO_BAUD).size() == 13, "the baud list holds 13 entries");
    Check(SendMessageW(GetDlgItem(hMain, IDC_CHECK_AUTH), BM_GETCHECK, 0, 0) == BST_CHECKED,
          "the authentication box shows the module's 1");
}

void TestSetWritesOnlyChanges(const CContext &context, HWND hMain)
{
    const size_t nBefore = SettledCommandCount(context.strSimLog);
    SetText(hMain, IDC_EDIT_NAME, L"KestrelW");
    SetText(hMain, IDC_EDIT_SNIFF_MAX, L"800");
    Click(hMain, IDC_BUTTON_SET);
    Check(WaitStatus(hMain, L"设置完成"), "Set completes", Text(hMain, IDC_STATUS));
    std::vector<std::string> sent;
    WaitFor(
        [&] {
            const std::vector<std::string> all = SimCommands(context.strSimLog);
            sent.assign(all.begin() + static_cast<long>(std::min(nBefore, all.size())), all.end());
            return sent.size() >= 3;
        },
        std::chrono::seconds(3));
    std::wstring strSent;
    for (const std::string &strLine : sent)
        strSent += std::wstring(strLine.begin(), strLine.end()) + L" ";
    // Without binding the module is told to forget any address on every Set.
    Check(sent == std::vector<std::string>{"AT+NAME=KestrelW\\r\\n", "AT+CLEARADDR\\r\\n",
                                           "AT+SNIFF=800,0,0,0\\r\\n"},
          "Set sends exactly the changed lines", strSent);
    const bool bQueryEnabled = IsWindowEnabled(GetDlgItem(hMain, IDC_BUTTON_QUERY)) != FALSE;
    Click(hMain, IDC_BUTTON_QUERY);
    Check(bQueryEnabled && WaitStatus(hMain, L"正在查询内嵌模块参数...", std::chrono::seconds(5)) &&
              WaitStatus(hMain, L"查询完成"),
          "a new query completes", Text(hMain, IDC_STATUS));
    Check(Text(hMain, IDC_EDIT_NAME) == L"KestrelW" && Text(hMain, IDC_EDIT_SNIFF_MAX) == L"800",
          "the module holds what Set wrote", Text(hMain, IDC_EDIT_NAME));
}

void TestFormCheckStopsSet(const CContext &context, HWND hMain, const CApp &app)
{
    const size_t nBefore = SettledCommandCount(context.strSimLog);
    SetText(hMain, IDC_EDIT_CONN_INTERVAL, L"5000");
    Click(hMain, IDC_BUTTON_SET);
    const HWND hBox = app.WaitWindow(L"提示", std::chrono::seconds(5));
    Check(hBox != nullptr && MessageText(hBox) == L"请输入一个介于 0 和 4096 之间的整数。",
          "a number over 4096 is refused with a message", MessageText(hBox));
    if (hBox != nullptr)
        PostMessageW(hBox, WM_COMMAND, IDOK, 0);
    Check(SettledCommandCount(context.strSimLog) == nBefore, "a refused form sends nothing");
    SetText(hMain, IDC_EDIT_CONN_INTERVAL, L"1024");
}

// A mouse gesture through the system's input queue, in the control's client coordinates.
void Drag(HWND hControl, POINT from, POINT to)
{
    ClientToScreen(hControl, &from);
    ClientToScreen(hControl, &to);
    SetCursorPos(from.x, from.y);
    INPUT down = {};
    down.type = INPUT_MOUSE;
    down.mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    SendInput(1, &down, sizeof(INPUT));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    SetCursorPos(to.x, to.y);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    INPUT up = down;
    up.mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(1, &up, sizeof(INPUT));
}

void TestSlider(HWND hMain)
{
    // The thumb dragged to the right end and let go: the release applies the "on" preset. The
    // thumb's place at the left end depends on the theme, so the press tries a few points.
    const HWND hSlider = GetDlgItem(hMain, IDC_SLIDER_SCAN);
    SetForegroundWindow(hMain);
    RECT rect = {};
    GetClientRect(hSlider, &rect);
    const LONG y = (rect.bottom - rect.top) / 2;
    for (LONG x = 3; x <= 15 && SendMessageW(hSlider, TBM_GETPOS, 0, 0) == 0; x += 3) {
        Drag(hSlider, {x, y}, {rect.right + 20, y});
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    Check(WaitFor([&] { return Text(hMain, IDC_EDIT_CONN_INTERVAL) == L"2048"; },
                  std::chrono::seconds(5)) &&
              Text(hMain, IDC_EDIT_CONN_DURATION) == L"18" &&
              Text(hMain, IDC_EDIT_INQ_INTERVAL) == L"2048" &&
              Text(hMain, IDC_EDIT_INQ_DURATION) == L"18",
          "releasing the standby slider at its on end presets 2048, 18, 2048, 18",
          Text(hMain, IDC_EDIT_CONN_INTERVAL) + L" at " +
              std::to_wstring(SendMessageW(hSlider, TBM_GETPOS, 0, 0)));
}

void TestActions(HWND hMain)
{
    const struct
    {
        int nButton;
        const wchar_t *pDone;
        const char *pWhat;
    } aActions[] = {
        {IDC_BUTTON_DEFAULT, L"成功恢复默认参数", "默认 restores the defaults"},
        {IDC_BUTTON_CLEARADDR, L"成功清除邦定的蓝牙地址", "清除地址 clears the binding"},
        {IDC_BUTTON_SEARCH, L"查询完成", "搜索设备 finds the devices"},
    };
    for (const auto &action : aActions) {
        Click(hMain, action.nButton);
        Check(WaitStatus(hMain, action.pDone), action.pWhat, Text(hMain, IDC_STATUS));
    }
    Check(Text(hMain, IDC_EDIT_NAME) == L"CORVA3264", "默认 puts the default name in the form");
    const std::vector<std::wstring> found = Entries(hMain, IDC_COMBO_BINDADDR);
    std::wstring strFound;
    for (const std::wstring &strEntry : found)
        strFound += strEntry + L" ";
    Check(found == std::vector<std::wstring>{L"0011223344AA Phone", L"00AABB001122 Headset"} &&
              IsWindowEnabled(GetDlgItem(hMain, IDC_COMBO_BINDADDR)),
          "the search lists every device, sorted, and enables the address box", strFound);
}

std::wstring ProfileText(const wchar_t *pKey, const wchar_t *pSection = L"Settings");

// What the context menu, its file dialogs and the traffic window show in one language.
struct CUiTexts
{
    const char *pCheckPrefix; // what the checks begin with
    const wchar_t *pAboutTitle;
    const wchar_t *pSaveTitle;
    const wchar_t *pLoadTitle;
    const wchar_t *pTrafficTitle;
    const wchar_t *pTrafficSaveTitle;
    std::vector<std::wstring> trafficButtons; // copy, save, clear, close
    // The console: its button, the line endings, the refusals' caption and messages (in the
    // order of kConsoleRefusals), and the status line at a command's end.
    const wchar_t *pSend;
    std::vector<std::wstring> lineEndings;
    const wchar_t *pNotice;
    std::vector<std::wstring> refusals;
    const wchar_t *pConsoleDone;
    const wchar_t *pConsoleRefused;
    const wchar_t *pFormMayDiffer; // added after a command that may have changed the module
};

const CUiTexts kChineseTexts = {
    "zh: ",
    L"关于 Kestrel",
    L"保存配置",
    L"载入配置",
    L"通信记录",
    L"保存通信记录",
    {L"复制", L"保存...", L"清除", L"关闭"},
    L"发送",
    {L"CR LF", L"CR", L"LF", L"无"},
    L"提示",
    {L"第 9 个字符“\U0001F600”无法用 GBK 编码，模块收不到它",
     L"第 3 个字符：无效的转义 \\q，可用 \\r、\\n、\\\\ 和 \\xNN",
     L"命令太长：连同行尾最多 128 字节，从第 127 个字符起超出",
     L"第 2 个字符是控制字符（\\x09），请用转义写出，如 \\r、\\n 或 \\x1B"},
    L"命令已完成",
    L"模块拒绝了命令",
    L"；模块的参数可能已改变，窗口所示可能与模块不符，请点击“查询”重新读取",
};

const CUiTexts kEnglishTexts = {
    "en: ",
    L"About Kestrel",
    L"Save configuration",
    L"Load configuration",
    L"Traffic",
    L"Save traffic",
    {L"Copy", L"Save...", L"Clear", L"Close"},
    L"Send",
    {L"CR LF", L"CR", L"LF", L"None"},
    L"Notice",
    {L"Character 9 (“\U0001F600”) has no GBK form, so the module cannot receive it",
     L"Character 3: \\q is not an escape; use \\r, \\n, \\\\ or \\xNN",
     L"Command too long: at most 128 bytes with the line ending; it goes over from character 127",
     L"Character 2 is a control character (\\x09); type it as an escape such as \\r, \\n or "
     L"\\x1B"},
    L"Command done",
    L"The module refused the command",
    L"; the module's parameters may have changed and the form may no longer match them: click "
    L"\"Query\" to read them again",
};

// The form saved to a file through the context menu and the system's file dialog, changed, then
// loaded back: the file's value returns to the form, and nothing goes to the module.
void TestConfigFiles(const CContext &context, const CApp &app, HWND hMain, const CUiTexts &texts)
{
    const std::string strLanguage = texts.pCheckPrefix;
    const std::wstring strPath = TempFile(L"kestrel-window-test.json");
    const size_t nBefore = SettledCommandCount(context.strSimLog);
    SetText(hMain, IDC_EDIT_NAME, L"FromFile");
    Check(ChooseFromContextMenu(app, hMain, kSaveEntry) &&
              ChooseFile(app, texts.pSaveTitle, strPath),
          strLanguage + "保存配置... asks for a file and saves");
    std::string strSaved;
    Check(WaitFor([&] {
              strSaved = FileText(strPath);
              return strSaved.find("\"name\": \"FromFile\"") != std::string::npos;
          }),
          strLanguage + "the file holds what the form shows",
          std::wstring(strSaved.begin(), strSaved.end()));
    SetText(hMain, IDC_EDIT_NAME, L"Other");
    Check(ChooseFromContextMenu(app, hMain, kLoadEntry) &&
              ChooseFile(app, texts.pLoadTitle, strPath),
          strLanguage + "载入配置... asks for a file");
    Check(WaitFor([&] { return Text(hMain, IDC_EDIT_NAME) == L"FromFile"; }),
          strLanguage + "loading puts the file's value into the form", Text(hMain, IDC_EDIT_NAME));
    Check(SettledCommandCount(context.strSimLog) == nBefore,
          strLanguage + "saving and loading send nothing to the module");
    DeleteFileW(strPath.c_str());
}

// The traffic window, opened through the context menu: a query's commands and replies appear in
// it, Clear empties it, and once closed it records nothing until it shows again.
void TestTrafficWindow(const CContext &context, const CApp &app, HWND hMain, const CUiTexts &texts)
{
    const std::string strLanguage = texts.pCheckPrefix;
    Check(ChooseFromContextMenu(app, hMain, kTrafficEntry), strLanguage + "the context menu runs");
    const HWND hTraffic = app.WaitWindow(texts.pTrafficTitle);
    Check(hTraffic != nullptr, strLanguage + "通信记录 opens the traffic window");
    if (hTraffic == nullptr)
        return;
    const std::vector<std::wstring> buttons = {
        Text(hTraffic, IDC_TRAFFIC_COPY), Text(hTraffic, IDC_TRAFFIC_SAVE),
        Text(hTraffic, IDC_TRAFFIC_CLEAR), Text(hTraffic, IDCANCEL)};
    Check(buttons == texts.trafficButtons, strLanguage + "its buttons", buttons[0]);
    Click(hMain, IDC_BUTTON_QUERY);
    Check(WaitFor([&] {
              const std::wstring strShown = Text(hTraffic, IDC_TRAFFIC_TEXT);
              return strShown.find(L" TX AT+NAME?\\r\\n\r\n") != std::wstring::npos &&
                     strShown.find(L" RX ") != std::wstring::npos &&
                     strShown.find(L"+NAME:") != std::wstring::npos;
          }),
          strLanguage + "a query's commands and replies show as TX and RX lines",
          Text(hTraffic, IDC_TRAFFIC_TEXT).substr(0, 200));
    SettledCommandCount(context.strSimLog);
    const std::wstring strPath = TempFile(L"kestrel-window-trace.txt");
    Click(hTraffic, IDC_TRAFFIC_SAVE);
    Check(ChooseFile(app, texts.pTrafficSaveTitle, strPath) &&
              FileText(strPath).find(" TX AT+NAME?\\r\\n\n") != std::string::npos,
          strLanguage + "保存... writes the lines to a text file");
    DeleteFileW(strPath.c_str());
    Click(hTraffic, IDC_TRAFFIC_CLEAR);
    Check(WaitFor([&] { return Text(hTraffic, IDC_TRAFFIC_TEXT).empty(); }),
          strLanguage + "Clear empties it");
    Click(hTraffic, IDCANCEL);
    Check(WaitFor([&] { return app.Find(texts.pTrafficTitle) == nullptr; }),
          strLanguage + "Close hides it");

    const size_t nBefore = SettledCommandCount(context.strSimLog);
    Click(hMain, IDC_BUTTON_QUERY);
    Check(WaitFor([&] { return SettledCommandCount(context.strSimLog) > nBefore; }),
          strLanguage + "a query runs while it is hidden");
    Check(ChooseFromContextMenu(app, hMain, kTrafficEntry) &&
              app.WaitWindow(texts.pTrafficTitle) == hTraffic &&
              Text(hTraffic, IDC_TRAFFIC_TEXT).empty(),
          strLanguage + "shown again, it has recorded nothing while hidden",
          Text(hTraffic, IDC_TRAFFIC_TEXT).substr(0, 200));
    Click(hTraffic, IDCANCEL);
    WaitFor([&] { return app.Find(texts.pTrafficTitle) == nullptr; });
}

// A key pressed in a control: through the program's message loop, as the keyboard's keys come.
void PressKey(HWND hControl, WPARAM nKey)
{
    PostMessageW(hControl, WM_KEYDOWN, nKey, 1);
}

// Whether one line of the traffic log holds all the parts.
bool LogHasLine(HWND hTraffic, const std::vector<std::wstring> &parts)
{
    const std::wstring strLog = Text(hTraffic, IDC_TRAFFIC_TEXT);
    for (size_t nStart = 0; nStart < strLog.size();) {
        const size_t nEnd = std::min(strLog.find(L"\r\n", nStart), strLog.size());
        const std::wstring strLine = strLog.substr(nStart, nEnd - nStart);
        bool bAll = true;
        for (const std::wstring &strPart : parts)
            bAll = bAll && strLine.find(strPart) != std::wstring::npos;
        if (bAll)
            return true;
        nStart = nEnd + 2;
    }
    return false;
}

// Opens the traffic window through the context menu.
HWND OpenTraffic(const CApp &app, HWND hMain, const CUiTexts &texts)
{
    if (!ChooseFromContextMenu(app, hMain, kTrafficEntry))
        return nullptr;
    return app.WaitWindow(texts.pTrafficTitle);
}

RECT WindowRect(HWND hDlg, int nId)
{
    RECT rect = {};
    GetWindowRect(GetDlgItem(hDlg, nId), &rect);
    return rect;
}

// Made larger, the window gives the room to the log and the command field; the line-ending list
// and "发送" keep to the bottom right.
bool FollowsTheSize(HWND hTraffic)
{
    constexpr int kGrowth = 150;
    RECT window = {};
    GetWindowRect(hTraffic, &window);
    const RECT field = WindowRect(hTraffic, IDC_CONSOLE_COMMAND);
    const RECT send = WindowRect(hTraffic, IDC_BUTTON_CONSOLE_SEND);
    const RECT eols = WindowRect(hTraffic, IDC_CONSOLE_EOL);
    const auto fnResize = [&](int nGrowth) {
        SetWindowPos(hTraffic, nullptr, 0, 0, window.right - window.left + nGrowth,
                     window.bottom - window.top + nGrowth, SWP_NOMOVE | SWP_NOZORDER);
    };
    fnResize(kGrowth);
    const RECT fieldNow = WindowRect(hTraffic, IDC_CONSOLE_COMMAND);
    const RECT sendNow = WindowRect(hTraffic, IDC_BUTTON_CONSOLE_SEND);
    const bool bFollows = fieldNow.top - field.top == kGrowth && fieldNow.left == field.left &&
                          fieldNow.right - field.right == kGrowth &&
                          sendNow.left - send.left == kGrowth &&
                          sendNow.top - send.top == kGrowth &&
                          WindowRect(hTraffic, IDC_CONSOLE_EOL).left - eols.left == kGrowth;
    fnResize(0);
    return bFollows;
}

// A command typed into the console and sent, by Enter in the field or a click on its button; how
// it shows on the wire (escaped as the log shows it), what of its reply the log shows, how the
// command ends.
struct CConsoleSend
{
    const wchar_t *pTyped;
    bool bEnter;
    const wchar_t *pSent;  // in the log's TX line
    const char *pSimLine;  // as the simulated module logs it
    const wchar_t *pReply; // in an RX line
    bool bRefused;         // else OK
    bool bMayChange;       // the status line adds that the form may no longer match
};

// The simulated module answers "AT+STATE?" beyond the form and any command it does not know
// with "ERROR(1F)"; the name is set to what it was, then read back into the form.
const CConsoleSend kConsoleSends[] = {
    {L"AT", true, L"AT\\r\\n", "AT\\r\\n", L"OK", false, false},
    {L"AT+STATE?", false, L"AT+STATE?\\r\\n", "AT+STATE?\\r\\n", L"+STATE:", false, false},
    {L"AT+KESTREL=蓝牙", true, L"AT+KESTREL=\\xC0\\xB6\\xD1\\xC0\\r\\n",
     "AT+KESTREL=\xC0\xB6\xD1\xC0\\r\\n", L"ERROR(1F)", true, false},
    {L"AT+NAME=CORVA3264", true, L"AT+NAME=CORVA3264\\r\\n", "AT+NAME=CORVA3264\\r\\n", L"OK",
     false, true},
    {L"AT+NAME?", false, L"AT+NAME?\\r\\n", "AT+NAME?\\r\\n", L"+NAME:CORVA3264", false, false},
};

// Commands the console refuses before anything is written, with the characters it selects
// (UTF-16 units): one GBK cannot hold, a bad escape, one past the slot's 128 bytes with CR LF,
// a control character typed as it is. Their messages are in CUiTexts::refusals.
struct CConsoleRefusal
{
    std::wstring strTyped;
    int nSelStart;
    int nSelEnd;
};
const CConsoleRefusal kConsoleRefusals[] = {
    {L"AT+NAME=\U0001F600", 8, 10},
    {L"AT\\q", 2, 4},
    {L"AT+" + std::wstring(130, L'A'), 126, 133},
    {L"A\tT", 1, 2},
};

void TestConsoleSends(const CContext &context, HWND hMain, HWND hTraffic, const CUiTexts &texts)
{
    const std::string strLanguage = texts.pCheckPrefix;
    SetText(hMain, IDC_EDIT_NAME, L"Other");
    for (const CConsoleSend &send : kConsoleSends) {
        const std::string strWhat = strLanguage + "console " + std::string(send.pSimLine);
        Click(hTraffic, IDC_TRAFFIC_CLEAR);
        SetText(hTraffic, IDC_CONSOLE_COMMAND, send.pTyped);
        if (send.bEnter)
            PressKey(GetDlgItem(hTraffic, IDC_CONSOLE_COMMAND), VK_RETURN);
        else
            Click(hTraffic, IDC_BUTTON_CONSOLE_SEND);
        const std::wstring strEnd = send.bRefused ? L"console: refused" : L"console: OK";
        Check(WaitFor([&] {
                  return LogHasLine(hTraffic, {L" !! ", strEnd});
              }),
              strWhat + ": the log says how it ended", Text(hTraffic, IDC_TRAFFIC_TEXT));
        Check(LogHasLine(hTraffic, {L" TX ", send.pSent}) &&
                  LogHasLine(hTraffic, {L" RX ", send.pReply}),
              strWhat + ": the log shows it and its reply", Text(hTraffic, IDC_TRAFFIC_TEXT));
        const std::wstring strStatus =
            std::wstring(send.bRefused ? texts.pConsoleRefused : texts.pConsoleDone) +
            (send.bMayChange ? texts.pFormMayDiffer : L"");
        Check(Text(hMain, IDC_STATUS) == strStatus, strWhat + ": the status line says the end",
              Text(hMain, IDC_STATUS));
        Check(WaitFor([&] {
                  const std::vector<std::string> sent = SimCommands(context.strSimLog);
                  return !sent.empty() && sent.back() == send.pSimLine;
              }) &&
                  Text(hTraffic, IDC_CONSOLE_COMMAND).empty(),
              strWhat + ": the module got it as typed, and the field is empty again");
    }
    Check(Text(hMain, IDC_EDIT_NAME) == L"CORVA3264",
          strLanguage + "the console's AT+NAME? puts the name into the form",
          Text(hMain, IDC_EDIT_NAME));
}

void TestConsoleRefusals(const CContext &context, const CApp &app, HWND hTraffic,
                         const CUiTexts &texts)
{
    const std::string strLanguage = texts.pCheckPrefix;
    const HWND hField = GetDlgItem(hTraffic, IDC_CONSOLE_COMMAND);
    const size_t nBefore = SettledCommandCount(context.strSimLog);
    for (size_t i = 0; i < std::size(kConsoleRefusals); ++i) {
        const CConsoleRefusal &refusal = kConsoleRefusals[i];
        const std::string strWhat = strLanguage + "refusal " + std::to_string(i + 1);
        SetText(hTraffic, IDC_CONSOLE_COMMAND, refusal.strTyped);
        PressKey(hField, VK_RETURN);
        const HWND hBox = app.WaitWindow(texts.pNotice, std::chrono::seconds(5));
        Check(hBox != nullptr && MessageText(hBox) == texts.refusals[i],
              strWhat + ": a box says why", MessageText(hBox));
        if (hBox != nullptr)
            PostMessageW(hBox, WM_COMMAND, IDOK, 0);
        const auto nSel = static_cast<DWORD>(SendMessageW(hField, EM_GETSEL, 0, 0));
        Check(WaitFor([&] {
                  const auto nNow = static_cast<DWORD>(SendMessageW(hField, EM_GETSEL, 0, 0));
                  return LOWORD(nNow) == refusal.nSelStart && HIWORD(nNow) == refusal.nSelEnd;
              }) &&
                  Text(hTraffic, IDC_CONSOLE_COMMAND) == refusal.strTyped,
              strWhat + ": the command stays, the fault selected",
              std::to_wstring(LOWORD(nSel)) + L"-" + std::to_wstring(HIWORD(nSel)));
    }
    Check(SettledCommandCount(context.strSimLog) == nBefore,
          strLanguage + "nothing of a refused command reaches the module");
    SetText(hTraffic, IDC_CONSOLE_COMMAND, L"");
}

// From an empty field, Up walks the whole history (newest first) and stays at the oldest; Down
// walks back to the empty field.
bool RecallsInOrder(HWND hTraffic, const std::vector<std::wstring> &expected)
{
    const HWND hField = GetDlgItem(hTraffic, IDC_CONSOLE_COMMAND);
    for (const std::wstring &strExpected : expected) {
        PressKey(hField, VK_UP);
        if (!WaitFor([&] { return Text(hTraffic, IDC_CONSOLE_COMMAND) == strExpected; },
                     std::chrono::seconds(3)))
            return false;
    }
    PressKey(hField, VK_UP); // the first Down shows whether this one moved
    for (size_t i = expected.size(); i-- > 0;) {
        PressKey(hField, VK_DOWN);
        const std::wstring strExpected = i == 0 ? std::wstring() : expected[i - 1];
        if (!WaitFor([&] { return Text(hTraffic, IDC_CONSOLE_COMMAND) == strExpected; },
                     std::chrono::seconds(3)))
            return false;
    }
    return true;
}

// The console below the traffic log: its row, commands sent and their ends, the form following
// a reply, refusals, recall; in Chinese also the line ending chosen and kept in the profile.
void TestConsole(const CContext &context, const CApp &app, HWND hMain, const CUiTexts &texts)
{
    const std::string strLanguage = texts.pCheckPrefix;
    const HWND hTraffic = OpenTraffic(app, hMain, texts);
    Check(hTraffic != nullptr, strLanguage + "the traffic window opens for the console");
    if (hTraffic == nullptr)
        return;
    Check(Text(hTraffic, IDC_BUTTON_CONSOLE_SEND) == texts.pSend &&
              Entries(hTraffic, IDC_CONSOLE_EOL) == texts.lineEndings &&
              Text(hTraffic, IDC_CONSOLE_EOL) == L"CR LF" &&
              IsWindowEnabled(GetDlgItem(hTraffic, IDC_BUTTON_CONSOLE_SEND)),
          strLanguage + "the console row: its button, the line endings, CR LF chosen",
          Text(hTraffic, IDC_BUTTON_CONSOLE_SEND));
    TestConsoleSends(context, hMain, hTraffic, texts);
    TestConsoleRefusals(context, app, hTraffic, texts);
    Check(RecallsInOrder(hTraffic, {L"AT+NAME?", L"AT+NAME=CORVA3264", L"AT+KESTREL=蓝牙",
                                    L"AT+STATE?", L"AT"}),
          strLanguage + "Up recalls the commands sent, Down comes back to the empty field",
          Text(hTraffic, IDC_CONSOLE_COMMAND));
    if (&texts == &kChineseTexts) {
        Check(FollowsTheSize(hTraffic), "resized, the console row keeps to the bottom");
        // CR alone: the module takes it as the command's end.
        const HWND hEols = GetDlgItem(hTraffic, IDC_CONSOLE_EOL);
        SendMessageW(hEols, CB_SETCURSEL, 1, 0);
        PostMessageW(hTraffic, WM_COMMAND, MAKEWPARAM(IDC_CONSOLE_EOL, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(hEols));
        Click(hTraffic, IDC_TRAFFIC_CLEAR);
        SetText(hTraffic, IDC_CONSOLE_COMMAND, L"AT");
        PressKey(GetDlgItem(hTraffic, IDC_CONSOLE_COMMAND), VK_RETURN);
        Check(WaitFor([&] {
                  return LogHasLine(hTraffic, {L" !! ", L"console: OK"});
              }) &&
                  LogHasLine(hTraffic, {L" TX AT\\r"}) && !LogHasLine(hTraffic, {L" TX AT\\r\\n"}),
              "the chosen ending CR goes out after the command", Text(hTraffic, IDC_TRAFFIC_TEXT));
        Check(ProfileText(L"LineEnding", L"Console") == L"cr" &&
                  ProfileText(L"Command1", L"Console") == L"AT" &&
                  ProfileText(L"Command3", L"Console") == L"AT+NAME=CORVA3264",
              "the profile's [Console] keeps the ending and the commands, newest first",
              ProfileText(L"Command1", L"Console"));
    }
    Click(hTraffic, IDCANCEL);
    WaitFor([&] { return app.Find(texts.pTrafficTitle) == nullptr; });
}

// After a restart the console still has its commands (each once, "AT" sent twice) and its ending,
// Chinese text included: the profile keeps them.
void TestConsoleKept(const CContext &context)
{
    CApp app(context.strExe);
    const HWND hPort = app.WaitWindow(kPortTitle);
    if (hPort != nullptr)
        ChoosePort(hPort, kMainPort, 0);
    const HWND hMain = app.WaitWindow(kMainTitle);
    const HWND hTraffic = hMain != nullptr ? OpenTraffic(app, hMain, kChineseTexts) : nullptr;
    if (hTraffic == nullptr) {
        Check(false, "the traffic window opens after a restart");
        return;
    }
    Check(Text(hTraffic, IDC_CONSOLE_EOL) == L"CR", "the chosen ending is kept",
          Text(hTraffic, IDC_CONSOLE_EOL));
    Check(RecallsInOrder(hTraffic, {L"AT", L"AT+NAME?", L"AT+NAME=CORVA3264", L"AT+KESTREL=蓝牙",
                                    L"AT+STATE?"}),
          "after a restart Up recalls each command sent once, the oldest last",
          Text(hTraffic, IDC_CONSOLE_COMMAND));
    Click(hMain, IDC_BUTTON_CLOSE);
    Check(app.WaitExit(), "关闭 ends the program");
}

// The context menu's last part: About, then the language submenu, named in both languages,
// whose choice is kept for the next start and said in both languages.
void TestAboutAndLanguageEntries(const CApp &app, HWND hMain, const CUiTexts &texts)
{
    const std::string strLanguage = texts.pCheckPrefix;
    Check(ChooseFromContextMenu(app, hMain, kAboutEntry) &&
              app.WaitWindow(texts.pAboutTitle) != nullptr,
          strLanguage + "the entry after the traffic window opens the About box");
    if (const HWND hAbout = app.Find(texts.pAboutTitle))
        PostMessageW(hAbout, WM_COMMAND, IDOK, 0);
    WaitFor([&] { return app.Find(texts.pAboutTitle) == nullptr; });

    // The language not shown: Chinese is the submenu's first entry, English its last.
    const bool bChinese = &texts == &kChineseTexts;
    Check(ChooseFromContextMenu(
              app, hMain, {VK_END, VK_RIGHT, static_cast<WPARAM>(bChinese ? VK_END : VK_HOME)}),
          strLanguage + "the last entry opens the language submenu");
    const HWND hBox = app.WaitWindow(L"语言 / Language");
    Check(hBox != nullptr && MessageText(hBox) == L"下次启动时使用所选语言。\nThe chosen "
                                                  L"language applies from the next start.",
          strLanguage + "choosing a language says when it applies, in both languages",
          MessageText(hBox));
    Check(ProfileText(L"Language") == (bChinese ? L"en" : L"zh_CN"),
          strLanguage + "the choice is kept in the profile", ProfileText(L"Language"));
    if (hBox != nullptr)
        PostMessageW(hBox, WM_COMMAND, IDOK, 0);
    WritePrivateProfileStringW(L"Settings", L"Language", bChinese ? L"zh_CN" : L"en",
                               ProfilePath().c_str());
}

void TestBusyPort(const CContext &context)
{
    CApp second(context.strExe);
    const HWND hPort = second.WaitWindow(kPortTitle);
    Check(hPort != nullptr && Text(hPort, IDC_COMBO_PORT) == L"COM7",
          "the next start preselects the saved port");
    if (hPort == nullptr)
        return;
    ChoosePort(hPort, kMainPort, 0);
    const HWND hBox = second.WaitWindow(L"错误");
    Check(hBox != nullptr && MessageText(hBox) == L"打开串口失败，请确认是否有其他程序在使用！\n\n"
                                                  L"设备 COM7 正被其他程序占用：请先关闭那个程序。",
          "a port in use gives the open-failure box, why below", MessageText(hBox));
    if (hBox != nullptr)
        PostMessageW(hBox, WM_COMMAND, IDOK, 0);
    Check(second.WaitExit(), "the program ends after the open-failure box");
}

void TestMainWindow(const CContext &context)
{
    CApp app(context.strExe);
    const HWND hPort = app.WaitWindow(kPortTitle);
    Check(hPort != nullptr, "the port dialog opens again");
    if (hPort == nullptr)
        return;
    ChoosePort(hPort, kMainPort, 0);
    const HWND hMain = app.WaitWindow(kMainTitle);
    Check(hMain != nullptr, "the main window opens with its full title");
    if (hMain == nullptr)
        return;
    Check(ProfileValue(L"PortNum") == kMainPort - 1 && ProfileValue(L"Flow") == 0 &&
              ProfileValue(L"Baud") == 9600,
          "OK saves the port index, the flow index and the line rate");
    TestFormFillsItself(hMain);
    RequestShot(hMain, context.strControlDir, L"win32-main-dialog");
    TestSetWritesOnlyChanges(context, hMain);
    TestFormCheckStopsSet(context, hMain, app);
    TestFieldFilter(hMain);
    TestSlider(hMain);
    TestActions(hMain);
    TestConfigFiles(context, app, hMain, kChineseTexts);
    TestTrafficWindow(context, app, hMain, kChineseTexts);
    TestConsole(context, app, hMain, kChineseTexts);
    TestAboutAndLanguageEntries(app, hMain, kChineseTexts);
    TestBusyPort(context);

    PostMessageW(hMain, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    const HWND hAbout = app.WaitWindow(L"关于 Kestrel", std::chrono::seconds(5));
    Check(hAbout != nullptr, "the system-menu command 16 opens the About box");
    if (hAbout != nullptr)
        PostMessageW(hAbout, WM_COMMAND, IDCANCEL, 0);
    Check(WaitFor([&] { return app.Find(L"关于 Kestrel") == nullptr; }), "Escape closes it");

    Click(hMain, IDC_BUTTON_CLOSE);
    Check(app.WaitExit(), "关闭 ends the program");
}

// A console command the module leaves unanswered holds the line until its wait is over: the
// form's actions are greyed and a query clicked meanwhile sends nothing; closing the traffic
// window does not end it.
void TestConsoleHoldsTheLine(const CContext &context, HWND hMain, HWND hTraffic,
                             const std::function<bool(bool)> &fnActionsEnabled)
{
    const size_t nBefore = SettledCommandCount(context.strSilentLog);
    SetText(hTraffic, IDC_CONSOLE_COMMAND, L"AT+NAME?");
    Click(hTraffic, IDC_BUTTON_CONSOLE_SEND);
    Check(WaitFor([&] { return fnActionsEnabled(false); }, std::chrono::seconds(5)),
          "while a console command waits, the form's actions are greyed");
    Click(hMain, IDC_BUTTON_QUERY);
    Click(hTraffic, IDCANCEL);
    Check(WaitStatus(hMain, L"命令在等待时间内没有应答"),
          "closed, the traffic window leaves the command to end as usual: no reply in the wait",
          Text(hMain, IDC_STATUS));
    Check(fnActionsEnabled(true), "the actions are enabled again once it has ended");
    Check(SettledCommandCount(context.strSilentLog) == nBefore + 1 &&
              SimCommands(context.strSilentLog).back() == "AT+NAME?\\r\\n",
          "the console's command went out alone: the query clicked meanwhile sent nothing");
}

void TestSilentCommand(const CContext &context)
{
    CApp app(context.strExe);
    const HWND hPort = app.WaitWindow(kPortTitle);
    if (hPort == nullptr) {
        Check(false, "the port dialog opens for the silent module");
        return;
    }
    ChoosePort(hPort, kSilentPort, 0);
    const HWND hMain = app.WaitWindow(kMainTitle);
    // Open before the first reading falls due, so that the console sees the whole run.
    const HWND hTraffic = hMain != nullptr ? OpenTraffic(app, hMain, kChineseTexts) : nullptr;
    Check(hTraffic != nullptr, "the traffic window opens on the silent module");
    const HWND hBox = app.WaitWindow(L"提示", kRunWait);
    Check(hBox != nullptr && MessageText(hBox) == L"查询 [设备名称] 时超时，是否继续？",
          "a silent command asks whether to go on", MessageText(hBox));
    if (hBox == nullptr || hMain == nullptr || hTraffic == nullptr)
        return;
    const int aActions[] = {IDC_BUTTON_QUERY, IDC_BUTTON_SET, IDC_BUTTON_DEFAULT,
                            IDC_BUTTON_CLEARADDR, IDC_BUTTON_SEARCH};
    const auto fnActionsEnabled = [&](bool bEnabled) {
        for (const int nId : aActions) {
            if ((IsWindowEnabled(GetDlgItem(hMain, nId)) != FALSE) != bEnabled)
                return false;
        }
        return true;
    };
    Check(fnActionsEnabled(false) && IsWindowEnabled(GetDlgItem(hMain, IDC_BUTTON_CLOSE)),
          "while the run waits its actions are disabled, 关闭 is not");
    // A command typed meanwhile: Enter sends nothing while the button is greyed.
    const HWND hSend = GetDlgItem(hTraffic, IDC_BUTTON_CONSOLE_SEND);
    Check(IsWindowEnabled(hSend) == FALSE, "while a query waits, 发送 is greyed");
    SetText(hTraffic, IDC_CONSOLE_COMMAND, L"AT+STATE?");
    PressKey(GetDlgItem(hTraffic, IDC_CONSOLE_COMMAND), VK_RETURN);
    Click(hTraffic, IDC_BUTTON_CONSOLE_SEND);
    PostMessageW(hBox, WM_COMMAND, IDNO, 0);
    Check(WaitStatus(hMain, L"查询 [设备名称] 时超时"), "No ends the run with its status text",
          Text(hMain, IDC_STATUS));
    Check(fnActionsEnabled(true), "the actions are enabled again once the run has ended");
    const std::vector<std::string> sent = SimCommands(context.strSilentLog);
    Check(!sent.empty() && sent.back() == "AT+NAME?\\r\\n" && IsWindowEnabled(hSend),
          "nothing is sent after the stop, nor the command typed meanwhile; 发送 is enabled");
    TestConsoleHoldsTheLine(context, hMain, hTraffic, fnActionsEnabled);
    PostMessageW(hMain, WM_COMMAND, IDCANCEL, 0);
    Check(app.WaitExit(), "Escape ends the program");
}

// The module's line goes away during a query (an adapter pulled) and comes back on the same COM
// port: reported, reopened by itself, and usable again.
void TestUnplugAndReplug(const CContext &context)
{
    CApp app(context.strExe);
    const HWND hPort = app.WaitWindow(kPortTitle);
    if (hPort == nullptr) {
        Check(false, "the port dialog opens for the module that hangs up");
        return;
    }
    ChoosePort(hPort, kHangUpPort, 0);
    const HWND hMain = app.WaitWindow(kMainTitle);
    if (hMain == nullptr || !WaitStatus(hMain, L"查询完成")) {
        Check(false, "the first query completes before the hang-up");
        return;
    }
    Click(hMain, IDC_BUTTON_QUERY);
    Check(WaitStatus(hMain, L"串口已断开，请检查连接"), "a line that goes away is reported",
          Text(hMain, IDC_STATUS));
    Check(IsWindowEnabled(GetDlgItem(hMain, IDC_BUTTON_QUERY)) != FALSE,
          "the run that waited has ended");
    Check(AskScript(context.strControlDir, L"replug", "COM9"), "the module is plugged back in");
    Check(WaitStatus(hMain, L"串口已重新连接"), "the same COM port is reopened by itself",
          Text(hMain, IDC_STATUS));
    Click(hMain, IDC_BUTTON_QUERY);
    Check(WaitStatus(hMain, L"正在查询内嵌模块参数...", std::chrono::seconds(5)) &&
              WaitStatus(hMain, L"查询完成") && Text(hMain, IDC_EDIT_NAME) == L"CORVA3264",
          "the module answers a query on the reopened port", Text(hMain, IDC_STATUS));
    Click(hMain, IDC_BUTTON_CLOSE);
    Check(app.WaitExit(), "关闭 ends the program");
}

// The same window in English, chosen in the profile: the port dialog, a query, a Set, a busy
// port, and a silent command's prompt answered Yes and then No.
void TestEnglish(const CContext &context)
{
    ResetProfile(L"en");
    const std::wstring strMainTitle = L"Embedded module parameter setting tool V4.25.20051116";
    CApp app(context.strExe);
    const HWND hPort = app.WaitWindow(L"Connect serial port");
    Check(hPort != nullptr, "en: the port dialog opens with its English title");
    if (hPort == nullptr)
        return;
    Check(Entries(hPort, IDC_COMBO_FLOW) == std::vector<std::wstring>{L"None", L"Hardware"} &&
              Text(hPort, IDOK) == L"&OK" && Text(hPort, IDCANCEL) == L"&Cancel",
          "en: the flow list and the buttons", Text(hPort, IDOK));
    RequestShot(hPort, context.strControlDir, L"win32-port-dialog-en");
    ChoosePort(hPort, kMainPort, 0);
    const HWND hMain = app.WaitWindow(strMainTitle);
    Check(hMain != nullptr, "en: the main window opens with its English title");
    if (hMain == nullptr)
        return;
    Check(WaitStatus(hMain, L"Query finished") && Text(hMain, IDC_COMBO_PARITY) == L"None" &&
              Text(hMain, IDC_BUTTON_QUERY) == L"&Query" &&
              Text(hMain, IDC_EDIT_NAME) == L"CORVA3264",
          "en: the first query fills the form", Text(hMain, IDC_STATUS));
    RequestShot(hMain, context.strControlDir, L"win32-main-dialog-en");
    SetText(hMain, IDC_EDIT_NAME, L"KestrelE");
    Click(hMain, IDC_BUTTON_SET);
    Check(WaitStatus(hMain, L"Setting finished"), "en: Set completes", Text(hMain, IDC_STATUS));
    TestConfigFiles(context, app, hMain, kEnglishTexts);
    TestTrafficWindow(context, app, hMain, kEnglishTexts);
    TestConsole(context, app, hMain, kEnglishTexts);
    TestAboutAndLanguageEntries(app, hMain, kEnglishTexts);
    {
        CApp second(context.strExe);
        const HWND hSecondPort = second.WaitWindow(L"Connect serial port");
        if (hSecondPort != nullptr)
            ChoosePort(hSecondPort, kMainPort, 0);
        const HWND hBox = second.WaitWindow(L"Error");
        Check(hBox != nullptr && MessageText(hBox) ==
                                     L"Opening the serial port failed. Check whether another "
                                     L"program is using it!\n\ncannot open COM7: the port is "
                                     L"busy (another program is using it)",
              "en: a busy port gives the open-failure box, why below", MessageText(hBox));
        if (hBox != nullptr)
            PostMessageW(hBox, WM_COMMAND, IDOK, 0);
        second.WaitExit();
    }
    Click(hMain, IDC_BUTTON_CLOSE);
    Check(app.WaitExit(), "en: Close ends the program");

    CApp silent(context.strExe);
    const HWND hSilentPort = silent.WaitWindow(L"Connect serial port");
    if (hSilentPort != nullptr)
        ChoosePort(hSilentPort, kSilentPort, 0);
    const HWND hSilentMain = silent.WaitWindow(strMainTitle);
    // Yes goes on: the next step's own reply shows the module went past the name, and the run
    // ends as usual; No stops at the name.
    for (const int nAnswer : {IDYES, IDNO}) {
        if (nAnswer == IDNO && hSilentMain != nullptr)
            Click(hSilentMain, IDC_BUTTON_QUERY);
        const HWND hBox = silent.WaitWindow(L"Notice", kRunWait);
        Check(hBox != nullptr && MessageText(hBox) == L"Querying [device name] timed out. Go on?",
              "en: a silent command asks whether to go on", MessageText(hBox));
        if (hBox == nullptr || hSilentMain == nullptr)
            return;
        PostMessageW(hBox, WM_COMMAND, nAnswer, 0);
        const wchar_t *pStatus =
            nAnswer == IDYES ? L"Query finished" : L"Querying [device name] timed out";
        Check(WaitStatus(hSilentMain, pStatus), "en: the answer decides how the run ends",
              Text(hSilentMain, IDC_STATUS));
    }
    // The module leaves "AT+CLEARADDR" unanswered too.
    Click(hSilentMain, IDC_BUTTON_CLEARADDR);
    const HWND hClearBox = silent.WaitWindow(L"Notice", kRunWait);
    Check(hClearBox != nullptr &&
              MessageText(hClearBox) == L"Clearing the Bluetooth address timed out",
          "en: a clear that times out says so", MessageText(hClearBox));
    if (hClearBox != nullptr)
        PostMessageW(hClearBox, WM_COMMAND, IDOK, 0);
    PostMessageW(hSilentMain, WM_COMMAND, IDCANCEL, 0);
    Check(silent.WaitExit(), "en: Escape ends the program");
    ResetProfile(L"zh_CN");
}

// The adapter pulled while nothing runs (COM10's module hangs up right after answering "默认",
// the command after the first reading), in English: the status line says so.
void TestEnglishUnplugWhileIdle(const CContext &context)
{
    ResetProfile(L"en");
    CApp app(context.strExe);
    const HWND hPort = app.WaitWindow(L"Connect serial port");
    if (hPort != nullptr)
        ChoosePort(hPort, kIdleHangUpPort, 0);
    const HWND hMain = app.WaitWindow(L"Embedded module parameter setting tool V4.25.20051116");
    if (hMain == nullptr || !WaitStatus(hMain, L"Query finished")) {
        Check(false, "en: the first query completes on the module that hangs up");
        return;
    }
    Click(hMain, IDC_BUTTON_DEFAULT);
    Check(WaitStatus(hMain, L"The serial port was disconnected; please check the connection"),
          "en: a line that goes away while nothing runs is reported", Text(hMain, IDC_STATUS));
    Click(hMain, IDC_BUTTON_CLOSE);
    Check(app.WaitExit(), "en: Close ends the program");
    ResetProfile(L"zh_CN");
}

std::wstring ProfileText(const wchar_t *pKey, const wchar_t *pSection)
{
    wchar_t szText[256] = {};
    GetPrivateProfileStringW(pSection, pKey, L"", szText, ARRAYSIZE(szText), ProfilePath().c_str());
    return szText;
}

// The number Windows gives the next adapter may be past COM50: typed, it opens and is kept by name.
void TestPortPastFifty(const CContext &context)
{
    ResetProfile(L"zh_CN");
    {
        CApp app(context.strExe);
        const HWND hPort = app.WaitWindow(kPortTitle);
        if (hPort == nullptr) {
            Check(false, "the port dialog opens for a typed port");
            return;
        }
        SetWindowTextW(GetDlgItem(hPort, IDC_COMBO_PORT), L"\\\\.\\COM51");
        Click(hPort, IDOK);
        const HWND hMain = app.WaitWindow(kMainTitle);
        Check(hMain != nullptr && WaitStatus(hMain, L"查询完成"),
              "a typed \\\\.\\COM51 opens and the form fills itself",
              hMain ? Text(hMain, IDC_STATUS) : L"");
        Check(ProfileText(L"PortName") == L"COM51" && ProfileValue(L"PortNum") == 0,
              "a port past COM50 is kept as PortName", ProfileText(L"PortName"));
        if (hMain != nullptr)
            Click(hMain, IDC_BUTTON_CLOSE);
        Check(app.WaitExit(), "关闭 ends the program");
    }
    CApp next(context.strExe);
    const HWND hPort = next.WaitWindow(kPortTitle);
    Check(hPort != nullptr && Text(hPort, IDC_COMBO_PORT) == L"COM51",
          "the next start preselects the port kept by name",
          hPort ? Text(hPort, IDC_COMBO_PORT) : L"");
    if (hPort != nullptr)
        Click(hPort, IDCANCEL);
    next.WaitExit();
    ResetProfile(L"zh_CN");
}

// What a combo box's field shows of a text of nLength characters: the first character shown,
// and whether the last one lies beyond the field, so that where the field starts matters. (An
// edit control places characters, not the end of its text.)
struct CFieldView
{
    LRESULT nFirstShown = -1;
    bool bLongerThanField = false;
    bool operator==(const CFieldView &) const = default;
};

CFieldView FieldView(HWND hField, size_t nLength)
{
    RECT field = {};
    GetClientRect(hField, &field);
    const LRESULT nLastAt = SendMessageW(hField, EM_POSFROMCHAR, nLength - 1, 0);
    return {SendMessageW(hField, EM_GETFIRSTVISIBLELINE, 0, 0),
            GET_X_LPARAM(nLastAt) > field.right};
}

std::wstring Described(const CFieldView &view)
{
    return L"first shown: " + std::to_wstring(view.nFirstShown) +
           (view.bLongerThanField ? L", longer than the field" : L", fits the field");
}

// A port name longer than the field: the field shows its start, as preselected and when picked
// with the keyboard, and the list drops as wide as the name.
void TestLongPortName(const CContext &context)
{
    ResetProfile(L"zh_CN");
    const std::wstring strLong = L"\\\\.\\USB-SERIAL CH340 on the front panel (COM77)";
    WritePrivateProfileStringW(L"Settings", L"PortName", strLong.c_str(), ProfilePath().c_str());
    CApp app(context.strExe);
    const HWND hPort = app.WaitWindow(kPortTitle);
    const HWND hCombo = GetDlgItem(hPort, IDC_COMBO_PORT);
    const HWND hField = FindWindowExW(hCombo, nullptr, L"Edit", nullptr);
    const auto fnShowsStart = [&] {
        return Text(hPort, IDC_COMBO_PORT) == strLong &&
               FieldView(hField, strLong.size()) == CFieldView{0, true};
    };
    Check(hField != nullptr && WaitFor(fnShowsStart, std::chrono::seconds(3)),
          "the field shows the start of a long name kept in the profile",
          Described(FieldView(hField, strLong.size())));
    // The name up to its last character, in the list's font: the field's.
    const int nTextWidth =
        GET_X_LPARAM(SendMessageW(hField, EM_POSFROMCHAR, strLong.size() - 1, 0)) -
        GET_X_LPARAM(SendMessageW(hField, EM_POSFROMCHAR, 0, 0));
    const LRESULT nDropped = SendMessageW(hCombo, CB_GETDROPPEDWIDTH, 0, 0);
    Check(nDropped > nTextWidth, "the list drops as wide as its longest entry",
          std::to_wstring(nDropped) + L" px for " + std::to_wstring(nTextWidth));
    // Picked again with the keyboard, from the entry before it.
    SendMessageW(hCombo, CB_SETCURSEL, SendMessageW(hCombo, CB_GETCURSEL, 0, 0) - 1, 0);
    PostMessageW(hField, WM_KEYDOWN, VK_DOWN, 0);
    Check(WaitFor(fnShowsStart, std::chrono::seconds(3)),
          "the field shows the start of a long name picked with the keyboard",
          Described(FieldView(hField, strLong.size())));
    Click(hPort, IDCANCEL);
    app.WaitExit();
    ResetProfile(L"zh_CN");
}

// The windows' titles in one language, and the suffix of their pictures at 150 %.
struct CLanguageTitles
{
    const wchar_t *pCode;
    const wchar_t *pPortTitle;
    const wchar_t *pMainTitle;
    const wchar_t *pAboutTitle;
    const wchar_t *pShotSuffix;
};

// The port dialog, the main window and the About box in one language at the display's DPI.
void CheckDialogsAtDpi(const CContext &context, const CLanguageTitles &language, int nDpi)
{
    ResetProfile(language.pCode);
    const std::wstring strCode = language.pCode;
    const std::string strIn =
        " (" + std::string(strCode.begin(), strCode.end()) + ", " + std::to_string(nDpi) + " DPI)";
    const auto fnShot = [&](HWND hwnd, const wchar_t *pName) {
        if (nDpi == 144)
            RequestShot(hwnd, context.strControlDir, pName + std::wstring(language.pShotSuffix));
    };
    CApp app(context.strExe);
    const HWND hPort = app.WaitWindow(language.pPortTitle);
    CheckDialogAtDpi(context.strExe, hPort, IDD_PORTSELECT, "port dialog" + strIn);
    fnShot(hPort, L"win32-port-dialog");
    ChoosePort(hPort, kMainPort, 0);
    const HWND hMain = app.WaitWindow(language.pMainTitle);
    WaitFor([&] { return Text(hMain, IDC_EDIT_LOCALADDR) == L"00158300A1B2"; });
    CheckDialogAtDpi(context.strExe, hMain, IDD_MODULESETUP_DIALOG, "main window" + strIn);
    fnShot(hMain, L"win32-main-dialog");
    PostMessageW(hMain, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    const HWND hAbout = app.WaitWindow(language.pAboutTitle);
    CheckDialogAtDpi(context.strExe, hAbout, IDD_ABOUTBOX, "About box" + strIn);
    fnShot(hAbout, L"win32-about-dialog");
    PostMessageW(hAbout, WM_COMMAND, IDCANCEL, 0);
    WaitFor([&] { return app.Find(language.pAboutTitle) == nullptr; });
    Click(hMain, IDC_BUTTON_CLOSE);
    Check(app.WaitExit(), "关闭 ends the program" + strIn);
}

// Every dialog at the display's DPI, in both languages: laid out at that DPI and every label
// whole; pictures of them (NAME-150, NAME-en-150) when the display runs at 150 %.
void TestLabelsAtDpi(const CContext &context)
{
    const CLanguageTitles aLanguages[] = {
        {L"zh_CN", kPortTitle, kMainTitle, L"关于 Kestrel", L"-150"},
        {L"en", L"Connect serial port", L"Embedded module parameter setting tool V4.25.20051116",
         L"About Kestrel", L"-en-150"},
    };
    const HDC hScreen = GetDC(nullptr);
    const int nDpi = GetDeviceCaps(hScreen, LOGPIXELSY);
    ReleaseDC(nullptr, hScreen);
    std::printf("info the display runs at %d DPI\n", nDpi);
    TestManifestAsksForDpi(context.strExe);
    for (const CLanguageTitles &language : aLanguages)
        CheckDialogsAtDpi(context, language, nDpi);
    ResetProfile(L"zh_CN");
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    // Coordinates and fonts in the display's pixels, as the window (per-monitor aware) has them.
    SetProcessDPIAware();
    const bool bLabelsOnly = argc > 1 && std::wstring(argv[1]) == L"--labels";
    if (bLabelsOnly) {
        --argc;
        ++argv;
    }
    if (argc < 5) {
        std::fputs("usage: kestrel_window_test [--labels] KESTREL_EXE SIM_LOG SILENT_SIM_LOG "
                   "CONTROL_DIR\n",
                   stderr);
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IONBF, 0); // progress shows as it happens, also in CI logs
    const CContext context = {argv[1], argv[2], argv[3], argv[4]};
    if (bLabelsOnly) {
        TestLabelsAtDpi(context);
        std::printf("%d passed, %d failed\n", g_nPasses, g_nFailures);
        return g_nFailures == 0 ? 0 : 1;
    }
    TestPortDialogAndCancel(context);
    TestLongPortName(context);
    TestSavedChoices(context);
    TestMainWindow(context);
    TestConsoleKept(context);
    TestSilentCommand(context);
    TestUnplugAndReplug(context);
    TestEnglish(context);
    TestEnglishUnplugWhileIdle(context);
    TestPortPastFifty(context);
    std::printf("%d passed, %d failed\n", g_nPasses, g_nFailures);
    return g_nFailures == 0 ? 0 : 1;
}
