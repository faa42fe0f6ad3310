// Restore-defaults, clear-binding and the device search on the in-memory form.
#include "EngineTestSupport.h"
#include "engine/UiText.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

// A form that differs from the defaults in every control the defaults touch.
void ShowNonDefaults(CTestEngine &engine)
{
    engine->FillLists();
    for (int nId :
         {IDC_EDIT_PASSWORD, IDC_EDIT_NAME, IDC_EDIT_CLASS, IDC_EDIT_CONN_INTERVAL,
          IDC_EDIT_CONN_DURATION, IDC_EDIT_INQ_INTERVAL, IDC_EDIT_INQ_DURATION, IDC_EDIT_SNIFF_MAX,
          IDC_EDIT_SNIFF_MIN, IDC_EDIT_SNIFF_ATTEMPT, IDC_EDIT_SNIFF_TIMEOUT})
        engine.m_form.SetWindowText(nId, "77");
    engine.ClickCheck(IDC_CHECK_ROLE, true);
    engine.ClickCheck(IDC_CHECK_BIND, true);
    engine.ClickCheck(IDC_CHECK_AUTH, false);
    engine.m_form.Control(IDC_EDIT_PASSWORD).bReadOnly = true;
    engine.m_form.SetCurSel(IDC_COMBO_BAUD, 7);
    engine.m_form.SetCurSel(IDC_COMBO_PARITY, 2);   // even
    engine.m_form.SetCurSel(IDC_COMBO_STOPBITS, 1); // "2"
    engine.m_form.InsertString(IDC_COMBO_BINDADDR, 0, "0011223344AA Phone");
    engine.m_form.SetWindowText(IDC_COMBO_BINDADDR, "0011223344AA Phone");
    engine.m_form.Control(IDC_COMBO_BINDADDR).bEnabled = false;
    engine.m_form.SetWindowText(IDC_EDIT_VERSION, "V9");
    engine.m_form.SetWindowText(IDC_EDIT_LOCALADDR, "00158300A1B2");
    engine.m_form.SetSliderPos(IDC_SLIDER_SCAN, 100);
}

TEST(OnButtonDefault, PutsEveryDefaultIntoTheFormAndResetsTheModule)
{
    CTestEngine engine;
    ShowNonDefaults(engine);
    engine->OnButtonDefault();

    const std::pair<int, const char *> texts[] = {
        {IDC_EDIT_PASSWORD, "7391"},
        {IDC_EDIT_NAME, "CORVA3264"},
        {IDC_EDIT_CLASS, "000000"},
        {IDC_EDIT_CONN_INTERVAL, "1024"},
        {IDC_EDIT_CONN_DURATION, "512"},
        {IDC_EDIT_INQ_INTERVAL, "1024"},
        {IDC_EDIT_INQ_DURATION, "512"},
        {IDC_EDIT_SNIFF_MAX, "0"},
        {IDC_EDIT_SNIFF_MIN, "0"},
        {IDC_EDIT_SNIFF_ATTEMPT, "0"},
        {IDC_EDIT_SNIFF_TIMEOUT, "0"},
        {IDC_COMBO_BAUD, "9600"},
        {IDC_COMBO_PARITY, "\xce\xde\xd0\xa3\xd1\xe9"}, // "无校验"
        {IDC_COMBO_STOPBITS, "1"},
        {IDC_COMBO_BINDADDR, ""},
        {IDC_EDIT_VERSION, "V9"},
        {IDC_EDIT_LOCALADDR, "00158300A1B2"}};
    for (const auto &[nId, pText] : texts)
        EXPECT_EQ(engine.m_form.GetWindowText(nId), pText) << "control " << nId;
    EXPECT_EQ(engine.m_form.Control(IDC_CHECK_ROLE).nCheck, 0);
    EXPECT_EQ(engine.m_form.Control(IDC_CHECK_BIND).nCheck, 0);
    EXPECT_EQ(engine.m_form.Control(IDC_CHECK_AUTH).nCheck, 1);
    EXPECT_FALSE(engine.m_form.Control(IDC_EDIT_PASSWORD).bReadOnly);
    EXPECT_TRUE(engine.m_form.Control(IDC_COMBO_BINDADDR).bEnabled);
    EXPECT_EQ(engine.m_form.GetCount(IDC_COMBO_BINDADDR), 1); // the found devices stay
    EXPECT_EQ(engine.m_form.Control(IDC_SLIDER_SCAN).nSliderPos, 100);

    EXPECT_EQ(engine.Status(), "正在恢复默认参数...");
    EXPECT_TRUE(engine->IsRestoring());
    EXPECT_TRUE(engine.IsTimerArmed(TIMER_DEFAULT));
    EXPECT_EQ(engine.m_written, std::vector<std::string>{"AT+RESET\r\n"});
}

