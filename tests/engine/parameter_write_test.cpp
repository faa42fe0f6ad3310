// The Set action's checks, its command list and the taking back of unconfirmed lines.
#include "EngineTestSupport.h"
#include "engine/ParameterWrite.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

const std::string kGbkThreeChars = "\xce\xde\xd0\xa3\xd1\xe9"; // three Chinese characters

// What the query run read from a module.
ModuleParams ReadBack()
{
    ModuleParams cur;
    cur.Name = "Office";
    cur.Class = "001F00";
    cur.Baud = "9600";
    cur.Parity = 0;
    cur.StopBits = 0;
    cur.Auth = 1;
    cur.Role = 0;
    cur.Bind = 1;
    cur.Password = "1234";
    cur.ConnInterval = "1024";
    cur.ConnDuration = "512";
    cur.InqInterval = "1024";
    cur.InqDuration = "512";
    cur.SniffMax = cur.SniffMin = cur.SniffAttempt = cur.SniffTimeout = "0";
    cur.BindAddr = "0012AB34CD56";
    return cur;
}

// A form as a user leaves it after a query run, nothing edited: it shows what was read.
CSetFormInput ValidInput()
{
    return ReadBack();
}

// Runs the checks and, when they pass, builds the list against cur.
struct CSetOutcome
{
    const char *pMessage = nullptr;
    ModuleParams snapshot;
    std::vector<std::string> lines;
};

CSetOutcome RunSet(CSetFormInput input, ModuleParams &cur, CSetRunBook *pBook = nullptr)
{
    CSetOutcome outcome;
    outcome.pMessage = CheckSetForm(input, &outcome.snapshot).pText;
    if (outcome.pMessage)
        return outcome;
    char list[11][128] = {};
    int32_t nCount = -1;
    const int32_t nReturned = BuildSetCommandList(outcome.snapshot, &cur, list, &nCount, pBook);
    EXPECT_EQ(nReturned, nCount);
    for (int32_t i = 0; i < nCount; ++i)
        outcome.lines.emplace_back(list[i]);
    return outcome;
}

struct CCheckCase
{
    const char *pName;
    std::function<void(CSetFormInput &)> edit;
    const char *pExpected; // nullptr: the checks pass
};

