#include "qt/UiLanguageQt.h"

#include "serial/PortSettings.h"

#include <memory>

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace {
// Installed for the process's life; replaced when the language changes.
std::unique_ptr<QTranslator> g_pKestrelTranslator;
std::unique_ptr<QTranslator> g_pQtTranslator;

void Replace(std::unique_ptr<QTranslator> &pSlot, std::unique_ptr<QTranslator> pNew)
{
    if (pSlot)
        QCoreApplication::removeTranslator(pSlot.get());
    pSlot = std::move(pNew);
    if (pSlot)
        QCoreApplication::installTranslator(pSlot.get());
}
} // namespace

EUiLanguage ChooseProfileUiLanguage(CProfile &profile)
{
    return ChooseUiLanguageFromEnvironment(
        profile.ReadString(kLanguageSection, kLanguageKey).value_or(std::string()));
}

void ApplyUiLanguage(EUiLanguage eLanguage)
{
    SetUiLanguage(eLanguage);
    const bool bEnglish = eLanguage == EUiLanguage::English;
    std::unique_ptr<QTranslator> pKestrel;
    if (bEnglish) {
        pKestrel = std::make_unique<QTranslator>();
        // Built into the program by qt_add_translations.
        if (!pKestrel->load(QStringLiteral(":/i18n/kestrel_en.qm")))
            pKestrel.reset();
    }
    Replace(g_pKestrelTranslator, std::move(pKestrel));

    // Qt's own texts, from the system's Qt translations; without them Qt speaks English.
    auto pQt = std::make_unique<QTranslator>();
    const QString strQtName =
        bEnglish ? QStringLiteral("qtbase_en") : QStringLiteral("qtbase_zh_CN");
    if (!pQt->load(strQtName, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        pQt.reset();
    Replace(g_pQtTranslator, std::move(pQt));
}
