// How soon the device watch tells of a device: a thread blocks in Wait while another makes a
// symbolic link to a pseudo-terminal (as a test rig does), and the time from just before the link
// is made to Wait returning its event is taken; likewise for the link's removal. Beside it, one
// look at this machine's serial devices, which follows every notification in /dev. A production
// line's first command is due within 300 ms of a device appearing. Prints a table.
#include "bench/BenchFigures.h"
#include "serial/PortWatch.h"
#include "tests/support/Pty.h"
#include "tests/support/TempFolder.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::duration<double, std::milli>;

constexpr int kRounds = 200;
constexpr std::chrono::seconds kEventWait{10};

void PrintRow(const char *pszCase, const CFigures &figures)
{
    std::printf("%-44s %9.3f ms %9.3f ms %9.3f ms\n", pszCase, figures.dMedian, figures.dP99,
                figures.dMax);
}

// The time from just before each change until a Wait blocked in another thread returns it.
bool MeasureLinks(const std::string &strDevice, const fs::path &link, std::vector<double> &made,
                  std::vector<double> &removed)
{
    CPortWatch watch;
    std::string strError;
    if (!watch.Start({(link.parent_path() / "ttyBENCH*").string(), {}}, strError))
        return false;
    std::atomic<int64_t> nChangeAt{0};
    for (int nRound = 0; nRound < 2 * kRounds; ++nRound) {
        const bool bMake = nRound % 2 == 0;
        std::thread changer([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(2)); // the waiter blocks first
            nChangeAt = Clock::now().time_since_epoch().count();
            if (bMake)
                fs::create_symlink(strDevice, link);
            else
                fs::remove(link);
        });
        const std::vector<CPortEvent> events = watch.Wait(kEventWait);
        const Clock::time_point returned = Clock::now();
        changer.join();
        if (events.size() != 1)
            return false;
        const Millis latency = returned - Clock::time_point(Clock::duration(nChangeAt.load()));
        (bMake ? made : removed).push_back(latency.count());
    }
    return true;
}

} // namespace

int main()
{
    std::vector<double> made, removed;
    bool bMeasured = false;
    {
        const CPty pty;
        if (pty.Path().empty()) {
            std::fprintf(stderr, "port_watch_bench: no pseudo-terminal\n");
            return 1;
        }
        const CTempFolder folder;
        bMeasured = MeasureLinks(pty.Path(), folder.Path() / "ttyBENCH0", made, removed);
    }
    if (!bMeasured) {
        std::fprintf(stderr, "port_watch_bench: the watch missed a change\n");
        return 1;
    }

    std::vector<double> looks;
    for (int nRound = 0; nRound < kRounds; ++nRound) {
        const Clock::time_point start = Clock::now();
        [[maybe_unused]] const std::vector<CSerialPortEntry> ports = ListSerialPorts();
        looks.push_back(Millis(Clock::now() - start).count());
    }
    std::printf("%-44s %12s %12s %12s\n", "case", "median", "p99", "max");
    PrintRow("link made -> Appeared delivered", FiguresOf(made));
    PrintRow("link removed -> Gone delivered", FiguresOf(removed));
    PrintRow("one look at this machine's serial devices", FiguresOf(looks));
    return 0;
}
