#pragma once

#include "engine/ModuleSetupEngine.h"
#include "engine/UiText.h"
#include "win32/StatusLabelWin32.h"
#include "win32/Win32Api.h"

#include <map>
#include <memory>
#include <set>
#include <string>

// The main window on Windows: dialog template 102 of the resources, whose controls carry the
// engine's control surface one message each. Widgets live here; what they mean lives in
// CModuleSetupEngine, which runs on this window's thread only: the link's reader thread posts
// each received chunk here instead of calling the engine.
class CModuleSetupDlgWin32 : public CModuleSetupEngine
{
public:
    explicit CModuleSetupDlgWin32(HINSTANCE hInstance);
    ~CModuleSetupDlgWin32() override;

    // Runs the dialog: the port dialog first, then the form until Close, Escape or the close box.
    INT_PTR DoModal();

    // --- Control surface of the engine
    std::string GetWindowText(int nId) override;
    void SetWindowText(int nId, const std::string &strText) override;
    int GetCheck(int nId) override;
    void SetCheck(int nId, int nState) override;
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
    void SetStatusText(std::string strText) override;
    void SetTimer(unsigned nIdEvent, std::chrono::milliseconds period) override;
    void KillTimer(unsigned nIdEvent) override;
    int MessageBox(const std::string &strText, const std::string &strCaption,
                   unsigned nType) override;
    void OnRunGateChanged(bool bRunWaiting) override;

    // Private messages from the link's reader thread.
    static constexpr UINT WM_APP_RECEIVED = WM_APP + 1; // lParam: a heap std::string, ours now
    static constexpr UINT WM_APP_PORTLOST = WM_APP + 2;

    HWND m_hWnd = nullptr;

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

    BOOL OnInitDialog(HWND hwnd, HWND hwndFocus, LPARAM lParam);
    void AddAboutEntry();
    void SetUpSliders();
    bool StartSession(const std::string &strPortPath, const CLineSettings &line);
    void OnCommand(HWND hwnd, int nId, HWND hwndCtl, UINT nNotify);
    void OnTimerMessage(HWND hwnd, UINT nIdEvent);
    LRESULT OnNotify(HWND hwnd, int nIdFrom, NMHDR *pHeader);
    void OnDrawItem(HWND hwnd, const DRAWITEMSTRUCT *pItem);
    HICON OnQueryDragIcon();
    bool OnSysCommand(UINT nCommand);
    // The language entries of the system menu: the profile's value, the command, the name.
    struct CLanguageEntry
    {
        const char *pCode;
        UINT nCommand;
        const char *pName;
    };
    static constexpr CLanguageEntry kLanguageEntries[] = {{"zh_CN", 0x0020, kChineseLanguageName},
                                                          {"en", 0x0030, kEnglishLanguageName}};
    // Keeps the language for the next start and says so.
    void ChooseLanguage(const CLanguageEntry &entry);
    // A string resource in the user's language.
    std::wstring ResourceText(UINT nId) const;
    bool OnPaint();
    void OnCancel();

    void OnChunkReceived(std::string *pChunk);
    void OnLinkLost();
    void TryReopenPort();
    void DiscardPostedChunks();
    void FilterTypedText(int nId);
    void StopAllTimers();
    HWND Item(int nId) const { return GetDlgItem(m_hWnd, nId); }

    HINSTANCE m_hInstance = nullptr;
    HICON m_hIcon = nullptr;      // icon 128 at the system's large size
    HICON m_hSmallIcon = nullptr; // and at its small size, for the caption
    CStatusLabelWin32 m_status;
    std::set<unsigned> m_armedTimers;           // engine timers armed and not yet fired or killed
    std::map<int, int> m_rawCheckStates;        // check states beyond 0 and 1, as reported
    bool m_bSettingText = false;                // our own WM_SETTEXT, not the user typing
    int m_nFocusBeforeRun = 0;                  // the button that had the focus when a run began
};

extern CModuleSetupDlgWin32 *g_pMainDlg;

// Receive function of the link, on its reader thread: posts a copy of the bytes to the window,
// in arrival order. pUser is the window.
void OnSerialReceive(const char *pData, int32_t nLength, void *pUser);
// Disconnect function of the link, on its reader thread: tells the window.
void OnSerialDisconnect(void *pUser);
