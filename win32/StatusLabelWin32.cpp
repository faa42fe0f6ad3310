#include "win32/StatusLabelWin32.h"

#include "win32/Win32Common.h"

CStatusLabelWin32::CStatusLabelWin32()
{
    m_pFontNormal = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    LOGFONTW logFont = {};
    if (GetObjectW(m_pFontNormal, sizeof(logFont), &logFont) == sizeof(logFont)) {
        logFont.lfWeight = FW_BOLD;
        m_fontBold = CreateFontIndirectW(&logFont);
    }
}

CStatusLabelWin32::~CStatusLabelWin32()
{
    if (m_fontBold != nullptr)
        DeleteObject(m_fontBold);
}

void CStatusLabelWin32::DrawItem(const DRAWITEMSTRUCT &item) const
{
    const std::wstring strText = WindowTextOf(item.hwndItem);
    const RECT rect = item.rcItem;
    if (strText.empty()) {
        FillRect(item.hDC, &rect, GetSysColorBrush(COLOR_BTNFACE));
        return;
    }
    PaintGradient(item.hDC, rect);
    PaintText(item.hDC, rect, strText);
}

void CStatusLabelWin32::PaintGradient(HDC hdc, const RECT &rect) const
{
    // Components accumulate as doubles and are cut to integers per column, so the last column
    // stays one step short of the target colour.
    const double dWidth = rect.right - rect.left;
    double dRed = GetRValue(m_crFrom);
    double dGreen = GetGValue(m_crFrom);
    double dBlue = GetBValue(m_crFrom);
    const double dStepRed = (GetRValue(m_crTo) - dRed) / dWidth;
    const double dStepGreen = (GetGValue(m_crTo) - dGreen) / dWidth;
    const double dStepBlue = (GetBValue(m_crTo) - dBlue) / dWidth;
    for (LONG x = rect.left; x < rect.right; ++x) {
        const RECT column = {x, rect.top, x + 1, rect.bottom};
        HBRUSH hBrush = CreateSolidBrush(
            RGB(static_cast<int>(dRed), static_cast<int>(dGreen), static_cast<int>(dBlue)));
        FillRect(hdc, &column, hBrush);
        DeleteObject(hBrush);
        dRed += dStepRed;
        dGreen += dStepGreen;
        dBlue += dStepBlue;
    }
}

void CStatusLabelWin32::PaintText(HDC hdc, const RECT &rect, std::wstring strText) const
{
    const int nOldMode = SetBkMode(hdc, TRANSPARENT);
    const HGDIOBJ hOldFont = SelectObject(hdc, m_fontBold);
    const COLORREF crOldText = SetTextColor(hdc, m_crText);

    // A tab splits off a right-hand part; one at the very start does not count.
    const size_t nTab = strText.find(L'\t');
    if (nTab != std::wstring::npos && nTab >= 1) {
        SelectObject(hdc, m_pFontNormal);
        const std::wstring strRight = strText.substr(nTab + 1);
        const UINT nOldAlign = SetTextAlign(hdc, TA_RIGHT);
        TextOutW(hdc, rect.right - 2, rect.top + 1, strRight.c_str(),
                 static_cast<int>(strRight.size()));
        SetTextAlign(hdc, nOldAlign);
        strText.resize(nTab);
        SelectObject(hdc, m_fontBold);
    }
    TextOutW(hdc, rect.left + 2, rect.top + 1, strText.c_str(), static_cast<int>(strText.size()));

    SetTextColor(hdc, crOldText);
    SelectObject(hdc, hOldFont);
    SetBkMode(hdc, nOldMode);
}
