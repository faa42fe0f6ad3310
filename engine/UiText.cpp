#include "engine/UiText.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string_view>

namespace {

std::atomic<EUiLanguage> g_eLanguage{EUiLanguage::Chinese};

// A locale name's language: "en_US.UTF-8" -> "en", "zh" -> "zh", "C.UTF-8" -> "C".
std::string_view LanguagePart(std::string_view strLocale)
{
    const size_t nEnd = strLocale.find_first_of("_.@");
    return strLocale.substr(0, nEnd);
}

EUiLanguage LanguageOfLocale(std::string_view strLocale)
{
    const std::string_view strLanguage = LanguagePart(strLocale);
    if (strLanguage.empty() || strLanguage == "C" || strLanguage == "POSIX" || strLanguage == "zh")
        return EUiLanguage::Chinese;
    return EUiLanguage::English;
}

using CatalogueKey = std::pair<std::string_view, std::string_view>;

const std::map<CatalogueKey, const char *> &Catalogue()
{
    static const std::map<CatalogueKey, const char *> catalogue = [] {
        std::map<CatalogueKey, const char *> entries;
        for (int i = 0; i < g_nUiTextCatalogueSize; ++i) {
            const CUiTextEntry &entry = g_UiTextCatalogue[i];
            entries.emplace(CatalogueKey{entry.pContext, entry.pSource}, entry.pEnglish);
        }
        return entries;
    }();
    return catalogue;
}

} // namespace

EUiLanguage ChooseUiLanguage(const std::string &strProfileChoice, const char *pLanguage,
                             const char *pLcAll, const char *pLcMessages, const char *pLang)
{
    if (EUiLanguage eChosen; ParseUiLanguageCode(strProfileChoice, &eChosen))
        return eChosen;
    for (const char *pValue : {pLanguage, pLcAll, pLcMessages, pLang}) {
        if (pValue == nullptr || *pValue == '\0')
            continue;
        // LANGUAGE is a list of preferences ("en_GB:en"); its first entry is the user's.
        std::string_view strValue(pValue);
        return LanguageOfLocale(strValue.substr(0, strValue.find(':')));
    }
    return EUiLanguage::Chinese;
}

EUiLanguage ChooseUiLanguageFromEnvironment(const std::string &strProfileChoice)
{
    return ChooseUiLanguage(strProfileChoice, std::getenv("LANGUAGE"), std::getenv("LC_ALL"),
                            std::getenv("LC_MESSAGES"), std::getenv("LANG"));
}

const char *UiLanguageCode(EUiLanguage eLanguage)
{
    return eLanguage == EUiLanguage::English ? "en" : "zh_CN";
}

bool ParseUiLanguageCode(const std::string &strCode, EUiLanguage *pLanguage)
{
    if (strCode == "en")
        *pLanguage = EUiLanguage::English;
    else if (strCode == "zh_CN")
        *pLanguage = EUiLanguage::Chinese;
    else
        return false;
    return true;
}

void SetUiLanguage(EUiLanguage eLanguage)
{
    g_eLanguage.store(eLanguage);
}

EUiLanguage UiLanguage()
{
    return g_eLanguage.load();
}

const char *Tr(const char *pContext, const char *pSourceUtf8)
{
    return TrIn(UiLanguage(), pContext, pSourceUtf8);
}

const char *TrIn(EUiLanguage eLanguage, const char *pContext, const char *pSourceUtf8)
{
    if (eLanguage == EUiLanguage::Chinese || pSourceUtf8 == nullptr || *pSourceUtf8 == '\0')
        return pSourceUtf8;
    const auto &catalogue = Catalogue();
    const auto it = catalogue.find({pContext, pSourceUtf8});
    return it == catalogue.end() ? pSourceUtf8 : it->second;
}

std::string FillArgs(const std::string &strFormat, const std::vector<std::string> &args)
{
    std::string strText;
    for (size_t i = 0; i < strFormat.size(); ++i) {
        const char cNext = i + 1 < strFormat.size() ? strFormat[i + 1] : '\0';
        const size_t nArg = static_cast<size_t>(cNext - '1');
        if (strFormat[i] == '%' && cNext >= '1' && cNext <= '9' && nArg < args.size()) {
            strText += args[nArg];
            ++i;
        } else {
            strText += strFormat[i];
        }
    }
    return strText;
}
