#pragma once

#include "engine/TrafficLog.h"
#include "win32/Win32Api.h"

#include <atomic>
#include <string>
#include <vector>

class CLinkTrace;

// The wire made visible: dialog template IDD_TRAFFIC, modeless above the main window, every
// command written and every chunk received one line each with its time stamp, newest at the
// bottom, the last ten thousand kept (CTrafficLog), with copy, save and clear. It listens to the
// trace only while it shows; whichever thread recorded wakes it with a private message.
class CTrafficDlgWin32
{
public:
    CTrafficDlgWin32(HINSTANCE hInstance, HWND hOwner, CLinkTrace &trace);
    ~CTrafficDlgWin32();

    CTrafficDlgWin32(const CTrafficDlgWin32 &) = delete;
    CTrafficDlgWin32 &operator=(const CTrafficDlgWin32 &) = delete;

    void Show(); // shows it (restored if minimised) and brings it to the front

    // The trace has recorded something since the last take.
    static constexpr UINT WM_APP_TAKE = WM_APP + 2;

private:
    // A control and how it follows the window's size: the view grows, the buttons keep to the
    // bottom, "关闭" to the bottom right.
    struct CAnchor
    {
        int nId;
        bool bFollowRight; // keeps its distance to the right edge (or grows with it)
        bool bGrow;        // grows with the window instead of moving
        RECT rect = {};    // where the template put it
    };

    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    BOOL OnInitDialog(HWND hwnd, HWND hwndFocus, LPARAM lParam);
    void SetUpView();
    void OnCommand(HWND hwnd, int nId, HWND hwndCtl, UINT nNotify);
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

    HINSTANCE m_hInstance = nullptr;
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