const CCheckCase kCheckCases[] = {
    {"BaudEmptyBeforeAll",
     [](CSetFormInput &in) {
         in.Baud = "";
         in.Parity = 3;
         in.Name = "";
     },
     "请选择合适的波特率"},
    {"ParityEmptyEntry", [](CSetFormInput &in) { in.Parity = 3; }, "请选择合适的校验位"},
    {"ParityNoSelection", [](CSetFormInput &in) { in.Parity = -1; }, "请选择合适的校验位"},
    {"ParityBeforeStopBits",
     [](CSetFormInput &in) {
         in.Parity = 3;
         in.StopBits = 2;
     },
     "请选择合适的校验位"},
    {"StopBitsEmptyEntry", [](CSetFormInput &in) { in.StopBits = 2; }, "请选择合适的停止位"},
    {"StopBitsNoSelection", [](CSetFormInput &in) { in.StopBits = -1; }, "请选择合适的停止位"},
    {"NameBlanksOnly",
     [](CSetFormInput &in) {
         in.Name = " \t ";
         in.Class = "1";
     },
     "名称不能为空"},
    {"NameWithCrLf", [](CSetFormInput &in) { in.Name = "a\r\nAT+RESET"; }, "名称不能包含控制字符"},
    {"NameWithNul", [](CSetFormInput &in) { in.Name = std::string("ab\0cd", 5); },
     "名称不能包含控制字符"},
    {"NameWithDel", [](CSetFormInput &in) { in.Name = "ab\x7f"; }, "名称不能包含控制字符"},
    {"NameOverSlot", [](CSetFormInput &in) { in.Name = std::string(21, 'n'); },
     "名称长度不能超过20"},
    {"NameTwentyBytes", [](CSetFormInput &in) { in.Name = std::string(20, 'n'); }, nullptr},
    {"ClassEmpty", [](CSetFormInput &in) { in.Class = ""; }, "类别码不能为空"},
    {"ClassBlanksOnly", [](CSetFormInput &in) { in.Class = "      "; }, "类别码不能为空"},
    {"ClassFiveDigits", [](CSetFormInput &in) { in.Class = "12345"; }, "类别码长度必须为6"},
    {"ClassSevenDigits", [](CSetFormInput &in) { in.Class = "1234567"; }, "类别码长度必须为6"},
    {"ClassWithLf", [](CSetFormInput &in) { in.Class = "12\n456"; }, "类别码不能包含控制字符"},
    {"ClassThreeChineseIsSixBytes", [](CSetFormInput &in) { in.Class = kGbkThreeChars; }, nullptr},
    {"PasswordWithCr", [](CSetFormInput &in) { in.Password = "12\r34"; }, "密码不能包含控制字符"},
    {"PasswordOverSlot", [](CSetFormInput &in) { in.Password = std::string(17, '7'); },
     "密码长度不能超过16"},
    {"PasswordEmptyPasses", [](CSetFormInput &in) { in.Password = "  "; }, nullptr},
    {"AddressFiveBytesBindCleared",
     [](CSetFormInput &in) {
         in.BindAddr = "12345";
         in.Bind = 0;
     },
     "绑定的蓝牙地址格式不正确"},
    {"AddressTrimmedShort", [](CSetFormInput &in) { in.BindAddr = "0012AB34CD\r\n"; },
     "绑定的蓝牙地址格式不正确"},
    {"AddressWithControl",
     [](CSetFormInput &in) {
         in.BindAddr = "0012AB\x01"
                       "34CD5";
     },
     "绑定的蓝牙地址不能包含控制字符"},
    {"AddressEmptyPasses", [](CSetFormInput &in) { in.BindAddr = ""; }, nullptr},
    {"AddressWithNamePasses", [](CSetFormInput &in) { in.BindAddr = "0012AB34CD56 Phone"; },
     nullptr},
    {"ConnDurationOverInterval",
     [](CSetFormInput &in) {
         in.ConnDuration = "3000";
         in.ConnInterval = "2048";
         in.SniffMin = "5";
     },
     "连接持续时间不能大于连接间隔时间"},
    {"ConnDurationEqualPasses",
     [](CSetFormInput &in) {
         in.ConnDuration = "2048";
         in.ConnInterval = "2048";
     },
     nullptr},
    {"InqDurationOverInterval",
     [](CSetFormInput &in) {
         in.InqDuration = "2";
         in.InqInterval = "1";
     },
     "查询持续时间不能大于查询间隔时间"},
    {"SniffMinOverMax",
     [](CSetFormInput &in) {
         in.SniffMin = "80";
         in.SniffMax = "0";
     },
     "Sniff最小值不能大于最大值"},
};

TEST(CheckSetForm, FirstFailingCheckGivesItsMessage)
{
    for (const CCheckCase &test : kCheckCases) {
        SCOPED_TRACE(test.pName);
        CSetFormInput input = ValidInput();
        test.edit(input);
        ModuleParams snapshot;
        const char *pMessage = CheckSetForm(input, &snapshot).pText;
        if (test.pExpected == nullptr)
            EXPECT_EQ(pMessage, nullptr) << pMessage;
        else
            EXPECT_STREQ(pMessage, test.pExpected);
    }
}

TEST(CheckSetForm, TrimsTextsAndKeepsTwelveAddressBytes)
{
    CSetFormInput input = ValidInput();
    input.Name = "  Office 1 ";
    input.Class = " 001F00\t";
    input.Password = " 99 ";
    input.BindAddr = " 0012AB34CD56 Phone ";
    ModuleParams snapshot;
    ASSERT_EQ(CheckSetForm(input, &snapshot).pText, nullptr);
    EXPECT_EQ(input.Name, "Office 1");
    EXPECT_EQ(input.Class, "001F00");
    EXPECT_EQ(input.Password, "99");
    EXPECT_EQ(input.BindAddr, "0012AB34CD56 Phone");
    EXPECT_EQ(snapshot.Name, "Office 1");
    EXPECT_EQ(snapshot.Class, "001F00");
    EXPECT_EQ(snapshot.Password, "99");
    EXPECT_EQ(snapshot.BindAddr, "0012AB34CD56");
}

