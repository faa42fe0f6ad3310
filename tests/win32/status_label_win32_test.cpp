// The GDI status line, drawn into a 24-bit bitmap and read back pixel by pixel: the gradient's
// two ends, the button face for an empty text, and where the text lands with and without a tab.

#include "win32/StatusLabelWin32.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 200;
constexpr int kHeight = 16;

// A label drawn once: its pixels, top row first.
class CDrawnLabel
{
public:
    explicit CDrawnLabel(const std::wstring &strText)
    {
        // The label reads its own window text, as the dialog's control does.
        const HWND hButton = CreateWindowW(L"BUTTON", strText.c_str(), BS_OWNERDRAW, 0, 0, kWidth,
                                           kHeight, nullptr, nullptr, nullptr, nullptr);
        const HDC hScreen = GetDC(nullptr);
        const HDC hMem = CreateCompatibleDC(hScreen);
        BITMAPINFO info = {};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), kWidth, -kHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void *pBits = nullptr;
        const HBITMAP hBitmap = CreateDIBSection(hMem, &info, DIB_RGB_COLORS, &pBits, nullptr, 0);
        const HGDIOBJ hOld = SelectObject(hMem, hBitmap);
        DRAWITEMSTRUCT item = {};
        item.CtlType = ODT_BUTTON;
        item.hwndItem = hButton;
        item.hDC = hMem;
        item.rcItem = {0, 0, kWidth, kHeight};
        CStatusLabelWin32 label;
        label.DrawItem(item);
        GdiFlush();
        const auto *pPixels = static_cast<const uint32_t *>(pBits);
        m_pixels.assign(pPixels, pPixels + kWidth * kHeight);
        SelectObject(hMem, hOld);
        DeleteObject(hBitmap);
        DeleteDC(hMem);
        ReleaseDC(nullptr, hScreen);
        DestroyWindow(hButton);
    }

    COLORREF At(int x, int y) const
    {
        const uint32_t nPixel = m_pixels[static_cast<size_t>(y * kWidth + x)];
        return RGB((nPixel >> 16) & 0xFF, (nPixel >> 8) & 0xFF, nPixel & 0xFF);
    }
    // Columns [nFrom, nTo) holding a near-white pixel: where the text was drawn (its edges are
    // smoothed; no gradient colour has a component above 128).
    int WhiteColumns(int nFrom, int nTo) const
    {
        int nCount = 0;
        for (int x = nFrom; x < nTo; ++x) {
            for (int y = 0; y < kHeight; ++y) {
                const COLORREF cr = At(x, y);
                if (GetRValue(cr) > 0xC0 && GetGValue(cr) > 0xC0 && GetBValue(cr) > 0xC0) {
                    ++nCount;
                    break;
                }
            }
        }
        return nCount;
    }
    int RightmostWhiteColumn() const
    {
        for (int x = kWidth - 1; x >= 0; --x) {
            if (WhiteColumns(x, x + 1) != 0)
                return x;
        }
        return -1;
    }

private:
    std::vector<uint32_t> m_pixels;
};

TEST(StatusLabelWin32, EmptyTextShowsTheButtonFace)
{
    const CDrawnLabel label(L"");
    for (const int x : {0, kWidth / 2, kWidth - 1})
        EXPECT_EQ(label.At(x, kHeight / 2), GetSysColor(COLOR_BTNFACE)) << "column " << x;
}

TEST(StatusLabelWin32, GradientRunsFromTealToOneStepShortOfPurple)
{
    // The bottom row stays clear of the text.
    const CDrawnLabel label(L"准备就绪");
    EXPECT_EQ(label.At(0, kHeight - 1), RGB(0, 128, 128));
    EXPECT_EQ(label.At(kWidth - 1, kHeight - 1), RGB(127, 0, 128));
}

struct CTextCase
{
    const char *pName;
    const wchar_t *pText;
    bool bLeftPart;  // white pixels in the left half
    bool bRightPart; // white pixels in the right quarter, ending two pixels inside the edge
};

class StatusLabelText : public testing::TestWithParam<CTextCase>
{
};

TEST_P(StatusLabelText, LandsWhereItsTabSays)
{
    const CTextCase &textCase = GetParam();
    const CDrawnLabel label(textCase.pText);
    EXPECT_EQ(label.WhiteColumns(0, 2), 0) << "two pixels inside the left edge";
    EXPECT_EQ(label.WhiteColumns(2, kWidth / 2) > 0, textCase.bLeftPart);
    EXPECT_EQ(label.WhiteColumns(kWidth * 3 / 4, kWidth) > 0, textCase.bRightPart);
    if (textCase.bRightPart) {
        EXPECT_LE(label.RightmostWhiteColumn(), kWidth - 3);
    }
}

const CTextCase kTextCases[] = {
    {"PlainTextLeftOnly", L"查询完成", true, false},
    {"TabSplitsOffARightPart", L"查询完成\t9600", true, true},
    {"LeadingTabDoesNotCount", L"\tWWWW", true, false},
    {"SecondTabStaysInTheRightPart", L"A\tB\tC", true, true},
};

INSTANTIATE_TEST_SUITE_P(Cases, StatusLabelText, testing::ValuesIn(kTextCases),
                         [](const testing::TestParamInfo<CTextCase> &info) {
                             return std::string(info.param.pName);
                         });

} // namespace
