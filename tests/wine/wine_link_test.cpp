// The Win32 link and kestrel-cli.exe under Wine against the simulated module on this (Linux)
// side. Wine reaches the module as COM7: $WINEPREFIX/dosdevices/com7 is the simulator's symlink
// to its pseudo-terminal. link_probe.exe reports what the link does; the module's log and state
// tell what reached it.

#include "WineProcess.h"
#include "sim/ModuleSim.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <nlohmann/json.hpp>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

constexpr auto kLineWait = 20s; // a cold Wine start can take seconds on a loaded machine
const std::string kWinBuild = KESTREL_WINE_BUILD;
const std::string kProbe = kWinBuild + "/tests/link_probe.exe";
const std::string kCli = kWinBuild + "/cli/kestrel-cli.exe";

std::string Hex(const std::string &strBytes)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string strHex;
    for (unsigned char ch : strBytes) {
        strHex += kDigits[ch >> 4];
        strHex += kDigits[ch & 15];
    }
    return strHex;
}

// Windows programs end their lines with CR LF.
std::string Unix(std::string strText)
{
    std::erase(strText, '\r');
    return strText;
}

std::vector<std::string> QueryCommands()
{
    return {"AT\r\n",        "AT+NAME?\r\n",     "AT+VERSION?\r\n",  "AT+CLASS?\r\n",
            "AT+ROLE?\r\n",  "AT+BIND?\r\n",     "AT+AUTH?\r\n",     "AT+PASSWORD?\r\n",
            "AT+BAUD?\r\n",  "AT+UARTMODE?\r\n", "AT+SCANTIME?\r\n", "AT+SNIFF?\r\n",
            "AT+LADDR?\r\n", "AT+RADDR?\r\n"};
}

// Every case has its own module on COM7.
class CWineLinkTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const char *pszPrefix = std::getenv("WINEPREFIX");
        ASSERT_TRUE(pszPrefix != nullptr) << "WINEPREFIX must name the prepared Wine prefix";
        StartSim({});
    }

    void StartSim(SimOptions options)
    {
        options.strLinkPath = std::string(std::getenv("WINEPREFIX")) + "/dosdevices/com7";
        m_pSim.reset();
        m_pSim = std::make_unique<CModuleSim>(options);
        ASSERT_TRUE(m_pSim->Start());
    }

    // Starts the probe on COM7 and waits until it opened the port.
    void StartProbe(CWineProcess &probe, const std::vector<std::string> &args)
    {
        std::vector<std::string> all{args.front(), "COM7"};
        all.insert(all.end(), args.begin() + 1, args.end());
        ASSERT_TRUE(probe.Start(kProbe, all));
        ASSERT_EQ(probe.WaitFor("open", kLineWait), "1") << probe.Errors();
    }

    std::unique_ptr<CModuleSim> m_pSim;
};

TEST_F(CWineLinkTest, OpensWritesAndReceivesTheReply)
{
    CWineProcess probe;
    StartProbe(probe, {"exchange"});
    EXPECT_EQ(probe.WaitFor("write", kLineWait), "10");
    EXPECT_EQ(probe.WaitFor("received", kLineWait),
              Hex("\r\n+NAME:" + m_pSim->State().strName + "\r\n\r\nOK\r\n"));
    EXPECT_EQ(probe.Finish(kLineWait), 0);
    EXPECT_EQ(m_pSim->Commands(), std::vector<std::string>{"AT+NAME?\r\n"});
}

struct CLineCase
{
    const char *pszWhat;
    std::vector<std::string> args; // baud, parity code, stop-bits code, flow mode
    speed_t speed;
    tcflag_t cflagSet; // of CSIZE, CSTOPB, CRTSCTS
    tcflag_t iflagSet; // of IXON, IXOFF
};

