#include "EngineTestSupport.h"

#include <gtest/gtest.h>

namespace {

constexpr char kEven[] = "\xc5\xbc\xd0\xa3\xd1\xe9"; // "偶校验" in GBK
constexpr char kNone[] = "\xce\xde\xd0\xa3\xd1\xe9"; // "无校验" in GBK

struct BaudCase
{
    const char *pszReply;
    const char *pszStored;
    int nSelected; // -1: the selection stays where it was
};

// The list is searched by prefix from entry 1 to the last and then entry 0, as the list control
// searches from a start index of 0.
TEST(ReplyHandlers, BaudSelectsFirstEntryBeginningWithItInSearchOrder)
{
    const BaudCase cases[] = {
        {"\r\n+BAUD:9600\r\n", "9600", 3},
        {"\r\n+BAUD:1\r\n", "1", 4},       // "19200" before "115200" and "1200"
        {"\r\n+BAUD:1200\r\n", "1200", 0}, // only entry 0 matches: reached last, by wrapping
        {"\r\n+BAUD:11\r\n", "11", 7},     // "115200"
        {"\r\n+BAUD:7\r\n", "7", -1},      // no entry: stored, selection kept
    };
    for (const BaudCase &c : cases) {
        CTestEngine engine;
        engine.m_form.SetCurSel(IDC_COMBO_BAUD, 12);
        engine.Feed(c.pszReply);
        EXPECT_EQ(engine->LastRead().Baud, c.pszStored) << c.pszReply;
        EXPECT_EQ(engine.m_form.Control(IDC_COMBO_BAUD).nCurSel, c.nSelected < 0 ? 12 : c.nSelected)
            << c.pszReply;
    }
}

// A view that counts selections so a reply split across deliveries is seen to select exactly
// once. The receive path needs no line.
class CSelectCountingView : public CFormView
{
public:
    void SetCurSel(int nId, int nIndex) override
    {
        m_nSelections += nId == IDC_COMBO_BAUD;
        CFormView::SetCurSel(nId, nIndex);
    }
    int m_nSelections = 0;
};

TEST(ReplyHandlers, BaudSplitAcrossTwoDeliveriesSelectsOnceWhenComplete)
{
    CSelectCountingView view;
    CModuleSetupEngine engine(view);
    engine.InitForm();
    engine.OnReceivedBytes("\r\n+BAUD:96", 10);
    EXPECT_EQ(view.m_nSelections, 0);
    EXPECT_EQ(engine.LastRead().Baud, "");
    engine.OnReceivedBytes("00\r\n", 4);
    EXPECT_EQ(view.m_nSelections, 1);
    EXPECT_EQ(view.GetWindowText(IDC_COMBO_BAUD), "9600");
}

TEST(ReplyHandlers, AuthUnlocksPasswordButNeverLocksIt)
{
    CTestEngine engine;
    ASSERT_TRUE(engine.m_form.Control(IDC_EDIT_PASSWORD).bReadOnly);
    engine.Feed("\r\n+AUTH:0\r\n");
    EXPECT_EQ(engine->LastRead().Auth, 0);
    EXPECT_TRUE(engine.m_form.Control(IDC_EDIT_PASSWORD).bReadOnly);

    engine.Feed("\r\n+AUTH:1\r\n");
    EXPECT_EQ(engine.m_form.Control(IDC_CHECK_AUTH).nCheck, 1);
    EXPECT_FALSE(engine.m_form.Control(IDC_EDIT_PASSWORD).bReadOnly);

    engine.Feed("\r\n+AUTH:0\r\n");
    EXPECT_EQ(engine.m_form.Control(IDC_CHECK_AUTH).nCheck, 0);
    EXPECT_FALSE(engine.m_form.Control(IDC_EDIT_PASSWORD).bReadOnly);
}

TEST(ReplyHandlers, BindEnablesAndDisablesAddressCombo)
{
    CTestEngine engine;
    engine.Feed("\r\n+BIND:1\r\n");
    EXPECT_EQ(engine->LastRead().Bind, 1);
    EXPECT_EQ(engine.m_form.Control(IDC_CHECK_BIND).nCheck, 1);
    EXPECT_TRUE(engine.m_form.Control(IDC_COMBO_BINDADDR).bEnabled);
    engine.Feed("\r\n+BIND:0\r\n");
    EXPECT_EQ(engine.m_form.Control(IDC_CHECK_BIND).nCheck, 0);
    EXPECT_FALSE(engine.m_form.Control(IDC_COMBO_BINDADDR).bEnabled);
}

struct SliderCase
{
    const char *pReply;
    int nSliderId;
    int nExpectedPos;
};

TEST(ReplyHandlers, PowerSavingRepliesMoveSliderOnlyWhenOn)
{
    const SliderCase cases[] = {
        {"\r\n+SCAN:1024,63,1024,512\r\n", IDC_SLIDER_SCAN, 100},
        {"\r\n+SCAN:1024,64,1024,512\r\n", IDC_SLIDER_SCAN, 0},
        {"\r\n+SNIFF:20,0,4,3\r\n", IDC_SLIDER_SNIFF, 0},
        {"\r\n+SNIFF:20,1,4,3\r\n", IDC_SLIDER_SNIFF, 100},
    };
    for (const SliderCase &c : cases) {
        CTestEngine engine;
        engine.Feed(c.pReply);
        EXPECT_EQ(engine.m_form.Control(c.nSliderId).nSliderPos, c.nExpectedPos) << c.pReply;
    }
}

TEST(ReplyHandlers, ScanAndSniffFillTheirFieldsInOrder)
{
    CTestEngine engine;
    engine.Feed("\r\n+SCAN:2048,18,1000,17\r\n\r\n+SNIFF:20,0,4,3\r\n");
    EXPECT_EQ(engine.m_form.GetWindowText(IDC_EDIT_CONN_INTERVAL), "2048");
    EXPECT_EQ(engine.m_form.GetWindowText(IDC_EDIT_CONN_DURATION), "18");
    EXPECT_EQ(engine.m_form.GetWindowText(IDC_EDIT_INQ_INTERVAL), "1000");
    EXPECT_EQ(engine->LastRead().InqDuration, "17");
    EXPECT_EQ(engine.m_form.GetWindowText(IDC_EDIT_SNIFF_MAX), "20");
    EXPECT_EQ(engine.m_form.GetWindowText(IDC_EDIT_SNIFF_MIN), "0");
    EXPECT_EQ(engine.m_form.GetWindowText(IDC_EDIT_SNIFF_ATTEMPT), "4");
    EXPECT_EQ(engine.m_form.GetWindowText(IDC_EDIT_SNIFF_TIMEOUT), "3");
    EXPECT_EQ(engine->LastRead().SniffMax, "20");
    EXPECT_EQ(engine->LastRead().SniffAttempt, "4");
    EXPECT_EQ(engine->LastRead().SniffTimeout, "3");
}

struct UartCase
{
    std::string strLine;
    int32_t nStopBits;
    int32_t nParity;
    std::string strStopText;
    std::string strParityText;
};

TEST(ReplyHandlers, UartModeReadsTwoNumbersWithinTheLine)
{
    const UartCase cases[] = {
        {"\r\n+UARTMODE:1,2\r\n", 1, 2, "2", kEven},
        {"\r\n+UARTMODE:2,0\r\n", 2, 0, "", kNone},
        {"\r\n+UARTMODE: +1, 1\r\n", 1, 1, "2", "\xc6\xe6\xd0\xa3\xd1\xe9"},
        {"\r\n+UARTMODE:-1,9\r\n", -1, 9, "", ""},
        {"\r\n+UARTMODE:abc\r\n", -1, -1, "", ""},
        {"\r\n+UARTMODE:1;2\r\n", 1, -1, "2", ""},
        {"\r\n+UARTMODE:1,  \r\n", 1, -1, "2", ""},
        {"\r\n+UARTMODE:0\r\n", -1, -1, "", ""}, // 16 bytes: shorter than any valid line
    };
    for (const UartCase &c : cases) {
        CTestEngine engine;
        engine.Feed(c.strLine);
        EXPECT_EQ(engine->LastRead().StopBits, c.nStopBits) << c.strLine;
        EXPECT_EQ(engine->LastRead().Parity, c.nParity) << c.strLine;
        EXPECT_EQ(engine.m_form.GetWindowText(IDC_COMBO_STOPBITS), c.strStopText) << c.strLine;
        EXPECT_EQ(engine.m_form.GetWindowText(IDC_COMBO_PARITY), c.strParityText) << c.strLine;
    }
}

TEST(ReplyHandlers, UartModeNeverReadsPastTheLine)
{
    // Only blanks up to the line's end; digits follow in memory but are not part of it.
    const std::string strBuffer = "\r\n+UARTMODE:   \r\n1,1";
    CTestEngine engine;
    engine->OnOtherLine(strBuffer.data(), 17);
    EXPECT_EQ(engine->LastRead().StopBits, -1);
    EXPECT_EQ(engine->LastRead().Parity, -1);
    const std::string strCut = "\r\n+UARTMODE:   1,2\r\n";
    engine->OnOtherLine(strCut.data(), 17); // cut after ",": the "2" is outside
    EXPECT_EQ(engine->LastRead().StopBits, 1);
    EXPECT_EQ(engine->LastRead().Parity, -1);
}

TEST(ReplyHandlers, AddressesStopAtZeroByte)
{
    CTestEngine engine;
    engine.Feed("\r\n+RADDR:001122AABBCC\r\n");
    EXPECT_EQ(engine->LastRead().BindAddr, "001122AABBCC");
    EXPECT_EQ(engine.m_form.GetWindowText(IDC_COMBO_BINDADDR), "001122AABBCC");
    EXPECT_EQ(engine.m_form.GetCount(IDC_COMBO_BINDADDR), 0);

    engine.Feed(std::string("\r\n+LADDR:0015\0"
                            "300A1B2\r\n",
                            23));
    EXPECT_EQ(engine->FormMembers().m_strLocalAddr, "0015");
    EXPECT_EQ(engine.m_form.GetWindowText(IDC_EDIT_LOCALADDR), "0015");

    engine.Feed(std::string("\r\n+RADDR:\0"
                            "01122AABBCC\r\n",
                            23));
    EXPECT_EQ(engine->LastRead().BindAddr, "");
}

TEST(ReplyHandlers, TextRepliesKeepSpacesAndCase)
{
    CTestEngine engine;
    engine.Feed("\r\n+NAME:My Module  Name 1234 \r\n\r\n+VERSION:V4.25\r\n"
                "\r\n+CLASS:001f00\r\n\r\n+PASSWORD:7391\r\n\r\n+ROLE:1\r\n");
    EXPECT_EQ(engine.m_form.GetWindowText(IDC_EDIT_NAME), "My Module  Name 1234 ");
    EXPECT_EQ(engine->LastRead().Name, "My Module  Name 1234 ");
    EXPECT_EQ(engine.m_form.GetWindowText(IDC_EDIT_VERSION), "V4.25");
    EXPECT_EQ(engine->LastRead().Class, "001f00");
    EXPECT_EQ(engine.m_form.GetWindowText(IDC_EDIT_PASSWORD), "7391");
    EXPECT_EQ(engine.m_form.Control(IDC_CHECK_ROLE).nCheck, 1);
}

// The same replies give the same form whether they come whole, byte by byte or cut anywhere.
TEST(ReplyHandlers, DeliverySplitDoesNotChangeTheOutcome)
{
    const std::string strReplies = "\r\n+NAME:Abc\r\n\r\n+BAUD:115200\r\n\r\n+UARTMODE:1,2\r\n"
                                   "\r\n+SNIFF:800,80,8,8\r\n\r\n+LADDR:00158300A1B2\r\n";
    CTestEngine whole;
    whole.Feed(strReplies);
    ASSERT_EQ(whole.m_form.GetWindowText(IDC_COMBO_BAUD), "115200");
    for (size_t nCut = 0; nCut <= strReplies.size(); ++nCut) {
        CTestEngine split;
        split.Feed(strReplies.substr(0, nCut));
        for (char c : strReplies.substr(nCut))
            split.Feed(std::string(1, c));
        EXPECT_EQ(split->LastRead(), whole->LastRead()) << "cut at " << nCut;
        EXPECT_EQ(split->FormMembers().m_strLocalAddr, whole->FormMembers().m_strLocalAddr)
            << "cut at " << nCut;
        EXPECT_EQ(split.m_form.Control(IDC_COMBO_BAUD).nCurSel,
                  whole.m_form.Control(IDC_COMBO_BAUD).nCurSel);
    }
}

// Bytes that arrive while a handler waits in a prompt are scanned after it, not inside it.
TEST(ReceivePump, BytesArrivingDuringAPromptAreScannedAfterIt)
{
    CTestEngine engine;
    engine.m_fnModule = [](const std::string &) { return std::string(); };
    engine->OnButtonQuery();
    engine.Feed("\r\nOK\r\n"); // AT answered, AT+NAME? written
    std::vector<std::string> writtenDuringPrompt;
    engine.m_fnMessagePolicy = [&](const std::string &, const std::string &, unsigned) {
        engine.Feed("\r\nOK\r\n");
        writtenDuringPrompt = engine.m_written;
        return IDYES;
    };
    engine.Feed("\r\nERROR\r\n");
    EXPECT_EQ(writtenDuringPrompt.size(), 2u);
    // Yes moves to the version query; the OK queued meanwhile then moves to the class query.
    ASSERT_EQ(engine.m_written.size(), 4u);
    EXPECT_EQ(engine.m_written[2], "AT+VERSION?\r\n");
    EXPECT_EQ(engine.m_written[3], "AT+CLASS?\r\n");
}

TEST(MakeTextFromSpan, CutsAtZeroByteAndAt1023Bytes)
{
    EXPECT_EQ(CModuleSetupEngine::MakeTextFromSpan("ab\0cd", 5), "ab");
    const std::string strLong(2000, 'x');
    EXPECT_EQ(CModuleSetupEngine::MakeTextFromSpan(strLong.data(), strLong.size()).size(), 1023u);
    EXPECT_EQ(CModuleSetupEngine::MakeTextFromSpan(nullptr, 4), "");
}

} // namespace
