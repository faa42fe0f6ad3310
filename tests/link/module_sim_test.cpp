#include "serial/SerialLink.h"
#include "sim/ModuleSim.h"
#include "sim/SimArguments.h"

#include <cctype>
#include <condition_variable>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;

namespace {

constexpr auto kWait = 3000ms;

// What the tool's side receives from the simulated module.
struct CCollector
{
    std::mutex mutex;
    std::condition_variable changed;
    std::string strBytes;
    size_t nChunks = 0;
    int nDisconnects = 0;

    static void OnReceive(const char *pData, int32_t nLength, void *pUser)
    {
        auto *pSelf = static_cast<CCollector *>(pUser);
        std::lock_guard guard(pSelf->mutex);
        pSelf->strBytes.append(pData, static_cast<size_t>(nLength));
        ++pSelf->nChunks;
        pSelf->changed.notify_all();
    }
    static void OnDisconnect(void *pUser)
    {
        auto *pSelf = static_cast<CCollector *>(pUser);
        std::lock_guard guard(pSelf->mutex);
        ++pSelf->nDisconnects;
        pSelf->changed.notify_all();
    }
    template <typename Pred> bool WaitUntil(Pred pred, std::chrono::milliseconds timeout = kWait)
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, timeout, pred);
    }
    void Clear()
    {
        std::lock_guard guard(mutex);
        strBytes.clear();
        nChunks = 0;
    }
};

class ModuleSimTest : public ::testing::Test
{
protected:
    void SetUp() override { StartWith({}); }
    void StartWith(SimOptions options)
    {
        m_link.Close();
        m_sim = std::make_unique<CModuleSim>(std::move(options));
        if (!m_sim->Start())
            GTEST_SKIP() << "cannot create a pseudo-terminal here";
        m_link.m_nBaudRate = 9600;
        m_link.SetReceiveCallback(CCollector::OnReceive, &m_got);
        m_link.SetDisconnectCallback(CCollector::OnDisconnect, &m_got);
        ASSERT_TRUE(m_link.Open(m_sim->DevicePath())) << "errno " << m_link.LastOpenError();
    }
    void Send(const std::string &strCommand)
    {
        const std::string strLine = strCommand + "\r\n";
        ASSERT_EQ(m_link.Write(strLine.data(), static_cast<uint32_t>(strLine.size())),
                  strLine.size());
    }
    // Sends a command and returns everything that came back until the reply ends in strEnd or
    // in a line beginning with "ERROR".
    std::string Exchange(const std::string &strCommand, const std::string &strEnd = "K\r\n",
                         std::chrono::milliseconds timeout = kWait)
    {
        m_got.Clear();
        Send(strCommand);
        m_got.WaitUntil(
            [&] {
                const std::string &s = m_got.strBytes;
                const size_t nLastLine = s.rfind("\r\n", s.size() >= 3 ? s.size() - 3 : 0);
                return s.size() >= strEnd.size() + 2 &&
                       (s.ends_with(strEnd) ||
                        (s.ends_with("\r\n") && nLastLine != std::string::npos &&
                         (s.compare(nLastLine + 2, 5, "ERROR") == 0 ||
                          s.compare(nLastLine + 2, 5, "error") == 0)));
            },
            timeout);
        std::this_thread::sleep_for(30ms); // anything extra would show up here
        std::lock_guard guard(m_got.mutex);
        return m_got.strBytes;
    }

    CCollector m_got;
    CSerialLink m_link; // declared after m_got: closes first
    std::unique_ptr<CModuleSim> m_sim;
};

struct CReplyCase
{
    const char *pszCommand;
    const char *pszReply;
};