// What Open asked for is what the terminal under the COM port got, and the line is raw. (Parity
// cannot be seen here: Linux keeps a pseudo-terminal at eight bits without parity.)
TEST_F(CWineLinkTest, OpenConfiguresTheLine)
{
    constexpr tcflag_t kCflags = CSIZE | CSTOPB | CRTSCTS;
    const CLineCase cases[] = {
        {"the module's line", {"9600", "0", "0", "0"}, B9600, CS8, 0},
        {"hardware flow", {"9600", "0", "0", "1"}, B9600, CS8 | CRTSCTS, 0},
        {"two stop bits", {"115200", "0", "2", "0"}, B115200, CS8 | CSTOPB, 0},
        {"software flow", {"57600", "0", "0", "2"}, B57600, CS8, IXON | IXOFF},
    };
    for (const CLineCase &c : cases) {
        CWineProcess probe;
        std::vector<std::string> args{"settings"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        StartProbe(probe, args);
        ASSERT_TRUE(probe.WaitFor("ready", kLineWait)) << c.pszWhat;
        const int hTty = open(m_pSim->PtyPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(hTty, 0) << c.pszWhat;
        termios tio{};
        ASSERT_EQ(tcgetattr(hTty, &tio), 0);
        close(hTty);
        EXPECT_EQ(cfgetospeed(&tio), c.speed) << c.pszWhat;
        EXPECT_EQ(tio.c_cflag & kCflags, c.cflagSet) << c.pszWhat;
        EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), c.iflagSet) << c.pszWhat;
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u) << c.pszWhat;
        EXPECT_EQ(tio.c_iflag & (ICRNL | INLCR | IGNCR), 0u) << c.pszWhat;
        EXPECT_EQ(probe.Finish(kLineWait), 0) << c.pszWhat;
    }
}

// More than one chunk's worth at once, every byte value: all of it arrives, unchanged, in
// chunks of at most 1024 bytes, none left behind in the driver.
TEST_F(CWineLinkTest, BurstArrivesWholeInChunksOfAtMost1024)
{
    std::string strBurst;
    for (int i = 0; i < 3000; ++i)
        strBurst += static_cast<char>(i % 251);
    CWineProcess probe;
    StartProbe(probe, {"chunks", std::to_string(strBurst.size())});
    ASSERT_TRUE(probe.WaitFor("ready", kLineWait));
    m_pSim->SendRaw(strBurst);
    const std::optional<std::string> chunks = probe.WaitFor("chunks", kLineWait);
    ASSERT_TRUE(chunks);
    size_t nTotal = 0;
    size_t nCount = 0;
    for (size_t nStart = 0; nStart < chunks->size(); ++nCount) {
        const size_t nEnd = std::min(chunks->find(',', nStart), chunks->size());
        const size_t nSize = std::stoul(chunks->substr(nStart, nEnd - nStart));
        EXPECT_LE(nSize, 1024u);
        nTotal += nSize;
        nStart = nEnd + 1;
    }
    EXPECT_EQ(nTotal, strBurst.size()) << *chunks;
    EXPECT_GE(nCount, 3u);
    EXPECT_EQ(probe.WaitFor("contract", kLineWait), "kept");
    EXPECT_EQ(probe.WaitFor("received", kLineWait), Hex(strBurst));
}

// One Kestrel per port, Wine included: a second link in the same process is refused, and so is
// kestrel-cli.exe in another, which then sends nothing.
TEST_F(CWineLinkTest, SecondOpenOfTheSamePortIsRefused)
{
    CWineProcess probe;
    StartProbe(probe, {"busy"});
    EXPECT_EQ(probe.WaitFor("open", kLineWait), "0 " + std::to_string(EBUSY));
    ASSERT_TRUE(probe.WaitFor("ready", kLineWait));
    const CWineRun busy = RunUnderWine(kCli, {"query", "--port", "COM7"});
    EXPECT_EQ(busy.nExitCode, 3);
    EXPECT_NE(busy.strErr.find("busy"), std::string::npos) << busy.strErr;
    EXPECT_EQ(probe.Finish(kLineWait), 0);
    EXPECT_TRUE(m_pSim->Commands().empty());
}

