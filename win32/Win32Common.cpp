#include "win32/Win32Common.h"

#include "serial/PortSettings.h"

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

EUiLanguage ApplyWin32UiLanguage(CProfile &profile)
{
    EUiLanguage eLanguage = EUiLanguage::Chinese;
    const std::string strChoice =
        profile.ReadString(kLanguageSection, kLanguageKey).value_or(std::string());
    if (ParseUiLanguageCode(strChoice, &eLanguage)) {
        SetThreadUILanguage(eLanguage == EUiLanguage::English
                                ? MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)
                                : MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED));
    } else {
        eLanguage = PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_CHINESE
                        ? EUiLanguage::Chinese
                        : EUiLanguage::English;
    }
    SetUiLanguage(eLanguage);
    return eLanguage;
}

std::wstring TrWide(const char *pContext, const char *pSourceUtf8)
{
    return WideFromUtf8(Tr(pContext, pSourceUtf8));
}

namespace {
void TranslateWindowText(HWND hwnd, const char *pContext)
{
    const std::string strText = Utf8FromWide(WindowTextOf(hwnd));
    const size_t nEnd = strText.find_last_not_of(' ');
    if (nEnd == std::string::npos)
        return;
    const std::string strSource = strText.substr(0, nEnd + 1);
    const char *pShown = Tr(pContext, strSource.c_str());
    if (strSource != pShown)
        SetWindowTextW(hwnd, WideFromUtf8(pShown + strText.substr(nEnd + 1)).c_str());
}

BOOL CALLBACK TranslateChild(HWND hwnd, LPARAM lParam)
{
    TranslateWindowText(hwnd, reinterpret_cast<const char *>(lParam));
    return TRUE;
}
} // namespace

void TranslateDialog(HWND hDlg, const char *pContext)
{
    if (UiLanguage() == EUiLanguage::Chinese)
        return; // the templates are Chinese
    TranslateWindowText(hDlg, pContext);
    EnumChildWindows(hDlg, TranslateChild, reinterpret_cast<LPARAM>(pContext));
}
