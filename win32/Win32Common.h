#pragma once

#include "win32/Win32Api.h"

#include <optional>
#include <string>
#include <string_view>

// Text at the Windows boundary: controls hold UTF-16; the module's texts are GBK (code page
// 936) and the engine's status and message texts UTF-8.
std::wstring WideFromUtf8(std::string_view strUtf8);
std::wstring WideFromGbk(std::string_view strGbk);
// The GBK bytes of a text, or nothing when it holds a character GBK cannot carry.
std::optional<std::string> GbkFromWide(std::wstring_view strWide);
std::string Utf8FromWide(std::wstring_view strWide);

std::wstring WindowTextOf(HWND hwnd);
std::wstring LoadResourceString(HINSTANCE hInstance, UINT nId);

#include "engine/UiText.h"

class CProfile;

// The profile's key that chooses the language ("zh_CN" or "en"), section [Settings].
inline constexpr char kLanguageSection[] = "Settings";
inline constexpr char kLanguageKey[] = "Language";

// The window's language: the profile's choice, else the user's UI language (Chinese gives
// Chinese, anything else English). A choice in the profile also becomes the thread's UI
// language, so that the system's own texts (message box buttons) follow it.
EUiLanguage ApplyWin32UiLanguage(CProfile &profile);

// A text of the catalogue for a control.
std::wstring TrWide(const char *pContext, const char *pSourceUtf8);

// The system's Open or Save dialog, modal to hOwner.
struct CFileDialogRequest
{
    HWND hOwner = nullptr;
    bool bSave = false;
    std::wstring strTitle;
    std::wstring strFilter;     // as FileDialogFilter makes it
    std::wstring strFolder;     // where it opens; empty: where the system chooses
    std::wstring strFileName;   // proposed
    std::wstring strDefaultExt; // added to a name typed without one ("json")
};
// The path chosen; nothing when the user cancelled.
std::optional<std::wstring> AskFilePath(const CFileDialogRequest &request);
// A filter as the catalogue writes it for both windows ("配置文件 (*.json);;所有文件 (*)") in the
// form the system's file dialogs take: name and patterns, each ended by a NUL.
std::wstring FileDialogFilter(const std::string &strFilterUtf8);
std::wstring FolderOf(const std::wstring &strPath);
// The user's documents folder; empty when the system names none.
std::wstring DocumentsFolder();

// Puts the dialog's caption and its controls' texts, as the template has them, into the user's
// language, context pContext of the catalogue. Blanks after a text (room a template keeps for a
// control drawn over it) stay.
void TranslateDialog(HWND hDlg, const char *pContext);
