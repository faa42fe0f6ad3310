// GBK through Windows' own code page 936 tables.

#include "protocol/GbkText.h"

#include <windows.h>

namespace {

constexpr UINT kCodePageGbk = 936;

std::wstring Widen(std::string_view strText, UINT nCodePage, DWORD dwFlags, bool &bOk)
{
    bOk = true;
    if (strText.empty())
        return {};
    const int nSize = static_cast<int>(strText.size());
    const int nWide = MultiByteToWideChar(nCodePage, dwFlags, strText.data(), nSize, nullptr, 0);
    if (nWide <= 0) {
        bOk = false;
        return {};
    }
    std::wstring strWide(static_cast<size_t>(nWide), L'\0');
    MultiByteToWideChar(nCodePage, dwFlags, strText.data(), nSize, strWide.data(), nWide);
    return strWide;
}

} // namespace

std::optional<std::string> Utf8ToGbk(std::string_view strUtf8)
{
    bool bOk = false;
    const std::wstring strWide = Widen(strUtf8, CP_UTF8, MB_ERR_INVALID_CHARS, bOk);
    if (!bOk)
        return std::nullopt;
    if (strWide.empty())
        return std::string();
    // No best fit: a character without its own GBK bytes must be refused, not approximated.
    BOOL bUsedDefault = FALSE;
    const int nWide = static_cast<int>(strWide.size());
    const int nBytes = WideCharToMultiByte(kCodePageGbk, WC_NO_BEST_FIT_CHARS, strWide.data(),
                                           nWide, nullptr, 0, nullptr, &bUsedDefault);
    if (nBytes <= 0 || bUsedDefault)
        return std::nullopt;
    std::string strGbk(static_cast<size_t>(nBytes), '\0');
    WideCharToMultiByte(kCodePageGbk, WC_NO_BEST_FIT_CHARS, strWide.data(), nWide, strGbk.data(),
                        nBytes, nullptr, &bUsedDefault);
    return strGbk;
}

std::string GbkToUtf8(std::string_view strGbk)
{
    bool bOk = false;
    // Without MB_ERR_INVALID_CHARS a stray byte becomes U+FFFD (or its default character).
    const std::wstring strWide = Widen(strGbk, kCodePageGbk, 0, bOk);
    if (strWide.empty())
        return {};
    const int nWide = static_cast<int>(strWide.size());
    const int nBytes =
        WideCharToMultiByte(CP_UTF8, 0, strWide.data(), nWide, nullptr, 0, nullptr, nullptr);
    std::string strUtf8(static_cast<size_t>(nBytes > 0 ? nBytes : 0), '\0');
    if (nBytes > 0)
        WideCharToMultiByte(CP_UTF8, 0, strWide.data(), nWide, strUtf8.data(), nBytes, nullptr,
                            nullptr);
    return strUtf8;
}