// Close ends the idle reader (no byte will come to wake it), twice does no harm, a closed link
// moves nothing, and a new Open works as the first did.
TEST_F(CWineLinkTest, CloseTwiceThenReopen)
{
    CWineProcess probe;
    StartProbe(probe, {"close-twice"});
    EXPECT_EQ(probe.WaitFor("close", kLineWait), "1");
    EXPECT_EQ(probe.WaitFor("close", kLineWait), "1");
    EXPECT_EQ(probe.WaitFor("isopen", kLineWait), "0");
    EXPECT_EQ(probe.WaitFor("write", kLineWait), "0");
    EXPECT_EQ(probe.WaitFor("read", kLineWait), "-1");
    EXPECT_EQ(probe.WaitFor("open", kLineWait), "1");
    EXPECT_EQ(probe.WaitFor("write", kLineWait), "10");
    EXPECT_EQ(probe.WaitFor("received", kLineWait),
              Hex("\r\n+NAME:" + m_pSim->State().strName + "\r\n\r\nOK\r\n"));
    EXPECT_EQ(probe.Finish(kLineWait), 0);
}

// Close returns while bytes keep coming, and nothing is delivered after it returned.
TEST_F(CWineLinkTest, CloseWhileBytesArrive)
{
    CWineProcess probe;
    StartProbe(probe, {"close-while-arriving"});
    ASSERT_TRUE(probe.WaitFor("ready", kLineWait));
    std::atomic<bool> bSending{true};
    std::thread sender([&] {
        while (bSending.load()) {
            m_pSim->SendRaw(std::string(64, 'x'));
            std::this_thread::sleep_for(5ms);
        }
    });
    const std::optional<std::string> closed = probe.WaitFor("closed", kLineWait);
    const std::optional<std::string> after = probe.WaitFor("after", kLineWait);
    const std::optional<std::string> open = probe.WaitFor("isopen", kLineWait);
    bSending = false;
    sender.join();
    EXPECT_EQ(closed, "1") << "Close did not return";
    EXPECT_EQ(after, "0");
    EXPECT_EQ(open, "0");
    EXPECT_EQ(probe.Finish(kLineWait), 0);
}

// The line hung up (adapter pulled): the reader ends, the owner is told once, the link is closed.
TEST_F(CWineLinkTest, HangUpEndsTheReaderAndIsReported)
{
    CWineProcess probe;
    StartProbe(probe, {"hangup"});
    ASSERT_TRUE(probe.WaitFor("ready", kLineWait));
    m_pSim->HangUp();
    EXPECT_EQ(probe.WaitFor("disconnects", kLineWait), "1");
    EXPECT_EQ(probe.WaitFor("isopen", kLineWait), "0");
    EXPECT_EQ(probe.Finish(kLineWait), 0);
}

TEST_F(CWineLinkTest, CliQueryPrintsTheModuleStateAsTextAndJson)
{
    SimState state;
    state.strName = "Lab Rig 7";
    state.nRole = 1;
    state.nBaud = 115200;
    state.nParity = 2;
    state.aSniff[0] = 800;
    state.strBindAddr = "0012AB34CD56";
    m_pSim->SetState(state);
    const CWineRun text = RunUnderWine(kCli, {"query", "--port", "COM7"});
    ASSERT_EQ(text.nExitCode, 0) << text.strErr;
    for (const char *pszLine :
         {"name: Lab Rig 7\n", "baud: 115200\n", "parity: even\n", "role: master\n",
          "sniff.max: 800\n", "bind_address: 0012AB34CD56\n", "local_address: 00158300A1B2\n"})
        EXPECT_NE(Unix(text.strOut).find(pszLine), std::string::npos) << pszLine << text.strOut;
    EXPECT_EQ(m_pSim->Commands(), QueryCommands());

    // The device path form, and JSON in UTF-8 whatever the console's code page.
    const CWineRun json = RunUnderWine(kCli, {"query", "--json", "--port", "\\\\.\\COM7"});
    ASSERT_EQ(json.nExitCode, 0) << json.strErr;
    const nlohmann::json root = nlohmann::json::parse(json.strOut, nullptr, false);
    ASSERT_FALSE(root.is_discarded()) << json.strOut;
    EXPECT_EQ(root["status"], "查询完成");
    EXPECT_EQ(root["params"]["name"], state.strName);
    EXPECT_EQ(root["params"]["password"], state.strPassword);
    EXPECT_EQ(root["params"]["baud"], state.nBaud);
    EXPECT_EQ(root["params"]["role"], "master");
    EXPECT_EQ(root["params"]["sniff"]["max"], state.aSniff[0]);
    EXPECT_EQ(root["params"]["bind_address"], state.strBindAddr);
}