const CReplyCase kDefaultReplies[] = {
    {"AT", "\r\nOK\r\n"},
    {"AT+NAME?", "\r\n+NAME:CORVA3264\r\n\r\nOK\r\n"},
    {"AT+VERSION?", "\r\n+VERSION:V4.25\r\n\r\nOK\r\n"},
    {"AT+CLASS?", "\r\n+CLASS:000000\r\n\r\nOK\r\n"},
    {"AT+ROLE?", "\r\n+ROLE:0\r\n\r\nOK\r\n"},
    {"AT+BIND?", "\r\n+BIND:0\r\n\r\nOK\r\n"},
    {"AT+AUTH?", "\r\n+AUTH:1\r\n\r\nOK\r\n"},
    {"AT+PASSWORD?", "\r\n+PASSWORD:7391\r\n\r\nOK\r\n"},
    {"AT+BAUD?", "\r\n+BAUD:9600\r\n\r\nOK\r\n"},
    {"AT+UARTMODE?", "\r\n+UARTMODE:0,0\r\n\r\nOK\r\n"},
    {"AT+SCANTIME?", "\r\n+SCAN:1024,512,1024,512\r\n\r\nOK\r\n"},
    {"AT+SNIFF?", "\r\n+SNIFF:0,0,0,0\r\n\r\nOK\r\n"},
    {"AT+LADDR?", "\r\n+LADDR:00158300A1B2\r\n\r\nOK\r\n"},
    {"AT+RADDR?", "\r\nERROR\r\n"}, // nothing bound
    {"AT+CLEARADDR", "\r\nOK\r\n"},
    {"AT+STATE?", "\r\n+STATE:INITIALIZED\r\n\r\nOK\r\n"},
    {"AT+VERSION", "\r\n+VERSION:V4.25\r\n\r\nOK\r\n"},
    {"AT+ADDR?", "\r\n+ADDR:00158300A1B2\r\n\r\nOK\r\n"},
    {"AT+FOO", "\r\nERROR(1F)\r\n"},
    {"HELLO", "\r\nERROR(1F)\r\n"},
    {"at+name?", "\r\nERROR(1F)\r\n"},
    {"AT+NAME", "\r\nERROR(1E)\r\n"},
    {"AT?", "\r\nERROR(1E)\r\n"},
    {"AT+RESET?", "\r\nERROR(1E)\r\n"},
    {"AT+STATE=1", "\r\nERROR(1E)\r\n"},
    {"AT+LADDR=00158300A1B2", "\r\nERROR(1E)\r\n"},
};

TEST_F(ModuleSimTest, EveryQueryAnswersItsExactBytes)
{
    for (const CReplyCase &c : kDefaultReplies)
        EXPECT_EQ(Exchange(c.pszCommand), c.pszReply) << c.pszCommand;
}

struct CSetCase
{
    const char *pszCommand;
    void (*pfnExpect)(SimState &state);
};

const CSetCase kSetCases[] = {
    {"AT+NAME=Hello World", [](SimState &s) { s.strName = "Hello World"; }},
    {"AT+NAME=12345678901234567890", [](SimState &s) { s.strName = "12345678901234567890"; }},
    {"AT+NAME=\xC4\xA3\xBF\xE9", [](SimState &s) { s.strName = "\xC4\xA3\xBF\xE9"; }},
    {"AT+CLASS=5A020C", [](SimState &s) { s.strClass = "5A020C"; }},
    {"AT+BAUD=1382400", [](SimState &s) { s.nBaud = 1382400; }},
    {"AT+BAUD=1200", [](SimState &s) { s.nBaud = 1200; }},
    {"AT+UARTMODE=1,2", [](SimState &s) { s.nStopBits = 1, s.nParity = 2; }},
    {"AT+ROLE=1", [](SimState &s) { s.nRole = 1; }},
    {"AT+BIND=1", [](SimState &s) { s.nBind = 1; }},
    {"AT+AUTH=0", [](SimState &s) { s.nAuth = 0; }},
    {"AT+PASSWORD=0123456789abcdef", [](SimState &s) { s.strPassword = "0123456789abcdef"; }},
    {"AT+SCANTIME=0,4096,1,2",
     [](SimState &s) { s.aScan[0] = 0, s.aScan[1] = 4096, s.aScan[2] = 1, s.aScan[3] = 2; }},
    {"AT+SNIFF=4294967295,1,2,3",
     [](SimState &s) {
         s.aSniff[0] = 4294967295u, s.aSniff[1] = 1, s.aSniff[2] = 2, s.aSniff[3] = 3;
     }},
    {"AT+RADDR=0011223344AA", [](SimState &s) { s.strBindAddr = "0011223344AA"; }},
};

