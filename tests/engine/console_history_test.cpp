// The console's recalled commands: shell-like navigation and the round trip through a profile.

#include "EngineTestSupport.h"
#include "engine/ConsoleHistory.h"
#include "tests/support/MemoryProfile.h"

#include <gtest/gtest.h>
#include <map>
#include <string>

namespace {

CConsoleHistory HistoryOf(std::initializer_list<const char *> commands)
{
    CConsoleHistory history;
    for (const char *pszCommand : commands)
        history.Add(pszCommand);
    return history;
}

using Entries = std::vector<std::string>;

} // namespace

TEST(ConsoleHistory, KeepsTheLastHundredDistinctNewestLast)
{
    CConsoleHistory history = HistoryOf({"AT", "AT+NAME?", "AT+ROLE?", "AT", ""});
    EXPECT_EQ(history.Entries(), (Entries{"AT+NAME?", "AT+ROLE?", "AT"}));
    for (int i = 0; i < 150; ++i)
        history.Add("AT+N" + std::to_string(i));
    ASSERT_EQ(history.Entries().size(), CConsoleHistory::kMaxEntries);
    EXPECT_EQ(history.Entries().front(), "AT+N50");
    EXPECT_EQ(history.Entries().back(), "AT+N149");
}

// Each step: 'U' Up with the field's text, 'D' Down, 'A' adding the field's text; what the field
// shows after it ("-" when the step gives nothing and the field keeps its text).
TEST(ConsoleHistory, UpAndDownWalkLikeAShell)
{
    const struct
    {
        const char *pszCase;
        std::initializer_list<const char *> history;
        const char *pszSteps;
        std::vector<std::string> shown;
    } kCases[] = {
        {"EmptyHistory", {}, "UD", {"-", "-"}},
        {"UpToTheOldestAndStay", {"A", "B", "C"}, "UUUUD", {"C", "B", "A", "-", "B"}},
        {"DownBackToTheDraft", {"A", "B"}, "UUDDD", {"B", "A", "B", "draft", "-"}},
        {"DownWithoutUpDoesNothing", {"A"}, "D", {"-"}},
        {"AddEndsTheRecall", {"A", "B"}, "UUAU", {"B", "A", "A", "A"}},
    };
    for (const auto &c : kCases) {
        CConsoleHistory history = HistoryOf(c.history);
        std::string strField = "draft";
        std::vector<std::string> shown;
        for (const char *pStep = c.pszSteps; *pStep; ++pStep) {
            std::optional<std::string> strGot;
            if (*pStep == 'U')
                strGot = history.Up(strField);
            else if (*pStep == 'D')
                strGot = history.Down();
            else
                history.Add(strField), strGot = strField;
            if (strGot)
                strField = *strGot;
            shown.push_back(strGot ? *strGot : "-");
        }
        EXPECT_EQ(shown, c.shown) << c.pszCase;
    }
}

TEST(ConsoleHistory, RoundTripsThroughTheProfileWithTheEnding)
{
    for (const bool bTrims : {false, true}) {
        CMemoryProfile profile;
        profile.m_bTrimsLikeWindows = bTrims;
        CConsoleHistory saved =
            HistoryOf({"AT+NAME=模块", R"(AT\r\x41)", "\"AT\"", "AT+NAME=\"x\"", " AT ", "AT"});
        saved.SetLineEnding(EConsoleEol::Lf);
        saved.Save(profile);
        CConsoleHistory loaded;
        loaded.Load(profile);
        EXPECT_EQ(loaded.LineEnding(), EConsoleEol::Lf);
        ASSERT_EQ(loaded.Entries().size(), saved.Entries().size()) << bTrims;
        // Whatever the profile trims, each entry sends what it sent before.
        for (size_t i = 0; i < saved.Entries().size(); ++i)
            EXPECT_EQ(BuildConsoleCommand(loaded.Entries()[i], EConsoleEol::None).strBytes,
                      BuildConsoleCommand(saved.Entries()[i], EConsoleEol::None).strBytes)
                << saved.Entries()[i] << (bTrims ? " trimmed" : "");
        EXPECT_EQ(loaded.Entries()[0], "AT+NAME=模块");
        EXPECT_EQ(loaded.Entries()[3], "AT+NAME=\"x\""); // no enclosing quotes: kept as typed
        // Fewer entries later: the old keys go.
        HistoryOf({"AT"}).Save(profile);
        loaded.Load(profile);
        EXPECT_EQ(loaded.Entries(), Entries{"AT"});
        EXPECT_EQ(loaded.LineEnding(), EConsoleEol::CrLf);
    }
}

TEST(ConsoleHistory, JunkInTheProfileLoadsWithoutHarm)
{
    CMemoryProfile profile;
    auto put = [&](const std::string &strKey, const std::string &strValue) {
        profile.WriteString("Console", strKey, strValue);
    };
    put("Command1", "AT+NEWEST");
    put("Command3", "AT+GAP"); // Command2 missing
    put("Command4", std::string(500, 'A'));
    put("Command5", "AT\\q");
    put("Command6", "");
    put("Command7", "AT+NEWEST"); // an older copy
    put("Command8", "A\tB");
    for (int i = 9; i <= 150; ++i)
        put("Command" + std::to_string(i), "AT+OLD" + std::to_string(i));
    put("LineEnding", "sideways");
    CConsoleHistory history;
    history.Load(profile);
    ASSERT_EQ(history.Entries().size(), 94u); // 1, 3 and 9 to 100
    EXPECT_EQ(history.Entries().back(), "AT+NEWEST");
    EXPECT_EQ(history.Entries()[history.Entries().size() - 2], "AT+GAP");
    EXPECT_EQ(history.Entries().front(), "AT+OLD100");
    EXPECT_EQ(history.LineEnding(), kDefaultConsoleEol);
    EXPECT_EQ(history.Up(""), "AT+NEWEST");
}

// A window keeps a command for recall only when it went out: not on a closed port, not while a
// command still waits.
TEST(ConsoleHistory, KeepsOnlyWhatWentOut)
{
    CTestEngine engine;
    CMemoryProfile profile;
    CConsoleHistory history;
    engine.m_fnModule = [](const std::string &) { return std::string(); }; // answers nothing
    engine.m_bPortOpen = false;
    EXPECT_FALSE(engine->SendConsoleCommand("AT", "AT\r\n", history, profile));
    engine.m_bPortOpen = true;
    EXPECT_TRUE(engine->SendConsoleCommand("AT+NAME?", "AT+NAME?\r\n", history, profile));
    EXPECT_FALSE(engine->SendConsoleCommand("AT+ROLE?", "AT+ROLE?\r\n", history, profile));
    EXPECT_EQ(engine.m_written, std::vector<std::string>{"AT+NAME?\r\n"});
    EXPECT_EQ(history.Entries(), Entries{"AT+NAME?"});
    CConsoleHistory loaded;
    loaded.Load(profile);
    EXPECT_EQ(loaded.Entries(), Entries{"AT+NAME?"});
}