TEST(CheckSetForm, SnapshotTakesListsChecksAndNumberTexts)
{
    CSetFormInput input = ValidInput();
    input.Role = 1;
    input.Parity = 2;
    input.StopBits = 1;
    input.SniffMax = "4294967295"; // above INT_MAX: written unsigned, never negative
    input.SniffMin = "80";
    input.SniffAttempt = "8";
    input.SniffTimeout = "9";
    ModuleParams snapshot;
    ASSERT_EQ(CheckSetForm(input, &snapshot).pText, nullptr);
    EXPECT_EQ(snapshot.Role, 1);
    EXPECT_EQ(snapshot.Bind, 1);
    EXPECT_EQ(snapshot.Auth, 1);
    EXPECT_EQ(snapshot.Parity, 2);
    EXPECT_EQ(snapshot.StopBits, 1);
    EXPECT_EQ(snapshot.Baud, "9600");
    EXPECT_EQ(snapshot.ConnDuration, "512");
    EXPECT_EQ(snapshot.SniffMax, "4294967295");
    EXPECT_EQ(snapshot.SniffMin, "80");
    EXPECT_EQ(snapshot.SniffAttempt, "8");
    EXPECT_EQ(snapshot.SniffTimeout, "9");
}

TEST(BuildSetCommandList, NothingChangedWithBindTickedQueuesNothing)
{
    ModuleParams cur = ReadBack();
    const CSetOutcome outcome = RunSet(ValidInput(), cur);
    ASSERT_EQ(outcome.pMessage, nullptr);
    EXPECT_TRUE(outcome.lines.empty());
    EXPECT_EQ(cur, ReadBack());
}

TEST(BuildSetCommandList, BindClearedAlwaysClearsTheAddress)
{
    CSetFormInput input = ValidInput();
    input.Bind = 0;
    ModuleParams cur = ReadBack();
    cur.Bind = 0;
    const CSetOutcome outcome = RunSet(input, cur);
    EXPECT_EQ(outcome.lines, std::vector<std::string>{"AT+CLEARADDR\r\n"});
}

TEST(BuildSetCommandList, OneChangedFieldGivesItsLine)
{
    struct CCase
    {
        const char *pName;
        std::function<void(CSetFormInput &)> edit;
        std::vector<std::string> expected;
    };
    const CCase cases[] = {
        {"TrimmedName",
         [](CSetFormInput &in) { in.Name = "  Office 1 "; },
         {"AT+NAME=Office 1\r\n"}},
        {"ParityEven", [](CSetFormInput &in) { in.Parity = 2; }, {"AT+UARTMODE=0,2\r\n"}},
        {"TwoStopBits", [](CSetFormInput &in) { in.StopBits = 1; }, {"AT+UARTMODE=1,0\r\n"}},
        {"ScanOn",
         [](CSetFormInput &in) {
             in.ConnInterval = in.InqInterval = "2048";
             in.ConnDuration = in.InqDuration = "18";
         },
         {"AT+SCANTIME=2048,18,2048,18\r\n"}},
        {"SniffOn",
         [](CSetFormInput &in) {
             in.SniffMax = "800";
             in.SniffMin = "80";
             in.SniffAttempt = "8";
             in.SniffTimeout = "8";
         },
         {"AT+SNIFF=800,80,8,8\r\n"}},
        {"SniffLargest",
         [](CSetFormInput &in) {
             in.SniffMax = in.SniffMin = in.SniffAttempt = in.SniffTimeout = "4294967295";
         },
         {"AT+SNIFF=4294967295,4294967295,4294967295,4294967295\r\n"}},
        {"RoleMaster", [](CSetFormInput &in) { in.Role = 1; }, {"AT+ROLE=1\r\n"}},
        {"BaudChanged", [](CSetFormInput &in) { in.Baud = "115200"; }, {"AT+BAUD=115200\r\n"}},
        {"AddressFromFoundDevice",
         [](CSetFormInput &in) { in.BindAddr = "0011223344AA Phone"; },
         {"AT+RADDR=0011223344AA\r\n"}},
        {"AuthOffNoPasswordLine",
         [](CSetFormInput &in) {
             in.Auth = 0;
             in.Password = "5555";
         },
         {"AT+AUTH=0\r\n"}},
        {"NewPassword", [](CSetFormInput &in) { in.Password = "5555"; }, {"AT+PASSWORD=5555\r\n"}},
    };
    for (const CCase &test : cases) {
        SCOPED_TRACE(test.pName);
        CSetFormInput input = ValidInput();
        test.edit(input);
        ModuleParams cur = ReadBack();
        EXPECT_EQ(RunSet(input, cur).lines, test.expected);
    }
}