TEST_F(ModuleSimTest, SetCommandsChangeTheStateAndAnswerOk)
{
    for (const CSetCase &c : kSetCases) {
        m_sim->SetState(SimState{});
        SimState expected;
        c.pfnExpect(expected);
        EXPECT_EQ(Exchange(c.pszCommand), "\r\nOK\r\n") << c.pszCommand;
        EXPECT_TRUE(m_sim->State() == expected) << c.pszCommand;
    }
}

const char *const kRefusedSets[] = {
    "AT+NAME=",
    "AT+NAME=123456789012345678901",
    "AT+NAME=a\tb",
    "AT+CLASS=12345",
    "AT+CLASS=1234567",
    "AT+BAUD=9601",
    "AT+BAUD=09600",
    "AT+BAUD=",
    "AT+UARTMODE=2,0",
    "AT+UARTMODE=0,3",
    "AT+UARTMODE=0",
    "AT+UARTMODE=0,1,2",
    "AT+ROLE=2",
    "AT+BIND=",
    "AT+AUTH=01",
    "AT+PASSWORD=",
    "AT+PASSWORD=01234567890123456",
    "AT+SCANTIME=4097,0,0,0",
    "AT+SCANTIME=1,2,3",
    "AT+SCANTIME=1,,3,4",
    "AT+SCANTIME=-1,2,3,4",
    "AT+SNIFF=4294967296,0,0,0",
    "AT+SNIFF=1,2,3,x",
    "AT+RADDR=0011223344A",
    "AT+RADDR=0011223344AAB",
};

TEST_F(ModuleSimTest, OutOfRangeValuesAnswerErrorAndChangeNothing)
{
    for (const char *pszCommand : kRefusedSets) {
        EXPECT_EQ(Exchange(pszCommand), "\r\nERROR\r\n") << pszCommand;
        EXPECT_TRUE(m_sim->State() == SimState{}) << pszCommand;
    }
}

TEST_F(ModuleSimTest, ResetRestoresDefaultsButKeepsTheLocalAddress)
{
    SimState changed;
    changed.strName = "Other";
    changed.nRole = 1;
    changed.aSniff[2] = 7;
    changed.strBindAddr = "0011223344AA";
    changed.strLocalAddr = "AABBCCDDEEFF";
    m_sim->SetState(changed);
    EXPECT_EQ(Exchange("AT+RESET"), "\r\nOK\r\n");
    SimState expected;
    expected.strLocalAddr = "AABBCCDDEEFF";
    EXPECT_TRUE(m_sim->State() == expected);
}

TEST_F(ModuleSimTest, RemoteAddressIsAnErrorUntilBoundAndAfterClearing)
{
    EXPECT_EQ(Exchange("AT+RADDR?"), "\r\nERROR\r\n");
    EXPECT_EQ(Exchange("AT+RADDR=00AABB001122"), "\r\nOK\r\n");
    EXPECT_EQ(Exchange("AT+RADDR?"), "\r\n+RADDR:00AABB001122\r\n\r\nOK\r\n");
    EXPECT_EQ(Exchange("AT+CLEARADDR"), "\r\nOK\r\n");
    EXPECT_EQ(Exchange("AT+RADDR?"), "\r\nERROR\r\n");
}

