#pragma once

#include "serial/SerialLink.h"
#include "win32/Win32Api.h"

#include <string>

// Asks for the COM port and the flow control before the main form opens; the choice is kept
// in the user's profile, %APPDATA%\Kestrel\Kestrel.ini, section [Settings], and offered again at
// the next start. (The program's own folder is not writable once installed.)
class CPortSelectDlgWin32
{
public:
    explicit CPortSelectDlgWin32(HINSTANCE hInstance) : m_hInstance(hInstance) {}

    // IDOK or IDCANCEL; m_nPort and m_nFlow hold the choice after IDOK.
    INT_PTR DoModal();

    int m_nFlow = 0; // after OK: the flow mode, FLOW_NONE or FLOW_HARDWARE
    int m_nPort = 0; // while open: the list index; after OK: the port number, 1 to 50
    CLineSettings m_line; // after OK: rate and flow as chosen, DTR and RTS as the profile says

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    BOOL OnInitDialog(HWND hwnd, HWND hwndFocus, LPARAM lParam);
    void OnCommand(HWND hwnd, int nId, HWND hwndCtl, UINT nNotify);
    void OnOK();

    HINSTANCE m_hInstance = nullptr;
    HWND m_hWnd = nullptr;
    HICON m_hIcon = nullptr;
    HICON m_hSmallIcon = nullptr;
};
