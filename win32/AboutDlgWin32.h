#pragma once

#include "win32/Win32Api.h"

// The About box: the icon, the tool's name and version line, the maker; OK or Escape close it.
class CAboutDlgWin32
{
public:
    explicit CAboutDlgWin32(HINSTANCE hInstance) : m_hInstance(hInstance) {}
    INT_PTR DoModal(HWND hParent);

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HINSTANCE m_hInstance = nullptr;
};