TEST_F(ModuleSimTest, InquiryReportsEachDeviceThenCompletesWithoutOk)
{
    SimOptions options;
    options.inquiryInterval = 100ms;
    m_sim->SetOptions(options);
    m_got.Clear();
    Send("AT+INQ");
    // Other commands are answered while the search runs.
    EXPECT_EQ(Exchange("AT", "OK\r\n"), "\r\nOK\r\n");
    ASSERT_TRUE(m_got.WaitUntil([&] { return m_got.strBytes.ends_with("+INQCOMP\r\n"); }));
    std::this_thread::sleep_for(300ms);
    std::lock_guard guard(m_got.mutex);
    EXPECT_EQ(m_got.strBytes, "\r\nOK\r\n" // the AT, answered before the first result
                              "\r\n+INQRESU:0011223344AA,Phone\r\n"
                              "\r\n+INQRESU:00AABB001122,Headset\r\n"
                              "\r\n+INQCOMP\r\n");
}

// "AT+STATE?" follows a search and a reset, and reports a state set from outside.
TEST_F(ModuleSimTest, StateFollowsSearchAndReset)
{
    SimOptions options;
    options.inquiryInterval = 100ms;
    m_sim->SetOptions(options);
    Send("AT+INQ");
    EXPECT_EQ(Exchange("AT+STATE?"), "\r\n+STATE:INQUIRING\r\n\r\nOK\r\n");
    ASSERT_TRUE(m_got.WaitUntil([&] { return m_got.strBytes.ends_with("+INQCOMP\r\n"); }));
    EXPECT_EQ(Exchange("AT+STATE?"), "\r\n+STATE:READY\r\n\r\nOK\r\n");
    EXPECT_EQ(Exchange("AT+RESET"), "\r\nOK\r\n");
    EXPECT_EQ(Exchange("AT+STATE?"), "\r\n+STATE:INITIALIZED\r\n\r\nOK\r\n");
    SimState connected;
    connected.eLinkState = ESimLinkState::Connected;
    m_sim->SetState(connected);
    EXPECT_EQ(Exchange("AT+STATE?"), "\r\n+STATE:CONNECTED\r\n\r\nOK\r\n");
}

// A late or missing reply holds nothing else up, and nothing overtakes a late one: whatever has
// arrived once every command is in is the start of the replies before the late one.
TEST_F(ModuleSimTest, LateAndMissingRepliesKeepTheOrder)
{
    const std::string kName = "\r\n+NAME:CORVA3264\r\n\r\nOK\r\n";
    const std::string kOk = "\r\nOK\r\n";
    const std::string kRole = "\r\n+ROLE:0\r\n\r\nOK\r\n";
    const struct
    {
        const char *pszCase;
        void (*pfnSet)(SimOptions &options);
        std::vector<std::string> commands;
        std::string strBeforeLate; // what may have arrived once all commands are in
        std::string strAll;
    } kCases[] = {
        {"LateFirst",
         [](SimOptions &o) {
             o.lateCommands = {{"AT+NAME?", 800ms}};
         },
         {"AT+NAME?", "AT", "AT+ROLE?"},
         "",
         kName + kOk + kRole},
        {"LateInTheMiddle",
         [](SimOptions &o) {
             o.lateCommands = {{"AT+NAME?", 800ms}};
         },
         {"AT", "AT+NAME?", "AT+ROLE?"},
         kOk,
         kOk + kName + kRole},
        {"LateWithReplyDelay",
         [](SimOptions &o) {
             o.lateCommands = {{"AT+ROLE", 800ms}}, o.replyDelay = 20ms;
         },
         {"AT+ROLE?", "AT"},
         "",
         kRole + kOk},
        {"SilentThenAnswered",
         [](SimOptions &o) { o.silentCommands = {"AT+NAME?"}; },
         {"AT+NAME?", "AT", "AT+ROLE?"},
         kOk + kRole,
         kOk + kRole},
    };
    for (const auto &c : kCases) {
        SimOptions options;
        c.pfnSet(options);
        m_sim->SetOptions(options);
        m_sim->ClearLog();
        m_got.Clear();
        std::string strLines;
        for (const std::string &strCommand : c.commands)
            strLines += strCommand + "\r\n";
        m_link.Write(strLines.data(), static_cast<uint32_t>(strLines.size()));
        ASSERT_TRUE(m_sim->WaitForCommands(c.commands.size(), kWait)) << c.pszCase;
        {
            std::lock_guard guard(m_got.mutex);
            EXPECT_TRUE(c.strBeforeLate.starts_with(m_got.strBytes))
                << c.pszCase << ": " << m_got.strBytes;
        }
        EXPECT_TRUE(m_got.WaitUntil([&] { return m_got.strBytes.size() >= c.strAll.size(); }))
            << c.pszCase;
        std::this_thread::sleep_for(30ms); // anything extra would show up here
        std::lock_guard guard(m_got.mutex);
        EXPECT_EQ(m_got.strBytes, c.strAll) << c.pszCase;
    }
}

