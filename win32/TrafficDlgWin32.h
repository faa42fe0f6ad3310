#pragma once

#include "engine/ConsoleHistory.h"
#include "engine/TrafficLog.h"
#include "win32/Win32Api.h"

#include <atomic>
#include <string>
#include <vector>

class CModuleSetupEngine;
struct CConsoleCommand;

// The wire made visible: dialog template IDD_TRAFFIC, modeless above the main window, every
// command written and every chunk received one line each with its time stamp, newest at the
// bottom, the last ten thousand kept (CTrafficLog), with copy, save and clear. It listens to the
// trace only while it shows; whichever thread recorded wakes it with a private message. Below
// the log, the console: any command typed goes to the engine as a run of its own, and its
// reply and end show in the log like all traffic.
class CTrafficDlgWin32
{
public:
    CTrafficDlgWin32(HINSTANCE hInstance, HWND hOwner, CModuleSetupEngine &engine);
    ~CTrafficDlgWin32();

    CTrafficDlgWin32(const CTrafficDlgWin32 &) = delete;
    CTrafficDlgWin32 &operator=(const CTrafficDlgWin32 &) = delete;

    void Show(); // shows it (restored if minimised) and brings it to the front
    // "发送" follows the engine's run gate, as the main window's action buttons do.
    void EnableSend(bool bEnable);

    // The trace has recorded something since the last take.
    static constexpr UINT WM_APP_TAKE = WM_APP + 2;

private:
    // A control and how it follows the window's size, edge by edge: an edge that follows keeps
    // its distance to the window's right (or bottom) edge, the others stay where they were. The
    // view grows, the console row and the buttons keep to the bottom.
    struct CAnchor
    {
        int nId;
        bool bLeftFollows;
        bool bTopFollows;
        bool bRightFollows;
        bool bBottomFollows;
        RECT rect = {}; // where the template put it
    };

    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    BOOL OnInitDialog(HWND hwnd, HWND hwndFocus, LPARAM lParam);
    void SetUpView();
    void OnCommand(HWND hwnd, int nId, HWND hwndCtl, UINT nNotify);
    void PlaceControl(const CAnchor &anchor, int dx, int dy);
    void OnShowWindow(HWND hwnd, BOOL bShown, UINT nStatus);
    void OnSize(HWND hwnd, UINT nState, int cx, int cy);
    void OnGetMinMaxInfo(HWND hwnd, MINMAXINFO *pInfo);
    void OnDestroy();
    void TakeLines();
    void AppendLines(const std::vector<std::string> &lines);
    void CopyToClipboard();
    void OnSave();
    void Clear();
    HWND Item(int nId) const { return GetDlgItem(m_hWnd, nId); }
    // Gives the window its keys (Tab, Escape) while the main dialog's modal loop runs.
    static LRESULT CALLBACK MessageFilter(int nCode, WPARAM wParam, LPARAM lParam);

    // --- TrafficConsoleWin32.cpp: the console row
    void SetUpConsole();
    void SendTyped();
    void ShowRefusal(const CConsoleCommand &command, const std::string &strTypedUtf8);
    void Recall(bool bOlder);
    void OnLineEndingChosen();
    void SaveHistory();
    // The command field's keys: Enter sends, Up and Down recall.
    static LRESULT CALLBACK CommandFieldProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                             UINT_PTR nSubclassId, DWORD_PTR nRefData);

    HINSTANCE m_hInstance = nullptr;
    CModuleSetupEngine &m_engine;
    CConsoleHistory m_history;
    std::atomic<HWND> m_hWnd{nullptr}; // read by the wake-up on whichever thread recorded
    HFONT m_hFixedFont = nullptr;
    HHOOK m_hFilter = nullptr;
    POINT m_minTrackSize = {}; // the template's size: the smallest it gets
    SIZE m_clientAtStart = {};
    std::vector<CAnchor> m_anchors;
    size_t m_nShownLines = 0; // lines in the view
    // Last: it calls the wake-up, which reads the members above, until it is gone.
    CTrafficLog m_log;
};