// The parity list shows its entries in the user's language; the default still finds "none".
TEST(OnButtonDefault, SelectsNoParityInEitherLanguage)
{
    for (const EUiLanguage eLanguage : {EUiLanguage::Chinese, EUiLanguage::English}) {
        SetUiLanguage(eLanguage);
        CTestEngine engine;
        ShowNonDefaults(engine);
        engine->OnButtonDefault();
        EXPECT_EQ(engine.m_form.Control(IDC_COMBO_PARITY).nCurSel, 0) << UiLanguageCode(eLanguage);
    }
    SetUiLanguage(EUiLanguage::Chinese);
}

TEST(OnButtonDefault, OutcomeComesFromTheReplyOrTheTimer)
{
    struct CCase
    {
        const char *pName;
        const char *pReply; // nullptr: no answer
        const char *pStatus;
    };
    const CCase cases[] = {
        {"Ok", "\r\nOK\r\n", "成功恢复默认参数"},
        {"Error", "\r\nERROR\r\n", "恢复默认参数失败，请手动点击“设置”按钮"},
        {"NoAnswer", nullptr, "恢复默认参数超时，请手动点击“设置”按钮"},
    };
    for (const CCase &test : cases) {
        SCOPED_TRACE(test.pName);
        CTestEngine engine;
        engine->FillLists();
        engine->OnButtonDefault();
        if (test.pReply)
            engine.Feed(test.pReply);
        else
            engine.Advance(4000ms);
        EXPECT_EQ(engine.Status(), test.pStatus);
        EXPECT_FALSE(engine->IsRestoring());
        EXPECT_FALSE(engine.IsTimerArmed(TIMER_DEFAULT));
        EXPECT_TRUE(engine.m_messageBoxes.empty());
    }
}

TEST(OnButtonClearAddr, PortClosedOnlyTellsTheUser)
{
    CTestEngine engine;
    engine.m_bPortOpen = false;
    engine->OnButtonClearAddr();
    EXPECT_EQ(engine.m_statusTexts, std::vector<std::string>{"请先打开串口"});
    EXPECT_TRUE(engine.m_written.empty());
    EXPECT_FALSE(engine->IsClearing());
    EXPECT_FALSE(engine.IsTimerArmed(TIMER_CLEARADDR));
}

TEST(OnButtonClearAddr, WaitsGuardedAndKeepsTheComboOnSuccess)
{
    CTestEngine engine;
    engine.Feed("\r\n+RADDR:0012AB34CD56\r\n"); // read earlier: the record and the combo
    engine->OnButtonClearAddr();
    EXPECT_EQ(engine.Status(), "正在清除邦定的蓝牙地址...");
    EXPECT_TRUE(engine->IsClearing());
    EXPECT_TRUE(engine.IsTimerArmed(TIMER_CLEARADDR));
    EXPECT_EQ(engine.m_written, std::vector<std::string>{"AT+CLEARADDR\r\n"});
    engine.Feed("\r\nOK\r\n");
    EXPECT_EQ(engine.Status(), "成功清除邦定的蓝牙地址");
    EXPECT_EQ(engine.m_form.GetWindowText(IDC_COMBO_BINDADDR), "0012AB34CD56");
    EXPECT_EQ(engine->LastRead().BindAddr, "0012AB34CD56");
}