// The first late rule as "MS:prefix" ("" when none), the state at start and the address.
TEST(SimArguments, OptionsAndStateFromTheCommandLine)
{
    using S = ESimLinkState;
    const struct
    {
        std::vector<const char *> args;
        int nResult;
        const char *pszFirstLate;
        S eState;
        const char *pszAddr = "00158300A1B2";
    } kCases[] = {
        {{"--late", "5000:AT+NAME?", "--late", "0:AT+RADDR="}, 0, "5000:AT+NAME?", S::Initialized},
        {{"--late", "250:AT+NAME=a:b"}, 0, "250:AT+NAME=a:b", S::Initialized},
        {{"--state", "CONNECTED", "--silent", "AT+ROLE?"}, 0, "", S::Connected},
        {{"--state", "READY"}, 0, "", S::Ready},
        {{"--state", "connected"}, 2, "", S::Initialized},
        {{"--late", "AT+NAME?"}, 2, "", S::Initialized},
        {{"--late", "5000:"}, 2, "", S::Initialized},
        {{"--late", "-1:AT"}, 2, "", S::Initialized},
        {{"--late"}, 2, "", S::Initialized},
        {{"--addr", "0015830000c1"}, 0, "", S::Initialized, "0015830000c1"},
        {{"--addr", "00158300A1"}, 2, "", S::Initialized},
        {{"--addr", "00158300A1G2"}, 2, "", S::Initialized},
    };
    for (const auto &c : kCases) {
        std::vector<char *> argv = {const_cast<char *>("kestrel-sim")};
        for (const char *pszArg : c.args)
            argv.push_back(const_cast<char *>(pszArg));
        SimOptions options;
        SimState state;
        ::testing::internal::CaptureStderr();
        const int nResult =
            ParseSimArguments(static_cast<int>(argv.size()), argv.data(), options, state);
        ::testing::internal::GetCapturedStderr();
        const std::string strFirstLate =
            options.lateCommands.empty() ? ""
                                         : std::to_string(options.lateCommands[0].delay.count()) +
                                               ":" + options.lateCommands[0].strPrefix;
        EXPECT_EQ(nResult, c.nResult) << c.args.back();
        if (nResult == 0) {
            EXPECT_EQ(strFirstLate, c.pszFirstLate);
            EXPECT_EQ(state.eLinkState, c.eState);
            EXPECT_EQ(state.strLocalAddr, c.pszAddr);
        }
    }
}

struct COptionCase
{
    const char *pszName;
    void (*pfnSet)(SimOptions &options);
    const char *pszCommand;
    const char *pszReply;
    bool bSplit; // must arrive in more than one piece
};

