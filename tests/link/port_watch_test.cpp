// The device watch over real symbolic links to pseudo-terminals, made and removed in a folder of
// the test's own: only names that match and lead to a device count, and every change is told.

#include "serial/PortWatch.h"
#include "tests/support/Pty.h"
#include "tests/support/TempFolder.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// What a failed comparison shows (found by GoogleTest beside the type).
void PrintTo(const CPortEvent &event, std::ostream *pOut)
{
    *pOut << (event.eChange == EPortChange::Appeared ? "appeared " : "gone ") << event.strPath;
}

namespace {

// Long enough for any loaded machine; a watch that works answers in well under a millisecond.
constexpr std::chrono::seconds kEventWait{10};

class PortWatchTest : public ::testing::Test
{
protected:
    void SetUp() override { fs::create_directories(m_folder / "rig"); }

    std::string Rig(const std::string &strName) const
    {
        return (m_folder / "rig" / strName).string();
    }
    void Link(const std::string &strTarget, const std::string &strName) const
    {
        fs::create_symlink(strTarget, Rig(strName));
    }
    CPortEvent Appeared(const std::string &strName) const
    {
        return {EPortChange::Appeared, Rig(strName)};
    }
    CPortEvent Gone(const std::string &strName) const { return {EPortChange::Gone, Rig(strName)}; }

    struct CStep
    {
        const char *pszCase;
        std::function<void()> act;
        std::vector<CPortEvent> events;
    };
    // Each step's changes are made before the wait: a name that must not count shows by not
    // being among the events the following name brings.
    static void Run(CPortWatch &watch, const std::vector<CStep> &steps)
    {
        for (const CStep &step : steps) {
            step.act();
            EXPECT_EQ(watch.Wait(kEventWait), step.events) << step.pszCase;
        }
    }

    const CTempFolder m_temp;
    const fs::path m_folder = m_temp.Path();
};

} // namespace

TEST_F(PortWatchTest, LinksToDevicesComeAndGo)
{
    CPty first, second, third;
    ASSERT_FALSE(third.Path().empty()) << "no pseudo-terminal";
    Link(first.Path(), "ttyUNIT0");
    CPortWatch watch;
    std::string strError;
    ASSERT_TRUE(watch.Start({Rig("ttyUNIT*"), {}}, strError)) << strError;
    EXPECT_EQ(watch.PresentAtStart(), std::vector<std::string>{Rig("ttyUNIT0")});

    Run(watch, {
                   {"a new link", [&] { Link(second.Path(), "ttyUNIT1"); }, {Appeared("ttyUNIT1")}},
                   {"another name, then a matching one",
                    [&] {
                        Link(second.Path(), "other1");
                        Link(second.Path(), "ttyUNIT2");
                    },
                    {Appeared("ttyUNIT2")}},
                   {"a dangling link, a link to a file, then a device",
                    [&] {
                        Link((m_folder / "none").string(), "ttyUNIT3");
                        std::ofstream((m_folder / "file").string()) << "x";
                        Link((m_folder / "file").string(), "ttyUNIT4");
                        Link(third.Path(), "ttyUNIT5");
                    },
                    {Appeared("ttyUNIT5")}},
                   {"a link removed", [&] { fs::remove(Rig("ttyUNIT1")); }, {Gone("ttyUNIT1")}},
                   {"a link moved away",
                    [&] { fs::rename(Rig("ttyUNIT5"), m_folder / "away"); },
                    {Gone("ttyUNIT5")}},
                   {"replugged faster than a look",
                    [&] {
                        fs::remove(Rig("ttyUNIT0"));
                        Link(first.Path(), "ttyUNIT0");
                    },
                    {Gone("ttyUNIT0"), Appeared("ttyUNIT0")}},
                   {"a link pointed at another device",
                    [&] {
                        Link(third.Path(), "next");
                        fs::rename(Rig("next"), Rig("ttyUNIT0"));
                    },
                    {Gone("ttyUNIT0"), Appeared("ttyUNIT0")}},
                   {"the device behind a link goes", [&] { second.Close(); }, {Gone("ttyUNIT2")}},
               });
    EXPECT_EQ(watch.Present(), std::vector<std::string>{Rig("ttyUNIT0")});
}

