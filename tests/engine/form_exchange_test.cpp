#include "EngineTestSupport.h"

#include <array>
#include <gtest/gtest.h>

namespace {

// Ten Chinese characters in GBK: 20 bytes.
const std::string kTenChinese =
    "\xc4\xa3\xbf\xe9\xc4\xa3\xbf\xe9\xc4\xa3\xbf\xe9\xc4\xa3\xbf\xe9\xc4\xa3\xbf\xe9";

struct ReadFailure
{
    int nId;
    std::string strText;
    const char *pMessage;
};

// Each bad field stops the read there: earlier members take the form, later ones stay.
TEST(FormRead, StopsAtFirstBadFieldAndFocusesIt)
{
    const ReadFailure cases[] = {
        {IDC_EDIT_NAME, kTenChinese + "x", "输入的内容不能超过 20 个字节。"},
        {IDC_EDIT_CLASS, "1234567", "输入的内容不能超过 6 个字节。"},
        {IDC_EDIT_PASSWORD, std::string(17, '1'), "输入的内容不能超过 16 个字节。"},
        {IDC_EDIT_CONN_INTERVAL, "4097", "请输入一个介于 0 和 4096 之间的整数。"},
        {IDC_EDIT_INQ_DURATION, "-1", "请输入一个整数。"},
        {IDC_EDIT_SNIFF_MAX, "4294967296", "请输入一个整数。"},
        {IDC_EDIT_SNIFF_TIMEOUT, "", "请输入一个整数。"},
        {IDC_EDIT_SNIFF_ATTEMPT, "1 2", "请输入一个整数。"},
    };
    for (const ReadFailure &c : cases) {
        CTestEngine engine;
        HoldInMembers(engine, {{IDC_EDIT_SNIFF_ATTEMPT, "77"}, {IDC_COMBO_BINDADDR, "old"}});
        engine.m_form.SetWindowText(IDC_EDIT_NAME, "NewName");
        engine.m_form.SetWindowText(IDC_COMBO_BINDADDR, "001122AABBCC");
        engine.m_form.SetWindowText(c.nId, c.strText);
        EXPECT_FALSE(engine->UpdateData(true)) << c.nId;
        ASSERT_EQ(engine.m_messageBoxes.size(), 1u);
        EXPECT_EQ(engine.m_messageBoxes[0].strText, c.pMessage);
        EXPECT_EQ(engine.m_messageBoxes[0].strCaption, "提示");
        EXPECT_EQ(engine.m_messageBoxes[0].nType, MB_ICONEXCLAMATION);
        EXPECT_EQ(engine.m_form.m_nFocusId, c.nId);
        EXPECT_EQ(engine->FormMembers().m_strBindAddr, "old") << c.nId;
        EXPECT_EQ(engine->FormMembers().m_strName, c.nId == IDC_EDIT_NAME ? "" : "NewName")
            << c.nId;
        if (c.nId != IDC_EDIT_SNIFF_ATTEMPT) {
            EXPECT_EQ(engine->FormMembers().m_nSniffAttempt, 77u) << c.nId;
        }
    }
}

TEST(FormRead, AcceptsLimitsExactlyAndReadsEveryField)
{
    CTestEngine engine;
    engine.m_form.SetWindowText(IDC_EDIT_NAME, kTenChinese);
    engine.m_form.SetWindowText(IDC_EDIT_PASSWORD, std::string(16, '9'));
    engine.m_form.SetWindowText(IDC_EDIT_CONN_INTERVAL, "4096");
    engine.m_form.SetWindowText(IDC_EDIT_SNIFF_MAX, "4294967295");
    engine.m_form.SetWindowText(IDC_EDIT_SNIFF_MIN, " 80 ");
    engine.m_form.SetWindowText(IDC_COMBO_BINDADDR, "001122AABBCC");
    engine.m_form.SetWindowText(IDC_EDIT_LOCALADDR, "00158300A1B2");
    ASSERT_TRUE(engine->UpdateData(true));
    EXPECT_TRUE(engine.m_messageBoxes.empty());
    const CFormMembers &members = engine->FormMembers();
    EXPECT_EQ(members.m_strName, kTenChinese);
    EXPECT_EQ(members.m_nConnInterval, 4096u);
    EXPECT_EQ(members.m_nSniffMax, 4294967295u);
    EXPECT_EQ(members.m_nSniffMin, 80u);
    EXPECT_EQ(members.m_strBindAddr, "001122AABBCC");
    EXPECT_EQ(members.m_strLocalAddr, "00158300A1B2");
}

TEST(FormWrite, PutsEveryMemberIntoItsControl)
{
    CTestEngine engine;
    HoldInMembers(engine, {{IDC_EDIT_CLASS, "001f00"},
                           {IDC_EDIT_INQ_DURATION, "18"},
                           {IDC_EDIT_SNIFF_ATTEMPT, "8"},
                           {IDC_COMBO_BINDADDR, "001122AABBCC"}});
    ASSERT_TRUE(engine->UpdateData(false));
    EXPECT_EQ(engine.m_form.GetWindowText(IDC_EDIT_CLASS), "001f00");
    EXPECT_EQ(engine.m_form.GetWindowText(IDC_EDIT_INQ_DURATION), "18");
    EXPECT_EQ(engine.m_form.GetWindowText(IDC_EDIT_SNIFF_ATTEMPT), "8");
    EXPECT_EQ(engine.m_form.GetWindowText(IDC_EDIT_SNIFF_MAX), "0");
    EXPECT_EQ(engine.m_form.GetWindowText(IDC_COMBO_BINDADDR), "001122AABBCC");
}

TEST(Lists, FilledAsTheDialogStarts)
{
    CTestEngine engine;
    ASSERT_EQ(engine.m_form.GetCount(IDC_COMBO_BAUD), 13);
    EXPECT_EQ(engine.m_form.GetLBText(IDC_COMBO_BAUD, 0), "1200");
    EXPECT_EQ(engine.m_form.GetLBText(IDC_COMBO_BAUD, 11), "1382400");
    EXPECT_EQ(engine.m_form.GetLBText(IDC_COMBO_BAUD, 12), "");
    EXPECT_EQ(engine.m_form.GetCount(IDC_COMBO_PARITY), 4);
    EXPECT_EQ(engine.m_form.GetLBText(IDC_COMBO_PARITY, 0), "\xce\xde\xd0\xa3\xd1\xe9");
    EXPECT_EQ(engine.m_form.GetCount(IDC_COMBO_STOPBITS), 3);
    EXPECT_EQ(engine.m_form.Control(IDC_COMBO_BAUD).nCurSel, -1);
}

TEST(ClearForm, BlanksControlsOnly)
{
    CTestEngine engine;
    engine.Feed("\r\n+NAME:Abc\r\n\r\n+AUTH:1\r\n\r\n+BAUD:9600\r\n\r\n+SCAN:1,2,3,4\r\n"
                "\r\n+LADDR:00158300A1B2\r\n\r\n+RADDR:001122AABBCC\r\n\r\n+BIND:1\r\n");
    engine.m_form.SetSliderPos(IDC_SLIDER_SNIFF, 100);
    engine->ClearForm();
    EXPECT_EQ(engine.m_form.GetWindowText(IDC_EDIT_NAME), "");
    EXPECT_EQ(engine.m_form.GetWindowText(IDC_EDIT_CONN_DURATION), "0");
    EXPECT_EQ(engine.m_form.GetWindowText(IDC_EDIT_LOCALADDR), "");
    EXPECT_EQ(engine.m_form.Control(IDC_CHECK_AUTH).nCheck +
                  engine.m_form.Control(IDC_CHECK_BIND).nCheck,
              0);
    EXPECT_EQ(engine.m_form.Control(IDC_COMBO_BAUD).nCurSel, 12);
    EXPECT_EQ(engine.m_form.Control(IDC_COMBO_PARITY).nCurSel, 3);
    EXPECT_EQ(engine.m_form.Control(IDC_COMBO_STOPBITS).nCurSel, 2);
    // Untouched: password lock, address combo, sliders, members and records.
    EXPECT_FALSE(engine.m_form.Control(IDC_EDIT_PASSWORD).bReadOnly);
    EXPECT_EQ(engine.m_form.GetWindowText(IDC_COMBO_BINDADDR), "001122AABBCC");
    EXPECT_TRUE(engine.m_form.Control(IDC_COMBO_BINDADDR).bEnabled);
    EXPECT_EQ(engine.m_form.Control(IDC_SLIDER_SNIFF).nSliderPos, 100);
    EXPECT_EQ(engine->FormMembers().m_strLocalAddr, "00158300A1B2");
    EXPECT_EQ(engine->LastRead().Name, "Abc");
}

struct SliderPreset
{
    bool bScan;
    int nPos;
    std::array<const char *, 4> texts; // scan: 1025,1026,1029,1031; Sniff: 1033,1035,1037,1039
};

TEST(Sliders, ReleasePresetsTheirFourFields)
{
    const SliderPreset cases[] = {
        {true, 100, {"2048", "18", "2048", "18"}}, {true, 1, {"2048", "18", "2048", "18"}},
        {true, 0, {"1024", "512", "1024", "512"}}, {false, 100, {"800", "80", "8", "8"}},
        {false, 0, {"0", "0", "0", "0"}},
    };
    const int scanIds[] = {IDC_EDIT_CONN_INTERVAL, IDC_EDIT_CONN_DURATION, IDC_EDIT_INQ_INTERVAL,
                           IDC_EDIT_INQ_DURATION};
    const int sniffIds[] = {IDC_EDIT_SNIFF_MAX, IDC_EDIT_SNIFF_MIN, IDC_EDIT_SNIFF_ATTEMPT,
                            IDC_EDIT_SNIFF_TIMEOUT};
    for (const SliderPreset &c : cases) {
        CTestEngine engine;
        engine.m_form.SetWindowText(IDC_EDIT_SNIFF_MAX, "5");
        engine.m_form.SetSliderPos(c.bScan ? IDC_SLIDER_SCAN : IDC_SLIDER_SNIFF, c.nPos);
        c.bScan ? engine->OnReleasedCaptureSliderScan() : engine->OnReleasedCaptureSliderSniff();
        for (size_t i = 0; i < 4; ++i)
            EXPECT_EQ(engine.m_form.GetWindowText((c.bScan ? scanIds : sniffIds)[i]), c.texts[i]);
    }
}

TEST(Sliders, BadFieldStopsPresetAndChangesNothing)
{
    CTestEngine engine;
    engine.m_form.SetWindowText(IDC_EDIT_CONN_DURATION, "5000");
    engine.m_form.SetSliderPos(IDC_SLIDER_SCAN, 100);
    engine->OnReleasedCaptureSliderScan();
    ASSERT_EQ(engine.m_messageBoxes.size(), 1u);
    EXPECT_EQ(engine.m_form.GetWindowText(IDC_EDIT_CONN_INTERVAL), "0");
    EXPECT_EQ(engine.m_form.GetWindowText(IDC_EDIT_CONN_DURATION), "5000");
    EXPECT_EQ(engine->FormMembers().m_nConnInterval, 0u);
}

TEST(CheckBoxes, AuthLocksPasswordAndBindEnablesCombo)
{
    CTestEngine engine;
    engine.m_form.SetWindowText(IDC_EDIT_PASSWORD, "1234");
    engine.ClickCheck(IDC_CHECK_AUTH, true);
    EXPECT_FALSE(engine.m_form.Control(IDC_EDIT_PASSWORD).bReadOnly);
    engine.ClickCheck(IDC_CHECK_AUTH, false);
    EXPECT_TRUE(engine.m_form.Control(IDC_EDIT_PASSWORD).bReadOnly);
    EXPECT_EQ(engine.m_form.GetWindowText(IDC_EDIT_PASSWORD), "1234");

    engine.ClickCheck(IDC_CHECK_BIND, true);
    EXPECT_TRUE(engine.m_form.Control(IDC_COMBO_BINDADDR).bEnabled);
    engine.ClickCheck(IDC_CHECK_BIND, false);
    EXPECT_FALSE(engine.m_form.Control(IDC_COMBO_BINDADDR).bEnabled);
}

} // namespace