TEST(BuildSetCommandList, AuthOnWithEmptyPasswordSendsNoPassword)
{
    CSetFormInput input = ValidInput();
    input.Password = "";
    ModuleParams cur = ReadBack();
    cur.Auth = 0;
    EXPECT_EQ(RunSet(input, cur).lines, std::vector<std::string>{"AT+AUTH=1\r\n"});
    EXPECT_EQ(cur.Password, "1234");
}

TEST(BuildSetCommandList, EverythingChangedGivesElevenLinesInOrder)
{
    CSetFormInput input = ValidInput();
    input.Name = "Desk";
    input.Class = "5A0204";
    input.Baud = "38400";
    input.Parity = 1;
    input.Role = 1;
    input.Password = "0000";
    input.ConnInterval = "2048";
    input.SniffMax = "1";
    input.BindAddr = "AABBCCDDEEFF";
    ModuleParams cur = ReadBack();
    cur.Bind = 0;
    cur.Auth = 0;
    const CSetOutcome outcome = RunSet(input, cur);
    const std::vector<std::string> expected = {"AT+NAME=Desk\r\n",
                                               "AT+CLASS=5A0204\r\n",
                                               "AT+BAUD=38400\r\n",
                                               "AT+UARTMODE=0,1\r\n",
                                               "AT+ROLE=1\r\n",
                                               "AT+BIND=1\r\n",
                                               "AT+AUTH=1\r\n",
                                               "AT+PASSWORD=0000\r\n",
                                               "AT+SCANTIME=2048,512,1024,512\r\n",
                                               "AT+SNIFF=1,0,0,0\r\n",
                                               "AT+RADDR=AABBCCDDEEFF\r\n"};
    EXPECT_EQ(outcome.lines, expected);
    // Every queued parameter now reads as sent, except the address, only ever learnt by reading.
    ModuleParams expectedCur = outcome.snapshot;
    expectedCur.Version = cur.Version;
    expectedCur.BindAddr = "0012AB34CD56";
    EXPECT_EQ(cur, expectedCur);
}

TEST(BuildSetCommandList, BeforeTheFirstReadingEveryNumberRowIsSent)
{
    ModuleParams cur; // nothing read yet: integers -1, texts empty
    const CSetOutcome outcome = RunSet(ValidInput(), cur);
    ASSERT_EQ(outcome.lines.size(), 11u);
    EXPECT_EQ(outcome.lines[3], "AT+UARTMODE=0,0\r\n");
    EXPECT_EQ(outcome.lines[4], "AT+ROLE=0\r\n");
}

TEST(BuildSetCommandList, EmptiedAddressWithBindTickedClearsAndKeepsTheReading)
{
    CSetFormInput input = ValidInput();
    input.BindAddr = "";
    ModuleParams cur = ReadBack();
    EXPECT_EQ(RunSet(input, cur).lines, std::vector<std::string>{"AT+CLEARADDR\r\n"});
    EXPECT_EQ(cur.BindAddr, "0012AB34CD56");
    EXPECT_EQ(RunSet(input, cur).lines, std::vector<std::string>{"AT+CLEARADDR\r\n"});
}

