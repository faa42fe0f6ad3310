#pragma once

#include <string>
#include <vector>

// The texts a user sees are written in Chinese, the tool's own language, and looked up in the
// compiled catalogue (res/translations/kestrel_en.ts) when the user's language is English. Wire
// bytes and the module's own texts (names, versions, found devices) are data and never go
// through here.

enum class EUiLanguage { Chinese, English };

// A source text marked for the catalogue and stored untranslated (tables, constants). It reaches
// a user only through Tr: it does not turn into a text by itself, so showing one untranslated
// does not compile.
struct CUiSource
{
    const char *pText = nullptr;
};

// The language a user gets: the profile's choice ("zh_CN" or "en") when it names one, else the
// environment's. Takes the values of LANGUAGE, LC_ALL, LC_MESSAGES and LANG in that order (null
// or empty: unset); the first that is set decides, as QLocale reads them: a Chinese locale, C,
// POSIX or nothing at all give Chinese, any other language English. The locale need not exist
// on the machine: only its name counts.
EUiLanguage ChooseUiLanguage(const std::string &strProfileChoice, const char *pLanguage,
                             const char *pLcAll, const char *pLcMessages, const char *pLang);
// The same, reading the process's environment.
EUiLanguage ChooseUiLanguageFromEnvironment(const std::string &strProfileChoice);

// The profile value that names a language, and back; an unknown value names none.
const char *UiLanguageCode(EUiLanguage eLanguage); // "zh_CN" or "en"
bool ParseUiLanguageCode(const std::string &strCode, EUiLanguage *pLanguage);

// The language every Tr call answers in, for the whole process (Chinese until set).
void SetUiLanguage(EUiLanguage eLanguage);
EUiLanguage UiLanguage();

// The text to show for a Chinese source text (UTF-8) in its context: the source itself in
// Chinese or when the catalogue has no translation. The pointer stays valid for the process.
// lupdate reads calls to Tr like QCoreApplication::translate.
const char *Tr(const char *pContext, const char *pSourceUtf8);
// The same in a chosen language, whatever the process's.
const char *TrIn(EUiLanguage eLanguage, const char *pContext, const char *pSourceUtf8);
inline const char *Tr(const char *pContext, CUiSource source)
{
    return Tr(pContext, source.pText);
}
inline const char *TrIn(EUiLanguage eLanguage, const char *pContext, CUiSource source)
{
    return TrIn(eLanguage, pContext, source.pText);
}

// Puts the arguments where the text says "%1", "%2" (a translation may order them otherwise), in
// one pass: an argument that itself holds "%2" (a path, a module's text) stays as it is.
std::string FillArgs(const std::string &strFormat, const std::vector<std::string> &args);

// The language menu and its notice read the same in both languages (both languages): whoever
// looks for them may not read the language in use.
inline constexpr char kLanguageMenuText[] = "语言 / Language";
inline constexpr char kLanguageChosenText[] =
    "下次启动时使用所选语言。\nThe chosen language applies from the next start.";
inline constexpr char kChineseLanguageName[] = "中文";
inline constexpr char kEnglishLanguageName[] = "English";

// Marks a source text for the catalogue where it is only stored; it is translated where it is
// shown, with Tr and the same context.
#define KESTREL_TR_NOOP(context, source) (CUiSource{source})

// The catalogue's entries, generated from the .ts at build time (UiTextCatalogue.cpp).
struct CUiTextEntry
{
    const char *pContext;
    const char *pSource;
    const char *pEnglish;
};
extern const CUiTextEntry g_UiTextCatalogue[];
extern const int g_nUiTextCatalogueSize;
