// The window's menus: About and the language in the system menu; configuration files, the traffic
// window, About and the language in the context menu of the form, in the Qt window's order.
#include "engine/UiText.h"
#include "res/resource.h"
#include "win32/AboutDlgWin32.h"
#include "win32/ModuleSetupDlgWin32.h"
#include "win32/ProfileWin32.h"
#include "win32/TrafficDlgWin32.h"
#include "win32/Win32Common.h"

#include <cstring>

namespace {

// The language entries: the profile's value, the command, the name.
struct CLanguageEntry
{
    const char *pCode;
    UINT nCommand;
    const char *pName;
};
constexpr CLanguageEntry kLanguageEntries[] = {{"zh_CN", IDM_LANGUAGE_ZH, kChineseLanguageName},
                                               {"en", IDM_LANGUAGE_EN, kEnglishLanguageName}};

// The context menu's part before About; a command of 0 is a separator. Files, the traffic view
// and About each keep to their own part of the menu.
struct CMenuEntry
{
    UINT nCommand;
    CUiSource text;
};
constexpr CMenuEntry kFileEntries[] = {
    {IDM_SAVECONFIG, KESTREL_TR_NOOP("MainWindow", "保存配置...")},
    {IDM_LOADCONFIG, KESTREL_TR_NOOP("MainWindow", "载入配置...")},
    {0, {}},
    {IDM_TRAFFIC, KESTREL_TR_NOOP("MainWindow", "通信记录")},
    {0, {}},
};

constexpr CUiSource kConfigFilter =
    KESTREL_TR_NOOP("MainWindow", "配置文件 (*.json);;所有文件 (*)");
constexpr wchar_t kConfigFileName[] = L"kestrel.json";

// Named in both languages, so that a user who reads only one of them can find it; the entry
// chosen in the profile (else the language shown) is checked.
HMENU CreateLanguageMenu()
{
    CProfileWin32 profile;
    const std::string strChosen =
        profile.ReadString(kLanguageSection, kLanguageKey).value_or(UiLanguageCode(UiLanguage()));
    const HMENU hLanguages = CreatePopupMenu();
    for (const CLanguageEntry &entry : kLanguageEntries)
        AppendMenuW(hLanguages, MF_STRING | (strChosen == entry.pCode ? MF_CHECKED : 0u),
                    entry.nCommand, WideFromUtf8(entry.pName).c_str());
    return hLanguages;
}

} // namespace

