// The port dialog's rules in both flavours: what is listed and preselected from a kept profile,
// and what a choice opens and keeps.

#include "serial/PortChoice.h"
#include "tests/support/MemoryProfile.h"

#include <gtest/gtest.h>
#include <map>
#include <utility>

namespace {

const std::string kSection = "Settings"; // where the port's settings are kept
constexpr auto kWin = EPortFlavour::Windows;
constexpr auto kPosix = EPortFlavour::Posix;
const std::string kById = "/dev/serial/by-id/usb-FTDI_FT232R_A1-if00-port0";

const std::vector<CSerialPortEntry> kWindowsPorts = {{"COM51", "USB-SERIAL CH340 (COM51)"},
                                                     {"COM7", "Prolific (COM7)"},
                                                     {"COM3", "\\Device\\Serial0"}};
const std::vector<CSerialPortEntry> kPosixPorts = {
    {"/dev/ttyS0", ""}, {"/dev/ttyUSB0", "CP2102"}, {"/dev/ttyUSB1", "FT232R", {}, {}, {}, kById}};

struct CListCase
{
    const char *pName;
    EPortFlavour eFlavour;
    std::vector<CSerialPortEntry> ports;
    std::map<std::string, std::string> profile;
    std::string strPreferred;
    size_t nCount;
    std::string strSelected;
    std::vector<std::pair<int, std::string>> entriesAt; // index (negative: from the end), text
};

const CListCase kListCases[] = {
    {"WinFirstRunOffersComOneToFifty", kWin, {}, {}, "", 50, "COM1", {{0, "COM1"}, {-1, "COM50"}}},
    {"WinSystemPortsByNumberWithNames",
     kWin,
     kWindowsPorts,
     {},
     "",
     51,
     "COM1",
     {{2, "COM3"}, {6, "COM7  Prolific (COM7)"}, {-1, "COM51  USB-SERIAL CH340 (COM51)"}}},
    {"WinSavedIndex", kWin, kWindowsPorts, {{"PortNum", "11"}}, "", 51, "COM12", {}},
    {"WinIndexPastTheFixedListFallsBack", kWin, {}, {{"PortNum", "50"}}, "", 50, "COM1", {}},
    {"WinNegativeIndexFallsBack", kWin, {}, {{"PortNum", "-1"}}, "", 50, "COM1", {}},
    {"WinSavedNameWinsOverIndex",
     kWin,
     kWindowsPorts,
     {{"PortNum", "3"}, {"PortName", "com51"}},
     "",
     51,
     "COM51  USB-SERIAL CH340 (COM51)",
     {}},
    {"WinAbsentNameOfferedInNumberOrder",
     kWin,
     {{"COM70", "Bluetooth (COM70)"}},
     {{"PortName", "COM60"}},
     "",
     52,
     "COM60",
     {{50, "COM60"}, {51, "COM70  Bluetooth (COM70)"}}},
    {"WinTypedNameOfferedLast",
     kWin,
     kWindowsPorts,
     {{"PortName", "\\\\.\\CNCA0"}},
     "",
     52,
     "\\\\.\\CNCA0",
     {{-1, "\\\\.\\CNCA0"}}},
    {"PosixDevicesWithDescriptions",
     kPosix,
     kPosixPorts,
     {},
     "",
     3,
     "/dev/ttyS0",
     {{1, "/dev/ttyUSB0  CP2102"}, {2, "/dev/ttyUSB1  FT232R"}}},
    {"PosixSimulatedFirstWhateverIsKept",
     kPosix,
     {{"/dev/pts/42", ""}, {"/dev/ttyUSB0", "CP2102"}},
     {{"PortName", "/dev/ttyUSB0"}, {"PortNum", "1"}},
     "/dev/pts/42",
     2,
     "/dev/pts/42  Simulated",
     {}},
    {"PosixSavedIndex", kPosix, kPosixPorts, {{"PortNum", "1"}}, "", 3, "/dev/ttyUSB0  CP2102", {}},
    {"PosixIndexPastTheListFallsBack",
     kPosix,
     kPosixPorts,
     {{"PortNum", "3"}},
     "",
     3,
     "/dev/ttyS0",
     {}},
    {"PosixSavedPathWinsOverIndex",
     kPosix,
     kPosixPorts,
     {{"PortNum", "0"}, {"PortName", "/dev/ttyUSB0"}},
     "",
     3,
     "/dev/ttyUSB0  CP2102",
     {}},
    {"PosixAbsentPathOfferedAgain",
     kPosix,
     kPosixPorts,
     {{"PortName", "/dev/ttyACM3"}},
     "",
     4,
     "/dev/ttyACM3",
     {{-1, "/dev/ttyACM3"}}},
    // Two devices fill the list's room: the offered entry makes it grow.
    {"PosixAbsentPathOfferedAgainWhenTheListGrows",
     kPosix,
     {{"/dev/ttyUSB0", "CP2102"}, {"/dev/ttyACM0", ""}},
     {{"PortName", "/dev/ttyUSB1"}},
     "",
     3,
     "/dev/ttyUSB1",
     {{-1, "/dev/ttyUSB1"}}},
    {"PosixRawPseudoTerminalNeverKept",
     kPosix,
     kPosixPorts,
     {{"PortNum", "2"}, {"PortName", "/dev/pts/9"}},
     "",
     3,
     "/dev/ttyUSB1  FT232R",
     {}},
    {"PosixByIdNameFindsTheAdapter",
     kPosix,
     kPosixPorts,
     {{"PortName", kById}},
     "",
     3,
     "/dev/ttyUSB1  FT232R",
     {}},
    {"PosixKeptNodeFindsTheAdapter",
     kPosix,
     kPosixPorts,
     {{"PortName", "/dev/ttyUSB1"}},
     "",
     3,
     "/dev/ttyUSB1  FT232R",
     {}},
    {"PosixNoDevices", kPosix, {}, {}, "", 0, "", {}},
};

class PortListTest : public testing::TestWithParam<CListCase>
{
};

TEST_P(PortListTest, ListsAndPreselects)
{
    const CListCase &c = GetParam();
    CMemoryProfile profile(kSection, c.profile);
    const CPortChoice choice(c.eFlavour, c.ports, profile, {c.strPreferred, "Simulated"});
    const std::vector<CPortChoiceEntry> &entries = choice.Entries();
    ASSERT_EQ(entries.size(), c.nCount);
    const int nSelected = choice.Selected();
    EXPECT_EQ(nSelected >= 0 ? entries[static_cast<size_t>(nSelected)].strText : "", c.strSelected);
    for (const auto &[nAt, strText] : c.entriesAt) {
        const int nIndex = nAt >= 0 ? nAt : static_cast<int>(entries.size()) + nAt;
        EXPECT_EQ(entries[static_cast<size_t>(nIndex)].strText, strText) << "entry " << nIndex;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, PortListTest, testing::ValuesIn(kListCases),
                         [](const auto &info) { return info.param.pName; });

struct CChooseCase
{
    const char *pName;
    EPortFlavour eFlavour;
    std::string strBoxText;
    std::string strOpens; // empty: refused
    int nPortNum;
    std::string strPortName; // empty: not kept
};

const CChooseCase kChooseCases[] = {
    {"WinListedPort", kWin, "COM7  Prolific (COM7)", "\\\\.\\COM7", 6, ""},
    {"WinTypedInLowerCase", kWin, " com12 ", "\\\\.\\COM12", 11, ""},
    {"WinTypedPastFifty", kWin, "\\\\.\\COM51", "\\\\.\\COM51", 0, "COM51"},
    {"WinListedPastFifty", kWin, "COM51  USB-SERIAL CH340 (COM51)", "\\\\.\\COM51", 0, "COM51"},
    {"WinOtherNameAsTyped", kWin, "\\\\.\\CNCA0", "\\\\.\\CNCA0", 0, "\\\\.\\CNCA0"},
    {"WinComZeroIsJustAName", kWin, "COM0", "COM0", 0, "COM0"},
    {"WinBlankIsRefused", kWin, "  \t ", "", 0, ""},
    {"PosixListedPort", kPosix, "/dev/ttyUSB0  CP2102", "/dev/ttyUSB0", 1, "/dev/ttyUSB0"},
    {"PosixListedAdapterByItsId", kPosix, "/dev/ttyUSB1  FT232R", kById, 2, kById},
    {"PosixTypedWithADescription", kPosix, "/dev/ttyUSB0  anything", "/dev/ttyUSB0", 1,
     "/dev/ttyUSB0"},
    {"PosixTypedOtherCaseOpensAsTyped", kPosix, "/dev/ttyusb0", "/dev/ttyusb0", 0, "/dev/ttyusb0"},
    {"PosixRawPseudoTerminalServesThisRun", kPosix, "/dev/./pts/77", "/dev/./pts/77", 0, ""},
    {"PosixLinkToAPseudoTerminalIsKept", kPosix, "/tmp/kestrel-sim-link", "/tmp/kestrel-sim-link",
     0, "/tmp/kestrel-sim-link"},
    {"PosixEmptyIsRefused", kPosix, "", "", 0, ""},
};

class PortChooseTest : public testing::TestWithParam<CChooseCase>
{
};

TEST_P(PortChooseTest, OpensAndKeeps)
{
    const CChooseCase &c = GetParam();
    CMemoryProfile profile(kSection, {{"PortName", "/dev/ttyACM9"}, {"PortNum", "1"}});
    const CPortChoice choice(c.eFlavour, c.eFlavour == kWin ? kWindowsPorts : kPosixPorts, profile);
    const std::optional<CPortChosen> chosen = choice.Choose(c.strBoxText, 0, 9600);
    ASSERT_EQ(chosen.has_value(), !c.strOpens.empty());
    if (!chosen)
        return;
    EXPECT_EQ(chosen->strPath, c.strOpens);
    EXPECT_EQ(chosen->settings.m_nPortNum, c.nPortNum);
    EXPECT_EQ(chosen->settings.m_strPortName, c.strPortName);

    // Saved, it is what the next start preselects; a port not kept leaves no name behind.
    chosen->settings.Save(profile);
    EXPECT_EQ(profile.m_values.count(kSection + "/PortName"), c.strPortName.empty() ? 0u : 1u);
    const CPortChoice next(c.eFlavour, c.eFlavour == kWin ? kWindowsPorts : kPosixPorts, profile);
    ASSERT_GE(next.Selected(), 0);
    if (c.strPortName.empty())
        EXPECT_EQ(next.Selected(), c.nPortNum);
    else
        EXPECT_EQ(next.Entries()[static_cast<size_t>(next.Selected())].strPath, c.strOpens);
}

INSTANTIATE_TEST_SUITE_P(Cases, PortChooseTest, testing::ValuesIn(kChooseCases),
                         [](const auto &info) { return info.param.pName; });

// Flow, rate, DTR and RTS: the line as chosen, with what the profile alone decides.
TEST(PortChoiceLine, FlowRateAndModemLines)
{
    const struct
    {
        int nFlowIndex;
        uint32_t nRate;
        const char *pDtr;
        uint8_t nFlow;
        int nSavedFlow;
        uint32_t nLineRate;
        bool bDtr;
    } kCases[] = {
        {1, kAutoLineRate, "0", FLOW_HARDWARE, 1, kAutoLineRate, false},
        {0, 1382400, "1", FLOW_NONE, 0, 1382400, true},
        {5, 14400, "junk", FLOW_NONE, 0, kDefaultLineRate, true},
    };
    for (const auto &c : kCases) {
        CMemoryProfile profile(kSection, {{"Dtr", c.pDtr}, {"Rts", "0"}});
        const CPortChoice choice(kPosix, kPosixPorts, profile);
        const std::optional<CPortChosen> chosen =
            choice.Choose("/dev/ttyS0", c.nFlowIndex, c.nRate);
        ASSERT_TRUE(chosen);
        EXPECT_EQ(chosen->line.nFlow, c.nFlow);
        EXPECT_EQ(chosen->settings.m_nFlow, c.nSavedFlow);
        EXPECT_EQ(chosen->line.nRate, c.nLineRate);
        EXPECT_EQ(chosen->settings.m_nBaud, static_cast<int>(c.nLineRate));
        EXPECT_EQ(chosen->line.bDtr, c.bDtr);
        EXPECT_FALSE(chosen->line.bRts);
    }
}

} // namespace
