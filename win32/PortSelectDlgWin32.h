#pragma once

#include "serial/PortChoice.h"
#include "serial/SerialLink.h"
#include "win32/Win32Api.h"

#include <optional>
#include <string>

// Asks for the COM port, the flow control and the line rate before the main form opens. What is
// listed, preselected, opened and kept follows the core's rules (CPortChoice, Windows flavour);
// the choice is kept in the user's profile, %APPDATA%\Kestrel\Kestrel.ini, section [Settings].
// (The program's own folder is not writable once installed.)
class CPortSelectDlgWin32
{
public:
    explicit CPortSelectDlgWin32(HINSTANCE hInstance) : m_hInstance(hInstance) {}

    // IDOK or IDCANCEL; m_strPortPath and m_line hold the choice after IDOK.
    INT_PTR DoModal();

    std::string m_strPortPath; // after OK: the device to open, "\\.\COM7"
    CLineSettings m_line;      // after OK: rate and flow as chosen, DTR and RTS as the profile says

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    BOOL OnInitDialog(HWND hwnd, HWND hwndFocus, LPARAM lParam);
    void OnCommand(HWND hwnd, int nId, HWND hwndCtl, UINT nNotify);
    void OnOK();
    void FillPortList();
    void FillFlowList();
    void FillLineRateList();
    void ShowEntryStart();

    HINSTANCE m_hInstance = nullptr;
    HWND m_hWnd = nullptr;
    HICON m_hIcon = nullptr;
    HICON m_hSmallIcon = nullptr;
    std::optional<CPortChoice> m_choice; // while open: the list and the kept choice
};
