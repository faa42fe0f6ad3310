#pragma once

#include "win32/Win32Api.h"

#include <string>

// The status line: an owner-drawn button that paints a teal-to-purple gradient, one solid fill
// per pixel column, with its window text in white bold; the part after the first tab goes
// right-aligned in the normal weight. An empty text shows the plain button face.
class CStatusLabelWin32
{
public:
    CStatusLabelWin32();
    ~CStatusLabelWin32();

    CStatusLabelWin32(const CStatusLabelWin32 &) = delete;
    CStatusLabelWin32 &operator=(const CStatusLabelWin32 &) = delete;

    // WM_DRAWITEM of the control; the item state (focus, selection, disabled) is not looked at.
    void DrawItem(const DRAWITEMSTRUCT &item) const;

    const COLORREF m_crFrom = RGB(0, 128, 128);
    const COLORREF m_crTo = RGB(128, 0, 128);
    const COLORREF m_crText = RGB(255, 255, 255);

private:
    void PaintGradient(HDC hdc, const RECT &rect) const;
    void PaintText(HDC hdc, const RECT &rect, std::wstring strText) const;

    HFONT m_fontBold = nullptr;    // owned
    HFONT m_pFontNormal = nullptr; // the stock default GUI font, never deleted
};
