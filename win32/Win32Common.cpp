#include "win32/Win32Common.h"

namespace {
constexpr UINT kCodePageGbk = 936;

std::wstring Widen(std::string_view strText, UINT nCodePage)
{
    if (strText.empty())
        return {};
    const int nSize = static_cast<int>(strText.size());
    const int nWide = MultiByteToWideChar(nCodePage, 0, strText.data(), nSize, nullptr, 0);
    if (nWide <= 0)
        return {};
    std::wstring strWide(static_cast<size_t>(nWide), L'\0');
    MultiByteToWideChar(nCodePage, 0, strText.data(), nSize, strWide.data(), nWide);
    return strWide;
}
} // namespace

std::wstring WideFromUtf8(std::string_view strUtf8)
{
    return Widen(strUtf8, CP_UTF8);
}

std::wstring WideFromGbk(std::string_view strGbk)
{
    return Widen(strGbk, kCodePageGbk);
}

std::optional<std::string> GbkFromWide(std::wstring_view strWide)
{
    if (strWide.empty())
        return std::string();
    // No best fit: a character without GBK bytes of its own is refused, never sent as "?".
    const int nWide = static_cast<int>(strWide.size());
    BOOL bUsedDefault = FALSE;
    const int nBytes = WideCharToMultiByte(kCodePageGbk, WC_NO_BEST_FIT_CHARS, strWide.data(),
                                           nWide, nullptr, 0, nullptr, &bUsedDefault);
    if (nBytes <= 0 || bUsedDefault)
        return std::nullopt;
    std::string strGbk(static_cast<size_t>(nBytes), '\0');
    WideCharToMultiByte(kCodePageGbk, WC_NO_BEST_FIT_CHARS, strWide.data(), nWide, strGbk.data(),
                        nBytes, nullptr, nullptr);
    return strGbk;
}

std::string Utf8FromWide(std::wstring_view strWide)
{
    if (strWide.empty())
        return {};
    const int nWide = static_cast<int>(strWide.size());
    const int nBytes =
        WideCharToMultiByte(CP_UTF8, 0, strWide.data(), nWide, nullptr, 0, nullptr, nullptr);
    if (nBytes <= 0)
        return {};
    std::string strUtf8(static_cast<size_t>(nBytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, strWide.data(), nWide, strUtf8.data(), nBytes, nullptr,
                        nullptr);
    return strUtf8;
}

std::wstring WindowTextOf(HWND hwnd)
{
    if (hwnd == nullptr)
        return {};
    const int nLength = GetWindowTextLengthW(hwnd);
    if (nLength <= 0)
        return {};
    std::wstring strText(static_cast<size_t>(nLength) + 1, L'\0');
    const int nCopied = GetWindowTextW(hwnd, strText.data(), nLength + 1);
    strText.resize(static_cast<size_t>(nCopied > 0 ? nCopied : 0));
    return strText;
}

std::wstring LoadResourceString(HINSTANCE hInstance, UINT nId)
{
    // With a zero length LoadStringW hands out a pointer into the resource itself.
    const wchar_t *pText = nullptr;
    const int nLength = LoadStringW(hInstance, nId, reinterpret_cast<LPWSTR>(&pText), 0);
    return nLength > 0 && pText != nullptr ? std::wstring(pText, static_cast<size_t>(nLength))
                                           : std::wstring();
}