TEST(BuildSetCommandList, SecondBuildSendsOnlyTheRowsThatNeverAdvance)
{
    CSetFormInput input = ValidInput();
    input.Name = "Desk";
    input.Parity = 2;
    input.BindAddr = "AABBCCDDEEFF";
    ModuleParams cur = ReadBack();
    EXPECT_EQ(RunSet(input, cur).lines.size(), 3u);
    EXPECT_EQ(RunSet(input, cur).lines, std::vector<std::string>{"AT+RADDR=AABBCCDDEEFF\r\n"});
    input.Bind = 0;
    EXPECT_EQ(RunSet(input, cur).lines,
              (std::vector<std::string>{"AT+BIND=0\r\n", "AT+CLEARADDR\r\n"}));
    EXPECT_EQ(RunSet(input, cur).lines, std::vector<std::string>{"AT+CLEARADDR\r\n"});
}

// A run of NAME, CLASS, UARTMODE, SNIFF; only the lines named in confirmed got their "OK".
struct CRunCase
{
    const char *pName;
    std::vector<int> confirmed;
    std::vector<std::string> resent; // what the next Set with the same form queues
};

TEST(SetRunBook, UnconfirmedLinesAreSentAgainByTheNextSet)
{
    const CRunCase cases[] = {
        {"AllConfirmed", {0, 1, 2, 3}, {}},
        {"NoneConfirmed",
         {},
         {"AT+NAME=Desk\r\n", "AT+CLASS=123456\r\n", "AT+UARTMODE=1,2\r\n",
          "AT+SNIFF=9,1,0,0\r\n"}},
        {"StoppedAtThird", {0, 1}, {"AT+UARTMODE=1,2\r\n", "AT+SNIFF=9,1,0,0\r\n"}},
        {"SecondSkipped", {0, 2, 3}, {"AT+CLASS=123456\r\n"}},
        {"IndexOutOfRangeIgnored", {-1, 4, 11, 0, 1, 2}, {"AT+SNIFF=9,1,0,0\r\n"}},
    };
    for (const CRunCase &test : cases) {
        SCOPED_TRACE(test.pName);
        CSetFormInput input = ValidInput();
        input.Name = "Desk";
        input.Class = "123456";
        input.Parity = 2;
        input.StopBits = 1;
        input.SniffMax = "9";
        input.SniffMin = "1";
        ModuleParams cur = ReadBack();
        CSetRunBook book;
        ASSERT_EQ(RunSet(input, cur, &book).lines.size(), 4u);
        for (int nIndex : test.confirmed)
            ConfirmSetLine(&book, nIndex);
        EndSetRun(&book, &cur);
        EXPECT_EQ(RunSet(input, cur).lines, test.resent);
    }
}

TEST(SetRunBook, AReadingInBetweenIsKept)
{
    CSetFormInput input = ValidInput();
    input.Name = "Desk";
    input.Parity = 2;
    ModuleParams cur = ReadBack();
    CSetRunBook book;
    ASSERT_EQ(RunSet(input, cur, &book).lines.size(), 2u);
    // A query run read the module before the set run ended: the name really is "Lab", and the
    // serial mode was read as what the line queued.
    cur.Name = "Lab";
    EndSetRun(&book, &cur);
    EXPECT_EQ(cur.Name, "Lab");
    EXPECT_EQ(cur.Parity, 0); // unconfirmed and untouched: taken back
    EXPECT_EQ(cur.StopBits, 0);
}

TEST(SetRunBook, EndingTwiceTakesBackOnce)
{
    CSetFormInput input = ValidInput();
    input.Name = "Desk";
    ModuleParams cur = ReadBack();
    CSetRunBook book;
    RunSet(input, cur, &book);
    EndSetRun(&book, &cur);
    EXPECT_EQ(cur.Name, "Office");
    cur.Name = "Desk"; // a later reading
    EndSetRun(&book, &cur);
    EXPECT_EQ(cur.Name, "Desk");
}

