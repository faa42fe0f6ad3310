// GBK through Windows' own code page 936 tables.

#include "protocol/GbkText.h"

#include <windows.h>

namespace {

constexpr UINT kCodePageGbk = 936;
constexpr unsigned char kLeadFirst = 0x81; // lead bytes of GBK's two-byte characters
constexpr unsigned char kLeadLast = 0xFE;
constexpr wchar_t kReplacement = 0xFFFD;

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

// One character at i, which then moves past it: ASCII, a valid two-byte GBK pair, or U+FFFD for
// one byte that starts neither.
wchar_t DecodeOne(std::string_view strGbk, size_t &i)
{
    const auto chLead = static_cast<unsigned char>(strGbk[i]);
    if (chLead < 0x80) {
        ++i;
        return static_cast<wchar_t>(chLead);
    }
    wchar_t chWide = 0;
    const bool bPair = chLead >= kLeadFirst && chLead <= kLeadLast && i + 1 < strGbk.size();
    if (bPair && MultiByteToWideChar(kCodePageGbk, MB_ERR_INVALID_CHARS, strGbk.data() + i, 2,
                                     &chWide, 1) == 1) {
        i += 2;
        return chWide;
    }
    ++i;
    return kReplacement;
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
    // Character by character: code page 936 quietly turns a stray 0xFF into a private-use
    // character and a cut-off lead byte into "?", where every stray byte must become U+FFFD.
    std::wstring strWide;
    for (size_t i = 0; i < strGbk.size();) {
        const wchar_t chWide = DecodeOne(strGbk, i);
        strWide += chWide;
    }
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
