#pragma once

#include "app/Win32Api.h"

// The About box: the icon, the tool's name and version line, the maker; OK or Escape close it.
class CAboutDlg
{
public:
    explicit CAboutDlg(HINSTANCE hInstance) : m_hInstance(hInstance) {}
    INT_PTR DoModal(HWND hParent);

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HINSTANCE m_hInstance = nullptr;
};