// The form as a query run leaves it, with the last-read record to match (ValidInput/ReadBack):
// the module's replies to each query, outside a run.
void ShowReadBack(CTestEngine &engine)
{
    engine.Feed("\r\n+NAME:Office\r\n\r\n+CLASS:001F00\r\n\r\n+BAUD:9600\r\n"
                "\r\n+UARTMODE:0,0\r\n\r\n+ROLE:0\r\n\r\n+BIND:1\r\n\r\n+AUTH:1\r\n"
                "\r\n+PASSWORD:1234\r\n\r\n+SCAN:1024,512,1024,512\r\n\r\n+SNIFF:0,0,0,0\r\n"
                "\r\n+RADDR:0012AB34CD56\r\n");
    ASSERT_EQ(engine->LastRead(), ReadBack());
}

TEST(OnButtonSet, PortClosedOnlyTellsTheUser)
{
    CTestEngine engine;
    ShowReadBack(engine);
    engine.m_form.SetWindowText(IDC_EDIT_NAME, "Desk");
    engine.m_bPortOpen = false;
    engine->OnButtonSet();
    EXPECT_EQ(engine.m_statusTexts, std::vector<std::string>{"请先打开串口"});
    EXPECT_TRUE(engine.m_messageBoxes.empty());
    EXPECT_TRUE(engine.m_written.empty());
    EXPECT_EQ(engine->LastRead(), ReadBack());
}

TEST(OnButtonSet, FailedCheckShowsOneBoxAndSendsNothing)
{
    struct CCase
    {
        const char *pName;
        std::function<void(CTestEngine &)> edit;
        const char *pMessage;
    };
    const CCase cases[] = {
        {"EmptyBaudEntry", [](CTestEngine &e) { e.m_form.SetCurSel(IDC_COMBO_BAUD, 12); },
         "请选择合适的波特率"},
        {"ParityNeverSelected",
         [](CTestEngine &e) { e.m_form.Control(IDC_COMBO_PARITY).nCurSel = -1; },
         "请选择合适的校验位"},
        {"FiveDigitClass", [](CTestEngine &e) { e.m_form.SetWindowText(IDC_EDIT_CLASS, "12345"); },
         "类别码长度必须为6"},
        {"NameInjectingACommand",
         [](CTestEngine &e) { e.m_form.SetWindowText(IDC_EDIT_NAME, "a\r\nAT+RESET"); },
         "名称不能包含控制字符"},
    };
    for (const CCase &test : cases) {
        SCOPED_TRACE(test.pName);
        CTestEngine engine;
        ShowReadBack(engine);
        engine.m_form.SetWindowText(IDC_EDIT_SNIFF_MAX, "9"); // a change that would be queued
        test.edit(engine);
        engine->OnButtonSet();
        ASSERT_EQ(engine.m_messageBoxes.size(), 1u);
        EXPECT_EQ(engine.m_messageBoxes[0].strText, test.pMessage);
        EXPECT_EQ(engine.m_messageBoxes[0].strCaption, "提示");
        EXPECT_EQ(engine.m_messageBoxes[0].nType, MB_ICONHAND);
        EXPECT_TRUE(engine.m_written.empty());
        EXPECT_FALSE(engine->IsSetting());
        EXPECT_FALSE(engine.IsTimerArmed(TIMER_SET));
        EXPECT_EQ(engine->LastRead(), ReadBack());
    }
}

TEST(OnButtonSet, NothingChangedSaysSoAndSendsNothing)
{
    CTestEngine engine;
    ShowReadBack(engine);
    engine->OnButtonSet();
    EXPECT_EQ(engine.m_statusTexts,
              (std::vector<std::string>{"正在设置参数...", "没有改变参数，不需要设置"}));
    EXPECT_TRUE(engine.m_written.empty());
    EXPECT_FALSE(engine->IsSetting());
    EXPECT_FALSE(engine.IsTimerArmed(TIMER_SET));
}