TEST(OnButtonSearch, EmptiesEnablesAnnouncesThenAsks)
{
    CTestEngine engine;
    engine.m_form.InsertString(IDC_COMBO_BINDADDR, 0, "old entry");
    engine.m_form.SetWindowText(IDC_COMBO_BINDADDR, "old entry");
    engine.m_bPortOpen = false; // the search does not look at the port
    engine->OnButtonSearch();
    EXPECT_EQ(engine.m_form.GetCount(IDC_COMBO_BINDADDR), 0);
    EXPECT_EQ(engine.m_form.GetWindowText(IDC_COMBO_BINDADDR), "");
    EXPECT_TRUE(engine.m_form.Control(IDC_COMBO_BINDADDR).bEnabled);
    EXPECT_EQ(engine.Status(), "正在查询设备......");
    EXPECT_EQ(engine.m_written, std::vector<std::string>{"AT+INQ\r\n"});
    EXPECT_FALSE(engine->IsQuerying() || engine->IsSetting() || engine->IsClearing() ||
                 engine->IsRestoring());
}

TEST(OnInquiryResult, ResultsSortIgnoringCaseAndRepeatsStay)
{
    CTestEngine engine;
    engine->OnButtonSearch();
    const char *results[] = {
        "\r\n+INQRESU:0011223344AB,Beta\r\n",
        "\r\n+INQRESU:0011223344aa,alpha\r\n", // before "AB" only when case is ignored
        "\r\n+INQRESU:0011223344AB,Beta\r\n",
        "\r\n+INQRESU:0011223344AC \r\n", // address only: 26 bytes
        "\r\n+INQRESU:00112233440F,Zed\r\n",
    };
    for (const char *pResult : results)
        engine.Feed(pResult);
    const std::vector<std::string> expected = {"00112233440F Zed", "0011223344aa alpha",
                                               "0011223344AB Beta", "0011223344AB Beta",
                                               "0011223344AC "};
    EXPECT_EQ(engine.m_form.Control(IDC_COMBO_BINDADDR).entries, expected);
    EXPECT_EQ(engine.m_form.GetWindowText(IDC_COMBO_BINDADDR), "00112233440F Zed");
    EXPECT_EQ(engine.Status(), "查询到设备 00112233440F");
    engine.Feed("\r\n+INQCOMP\r\n");
    EXPECT_EQ(engine.Status(), "查询完成");
    EXPECT_EQ(engine.m_form.Control(IDC_COMBO_BINDADDR).entries, expected);
}

TEST(OnInquiryResult, AddressOnlyResultIsTheAddressAndOneSpace)
{
    CTestEngine engine;
    const std::string strLine = "\r\n+INQRESU:0011223344AA \r\n";
    ASSERT_EQ(strLine.size(), 26u);
    engine->OnInquiryResult(strLine.data(), static_cast<uint16_t>(strLine.size()));
    EXPECT_EQ(engine.m_form.GetWindowText(IDC_COMBO_BINDADDR), "0011223344AA ");
    EXPECT_EQ(engine.m_form.Control(IDC_COMBO_BINDADDR).entries,
              std::vector<std::string>{"0011223344AA "});
    EXPECT_EQ(engine.Status(), "查询到设备 0011223344AA");
}

TEST(OnInquiryResult, ZeroByteEndsTheAddressAndShortLinesAreIgnored)
{
    CTestEngine engine;
    std::string strLine = "\r\n+INQRESU:0011";
    strLine += '\0';
    strLine += "2233445,Phone\r\n";
    engine->OnInquiryResult(strLine.data(), static_cast<uint16_t>(strLine.size()));
    EXPECT_EQ(engine.m_form.GetWindowText(IDC_COMBO_BINDADDR), "0011 Phone");
    EXPECT_EQ(engine.Status(), "查询到设备 0011");
    const std::string strShort = "\r\n+INQRESU:0011223344A\r\n";
    engine->OnInquiryResult(strShort.data(), static_cast<uint16_t>(strShort.size()));
    EXPECT_EQ(engine.m_form.GetCount(IDC_COMBO_BINDADDR), 1);
}

} // namespace
