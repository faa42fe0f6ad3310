// Which language a user gets, and what the compiled catalogue gives back in each.

#include "EngineTestSupport.h"
#include "engine/ModuleSetupEngine.h"
#include "engine/RunEnd.h"
#include "engine/UiText.h"

#include <gtest/gtest.h>

namespace {

constexpr EUiLanguage zh = EUiLanguage::Chinese;
constexpr EUiLanguage en = EUiLanguage::English;

struct CLanguageCase
{
    const char *pProfile;
    const char *pLanguage, *pLcAll, *pLcMessages, *pLang;
    EUiLanguage eExpected;
};

// Restores the process's language after each test, whatever the test set.
class UiTextTest : public ::testing::Test
{
protected:
    void TearDown() override { SetUiLanguage(zh); }
};

} // namespace

TEST_F(UiTextTest, LanguageComesFromTheProfileElseTheFirstSetVariable)
{
    const CLanguageCase aCases[] = {
        {"", nullptr, nullptr, nullptr, nullptr, zh},   // nothing set
        {"", nullptr, nullptr, nullptr, "C.UTF-8", zh}, // these machines, containers
        {"", nullptr, nullptr, nullptr, "C", zh},
        {"", nullptr, "POSIX", nullptr, "en_US.UTF-8", zh}, // LC_ALL before LANG
        {"", nullptr, nullptr, nullptr, "zh_CN.UTF-8", zh},
        {"", nullptr, nullptr, nullptr, "zh_TW.Big5", zh},
        {"", nullptr, nullptr, nullptr, "en_US.UTF-8", en}, // need not be generated
        {"", nullptr, nullptr, nullptr, "de_DE@euro", en},
        {"", nullptr, nullptr, "fr_FR.UTF-8", "zh_CN.UTF-8", en}, // LC_MESSAGES before LANG
        {"", "en_GB:zh_CN", "zh_CN.UTF-8", nullptr, nullptr, en}, // LANGUAGE first, its first entry
        {"", "zh_CN:en", nullptr, nullptr, "en_US.UTF-8", zh},
        {"", "", "", "", "en_US.UTF-8", en},                     // empty counts as unset
        {"zh_CN", nullptr, nullptr, nullptr, "en_US.UTF-8", zh}, // the profile decides
        {"en", nullptr, nullptr, nullptr, "zh_CN.UTF-8", en},
        {"en", nullptr, nullptr, nullptr, nullptr, en},
        {"klingon", nullptr, nullptr, nullptr, "en_US.UTF-8", en}, // unknown value: no choice
    };
    for (const CLanguageCase &row : aCases) {
        EXPECT_EQ(
            ChooseUiLanguage(row.pProfile, row.pLanguage, row.pLcAll, row.pLcMessages, row.pLang),
            row.eExpected)
            << "profile '" << row.pProfile << "' LANG " << (row.pLang ? row.pLang : "(unset)");
    }
}

TEST_F(UiTextTest, ChineseIsTheSourceByteForByteAndEnglishComesFromTheCatalogue)
{
    const struct
    {
        const char *pContext;
        const char *pSource;
        const char *pEnglish;
    } aCases[] = {
        {"Engine", "查询完成", "Query finished"},
        {"Engine", "查询 [%s] 时超时，是否继续？", "Querying [%s] timed out. Go on?"},
        {"MainWindow", "设置(&S)", "&Set"},
        {"PortDialog", "无", "None"},
        {"Engine", "不在目录里的文字", "不在目录里的文字"}, // not in the catalogue: the source
        {"Nowhere", "查询完成", "查询完成"},                // the context counts
    };
    for (const auto &row : aCases) {
        SetUiLanguage(zh);
        EXPECT_STREQ(Tr(row.pContext, row.pSource), row.pSource);
        SetUiLanguage(en);
        EXPECT_STREQ(Tr(row.pContext, row.pSource), row.pEnglish);
        EXPECT_STREQ(TrIn(zh, row.pContext, row.pSource), row.pSource);
    }
}

TEST_F(UiTextTest, StatusTextsAndListEntriesFollowTheLanguage)
{
    const CRunEnd timedOut(ERunKind::Query, ERunEnd::TimedOut,
                           CModuleSetupEngine::CommandDisplayName("AT+NAME?\r\n"));
    EXPECT_EQ(RunEndStatusText(timedOut), "查询 [设备名称] 时超时");
    // The parity list stays the GBK bytes the module's texts use.
    EXPECT_EQ(CModuleSetupEngine::ParityListEntry(0), "\xce\xde\xd0\xa3\xd1\xe9");
    EXPECT_EQ(CModuleSetupEngine::ParityListEntry(3), "");

    SetUiLanguage(en);
    const CRunEnd timedOutEn(ERunKind::Query, ERunEnd::TimedOut,
                             CModuleSetupEngine::CommandDisplayName("AT+NAME?\r\n"));
    EXPECT_EQ(RunEndStatusText(timedOutEn), "Querying [device name] timed out");
    EXPECT_EQ(CModuleSetupEngine::ParityListEntry(1), "Odd");
    EXPECT_EQ(RunEndName(ERunEnd::TimedOut), std::string("timed_out"));
}

TEST_F(UiTextTest, EveryCatalogueEntryHasItsEnglish)
{
    ASSERT_GT(g_nUiTextCatalogueSize, 100);
    for (int i = 0; i < g_nUiTextCatalogueSize; ++i) {
        const CUiTextEntry &entry = g_UiTextCatalogue[i];
        EXPECT_STRNE(entry.pEnglish, "") << entry.pSource;
        // A format keeps its one placeholder, or the filled-in text would lose its value.
        EXPECT_EQ(std::string(entry.pSource).find("%s") != std::string::npos,
                  std::string(entry.pEnglish).find("%s") != std::string::npos)
            << entry.pSource;
    }
}

// Arguments go in once, in one pass, wherever the translation puts their marks; a mark inside an
// argument (a path, a module's text) is the argument's own.
TEST(FillArgs, PutsEachArgumentOnceWhereItsMarkStands)
{
    const struct
    {
        const char *pszFormat;
        std::vector<std::string> args;
        const char *pszExpected;
    } kCases[] = {
        {"无法打开 %1：%2", {"/tmp/a%2b", "busy"}, "无法打开 /tmp/a%2b：busy"},
        {"%2 before %1", {"one", "two"}, "two before one"},
        {"%1%1 and 100%", {"x"}, "xx and 100%"},
        {"%3 has no argument", {"a", "b"}, "%3 has no argument"},
    };
    for (const auto &c : kCases)
        EXPECT_EQ(FillArgs(c.pszFormat, c.args), c.pszExpected) << c.pszFormat;
}

// Texts that once reached the user without the catalogue: the box when clearing the address runs
// out of time, and the status when the adapter is pulled while nothing runs.
TEST_F(UiTextTest, TextsOfTimersAndALostPortFollowTheLanguage)
{
    SetUiLanguage(en);
    CTestEngine clearing;
    clearing->OnButtonClearAddr();
    clearing.Advance(kClearAddrTimeout);
    ASSERT_EQ(clearing.m_messageBoxes.size(), 1u);
    EXPECT_EQ(clearing.m_messageBoxes[0].strText, "Clearing the Bluetooth address timed out");
    EXPECT_EQ(clearing.Status(), "Clearing the Bluetooth address timed out");

    CTestEngine idle;
    idle->OnPortLost();
    EXPECT_EQ(idle.Status(), "The serial port was disconnected; please check the connection");
}
