#include "win32/Win32Common.h"

#include "serial/PortSettings.h"

#include <algorithm>
#include <commdlg.h>
#include <shlobj.h>

namespace {
constexpr UINT kCodePageGbk = 936;
constexpr size_t kPathChars = 32768; // the longest path Windows has

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

std::optional<std::wstring> AskFilePath(const CFileDialogRequest &request)
{
    std::wstring strFile = request.strFileName;
    strFile.resize(std::max(strFile.size() + 1, kPathChars), L'\0');
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = request.hOwner;
    ofn.lpstrFilter = request.strFilter.empty() ? nullptr : request.strFilter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = strFile.data();
    ofn.nMaxFile = static_cast<DWORD>(strFile.size());
    ofn.lpstrInitialDir = request.strFolder.empty() ? nullptr : request.strFolder.c_str();
    ofn.lpstrTitle = request.strTitle.c_str();
    ofn.lpstrDefExt = request.strDefaultExt.empty() ? nullptr : request.strDefaultExt.c_str();
    // The working directory stays where it was: relative paths elsewhere must not move with it.
    ofn.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR |
                (request.bSave ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    const BOOL bChosen = request.bSave ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
    if (!bChosen)
        return std::nullopt;
    return std::wstring(strFile.c_str());
}

std::wstring FileDialogFilter(const std::string &strFilterUtf8)
{
    const std::wstring strAll = WideFromUtf8(strFilterUtf8);
    std::wstring strFilter;
    for (size_t nStart = 0; nStart < strAll.size();) {
        const size_t nEnd = std::min(strAll.find(L";;", nStart), strAll.size());
        const std::wstring strEntry = strAll.substr(nStart, nEnd - nStart);
        nStart = nEnd + 2;
        // The patterns stand in the entry's last parentheses; Windows separates them with
        // semicolons and writes "every file" as *.*.
        const size_t nOpen = strEntry.rfind(L'(');
        const size_t nClose = strEntry.rfind(L')');
        std::wstring strPatterns =
            nOpen != std::wstring::npos && nClose != std::wstring::npos && nClose > nOpen
                ? strEntry.substr(nOpen + 1, nClose - nOpen - 1)
                : L"*";
        std::replace(strPatterns.begin(), strPatterns.end(), L' ', L';');
        if (strPatterns == L"*")
            strPatterns = L"*.*";
        strFilter += strEntry + L'\0' + strPatterns + L'\0';
    }
    return strFilter; // the string's own terminator is the list's closing NUL
}

std::wstring FolderOf(const std::wstring &strPath)
{
    const size_t nSlash = strPath.find_last_of(L"\\/");
    if (nSlash == std::wstring::npos)
        return {};
    // A drive's root keeps its backslash: "C:" alone is that drive's working directory.
    return strPath.substr(0, nSlash == 2 && strPath[1] == L':' ? nSlash + 1 : nSlash);
}

std::wstring DocumentsFolder()
{
    wchar_t szFolder[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, 0, szFolder)))
        return {};
    return szFolder;
}