// Wine's SetCommState reaches the pseudo-terminal's settings, so the simulated module answering
// only at 38400 is found by the probe and read at the rate found.
TEST_F(CWineLinkTest, CliProbeFindsTheModulesLineRate)
{
    SimOptions options;
    options.nAtRate = 38400;
    StartSim(options);
    const CWineRun probe = RunUnderWine(kCli, {"probe", "--port", "COM7"});
    ASSERT_EQ(probe.nExitCode, 0) << probe.strErr;
    EXPECT_EQ(Unix(probe.strOut), "38400\n");

    m_pSim->ClearLog();
    const CWineRun query = RunUnderWine(kCli, {"query", "--port", "COM7", "--line-rate", "auto"});
    ASSERT_EQ(query.nExitCode, 0) << query.strErr;
    EXPECT_NE(query.strErr.find("line rate 38400 (found by the probe)"), std::string::npos)
        << query.strErr;
    std::vector<std::string> wire{"AT\r\n", "AT\r\n"};
    for (const std::string &strCommand : QueryCommands())
        wire.push_back(strCommand);
    EXPECT_EQ(m_pSim->Commands(), wire);

    // Noise at every rate: the probe gives up, exit 1 with the checklist.
    options.nAtRate = 1000000;
    StartSim(options);
    const CWineRun none = RunUnderWine(kCli, {"probe", "--json", "--port", "COM7"});
    EXPECT_EQ(none.nExitCode, 1);
    EXPECT_NE(none.strErr.find("TX and RX are crossed"), std::string::npos) << none.strErr;
    const nlohmann::json root = nlohmann::json::parse(none.strOut, nullptr, false);
    ASSERT_FALSE(root.is_discarded()) << none.strOut;
    EXPECT_TRUE(root["line_rate"].is_null());
    EXPECT_EQ(root["port"], "COM7");
}

// The mapped port is listed, as an object of the JSON array, and opens by the name listed.
TEST_F(CWineLinkTest, CliPortsListsTheMappedPort)
{
    const CWineRun run = RunUnderWine(kCli, {"ports", "--json"});
    ASSERT_EQ(run.nExitCode, 0) << run.strErr;
    const nlohmann::json ports = nlohmann::json::parse(run.strOut, nullptr, false);
    ASSERT_TRUE(ports.is_array()) << run.strOut;
    std::string strListed;
    for (const nlohmann::json &port : ports) {
        ASSERT_TRUE(port.contains("description") && port.contains("usb_id") &&
                    port.contains("by_id"))
            << port.dump();
        if (port["path"] == "COM7")
            strListed = port["path"];
    }
    ASSERT_EQ(strListed, "COM7") << run.strOut;
    const CWineRun query = RunUnderWine(kCli, {"query", "--port", strListed});
    EXPECT_EQ(query.nExitCode, 0) << query.strErr;
}

TEST_F(CWineLinkTest, CliSetWritesExactlyTheChangedLines)
{
    const CWineRun run = RunUnderWine(kCli, {"set", "--port", "com7", "--name", "Office 1",
                                             "--role", "master", "--bind", "on", "--bind-addr",
                                             "0012AB34CD56", "--sniff", "800,80,8,8"});
    ASSERT_EQ(run.nExitCode, 0) << run.strErr;
    const std::vector<std::string> changed = {"AT+NAME=Office 1\r\n", "AT+ROLE=1\r\n",
                                              "AT+BIND=1\r\n", "AT+SNIFF=800,80,8,8\r\n",
                                              "AT+RADDR=0012AB34CD56\r\n"};
    std::vector<std::string> expected = QueryCommands();
    expected.insert(expected.end(), changed.begin(), changed.end());
    EXPECT_EQ(m_pSim->Commands(), expected);
    std::string strPrinted;
    for (const std::string &strLine : changed)
        strPrinted += strLine.substr(0, strLine.size() - 2) + "\n";
    EXPECT_EQ(Unix(run.strOut), strPrinted);

    SimState wanted;
    wanted.strName = "Office 1";
    wanted.nRole = 1;
    wanted.nBind = 1;
    wanted.strBindAddr = "0012AB34CD56";
    wanted.aSniff[0] = 800;
    wanted.aSniff[1] = 80;
    wanted.aSniff[2] = 8;
    wanted.aSniff[3] = 8;
    EXPECT_TRUE(m_pSim->State() == wanted);
}

