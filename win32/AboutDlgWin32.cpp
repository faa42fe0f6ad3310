#include "win32/AboutDlgWin32.h"

#include "res/resource.h"
#include "win32/Win32Common.h"

INT_PTR CAboutDlgWin32::DoModal(HWND hParent)
{
    return DialogBoxParamW(m_hInstance, MAKEINTRESOURCEW(IDD_ABOUTBOX), hParent, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CAboutDlgWin32::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        TranslateDialog(hwnd, "About");
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(hwnd, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}
