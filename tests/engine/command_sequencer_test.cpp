#include "EngineTestSupport.h"
#include "protocol/AtProtocol.h"

#include <gtest/gtest.h>
#include <map>

namespace {

using std::chrono::milliseconds;

constexpr unsigned kPromptType = MB_YESNO | MB_ICONINFORMATION;

std::string ScriptedModule(const std::string &strCommand)
{
    return ScriptedModuleReply(strCommand);
}

// A finished query run against the scripted module, ready for a Set.
void RunFullQuery(CTestEngine &engine)
{
    engine.m_fnModule = ScriptedModule;
    engine->OnButtonQuery();
    engine.Pump();
}

TEST(QueryRun, SendsAllCommandsInOrderAndEndsWithoutPrompt)
{
    CTestEngine engine;
    engine.Feed("\r\n+RADDR:001122AABBCC\r\n"); // a binding read earlier
    RunFullQuery(engine);
    EXPECT_EQ(engine.m_written, QueryCommands());
    EXPECT_TRUE(engine.m_messageBoxes.empty());
    EXPECT_EQ(engine.m_statusTexts.front(), "正在查询内嵌模块参数...");
    EXPECT_EQ(engine.Status(), "查询完成");
    EXPECT_FALSE(engine->IsQuerying());
    EXPECT_EQ(engine->LastRead().BindAddr, "");
    EXPECT_EQ(engine->LastRead().Name, "CORVA3264");
    EXPECT_EQ(engine->FormMembers().m_strLocalAddr, "00158300A1B2");
    EXPECT_FALSE(engine.NextDeadline().has_value());
}

TEST(QueryRun, ClosedPortWritesNothingAndKeepsForm)
{
    CTestEngine engine;
    engine.m_bPortOpen = false;
    engine.m_form.SetWindowText(IDC_EDIT_NAME, "kept");
    engine.m_form.InsertString(IDC_COMBO_BINDADDR, 0, "001122AABBCC x");
    engine->OnButtonQuery();
    EXPECT_EQ(engine.Status(), "请先打开串口");
    EXPECT_TRUE(engine.m_written.empty());
    EXPECT_EQ(engine.m_form.GetWindowText(IDC_EDIT_NAME), "kept");
    EXPECT_EQ(engine.m_form.GetCount(IDC_COMBO_BINDADDR), 1);
    EXPECT_FALSE(engine->IsQuerying());
}

TEST(QueryRun, StartBlanksFormPasswordAndAddressList)
{
    CTestEngine engine;
    engine.Feed("\r\n+PASSWORD:1234\r\n");
    engine.m_form.SetWindowText(IDC_EDIT_NAME, "old");
    engine.m_form.SetWindowText(IDC_COMBO_BINDADDR, "001122AABBCC");
    engine.m_form.InsertString(IDC_COMBO_BINDADDR, 0, "001122AABBCC x");
    engine->OnButtonQuery();
    EXPECT_EQ(engine->LastRead().Password, "");
    EXPECT_EQ(engine.m_form.GetWindowText(IDC_EDIT_NAME), "");
    EXPECT_EQ(engine.m_form.GetWindowText(IDC_COMBO_BINDADDR), "");
    EXPECT_EQ(engine.m_form.GetCount(IDC_COMBO_BINDADDR), 0);
    EXPECT_TRUE(engine.IsTimerArmed(TIMER_QUERY));
}

TEST(QueryRun, TimeoutPromptNoEndsRunNamingTheCommand)
{
    CTestEngine engine;
    engine->OnButtonQuery();
    engine.Advance(milliseconds(1999));
    EXPECT_TRUE(engine.m_messageBoxes.empty());
    engine.Advance(milliseconds(1));
    ASSERT_EQ(engine.m_messageBoxes.size(), 1u);
    EXPECT_EQ(engine.m_messageBoxes[0].strText, "查询 [测试命令] 时超时，是否继续？");
    EXPECT_EQ(engine.m_messageBoxes[0].strCaption, "提示");
    EXPECT_EQ(engine.m_messageBoxes[0].nType, kPromptType);
    EXPECT_EQ(engine.Status(), "查询 [测试命令] 时超时");
    EXPECT_EQ(engine.m_written, std::vector<std::string>{"AT\r\n"});
    EXPECT_FALSE(engine->IsQuerying());
    EXPECT_FALSE(engine.NextDeadline().has_value());
}

TEST(QueryRun, TimeoutPromptYesSkipsToNextCommand)
{
    CTestEngine engine;
    engine.AnswerAll(IDYES);
    engine->OnButtonQuery();
    engine.Advance(milliseconds(2000));
    ASSERT_EQ(engine.m_written.size(), 2u);
    EXPECT_EQ(engine.m_written[1], "AT+NAME?\r\n");
    engine.Advance(milliseconds(2000));
    ASSERT_EQ(engine.m_messageBoxes.size(), 2u);
    EXPECT_EQ(engine.m_messageBoxes[1].strText, "查询 [设备名称] 时超时，是否继续？");
}

TEST(QueryRun, YesAtLastEntryFinishesRun)
{
    CTestEngine engine;
    engine.AnswerAll(IDYES);
    engine->OnButtonQuery();
    for (int i = 0; i < QUERY_COMMAND_COUNT; ++i)
        engine.Advance(milliseconds(2000));
    EXPECT_EQ(engine.m_messageBoxes.back().strText, "查询 [当前绑定的蓝牙地址] 时超时，是否继续？");
    EXPECT_EQ(engine.Status(), "查询完成");
    EXPECT_EQ(engine.m_written, QueryCommands());
}

TEST(QueryRun, ErrorPromptTextsDifferFromTimeout)
{
    const struct
    {
        int nAnswer;
        size_t nWritten;
        const char *pStatus;
    } cases[] = {{IDNO, 2, "查询[设备名称]时失败"}, {IDYES, 3, "正在查询内嵌模块参数..."}};
    for (const auto &c : cases) {
        CTestEngine engine;
        engine.AnswerAll(c.nAnswer);
        engine->OnButtonQuery();
        engine.Feed("\r\nOK\r\n\r\nERROR\r\n");
        ASSERT_EQ(engine.m_messageBoxes.size(), 1u);
        EXPECT_EQ(engine.m_messageBoxes[0].strText, "查询 [设备名称] 时失败，是否继续？");
        EXPECT_EQ(engine.m_written.size(), c.nWritten);
        EXPECT_EQ(engine.Status(), c.pStatus);
    }
}

TEST(QueryRun, KilledTimerNeverFires)
{
    CTestEngine engine;
    engine->OnButtonQuery();
    engine.Advance(milliseconds(1500));
    engine.Feed("\r\nOK\r\n"); // re-armed for the name query
    engine.Advance(milliseconds(500));
    EXPECT_TRUE(engine.m_messageBoxes.empty());
    engine.Advance(milliseconds(1500));
    ASSERT_EQ(engine.m_messageBoxes.size(), 1u);
    EXPECT_EQ(engine.m_messageBoxes[0].strText, "查询 [设备名称] 时超时，是否继续？");
}

TEST(Sequencer, OkOrErrorWithoutRunChangesNothing)
{
    CTestEngine engine;
    // A query run stopped after five answers leaves the index at 5.
    engine->OnButtonQuery();
    for (int i = 0; i < 5; ++i)
        engine.Feed("\r\nOK\r\n");
    engine.Advance(kQueryStepTimeout); // "No" to the prompt
    ASSERT_FALSE(engine->IsRunWaiting());
    ASSERT_EQ(engine->CmdIndex(), 5);
    engine.m_statusTexts.clear();
    engine.m_written.clear();
    engine.m_messageBoxes.clear();

    engine.Feed("\r\nOK\r\n\r\nERROR\r\n");
    EXPECT_TRUE(engine.m_statusTexts.empty());
    EXPECT_TRUE(engine.m_written.empty());
    EXPECT_TRUE(engine.m_messageBoxes.empty());
    EXPECT_EQ(engine->CmdIndex(), 5);
}

// A late "OK" that arrives while a timeout prompt is open moves the run on by itself.
TEST(PromptTicket, LateOkDuringPromptIsNotSkippedByYes)
{
    const struct
    {
        int nAnswer;
        bool bQuerying;
        const char *pStatus;
    } cases[] = {{IDYES, true, "正在查询内嵌模块参数..."}, {IDNO, false, "查询 [测试命令] 时超时"}};
    for (const auto &c : cases) {
        CTestEngine engine;
        engine->OnButtonQuery();
        engine.m_fnMessagePolicy = [&](const std::string &, const std::string &, unsigned) {
            engine.Feed("\r\nOK\r\n");
            return c.nAnswer;
        };
        engine.Advance(milliseconds(2000));
        EXPECT_EQ(engine.m_written, (std::vector<std::string>{"AT\r\n", "AT+NAME?\r\n"}));
        EXPECT_EQ(engine->IsQuerying(), c.bQuerying);
        EXPECT_EQ(engine.IsTimerArmed(TIMER_QUERY), c.bQuerying);
        EXPECT_EQ(engine.Status(), c.pStatus);
    }
}

TEST(PromptTicket, PortLostDuringPromptMakesAnswerStale)
{
    CTestEngine engine;
    engine->OnButtonQuery();
    engine.m_fnMessagePolicy = [&](const std::string &, const std::string &, unsigned) {
        engine->OnPortLost();
        return IDYES;
    };
    engine.Advance(milliseconds(2000));
    EXPECT_EQ(engine.m_written.size(), 1u);
    EXPECT_EQ(engine.Status(), "串口已断开，请检查连接");
    EXPECT_FALSE(engine.NextDeadline().has_value());
}

// Only one run waits at a time (the gate refuses a second), so each kind is lost on its own.
TEST(PortLost, EndsEveryRunAndKillsTimers)
{
    for (const auto pfnStart :
         {&CModuleSetupEngine::OnButtonQuery, &CModuleSetupEngine::OnButtonClearAddr}) {
        CTestEngine engine;
        (engine.Engine().*pfnStart)();
        engine->StartAutoQuery();
        engine->OnPortLost();
        EXPECT_FALSE(engine->IsQuerying() || engine->IsClearing() || engine->IsSetting());
        EXPECT_FALSE(engine.NextDeadline().has_value());
        engine.Advance(milliseconds(10000));
        EXPECT_TRUE(engine.m_messageBoxes.empty());
        engine.m_bPortOpen = false;
        engine->OnButtonQuery();
        EXPECT_EQ(engine.Status(), "请先打开串口");
    }
}

// Half a line from the device that went away must not swallow the first reply of the next one.
TEST(PortLost, UnfinishedLineIsNotJoinedToTheNextDevice)
{
    CTestEngine engine;
    engine->OnButtonQuery();
    engine.Feed("\r\n+NAM");
    engine->OnPortLost();
    engine->OnButtonQuery();
    engine.Feed("\r\nOK\r\n");
    ASSERT_EQ(engine.m_written.size(), 3u);
    EXPECT_EQ(engine.m_written.back(), "AT+NAME?\r\n");
}

// The same when the device goes away while a prompt opened inside a scan is on screen.
TEST(PortLost, DuringAScanTheTailIsDroppedAfterIt)
{
    CTestEngine engine;
    engine->OnButtonQuery();
    engine.Feed("\r\nOK\r\n"); // at the name query now
    engine.m_fnMessagePolicy = [&](const std::string &, const std::string &, unsigned) {
        engine->OnPortLost();
        return IDNO;
    };
    engine.Feed("\r\nERROR\r\n\r\n+VERS");
    engine.m_fnMessagePolicy = nullptr;
    engine->OnButtonQuery();
    engine.Feed("\r\nOK\r\n");
    EXPECT_EQ(engine.m_written.back(), "AT+NAME?\r\n");
    EXPECT_TRUE(engine->IsQuerying());
}

TEST(SetRun, EveryLineGoesOutAfterTheOkOfTheOneBefore)
{
    CTestEngine engine;
    RunFullQuery(engine);
    engine.m_form.SetWindowText(IDC_EDIT_NAME, "NEWNAME");
    engine.m_form.SetWindowText(IDC_EDIT_CLASS, "001f04");
    engine.ClickCheck(IDC_CHECK_ROLE, true);
    engine.m_written.clear();
    engine->OnButtonSet();
    ASSERT_GE(engine->SetCommandLines().size(), 3u);
    engine.Pump();
    EXPECT_EQ(engine.m_written, engine->SetCommandLines());
    EXPECT_EQ(engine.Status(), "设置完成");
    EXPECT_FALSE(engine->IsSetting());
    EXPECT_FALSE(engine.IsTimerArmed(TIMER_SET));
}

TEST(SetRun, RefusedLineIsReportedAsTimeoutAndStepWaits4000ms)
{
    CTestEngine engine;
    RunFullQuery(engine);
    engine.m_form.SetCurSel(IDC_COMBO_STOPBITS, 1);
    engine.m_fnModule = [](const std::string &strCommand) {
        return strCommand.starts_with("AT+UARTMODE=") ? "\r\nERROR\r\n" : "\r\nOK\r\n";
    };
    engine->OnButtonSet();
    ASSERT_GE(engine->SetCommandLines().size(), 1u);
    engine.Pump();
    ASSERT_EQ(engine.m_messageBoxes.size(), 1u);
    EXPECT_EQ(engine.m_messageBoxes[0].strText, "设置 [串口参数] 时超时，是否继续？");
    EXPECT_EQ(engine.Status(), "设置 [串口参数] 时超时");

    engine.m_fnModule = nullptr;
    engine->OnButtonSet();
    engine.Advance(milliseconds(3999));
    EXPECT_EQ(engine.m_messageBoxes.size(), 1u);
    engine.Advance(milliseconds(1));
    EXPECT_EQ(engine.m_messageBoxes.size(), 2u);
}

struct SingleActionCase
{
    bool bClearing;
    const char *pEvent; // reply bytes, or null for the timer
    const char *pStatus;
    size_t nNotices;
};

TEST(SingleActions, EndedByOkErrorOrTimer)
{
    const SingleActionCase cases[] = {
        {true, "\r\nOK\r\n", "成功清除邦定的蓝牙地址", 0},
        {true, "\r\nERROR\r\n", "清除蓝牙地址失败", 0},
        {true, nullptr, "清除蓝牙地址超时", 1},
        {false, "\r\nOK\r\n", "成功恢复默认参数", 0},
        {false, "\r\nERROR\r\n", "恢复默认参数失败，请手动点击“设置”按钮", 0},
        {false, nullptr, "恢复默认参数超时，请手动点击“设置”按钮", 0},
    };
    for (const SingleActionCase &c : cases) {
        CTestEngine engine;
        c.bClearing ? engine->OnButtonClearAddr() : engine->OnButtonDefault();
        if (c.pEvent)
            engine.Feed(c.pEvent);
        else
            engine.Advance(kClearAddrTimeout);
        EXPECT_EQ(engine.Status(), c.pStatus);
        EXPECT_FALSE(engine->IsClearing() || engine->IsRestoring()) << c.pStatus;
        EXPECT_FALSE(engine.NextDeadline().has_value()) << c.pStatus;
        ASSERT_EQ(engine.m_messageBoxes.size(), c.nNotices) << c.pStatus;
        if (c.nNotices) {
            EXPECT_EQ(engine.m_messageBoxes[0].nType, MB_ICONHAND);
        }
    }
}

TEST(AutoQuery, StartsQueryAfterOneSecond)
{
    CTestEngine engine;
    engine->StartAutoQuery();
    engine.Advance(milliseconds(999));
    EXPECT_TRUE(engine.m_written.empty());
    engine.Advance(milliseconds(1));
    EXPECT_EQ(engine.m_written, std::vector<std::string>{"AT\r\n"});
    EXPECT_FALSE(engine.IsTimerArmed(TIMER_AUTOQUERY));
}

TEST(CommandDisplayName, NamesByTable)
{
    const std::pair<const char *, const char *> cases[] = {
        {"AT+SCANTIME=1024,512,1024,512\r\n", "节能参数"},
        {"AT+SNIFF?\r\n", "Sniff节能参数"},
        {"AT+CLEARADDR\r\n", "清除地址命令"},
        {"AT\r\n", "测试命令"},
        {"AT+RESET\r\n", "未知"},
        {"AT+INQ\r\n", "未知"},
        {"at+name?\r\n", "未知"},
        {"AT+NAME=abc\r\n", "设备名称"},
        {"AT+UARTMODE=1,0\r\n", "串口参数"},
        {"AT+RADDR?\r\n", "当前绑定的蓝牙地址"},
        {"AT+CLEARADDR", "未知"},
        {"AT", "未知"},
    };
    for (const auto &[pCommand, pName] : cases)
        EXPECT_EQ(CModuleSetupEngine::CommandDisplayName(pCommand), pName) << pCommand;
    EXPECT_EQ(CModuleSetupEngine::CommandDisplayName(nullptr), "未知");
}

} // namespace