const COptionCase kOptionCases[] = {
    {"Echo", [](SimOptions &o) { o.bEcho = true; }, "AT+NAME?",
     "AT+NAME?\r\n\r\n+NAME:CORVA3264\r\n\r\nOK\r\n", false},
    {"LowerCase", [](SimOptions &o) { o.bLowerCase = true; }, "AT+NAME?",
     "\r\n+name:CORVA3264\r\n\r\nok\r\n", false},
    {"LowerCaseKeepsFixedLines", [](SimOptions &o) { o.bLowerCase = true; }, "AT+LADDR?",
     "\r\n+LADDR:00158300A1B2\r\n\r\nok\r\n", false},
    {"ErrorPrefix", [](SimOptions &o) { o.errorCommands = {"AT+NAME?"}; }, "AT+NAME?",
     "\r\nERROR\r\n", false},
    {"ErrorOnlyItsPrefix", [](SimOptions &o) { o.errorCommands = {"AT+NAME?"}; }, "AT+ROLE?",
     "\r\n+ROLE:0\r\n\r\nOK\r\n", false},
    {"Silent", [](SimOptions &o) { o.silentCommands = {"AT+NAME?"}; }, "AT+NAME?", "", false},
    {"EchoWhileSilent", [](SimOptions &o) { o.silentCommands = {"AT+NAME"}, o.bEcho = true; },
     "AT+NAME?", "AT+NAME?\r\n", false},
    {"ByteByByte", [](SimOptions &o) { o.split = SimSplit::ByteByByte; }, "AT+NAME?",
     "\r\n+NAME:CORVA3264\r\n\r\nOK\r\n", true},
    {"Random", [](SimOptions &o) { o.split = SimSplit::Random; }, "AT+SCANTIME?",
     "\r\n+SCAN:1024,512,1024,512\r\n\r\nOK\r\n", true},
    {"Paced", [](SimOptions &o) { o.nPaceBaud = 9600; }, "AT+VERSION?",
     "\r\n+VERSION:V4.25\r\n\r\nOK\r\n", false},
    {"Delayed", [](SimOptions &o) { o.replyDelay = 50ms; }, "AT", "\r\nOK\r\n", false},
};

TEST_F(ModuleSimTest, MisbehaviourOptionsShapeTheReplyBytes)
{
    for (const COptionCase &c : kOptionCases) {
        SimOptions options;
        c.pfnSet(options);
        m_sim->SetOptions(options);
        EXPECT_EQ(Exchange(c.pszCommand, "\r\n", *c.pszReply ? kWait : 200ms), c.pszReply)
            << c.pszName;
        if (c.bSplit) {
            EXPECT_GT(m_got.nChunks, 1u) << c.pszName;
        }
    }
}

TEST_F(ModuleSimTest, LogHoldsExactlyTheCommandsInOrder)
{
    const std::vector<std::string> commands = {"AT", "AT+NAME=x y", "AT+BAUD?", "AT+BOGUS"};
    m_sim->ClearLog();
    for (const std::string &strCommand : commands)
        Exchange(strCommand);
    // Bare CR, bare LF and empty lines frame commands just the same.
    m_link.Write("\r\n\r\nAT+ROLE?\rAT+AUTH?\n", 22);
    ASSERT_TRUE(m_sim->WaitForCommands(6, kWait));
    const std::vector<std::string> expected = {"AT\r\n",       "AT+NAME=x y\r\n", "AT+BAUD?\r\n",
                                               "AT+BOGUS\r\n", "AT+ROLE?\r\n",    "AT+AUTH?\r\n"};
    EXPECT_EQ(m_sim->Commands(), expected);
    const std::vector<SimLogEntry> log = m_sim->Log();
    for (size_t i = 1; i < log.size(); ++i)
        EXPECT_LE(log[i - 1].time, log[i].time);
    EXPECT_FALSE(m_sim->WaitForCommands(7, 50ms));
}

TEST_F(ModuleSimTest, SendRawArrivesAsIs)
{
    const std::string strRaw("OK\r\n\r\n+NAME:late\r\n\x00\xff", 21);
    m_sim->SendRaw(strRaw);
    ASSERT_TRUE(m_got.WaitUntil([&] { return m_got.strBytes.size() >= strRaw.size(); }));
    EXPECT_EQ(m_got.strBytes, strRaw);
}

