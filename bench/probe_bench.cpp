// The line-rate probe through the engine loop the command line uses, against a simulated module
// on a pseudo-terminal that answers only at its own rate (paced like a line of that rate, 20 ms
// reply delay), and with no module at all; each next to its floor: the bytes on the wire plus the
// wait at each rate tried. Beside it, today's first "AT" of a query run at 9600, which a module at
// 9600 must not be slower than. Prints a table; medians of a few runs.
#include "cli/EngineSession.h"
#include "sim/ModuleSim.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::duration<double, std::milli>;

constexpr std::chrono::milliseconds kReplyDelay{20};
constexpr int kRuns = 5;
constexpr uint32_t kNoModule = 1000000; // a rate the probe never tries: noise at every one

// A stop-watch on the session's trace: when each command went out (writes are told on the
// session's own thread).
struct CStopwatch
{
    void OnTrace(const CTraceEntry &entry)
    {
        if (entry.eKind == CTraceEntry::EKind::Sent)
            m_writes.push_back(entry.time);
    }

    std::vector<Clock::time_point> m_writes;
};

double WireMs(size_t nBytes, uint32_t nRate)
{
    return static_cast<double>(nBytes) * 10.0 * 1000.0 / nRate;
}

// The floor: the full wait at each rate that did not answer, and the exchanges at the one that
// did (one at the first rate, two elsewhere), each its bytes on the wire and the reply delay.
double FloorMs(uint32_t nModuleRate)
{
    double dFloor = 0;
    for (size_t i = 0; i < CLineProbe::kRateCount; ++i) {
        const uint32_t nRate = CLineProbe::kRates[i];
        if (nRate == nModuleRate)
            return dFloor + (i == 0 ? 1 : 2) * (WireMs(4 + 6, nRate) + kReplyDelay.count());
        dFloor += Millis(CLineProbe::WaitAt(nRate)).count();
    }
    return dFloor;
}

struct CMeasure
{
    double dMs = 0;
    uint32_t nRate = 0;
};

// bQueryFirstAt: instead of the probe, a query run's first "AT", up to the next command written.
bool MeasureOnce(uint32_t nModuleRate, bool bQueryFirstAt, CMeasure &measure)
{
    SimOptions options;
    options.nAtRate = nModuleRate;
    options.nPaceBaud = nModuleRate;
    options.replyDelay = kReplyDelay;
    CModuleSim sim(options);
    if (!sim.Start())
        return false;
    CStopwatch watch;
    CEngineSession session({});
    session.Engine().SessionTrace().SetListener(
        [&watch](const CTraceEntry &entry) { watch.OnTrace(entry); });
    session.Engine().SessionTrace().SetListening(true);
    if (!session.Open(sim.DevicePath(), CLineSettings{kDefaultLineRate}))
        return false;
    if (bQueryFirstAt) {
        session.Query();
        if (watch.m_writes.size() < 2)
            return false;
        measure.dMs = Millis(watch.m_writes[1] - watch.m_writes.front()).count();
        measure.nRate = kDefaultLineRate;
    } else {
        measure.nRate = session.Probe();
        const Clock::time_point tEnd = Clock::now();
        if (watch.m_writes.empty())
            return false;
        measure.dMs = Millis(tEnd - watch.m_writes.front()).count();
    }
    return true;
}

} // namespace

int main()
{
    const struct
    {
        const char *pszCase;
        uint32_t nModuleRate;
        bool bQueryFirstAt;
    } kCases[] = {
        {"query's first AT, module at 9600", 9600, true},
        {"probe, module at 9600", 9600, false},
        {"probe, module at 38400", 38400, false},
        {"probe, module at 1382400", 1382400, false},
        {"probe, no module (noise at every rate)", kNoModule, false},
    };
    std::printf("%-40s %10s %10s %8s %7s\n", "case", "measured", "floor", "ratio", "found");
    for (const auto &c : kCases) {
        std::vector<double> times;
        uint32_t nFound = 0;
        for (int i = 0; i < kRuns; ++i) {
            CMeasure measure;
            if (!MeasureOnce(c.nModuleRate, c.bQueryFirstAt, measure)) {
                std::fprintf(stderr, "probe_bench: cannot run against the simulated module\n");
                return 1;
            }
            times.push_back(measure.dMs);
            nFound = measure.nRate;
        }
        std::sort(times.begin(), times.end());
        const double dMedian = times[times.size() / 2];
        const double dFloor =
            c.bQueryFirstAt ? WireMs(4 + 6, 9600) + kReplyDelay.count() : FloorMs(c.nModuleRate);
        std::printf("%-40s %8.1f ms %7.1f ms %8.3f %7u\n", c.pszCase, dMedian, dFloor,
                    dMedian / dFloor, nFound);
    }
    return 0;
}
