// Each final line answers the oldest command still unanswered: a late reply never counts for a
// command written after it; and the console's commands, which end on OK, any ERROR, +INQCOMP or
// silence, under the same one rule of the line.

#include "EngineTestSupport.h"
#include "engine/ConsoleCommand.h"

#include <gtest/gtest.h>

namespace {

using std::chrono::milliseconds;

// A module that leaves "AT+LADDR?" unanswered the first time and answers everything else.
std::string ModuleSilentOnLaddr(const std::string &strCommand)
{
    return strCommand == "AT+LADDR?\r\n" ? std::string() : ScriptedModuleReply(strCommand);
}

// The query stopped at "AT+LADDR?" with No, the form filled but for it; then a new name and Set,
// at once: "AT+NAME=NEWNAME" is on the line while the module still owes its late reply.
void SetRightAfterATimedOutStep(CTestEngine &engine)
{
    engine.m_fnModule = ModuleSilentOnLaddr;
    engine->OnButtonQuery();
    engine.Pump();
    engine.Advance(kQueryStepTimeout); // the prompt: No
    ASSERT_EQ(engine.Status(), "查询 [本地蓝牙地址] 时超时");
    engine.m_fnModule = nullptr; // from here the test says what the module answers, and when
    engine.m_form.SetWindowText(IDC_EDIT_NAME, "NEWNAME");
    engine->OnButtonSet();
    ASSERT_EQ(engine.m_written.back(), "AT+NAME=NEWNAME\r\n");
}

struct CLateCase
{
    const char *pszName;
    const char *pszLate;       // what the module still owed, before it answers the name line
    const char *pszNameAnswer; // the name line's own final line
    const char *pszStatus;     // how the Set ends (every prompt answered No)
    size_t nPrompts;           // the query's, and the Set's if it asked
};

// The case as the user met it: the late "OK" was taken for the name's; the run went on to the
// clear-address line and the name's refusal was never reported.
TEST(ReplyOrder, ALateReplyNeverAnswersTheCommandWrittenAfterIt)
{
    const CLateCase kCases[] = {
        {"late OK, the name refused", "\r\nOK\r\n", "\r\nERROR\r\n", "设置 [设备名称] 时超时", 2},
        {"late ERROR, the name taken", "\r\nERROR\r\n", "\r\nOK\r\n", "设置完成", 1},
        // Never answered: the name's own OK is taken for the dropped command's, so the name is
        // reported as failed, never as set.
        {"never answered", "", "\r\nOK\r\n", "设置 [设备名称] 时超时", 2},
    };
    for (const CLateCase &c : kCases) {
        CTestEngine engine;
        SetRightAfterATimedOutStep(engine);
        engine.Feed(c.pszLate);
        EXPECT_TRUE(engine->IsSetting()) << c.pszName;
        EXPECT_EQ(engine.m_written.back(), "AT+NAME=NEWNAME\r\n") << c.pszName;
        engine.m_fnModule = [](const std::string &) { return std::string("\r\nOK\r\n"); };
        engine.Feed(c.pszNameAnswer);
        engine.Pump();
        engine.Advance(kSetStepTimeout);
        EXPECT_EQ(engine.Status(), c.pszStatus) << c.pszName;
        EXPECT_EQ(engine.m_messageBoxes.size(), c.nPrompts) << c.pszName;
        if (c.nPrompts == 2) {
            EXPECT_EQ(engine.m_messageBoxes[1].strText, "设置 [设备名称] 时超时，是否继续？");
        }
        // A name that was not confirmed is sent again by the next Set.
        EXPECT_EQ(engine->LastRead().Name == "NEWNAME", c.nPrompts == 1) << c.pszName;
    }
}

// Two steps given up with Yes: their late replies come first, in order, and each following
// command is answered by its own reply; the run ends only when the last command is answered.
TEST(ReplyOrder, TwoLateRepliesInARow)
{
    CTestEngine engine;
    engine.AnswerAll(IDYES);
    engine.m_fnModule = [](const std::string &strCommand) {
        if (strCommand == "AT+NAME?\r\n" || strCommand == "AT+VERSION?\r\n")
            return std::string();
        // The module catches up: what it owed comes before this command's own answer.
        const std::string strOwed =
            strCommand == "AT+CLASS?\r\n"
                ? "\r\n+NAME:LATE\r\n\r\nOK\r\n\r\n+VERSION:V9\r\n\r\nOK\r\n"
                : "";
        return strOwed + ScriptedModuleReply(strCommand);
    };
    engine->OnButtonQuery();
    engine.Pump();
    engine.Advance(kQueryStepTimeout); // NAME?: Yes
    engine.Advance(kQueryStepTimeout); // VERSION?: Yes, CLASS? goes out and the module catches up
    while (!engine.m_line.m_replies.empty()) {
        EXPECT_TRUE(engine->IsQuerying()) << "ended before " << engine.m_written.back();
        engine.Pump();
    }
    EXPECT_EQ(engine.m_written, QueryCommands());
    EXPECT_EQ(engine.Status(), "查询完成");
    EXPECT_EQ(engine->LastRead().Name, "LATE"); // information lines count whenever they come
    EXPECT_EQ(engine->LastRead().Class, "001f00");
    ASSERT_EQ(engine.m_runEnds.size(), 1u);
    EXPECT_EQ(engine.m_runEnds[0].nSkipped, 2);
}

// A step the module never answers, given up with Yes: the next query's own information line shows
// that the module has gone past the silent one, so one prompt is all it costs.
TEST(ReplyOrder, AQueryRepliesOwnLineShowsTheOneBeforeWasDropped)
{
    CTestEngine engine;
    engine.AnswerAll(IDYES);
    engine.m_fnModule = [](const std::string &strCommand) {
        return strCommand == "AT+NAME?\r\n" ? std::string() : ScriptedModuleReply(strCommand);
    };
    engine->OnButtonQuery();
    engine.Pump();
    engine.Advance(kQueryStepTimeout);
    engine.Pump();
    EXPECT_EQ(engine.Status(), "查询完成");
    EXPECT_EQ(engine.m_messageBoxes.size(), 1u);
    EXPECT_EQ(engine->LastRead().Version, "V4.25");
}

// A reply owed for too long is taken as never coming: the commands after it pair up again.
TEST(ReplyOrder, ADroppedCommandIsForgottenAfterTheQuietWindow)
{
    CTestEngine engine;
    SetRightAfterATimedOutStep(engine);
    engine.Advance(kSetStepTimeout); // the name line gets no answer either: No
    engine.Advance(kLateReplyWindow);
    engine.m_fnModule = [](const std::string &strCommand) {
        return ScriptedModuleReply(strCommand);
    };
    engine->OnButtonQuery();
    engine.Pump();
    EXPECT_EQ(engine.Status(), "查询完成");
}

// A closed port answers nothing more: what it owed is forgotten and no timer stays armed to
// fire into a closed window.
TEST(ReplyOrder, ClosingThePortForgetsWhatWasOwed)
{
    CTestEngine engine;
    SetRightAfterATimedOutStep(engine);
    ASSERT_TRUE(engine->OwesLateReply());
    engine->CloseSession();
    EXPECT_FALSE(engine->OwesLateReply());
    for (const unsigned nIdEvent : {TIMER_LATE, TIMER_SET, TIMER_QUERY, TIMER_AUTOQUERY})
        EXPECT_FALSE(engine.IsTimerArmed(nIdEvent)) << nIdEvent;
}

struct CConsoleCase
{
    const char *pszName;
    std::vector<std::string> chunks; // the reply, as it arrives
    ERunEnd eEnd;
    std::vector<std::string> lines; // shown as they came
};

// The console's command ends on "OK", on any line that begins with ERROR, on "+INQCOMP" closing
// a search, or after its quiet wait; each line of the reply is shown as it comes.
TEST(Console, EndsOnItsOwnFinalLineOrSilence)
{
    const CConsoleCase kCases[] = {
        {"OK", {"\r\nOK\r\n"}, ERunEnd::Done, {"OK"}},
        {"lines then OK",
         {"\r\n+STATE:READY\r\n", "\r\nO", "K\r\n"},
         ERunEnd::Done,
         {"+STATE:READY", "OK"}},
        {"plain ERROR", {"\r\nERROR\r\n"}, ERunEnd::Refused, {"ERROR"}},
        {"ERROR with a code", {"\r\nERROR(1F)\r\n"}, ERunEnd::Refused, {"ERROR(1F)"}},
        {"ERROR:3", {"\r\nERROR:3\r\n"}, ERunEnd::Refused, {"ERROR:3"}},
        {"silence", {}, ERunEnd::TimedOut, {}},
        {"a line but no end", {"\r\n+STATE:READY\r\n"}, ERunEnd::TimedOut, {"+STATE:READY"}},
        {"no line end at all", {"+STATE:", "READY"}, ERunEnd::TimedOut, {"+STATE:READY"}},
        {"a line longer than shown whole",
         {std::string(kConsoleLineMaxBytes + 2, 'x') + "\r\n"},
         ERunEnd::TimedOut,
         {std::string(kConsoleLineMaxBytes, 'x'), "xx"}},
    };
    for (const CConsoleCase &c : kCases) {
        CTestEngine engine;
        engine->StartConsoleCommand(BuildConsoleCommand("AT+STATE?", EConsoleEol::CrLf).strBytes);
        EXPECT_EQ(engine.m_written, std::vector<std::string>{"AT+STATE?\r\n"});
        EXPECT_FALSE(engine.m_form.Control(IDC_BUTTON_QUERY).bEnabled) << c.pszName;
        for (const std::string &strChunk : c.chunks) {
            engine.Advance(kConsoleQuietWait - milliseconds(1)); // each byte restarts the wait
            engine.Feed(strChunk);
        }
        engine.Advance(kConsoleQuietWait);
        ASSERT_EQ(engine.m_runEnds.size(), 1u) << c.pszName;
        EXPECT_EQ(engine.m_runEnds[0].eRun, ERunKind::Console);
        EXPECT_EQ(engine.m_runEnds[0].eEnd, c.eEnd) << c.pszName;
        EXPECT_EQ(engine.m_view.m_consoleLines, c.lines) << c.pszName;
        EXPECT_TRUE(engine.m_form.Control(IDC_BUTTON_QUERY).bEnabled) << c.pszName;
    }
}

// However the module trickles, the wait ends ten seconds after the command went out.
TEST(Console, NeverWaitsLongerThanTheLongestWait)
{
    CTestEngine engine;
    engine->StartConsoleCommand("AT+INQ\r\n");
    for (milliseconds waited{0}; waited < kConsoleMaxWait - milliseconds(900);
         waited += milliseconds(900)) {
        engine.Advance(milliseconds(900));
        engine.Feed("\r\n+INQRESU:0011223344AA,Phone\r\n");
    }
    EXPECT_TRUE(engine->IsConsoleWaiting());
    engine.Advance(milliseconds(900));
    ASSERT_EQ(engine.m_runEnds.size(), 1u);
    EXPECT_EQ(engine.m_runEnds[0].eEnd, ERunEnd::TimedOut);
}

// One command at a time holds for the console too: it waits for the line and holds it.
TEST(Console, TakesTurnsWithTheOtherActions)
{
    CTestEngine engine;
    engine->OnButtonQuery();
    engine->StartConsoleCommand("AT\r\n");
    ASSERT_EQ(engine.m_runEnds.size(), 1u);
    EXPECT_EQ(engine.m_runEnds[0].eRun, ERunKind::Console);
    EXPECT_EQ(engine.m_runEnds[0].eEnd, ERunEnd::Busy);
    EXPECT_FALSE(engine.m_form.Control(IDC_BUTTON_CONSOLE_SEND).bEnabled);
    engine->AbandonRun();
    engine.m_written.clear();
    engine->StartConsoleCommand("AT\r\n");
    engine->OnButtonQuery();
    engine->OnButtonSet();
    EXPECT_EQ(engine.m_written, std::vector<std::string>{"AT\r\n"});
    EXPECT_EQ(engine.m_runEnds.back().eEnd, ERunEnd::Busy);
}

// Information lines count whenever they come, and a command that may have changed the module
// says that the form may no longer match it.
TEST(Console, RepliesFillTheFormAndChangesAreSaidSo)
{
    const struct
    {
        const char *pszCommand;
        const char *pszReply;
        bool bMayDiffer;
    } kCases[] = {
        {"AT+NAME?\r\n", "\r\n+NAME:Typed\r\n\r\nOK\r\n", false},
        {"AT\r\n", "\r\nOK\r\n", false},
        {"AT+NAME=Typed\r\n", "\r\nOK\r\n", true},
        {"AT+NAME=Typed\r\n", "\r\nERROR\r\n", false}, // refused: nothing changed
    };
    for (const auto &c : kCases) {
        CTestEngine engine;
        engine->StartConsoleCommand(c.pszCommand);
        engine.Feed(c.pszReply);
        ASSERT_EQ(engine.m_runEnds.size(), 1u);
        EXPECT_EQ(engine.m_runEnds[0].bFormMayDiffer, c.bMayDiffer) << c.pszCommand;
        EXPECT_EQ(engine.Status().find("查询") != std::string::npos, c.bMayDiffer)
            << engine.Status();
    }
    CTestEngine engine;
    engine->StartConsoleCommand("AT+NAME?\r\n");
    engine.Feed("\r\n+NAME:Typed\r\n\r\nOK\r\n");
    EXPECT_EQ(engine.m_form.GetWindowText(IDC_EDIT_NAME), "Typed");
}

} // namespace