void CModuleSetupDlgWin32::AddSystemMenuEntries()
{
    const HMENU hSysMenu = GetSystemMenu(m_hWnd, FALSE);
    const std::wstring strAbout = ResourceText(IDS_ABOUTBOX);
    if (hSysMenu == nullptr || strAbout.empty())
        return;
    AppendMenuW(hSysMenu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(hSysMenu, MF_STRING, IDM_ABOUTBOX, strAbout.c_str());
    AppendMenuW(hSysMenu, MF_POPUP, reinterpret_cast<UINT_PTR>(CreateLanguageMenu()),
                WideFromUtf8(kLanguageMenuText).c_str());
}

bool CModuleSetupDlgWin32::OnSysCommand(UINT nCommand)
{
    // The system's own commands use the low four bits; ours are multiples of 16.
    const UINT nOurs = nCommand & 0xFFF0;
    return (nOurs == static_cast<UINT>(IDM_ABOUTBOX) || nOurs == IDM_LANGUAGE_ZH ||
            nOurs == IDM_LANGUAGE_EN) &&
           RunMenuCommand(nOurs);
}

void CModuleSetupDlgWin32::OnContextMenu(HWND, HWND, UINT xPos, UINT yPos)
{
    POINT point = {static_cast<short>(xPos), static_cast<short>(yPos)};
    if (point.x == -1 && point.y == -1) {
        // From the keyboard: at the focused control, else at the form's corner.
        const HWND hFocus = GetFocus();
        RECT rect = {};
        GetWindowRect(hFocus != nullptr && IsChild(m_hWnd, hFocus) ? hFocus : m_hWnd, &rect);
        point = {rect.left, rect.top};
    }
    const HMENU hMenu = CreatePopupMenu();
    for (const CMenuEntry &entry : kFileEntries) {
        if (entry.nCommand == 0)
            AppendMenuW(hMenu, MF_SEPARATOR, 0, nullptr);
        else
            AppendMenuW(hMenu, MF_STRING, entry.nCommand,
                        WideFromUtf8(Tr("MainWindow", entry.text)).c_str());
    }
    AppendMenuW(hMenu, MF_STRING, IDM_ABOUTBOX, ResourceText(IDS_ABOUTBOX).c_str());
    AppendMenuW(hMenu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(hMenu, MF_POPUP, reinterpret_cast<UINT_PTR>(CreateLanguageMenu()),
                WideFromUtf8(kLanguageMenuText).c_str());
    const auto nCommand = static_cast<UINT>(TrackPopupMenu(hMenu, TPM_RETURNCMD | TPM_RIGHTBUTTON,
                                                           point.x, point.y, 0, m_hWnd, nullptr));
    DestroyMenu(hMenu); // with its submenu
    if (nCommand != 0)
        RunMenuCommand(nCommand);
}

bool CModuleSetupDlgWin32::RunMenuCommand(UINT nCommand)
{
    for (const CLanguageEntry &entry : kLanguageEntries) {
        if (nCommand == entry.nCommand) {
            ChooseLanguage(entry.pCode);
            return true;
        }
    }
    if (nCommand == static_cast<UINT>(IDM_ABOUTBOX))
        ShowAbout();
    else if (nCommand == IDM_SAVECONFIG)
        OnSaveConfig();
    else if (nCommand == IDM_LOADCONFIG)
        OnLoadConfig();
    else if (nCommand == IDM_TRAFFIC)
        ShowTraffic();
    else
        return false;
    return true;
}

// Keeps the language for the next start and says so.
void CModuleSetupDlgWin32::ChooseLanguage(const char *pCode)
{
    CProfileWin32 profile;
    profile.WriteString(kLanguageSection, kLanguageKey, pCode);
    const HMENU hSysMenu = GetSystemMenu(m_hWnd, FALSE);
    for (const CLanguageEntry &entry : kLanguageEntries)
        CheckMenuItem(hSysMenu, entry.nCommand,
                      MF_BYCOMMAND |
                          (std::strcmp(entry.pCode, pCode) == 0 ? MF_CHECKED : MF_UNCHECKED));
    // Said in both languages: the user has just chosen the one that is not shown yet.
    MessageBoxW(m_hWnd, WideFromUtf8(kLanguageChosenText).c_str(),
                WideFromUtf8(kLanguageMenuText).c_str(), MB_OK | MB_ICONINFORMATION);
}

void CModuleSetupDlgWin32::ShowAbout()
{
    CAboutDlgWin32 aboutDlg(m_hInstance);
    aboutDlg.DoModal(m_hWnd);
}

// Writes what the form shows; the engine says what went wrong.
void CModuleSetupDlgWin32::OnSaveConfig()
{
    const std::optional<std::wstring> path = AskFilePath(
        {m_hWnd, true, TrWide("MainWindow", "保存配置"),
         FileDialogFilter(Tr("MainWindow", kConfigFilter)),
         m_strConfigDir.empty() ? DocumentsFolder() : m_strConfigDir, kConfigFileName, L"json"});
    if (!path)
        return;
    m_strConfigDir = FolderOf(*path);
    m_engine.SaveConfig(Utf8FromWide(*path));
}

// Fills the controls only, as "默认" does: nothing is sent until "设置(&S)".
void CModuleSetupDlgWin32::OnLoadConfig()
{
    const std::optional<std::wstring> path =
        AskFilePath({m_hWnd,
                     false,
                     TrWide("MainWindow", "载入配置"),
                     FileDialogFilter(Tr("MainWindow", kConfigFilter)),
                     m_strConfigDir.empty() ? DocumentsFolder() : m_strConfigDir,
                     {},
                     L"json"});
    if (!path)
        return;
    m_strConfigDir = FolderOf(*path);
    m_engine.LoadConfig(Utf8FromWide(*path));
}

// Made when first asked for; it listens to the session's trace only while it shows, and its
// console sends through the engine.
void CModuleSetupDlgWin32::ShowTraffic()
{
    if (!m_pTraffic)
        m_pTraffic = std::make_unique<CTrafficDlgWin32>(m_hInstance, m_hWnd, m_engine);
    m_pTraffic->Show();
}
