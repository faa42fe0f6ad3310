// One command on the line at a time: actions pressed while a run waits write nothing, every run
// keeps its own commands and index, each action ends in one event, and the buttons follow.

#include "EngineTestSupport.h"
#include "protocol/AtProtocol.h"

#include <gtest/gtest.h>
#include <map>

namespace {

using std::chrono::milliseconds;
using Action = void (CModuleSetupEngine::*)();

constexpr int kGatedButtons[] = {IDC_BUTTON_QUERY, IDC_BUTTON_SET, IDC_BUTTON_DEFAULT,
                                 IDC_BUTTON_CLEARADDR, IDC_BUTTON_SEARCH};

// A module named "Bench 3" (not the factory name, so a form filled with defaults shows), a slave
// with no binding.
std::string BenchModule(const std::string &strCommand)
{
    return ScriptedModuleReply(strCommand, "Bench 3");
}

// A form read from the bench module, with the wire and the events of that reading forgotten.
void ReadBench(CTestEngine &engine)
{
    engine->FillLists();
    engine.m_fnModule = BenchModule;
    engine->OnButtonQuery();
    engine.Pump();
    ASSERT_EQ(engine.Status(), "查询完成");
    engine.m_written.clear();
    engine.m_runEnds.clear();
    engine.m_statusTexts.clear();
}

// Edits that give a set run of three lines; the third is a line the next Set sends again.
void EditUnbound(CTestEngine &engine)
{
    engine.m_form.SetWindowText(IDC_EDIT_NAME, "Desk 1");
    engine.ClickCheck(IDC_CHECK_ROLE, true);
}

void EditBound(CTestEngine &engine)
{
    engine.m_form.SetWindowText(IDC_EDIT_NAME, "Desk 1");
    engine.ClickCheck(IDC_CHECK_ROLE, true);
    engine.ClickCheck(IDC_CHECK_BIND, true);
    engine.m_form.SetWindowText(IDC_COMBO_BINDADDR, "0012AB34CD56");
}

bool ButtonsEnabled(CTestEngine &engine)
{
    for (const int nId : kGatedButtons) {
        if (!engine.m_form.Control(nId).bEnabled)
            return false;
    }
    return true;
}

bool ButtonsDisabled(CTestEngine &engine)
{
    for (const int nId : kGatedButtons) {
        if (engine.m_form.Control(nId).bEnabled)
            return false;
    }
    return true;
}

struct COverlapCase
{
    const char *pName;
    void (*pfnEdit)(CTestEngine &);
    Action pfnFirst;
    ERunKind eFirst;
    Action pfnSecond;
    ERunKind eSecond;
    std::vector<std::string> firstRun; // what the first action must put on the line
    const char *pStatus;               // its final status
    std::vector<std::string> nextSet;  // what a Set right after sends; empty: not tried
};

const std::vector<std::string> kUnboundSet = {"AT+NAME=Desk 1\r\n", "AT+ROLE=1\r\n",
                                              "AT+CLEARADDR\r\n"};
const std::vector<std::string> kBoundSet = {"AT+NAME=Desk 1\r\n", "AT+ROLE=1\r\n", "AT+BIND=1\r\n",
                                            "AT+RADDR=0012AB34CD56\r\n"};

const COverlapCase kOverlapCases[] = {
    {"SetThenQuery",
     EditUnbound,
     &CModuleSetupEngine::OnButtonSet,
     ERunKind::Set,
     &CModuleSetupEngine::OnButtonQuery,
     ERunKind::Query,
     kUnboundSet,
     "设置完成",
     {"AT+CLEARADDR\r\n"}},
    {"QueryThenSet",
     EditUnbound,
     &CModuleSetupEngine::OnButtonQuery,
     ERunKind::Query,
     &CModuleSetupEngine::OnButtonSet,
     ERunKind::Set,
     QueryCommands(),
     "查询完成",
     {"AT+CLEARADDR\r\n"}},
    {"ClearAddressDuringSet",
     EditBound,
     &CModuleSetupEngine::OnButtonSet,
     ERunKind::Set,
     &CModuleSetupEngine::OnButtonClearAddr,
     ERunKind::ClearAddr,
     kBoundSet,
     "设置完成",
     {"AT+RADDR=0012AB34CD56\r\n"}},
    {"DefaultsDuringQuery",
     nullptr,
     &CModuleSetupEngine::OnButtonQuery,
     ERunKind::Query,
     &CModuleSetupEngine::OnButtonDefault,
     ERunKind::Restore,
     QueryCommands(),
     "查询完成",
     {}},
    {"SearchDuringQuery",
     nullptr,
     &CModuleSetupEngine::OnButtonQuery,
     ERunKind::Query,
     &CModuleSetupEngine::OnButtonSearch,
     ERunKind::Search,
     QueryCommands(),
     "查询完成",
     {}},
    {"QueryDuringQuery",
     nullptr,
     &CModuleSetupEngine::OnButtonQuery,
     ERunKind::Query,
     &CModuleSetupEngine::OnButtonQuery,
     ERunKind::Query,
     QueryCommands(),
     "查询完成",
     {}},
    {"SetDuringDefaults",
     nullptr,
     &CModuleSetupEngine::OnButtonDefault,
     ERunKind::Restore,
     &CModuleSetupEngine::OnButtonSet,
     ERunKind::Set,
     {"AT+RESET\r\n"},
     "成功恢复默认参数",
     {}},
};

// The second action is pressed before every reply of the first run: it must never write, and
// the first run must go through its commands exactly once each, in order.
TEST(RunGate, SecondActionWhileARunWaitsWritesNothing)
{
    for (const COverlapCase &c : kOverlapCases) {
        SCOPED_TRACE(c.pName);
        CTestEngine engine;
        ReadBench(engine);
        if (c.pfnEdit)
            c.pfnEdit(engine);
        (engine.Engine().*c.pfnFirst)();
        int nRefused = 0;
        while (!engine.m_replies.empty()) {
            EXPECT_TRUE(ButtonsDisabled(engine));
            (engine.Engine().*c.pfnSecond)();
            ++nRefused;
            const std::string strReply = engine.m_replies.front();
            engine.m_replies.erase(engine.m_replies.begin());
            engine.Feed(strReply);
        }
        EXPECT_EQ(engine.m_written, c.firstRun);
        EXPECT_EQ(engine.Status(), c.pStatus);
        EXPECT_TRUE(engine.m_messageBoxes.empty());
        EXPECT_FALSE(engine->IsRunWaiting());
        EXPECT_TRUE(ButtonsEnabled(engine));
        // Every refusal said so, and the first action ended once, as done.
        ASSERT_EQ(engine.m_runEnds.size(), size_t(nRefused) + 1);
        for (int i = 0; i < nRefused; ++i)
            EXPECT_EQ(engine.m_runEnds[size_t(i)], CRunEnd(c.eSecond, ERunEnd::Busy));
        EXPECT_EQ(engine.m_runEnds.back(), CRunEnd(c.eFirst, ERunEnd::Done));

        if (!c.nextSet.empty()) {
            engine.m_written.clear();
            engine->OnButtonSet();
            engine.Pump();
            EXPECT_EQ(engine.m_written, c.nextSet);
        }
    }
}

// A refused action leaves the form as it was: "默认" fills the defaults only with its command.
TEST(RunGate, RefusedDefaultsLeaveTheFormAlone)
{
    CTestEngine engine;
    ReadBench(engine);
    engine->OnButtonQuery();
    engine.m_form.SetWindowText(IDC_EDIT_NAME, "typed");
    engine->OnButtonDefault();
    EXPECT_EQ(engine.m_form.GetWindowText(IDC_EDIT_NAME), "typed");
    EXPECT_EQ(engine.Status(), "正在查询内嵌模块参数...");
    EXPECT_FALSE(engine->IsRestoring());
    EXPECT_FALSE(engine.IsTimerArmed(TIMER_DEFAULT));
}

struct CEndCase
{
    const char *pName;
    Action pfnStart;
    const char *pReplies; // fed after the start; null: none
    milliseconds wait;    // then the clock moves on by this much
    int nAnswer;          // to every prompt
    bool bLoseThePort;
    CRunEnd expected;
    const char *pStatus; // empty: the status line keeps its last text
};

const CEndCase kEndCases[] = {
    {"QueryDone", &CModuleSetupEngine::OnButtonQuery, nullptr, milliseconds(0), IDNO, false,
     CRunEnd(ERunKind::Query, ERunEnd::Done), "查询完成"},
    {"QueryTimeoutNo", &CModuleSetupEngine::OnButtonQuery, "", milliseconds(2000), IDNO, false,
     CRunEnd(ERunKind::Query, ERunEnd::TimedOut, "测试命令", IDNO), "查询 [测试命令] 时超时"},
    {"QueryTimeoutsYes", &CModuleSetupEngine::OnButtonQuery, "", milliseconds(28000), IDYES, false,
     CRunEnd(ERunKind::Query, ERunEnd::Done, {}, 0, 14), "查询完成"},
    {"QueryErrorNo", &CModuleSetupEngine::OnButtonQuery, "\r\nOK\r\n\r\nERROR\r\n", milliseconds(0),
     IDNO, false, CRunEnd(ERunKind::Query, ERunEnd::Refused, "设备名称", IDNO),
     "查询[设备名称]时失败"},
    {"SetDone", &CModuleSetupEngine::OnButtonSet, nullptr, milliseconds(0), IDNO, false,
     CRunEnd(ERunKind::Set, ERunEnd::Done), "设置完成"},
    {"SetRefusedNo", &CModuleSetupEngine::OnButtonSet, "\r\nERROR\r\n", milliseconds(0), IDNO,
     false, CRunEnd(ERunKind::Set, ERunEnd::Refused, "设备名称", IDNO), "设置 [设备名称] 时超时"},
    {"SetTimeoutNo", &CModuleSetupEngine::OnButtonSet, "", milliseconds(4000), IDNO, false,
     CRunEnd(ERunKind::Set, ERunEnd::TimedOut, "设备名称", IDNO), "设置 [设备名称] 时超时"},
    {"SetPortLost", &CModuleSetupEngine::OnButtonSet, "", milliseconds(0), IDNO, true,
     CRunEnd(ERunKind::Set, ERunEnd::PortLost), "串口已断开，请检查连接"},
    {"ClearDone", &CModuleSetupEngine::OnButtonClearAddr, "\r\nOK\r\n", milliseconds(0), IDNO,
     false, CRunEnd(ERunKind::ClearAddr, ERunEnd::Done), "成功清除邦定的蓝牙地址"},
    {"ClearError", &CModuleSetupEngine::OnButtonClearAddr, "\r\nERROR\r\n", milliseconds(0), IDNO,
     false, CRunEnd(ERunKind::ClearAddr, ERunEnd::Refused, "清除地址命令"), "清除蓝牙地址失败"},
    {"ClearTimeout", &CModuleSetupEngine::OnButtonClearAddr, "", milliseconds(4000), IDNO, false,
     CRunEnd(ERunKind::ClearAddr, ERunEnd::TimedOut, "清除地址命令"), "清除蓝牙地址超时"},
    {"RestoreDone", &CModuleSetupEngine::OnButtonDefault, "\r\nOK\r\n", milliseconds(0), IDNO,
     false, CRunEnd(ERunKind::Restore, ERunEnd::Done), "成功恢复默认参数"},
    {"RestoreError", &CModuleSetupEngine::OnButtonDefault, "\r\nERROR\r\n", milliseconds(0), IDNO,
     false, CRunEnd(ERunKind::Restore, ERunEnd::Refused, "未知"),
     "恢复默认参数失败，请手动点击“设置”按钮"},
    {"RestoreTimeout", &CModuleSetupEngine::OnButtonDefault, "", milliseconds(4000), IDNO, false,
     CRunEnd(ERunKind::Restore, ERunEnd::TimedOut, "未知"),
     "恢复默认参数超时，请手动点击“设置”按钮"},
    {"RestorePortLost", &CModuleSetupEngine::OnButtonDefault, "", milliseconds(0), IDNO, true,
     CRunEnd(ERunKind::Restore, ERunEnd::PortLost), "串口已断开，请检查连接"},
    {"SearchDone", &CModuleSetupEngine::OnButtonSearch, nullptr, milliseconds(0), IDNO, false,
     CRunEnd(ERunKind::Search, ERunEnd::Done), "查询完成"},
};

// Each way an action can end: its one event, the text painted from it, and the buttons back.
TEST(RunEnd, EveryEndIsOneEventAndGivesTheButtonsBack)
{
    for (const CEndCase &c : kEndCases) {
        SCOPED_TRACE(c.pName);
        CTestEngine engine;
        ReadBench(engine);
        EditUnbound(engine);
        engine.m_fnModule = c.pReplies ? nullptr : BenchModule;
        bool bDisabledInPrompt = true;
        engine.m_fnMessagePolicy = [&](const std::string &, const std::string &, unsigned) {
            bDisabledInPrompt = bDisabledInPrompt && ButtonsDisabled(engine);
            return c.nAnswer;
        };
        (engine.Engine().*c.pfnStart)();
        if (c.pfnStart != &CModuleSetupEngine::OnButtonSearch) {
            EXPECT_TRUE(ButtonsDisabled(engine));
        }
        if (c.pReplies)
            engine.Feed(c.pReplies);
        engine.Pump();
        if (c.bLoseThePort)
            engine->OnPortLost();
        for (milliseconds t{0}; t < c.wait; t += milliseconds(1000))
            engine.Advance(milliseconds(1000));
        ASSERT_EQ(engine.m_runEnds.size(), 1u);
        EXPECT_EQ(engine.m_runEnds[0], c.expected);
        EXPECT_TRUE(engine.m_runEnds[0].Succeeded() == (c.expected.eEnd == ERunEnd::Done));
        EXPECT_EQ(engine.Status(), c.pStatus);
        EXPECT_EQ(RunEndStatusText(engine.m_runEnds[0]), c.pStatus);
        EXPECT_TRUE(bDisabledInPrompt);
        EXPECT_TRUE(ButtonsEnabled(engine));
        EXPECT_TRUE(engine.m_form.Control(IDC_BUTTON_CLOSE).bEnabled);
        EXPECT_FALSE(engine->IsRunWaiting());
    }
}

// The name line times out; its "OK" comes while the prompt is open and moves the run on to the
// role line. Whatever the answer, that "OK" confirmed the name, never the role: the next Set
// sends the role again (when the run stopped before it was confirmed) but never the name.
TEST(LateReply, OkDuringThePromptIsCreditedToTheCommandThatTimedOut)
{
    const struct
    {
        int nAnswer;
        std::vector<std::string> nextSet;
        CRunEnd end;
    } cases[] = {
        {IDYES, {"AT+CLEARADDR\r\n"}, CRunEnd(ERunKind::Set, ERunEnd::Done)},
        {IDNO,
         {"AT+ROLE=1\r\n", "AT+CLEARADDR\r\n"},
         CRunEnd(ERunKind::Set, ERunEnd::TimedOut, "设备名称", IDNO)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.nAnswer);
        CTestEngine engine;
        ReadBench(engine);
        EditUnbound(engine);
        engine.m_fnModule = nullptr;
        engine.m_fnMessagePolicy = [&](const std::string &, const std::string &, unsigned) {
            engine.Feed("\r\nOK\r\n");
            return c.nAnswer;
        };
        engine->OnButtonSet();
        engine.Advance(kSetStepTimeout);
        EXPECT_EQ(engine.m_written,
                  (std::vector<std::string>{"AT+NAME=Desk 1\r\n", "AT+ROLE=1\r\n"}));
        engine.m_fnMessagePolicy = nullptr;
        // The rest of the run answers at once (the stopped run ignores it).
        engine.Feed("\r\nOK\r\n");
        engine.Feed("\r\nOK\r\n");
        ASSERT_FALSE(engine.m_runEnds.empty());
        EXPECT_EQ(engine.m_runEnds.back(), c.end);
        EXPECT_EQ(engine->LastRead().Name, "Desk 1");
        EXPECT_EQ(engine->LastRead().Role, c.nAnswer == IDYES ? 1 : 0);

        engine.m_written.clear();
        engine.m_fnModule = BenchModule;
        engine->OnButtonSet();
        engine.Pump();
        EXPECT_EQ(engine.m_written, c.nextSet);
    }
}

// The first reading falls due while another action holds the line: it goes out right after that
// action has ended, however it ended, and never while it waits; a query run in the way is that
// reading.
TEST(AutoQuery, DueWhileARunWaitsStartsWhenItEnds)
{
    const struct
    {
        const char *pName;
        Action pfnFirst;
        const char *pReply; // null: the first action ends by its timer
        std::vector<std::string> wire;
    } cases[] = {
        {"DefaultsAnswered",
         &CModuleSetupEngine::OnButtonDefault,
         "\r\nOK\r\n",
         {"AT+RESET\r\n", "AT\r\n"}},
        {"DefaultsTimedOut",
         &CModuleSetupEngine::OnButtonDefault,
         nullptr,
         {"AT+RESET\r\n", "AT\r\n"}},
        {"ClearTimedOut",
         &CModuleSetupEngine::OnButtonClearAddr,
         nullptr,
         {"AT+CLEARADDR\r\n", "AT\r\n"}},
        {"QueryAnswered", &CModuleSetupEngine::OnButtonQuery, nullptr, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.pName);
        CTestEngine engine;
        engine->FillLists();
        size_t nWrittenInNotice = 0;
        engine.m_fnMessagePolicy = [&](const std::string &, const std::string &, unsigned) {
            nWrittenInNotice = engine.m_written.size();
            return IDOK;
        };
        engine->StartAutoQuery();
        engine.Advance(milliseconds(500));
        (engine.Engine().*c.pfnFirst)();
        engine.Advance(milliseconds(500)); // the first reading is due now
        EXPECT_EQ(engine.m_written.size(), 1u);
        if (c.pfnFirst == &CModuleSetupEngine::OnButtonQuery) {
            // A query run in the way is the reading itself: the form is not read twice.
            engine.m_fnModule = BenchModule;
            engine.Feed("\r\nOK\r\n");
            engine.Pump();
            EXPECT_EQ(engine.m_written, QueryCommands());
            EXPECT_EQ(engine.Status(), "查询完成");
            continue;
        }
        if (c.pReply)
            engine.Feed(c.pReply);
        else
            engine.Advance(kDefaultTimeout);
        EXPECT_EQ(engine.m_written, c.wire);
        if (!engine.m_messageBoxes.empty()) {
            EXPECT_EQ(nWrittenInNotice, 1u);
        }
        EXPECT_EQ(engine.Status(), "正在查询内嵌模块参数...");
        EXPECT_TRUE(engine->IsQuerying());
    }
}

// A device gone while the first reading waits for the line: nothing is read on a line that
// is not there.
TEST(AutoQuery, PortLostDropsTheReadingThatWaited)
{
    CTestEngine engine;
    engine->StartAutoQuery();
    engine->OnButtonDefault();
    engine.Advance(milliseconds(1000));
    engine->OnPortLost();
    engine.Advance(milliseconds(10000));
    EXPECT_EQ(engine.m_written, std::vector<std::string>{"AT+RESET\r\n"});
    EXPECT_EQ(engine.Status(), "串口已断开，请检查连接");
}

} // namespace