// Arguments reach the program as UTF-16 and the module as GBK, not in the ANSI code page.
TEST_F(CWineLinkTest, CliSetSendsAChineseNameAsGbk)
{
    const CWineRun run = RunUnderWine(kCli, {"set", "--port", "COM7", "--name", "办公室"});
    ASSERT_EQ(run.nExitCode, 0) << run.strErr;
    const std::vector<std::string> commands = m_pSim->Commands();
    ASSERT_GT(commands.size(), QueryCommands().size());
    EXPECT_EQ(Hex(commands[QueryCommands().size()]), Hex("AT+NAME=\xb0\xec\xb9\xab\xca\xd2\r\n"));
    EXPECT_EQ(m_pSim->State().strName, "\xb0\xec\xb9\xab\xca\xd2");
}

TEST_F(CWineLinkTest, CliLosingThePortMidRunExitsWith1)
{
    SimOptions options;
    options.nHangUpAfter = 3;
    StartSim(options);
    const CWineRun run = RunUnderWine(kCli, {"query", "--port", "COM7", "--timer-scale", "0.1"});
    EXPECT_EQ(run.nExitCode, 1) << run.strErr;
    EXPECT_EQ(m_pSim->Commands().size(), 3u);
}

// A unit on a port given: its name from the template and its record in the ledger, which the
// Windows build locks and flushes its own way; plugged again, it is skipped.
TEST_F(CWineLinkTest, CliProvisionRecordsTheUnitAndSkipsItTheSecondTime)
{
    char achFolder[] = "/tmp/kestrel-wine-ledger-XXXXXX";
    ASSERT_NE(mkdtemp(achFolder), nullptr);
    const std::string strLedger = std::string(achFolder) + "/line.jsonl";
    const std::vector<std::string> args = {"provision",         "--port",         "COM7",
                                           "--ledger",          "Z:" + strLedger, "--name",
                                           "W-{addr:-4}-{n:02}"};
    const CWineRun first = RunUnderWine(kCli, args);
    const CWineRun second = RunUnderWine(kCli, args);
    std::ifstream file(strLedger);
    std::vector<nlohmann::json> units;
    for (std::string strLine; std::getline(file, strLine);) {
        const nlohmann::json record = nlohmann::json::parse(strLine);
        if (record["record"] == "unit")
            units.push_back(record);
    }
    std::filesystem::remove_all(achFolder);
    ASSERT_EQ(first.nExitCode, 0) << first.strErr;
    EXPECT_EQ(second.nExitCode, 0) << second.strErr;
    EXPECT_EQ(m_pSim->State().strName, "W-A1B2-01");
    ASSERT_EQ(units.size(), 2u);
    EXPECT_EQ(units[0]["result"], "passed");
    EXPECT_EQ(units[0]["counter"], 1);
    EXPECT_EQ(units[1]["result"], "skipped");
    EXPECT_NE(Unix(first.strOut).find("\"W-A1B2-01\"  PASS\n"), std::string::npos) << first.strOut;
}

struct CRefusal
{
    const char *pszWhat;
    std::vector<std::string> args;
    int nExitCode;
    const char *pszMessage;
};

// Ports that cannot be had exit with 3, texts the module cannot take with 2; each says why and
// nothing reaches the module.
TEST_F(CWineLinkTest, CliRefusalsSayWhyAndSendNothing)
{
    const CRefusal refusals[] = {
        {"no such port", {"query", "--port", "COM49"}, 3, "no such device"},
        {"no simulator on Windows", {"query", "--simulate"}, 3, "needs a Linux host"},
        {"name outside GBK", {"set", "--port", "COM7", "--name", "\xF0\x9F\x98\x80"}, 2, "--name"},
    };
    for (const CRefusal &refusal : refusals) {
        const CWineRun run = RunUnderWine(kCli, refusal.args);
        EXPECT_EQ(run.nExitCode, refusal.nExitCode) << refusal.pszWhat;
        EXPECT_NE(run.strErr.find(refusal.pszMessage), std::string::npos)
            << refusal.pszWhat << ": " << run.strErr;
    }
    EXPECT_TRUE(m_pSim->Commands().empty());
}

} // namespace