TEST_F(ModuleSimTest, HangUpAfterCommandsIsADisconnectAndReconnectOpensAgain)
{
    char achTemplate[] = "/tmp/kestrel-sim-test-XXXXXX";
    ASSERT_NE(mkdtemp(achTemplate), nullptr);
    const std::string strLink = std::string(achTemplate) + "/module";
    SimOptions options;
    options.strLinkPath = strLink;
    options.nHangUpAfter = 2;
    StartWith(options);
    EXPECT_EQ(m_sim->DevicePath(), strLink);
    EXPECT_EQ(Exchange("AT"), "\r\nOK\r\n");
    EXPECT_EQ(Exchange("AT+BIND?"), "\r\n+BIND:0\r\n\r\nOK\r\n");
    ASSERT_TRUE(m_got.WaitUntil([&] { return m_got.nDisconnects > 0; }));
    EXPECT_EQ(m_got.nDisconnects, 1);
    EXPECT_FALSE(m_link.IsOpen());
    EXPECT_EQ(m_link.Write("AT\r\n", 4), 0u);
    ASSERT_TRUE(m_sim->Reconnect());
    ASSERT_TRUE(m_link.Open(strLink)) << "errno " << m_link.LastOpenError();
    EXPECT_EQ(Exchange("AT"), "\r\nOK\r\n");
    m_link.Close();
    m_sim->Stop();
    EXPECT_NE(access(strLink.c_str(), F_OK), 0) << "the simulator left its link behind";
    rmdir(achTemplate);
}

TEST_F(ModuleSimTest, HangUpOnRequestIsSeenByTheLink)
{
    m_sim->HangUp();
    ASSERT_TRUE(m_got.WaitUntil([&] { return m_got.nDisconnects > 0; }));
    EXPECT_FALSE(m_link.IsOpen());
    ASSERT_TRUE(m_sim->Reconnect());
    ASSERT_TRUE(m_link.Open(m_sim->DevicePath()));
    EXPECT_EQ(Exchange("AT"), "\r\nOK\r\n");
}

} // namespace

// True when a framed "OK" is among the bytes, in either case.
bool HoldsFramedOk(std::string strBytes)
{
    for (char &ch : strBytes)
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return strBytes.find("\r\nOK\r\n") != std::string::npos;
}

// The module answers only at its rate, read from the pty the link set up; at any other rate it
// answers noise that never holds a framed "OK", whichever rate the link moves to while open.
TEST_F(ModuleSimTest, AnswersOnlyAtItsLineRate)
{
    const struct
    {
        uint32_t nSimRate;
        uint32_t nLinkRate;
        bool bAnswers;
    } kCases[] = {
        {38400, 38400, true},  {38400, 9600, false},     {9600, 9600, true},
        {9600, 115200, false}, {1382400, 1382400, true}, {1382400, 921600, false},
        {1200, 1200, true},    {0, 460800, true},        {57600, 1382400, false},
    };
    for (const auto &c : kCases) {
        SimOptions options;
        options.nAtRate = c.nSimRate;
        m_sim->SetOptions(options);
        ASSERT_TRUE(m_link.SetLineRate(c.nLinkRate)) << c.nLinkRate;
        for (int nTry = 0; nTry < 5; ++nTry) {
            const std::string strGot = Exchange("AT", "K\r\n", c.bAnswers ? kWait : 60ms);
            EXPECT_EQ(HoldsFramedOk(strGot), c.bAnswers) << c.nSimRate << " at " << c.nLinkRate;
            EXPECT_FALSE(strGot.empty());
            if (c.bAnswers)
                break;
        }
    }
    // Commands at a wrong rate were never understood.
    EXPECT_EQ(m_sim->Commands(), std::vector<std::string>(5, "AT\r\n"));
}
