#pragma once

#include "engine/ModuleSetupEngine.h"
#include "engine/ModuleSetupView.h"
#include "win32/StatusLabelWin32.h"
#include "win32/Win32Api.h"

#include <functional>
#include <memory>
#include <set>
#include <string>

class CTrafficDlgWin32;

// The main window on Windows: dialog template IDD_MODULESETUP_DIALOG, whose controls carry the
// engine's view one control message each. It holds the engine, which runs on this window's thread
// only: the link's reader thread hands its work over through PostToViewThread. The context menu
// and the system menu (ModuleSetupDlgMenusWin32.cpp) add configuration files, the traffic window,
// About and the language.
class CModuleSetupDlgWin32 final : public IModuleSetupView
{
public:
    explicit CModuleSetupDlgWin32(HINSTANCE hInstance);
    ~CModuleSetupDlgWin32() override;

    CModuleSetupDlgWin32(const CModuleSetupDlgWin32 &) = delete;
    CModuleSetupDlgWin32 &operator=(const CModuleSetupDlgWin32 &) = delete;

    // Runs the dialog: the port dialog first, then the form until Close, Escape or the close box.
    INT_PTR DoModal();

    // --- The engine's view: ids to control messages, GBK at this boundary
    std::string GetWindowText(int nId) override;
    void SetWindowText(int nId, const std::string &strText) override;
    bool GetCheck(int nId) override;
    void SetCheck(int nId, bool bChecked) override;
    int GetCount(int nId) override;
    std::string GetLBText(int nId, int nIndex) override;
    int GetCurSel(int nId) override;
    void SetCurSel(int nId, int nIndex) override;
    void ResetContent(int nId) override;
    void InsertString(int nId, int nIndex, const std::string &strText) override;
    void EnableWindow(int nId, bool bEnable) override;
    void SetReadOnly(int nId, bool bReadOnly) override;
    int GetSliderPos(int nId) override;
    void SetSliderPos(int nId, int nPos) override;
    int GetSliderRangeMax(int nId) override;
    void SetFocus(int nId) override;
    void SetStatusText(const std::string &strText) override;
    int MessageBox(const std::string &strText, const std::string &strCaption,
                   unsigned nType) override;
    void SetTimer(unsigned nIdEvent, std::chrono::milliseconds period) override;
    void KillTimer(unsigned nIdEvent) override;
    void PostToViewThread(std::function<void()> fnWork) override;
    void OnRunGateChanged(bool bRunWaiting) override;

    // Work handed over from another thread; lParam: a heap std::function<void()>, ours now.
    static constexpr UINT WM_APP_WORK = WM_APP + 1;

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

    BOOL OnInitDialog(HWND hwnd, HWND hwndFocus, LPARAM lParam);
    void LimitFieldLengths();
    void SetUpSliders();
    bool StartSession(const std::string &strPortPath, const CLineSettings &line);
    void OnCommand(HWND hwnd, int nId, HWND hwndCtl, UINT nNotify);
    void OnTimerMessage(HWND hwnd, UINT nIdEvent);
    LRESULT OnNotify(HWND hwnd, int nIdFrom, NMHDR *pHeader);
    void OnDrawItem(HWND hwnd, const DRAWITEMSTRUCT *pItem);
    bool OnPaint();
    void OnCancel();
    void OnPostedWork(std::function<void()> *pWork);
    // Work still queued once the reader has been joined is freed, not run.
    void DiscardPostedWork();
    void FilterTypedText(int nId);
    // A string resource in the user's language.
    std::wstring ResourceText(UINT nId) const;
    HWND Item(int nId) const { return GetDlgItem(m_hWnd, nId); }

    // --- ModuleSetupDlgMenusWin32.cpp: the system menu, the context menu and what they open
    void AddSystemMenuEntries();
    bool OnSysCommand(UINT nCommand);
    void OnContextMenu(HWND hwnd, HWND hwndContext, UINT xPos, UINT yPos);
    // Runs a menu's command; false when it is none of the window's.
    bool RunMenuCommand(UINT nCommand);
    void ChooseLanguage(const char *pCode);
    void ShowAbout();
    void OnSaveConfig();
    void OnLoadConfig();
    void ShowTraffic();

    HINSTANCE m_hInstance = nullptr;
    HWND m_hWnd = nullptr;
    HICON m_hIcon = nullptr;      // icon 128 at the system's large size
    HICON m_hSmallIcon = nullptr; // and at its small size, for the caption
    CStatusLabelWin32 m_status;
    std::set<unsigned> m_armedTimers; // engine timers armed and not yet fired or killed
    bool m_bSettingText = false;      // our own WM_SETTEXT, not the user typing
    int m_nFocusBeforeRun = 0;        // the button that had the focus when a run began
    std::wstring m_strConfigDir;      // where the last configuration file was, for this run
    // Declared after everything its reader's posts reach, so that it (and the reader) go first.
    CModuleSetupEngine m_engine{*this};
    // Listens to the engine's trace and sends the console's commands through it: goes before it.
    std::unique_ptr<CTrafficDlgWin32> m_pTraffic;
};
