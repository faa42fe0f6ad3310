#pragma once

#include "serial/SerialLink.h"
#include "win32/Win32Api.h"

#include <string>

// Asks for the COM port and the flow control before the main form opens: COM1 to COM50 and every
// port the system has, each with its friendly name, or any name typed; the choice is kept
// in the user's profile, %APPDATA%\Kestrel\Kestrel.ini, section [Settings], and offered again at
// the next start. (The program's own folder is not writable once installed.)
class CPortSelectDlgWin32
{
public:
    explicit CPortSelectDlgWin32(HINSTANCE hInstance) : m_hInstance(hInstance) {}

    // IDOK or IDCANCEL; m_strPortPath and m_nFlow hold the choice after IDOK.
    INT_PTR DoModal();

    int m_nFlow = 0; // after OK: the flow mode, FLOW_NONE or FLOW_HARDWARE
    int m_nPort = 0; // while open: the list index; after OK: the port number, 0 for another name
    std::string m_strPortPath; // after OK: the device to open, "\\.\COM7"
    CLineSettings m_line; // after OK: rate and flow as chosen, DTR and RTS as the profile says

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    BOOL OnInitDialog(HWND hwnd, HWND hwndFocus, LPARAM lParam);
    void OnCommand(HWND hwnd, int nId, HWND hwndCtl, UINT nNotify);
    void OnOK();
    void FillPortList(const std::string &strSavedName);
    void ShowEntryStart();

    HINSTANCE m_hInstance = nullptr;
    HWND m_hWnd = nullptr;
    HICON m_hIcon = nullptr;
    HICON m_hSmallIcon = nullptr;
};