TEST(OnButtonSet, StartsTheRunWithLineZeroAndTrimsTheMembers)
{
    CTestEngine engine;
    ShowReadBack(engine);
    engine.m_form.SetWindowText(IDC_EDIT_NAME, "  Office 1 ");
    engine->OnButtonSet();
    EXPECT_EQ(engine.m_written, std::vector<std::string>{"AT+NAME=Office 1\r\n"});
    EXPECT_EQ(engine.Status(), "正在设置参数...");
    EXPECT_TRUE(engine->IsSetting());
    EXPECT_EQ(engine->CmdIndex(), 0);
    EXPECT_TRUE(engine.IsTimerArmed(TIMER_SET));
    EXPECT_EQ(engine->FormMembers().m_strName, "Office 1");
    EXPECT_EQ(engine.m_form.GetWindowText(IDC_EDIT_NAME), "  Office 1 ");
}

TEST(OnButtonSet, LineRefusedAndAbandonedIsSentAgain)
{
    CTestEngine engine;
    ShowReadBack(engine);
    engine.m_fnModule = [](const std::string &strCommand) {
        return strCommand.rfind("AT+CLASS=", 0) == 0 ? "\r\nERROR\r\n" : "\r\nOK\r\n";
    };
    engine.AnswerAll(IDNO);
    engine.m_form.SetWindowText(IDC_EDIT_NAME, "Desk");
    engine.m_form.SetWindowText(IDC_EDIT_CLASS, "123456");
    engine.m_form.SetWindowText(IDC_EDIT_SNIFF_MAX, "9");
    engine->OnButtonSet();
    engine.Pump();
    EXPECT_EQ(engine.Status(), "设置 [设备类别码] 时超时");
    // The name was confirmed; the class was refused and the Sniff line never went out.
    engine.m_written.clear();
    engine.m_fnModule = [](const std::string &) { return "\r\nOK\r\n"; };
    engine->OnButtonSet();
    engine.Pump();
    EXPECT_EQ(engine.m_written,
              (std::vector<std::string>{"AT+CLASS=123456\r\n", "AT+SNIFF=9,0,0,0\r\n"}));
    EXPECT_EQ(engine.Status(), "设置完成");
}

TEST(OnButtonSet, TimedOutLineSkippedWithYesIsSentAgain)
{
    CTestEngine engine;
    ShowReadBack(engine);
    engine.AnswerAll(IDYES);
    engine.m_form.SetWindowText(IDC_EDIT_NAME, "Desk");
    engine->OnButtonSet();
    engine.Advance(4000ms);
    EXPECT_EQ(engine.Status(), "设置完成");
    engine.m_written.clear();
    engine->OnButtonSet();
    EXPECT_EQ(engine.m_written, std::vector<std::string>{"AT+NAME=Desk\r\n"});
}

// The module is still working on the first line: a second Set must not put another on the line.
TEST(OnButtonSet, SetWhileWaitingIsRefusedAndTheFirstRunKeepsItsDeadline)
{
    CTestEngine engine;
    ShowReadBack(engine);
    engine.m_form.SetWindowText(IDC_EDIT_NAME, "Desk");
    engine->OnButtonSet();
    engine.Advance(3000ms);
    engine.m_form.SetWindowText(IDC_EDIT_NAME, "Other");
    engine->OnButtonSet();
    EXPECT_EQ(engine.m_written, std::vector<std::string>{"AT+NAME=Desk\r\n"});
    EXPECT_EQ(engine.Status(), "正在设置参数...");
    engine.Advance(999ms);
    EXPECT_TRUE(engine.m_messageBoxes.empty());
    engine.Advance(1ms);
    ASSERT_EQ(engine.m_messageBoxes.size(), 1u);
    EXPECT_EQ(engine.m_messageBoxes[0].strText, "设置 [设备名称] 时超时，是否继续？");
}

TEST(OnButtonSet, PickedSearchResultSendsOnlyTheAddress)
{
    CTestEngine engine;
    ShowReadBack(engine);
    engine.Feed("\r\n+INQRESU:0011223344AA,Phone\r\n");
    engine.m_form.SetCurSel(IDC_COMBO_BINDADDR, 0);
    ASSERT_EQ(engine.m_form.GetWindowText(IDC_COMBO_BINDADDR), "0011223344AA Phone");
    engine->OnButtonSet();
    EXPECT_EQ(engine.m_written, std::vector<std::string>{"AT+RADDR=0011223344AA\r\n"});
}

} // namespace