TEST_F(PortWatchTest, AFolderMadeLaterIsWatchedFromAbove)
{
    CPty pty;
    CPortWatch watch;
    std::string strError;
    ASSERT_TRUE(watch.Start({Rig("later/sub/ttyX*"), {}}, strError)) << strError;
    EXPECT_TRUE(watch.PresentAtStart().empty());
    Run(watch, {{"the folders, then a link",
                 [&] {
                     fs::create_directories(Rig("later/sub"));
                     Link(pty.Path(), "later/sub/ttyX1");
                 },
                 {Appeared("later/sub/ttyX1")}}});
}

TEST_F(PortWatchTest, TheSystemsDevicesAsTheKernelShowsThem)
{
    // A made-up /sys and /dev: a device counts once the kernel lists it and its node exists.
    const fs::path sys = m_folder / "sys" / "class" / "tty";
    const fs::path dev = m_folder / "dev";
    const auto plug = [&](const std::string &strName) {
        fs::create_directories(sys / strName / "device");
        std::ofstream((dev / strName).string()) << "";
    };
    fs::create_directories(dev);
    plug("ttyS0");
    CPortWatch watch;
    std::string strError;
    ASSERT_TRUE(watch.Start({"", {(m_folder / "sys").string(), dev.string()}}, strError))
        << strError;
    EXPECT_EQ(watch.PresentAtStart(), std::vector<std::string>{(dev / "ttyS0").string()});
    const auto event = [&](EPortChange eChange, const std::string &strName) {
        return CPortEvent{eChange, (dev / strName).string()};
    };
    Run(watch,
        {
            {"a USB adapter", [&] { plug("ttyUSB0"); }, {event(EPortChange::Appeared, "ttyUSB0")}},
            {"its by-id link in folders made later, then a second adapter",
             [&] {
                 fs::create_directories(dev / "serial" / "by-id");
                 fs::create_symlink("../../ttyUSB0", dev / "serial" / "by-id" / "usb-A");
                 plug("ttyUSB1");
             },
             {event(EPortChange::Appeared, "ttyUSB1")}},
            {"the node goes before the kernel's record",
             [&] { fs::remove(dev / "ttyUSB0"); },
             {event(EPortChange::Gone, "ttyUSB0")}},
        });
}

TEST_F(PortWatchTest, WakeAndStopEndAWait)
{
    CPortWatch watch;
    std::string strError;
    ASSERT_TRUE(watch.Start({Rig("ttyUNIT*"), {}}, strError)) << strError;
    const auto waitEnds = [&watch] {
        const auto start = std::chrono::steady_clock::now();
        const std::vector<CPortEvent> events = watch.Wait(60s);
        return events.empty() && std::chrono::steady_clock::now() - start < 60s;
    };
    watch.Wake(); // before the wait: not lost
    EXPECT_TRUE(waitEnds());
    EXPECT_FALSE(watch.Stopped());
    std::thread stopper([&watch] {
        std::this_thread::sleep_for(50ms);
        watch.Stop();
    });
    EXPECT_TRUE(waitEnds());
    stopper.join();
    EXPECT_TRUE(watch.Stopped());
    EXPECT_TRUE(waitEnds()); // stopped for good
}

TEST_F(PortWatchTest, APatternNeedsAPlainFolder)
{
    for (const std::string &strPattern : {Rig("*/ttyX*"), Rig("")}) {
        CPortWatch watch;
        std::string strError;
        EXPECT_FALSE(watch.Start({strPattern, {}}, strError)) << strPattern;
        EXPECT_NE(strError.find("must name a folder without wildcards"), std::string::npos)
            << strError;
    }
}
