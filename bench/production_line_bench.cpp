// The production line as the command line runs it (the watch, one job per unit, the ledger),
// against simulated units whose links appear in a folder at staggered times, each line paced at
// 9600 baud both ways and answered at once. Two figures, printed as tables:
// - units per hour against the floor: the floor is the wire time of everything each unit's line
//   carried (probe, reading, writes, read-back), the units in parallel from their arrival; the
//   line should come within 5 % of it;
// - the time from a unit's link appearing to its first command on the wire (goal: under 300 ms).
#include "bench/BenchFigures.h"
#include "cli/Ledger.h"
#include "cli/ProductionLine.h"
#include "cli/ProvisionUnit.h"
#include "sim/ModuleSim.h"
#include "tests/support/TempFolder.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

constexpr uint32_t kLineBaud = 9600;
constexpr double kBitsPerByte = 10; // 8N1
constexpr size_t kUnits = 8;
constexpr std::chrono::milliseconds kStagger{250}; // between two units' arrivals
constexpr int kThroughputRounds = 3;
constexpr int kLatencyUnits = 40; // one after the other, nothing else on the line

// What one unit's line carried and when.
struct CUnitFigures
{
    Clock::time_point appeared;
    std::optional<Clock::time_point> firstWrite;
    size_t nWireBytes = 0;
    Clock::time_point recorded;
    bool bPassed = false;
};

// One round: kUnits (or one at a time) plugged into a watched folder, provisioned, recorded.
class CRound
{
public:
    CRound()
    {
        std::string strError;
        m_pLedger = CLedger::Open((m_folder / "line.jsonl").string(), 1, strError);
        m_plan.pLedger = m_pLedger.get();
        m_plan.work.line.nRate = kAutoLineRate;
        m_plan.base.Ask(&ModuleParams::Baud, std::string("19200"));
        m_plan.base.Ask(&ModuleParams::Role, 0);
        m_plan.templates.emplace_back(&ParamOf(&ModuleParams::Name),
                                      CUnitTemplate::Parse("Bench-{addr:-4}-{n:04}").unitTemplate);
        m_plan.work.fnTrace = [this](const std::string &strPort, const CTraceEntry &entry) {
            OnTrace(strPort, entry);
        };
    }

    // Plugs the units at their times and returns once all are recorded; false when one failed.
    bool Run(size_t nUnits, std::chrono::milliseconds stagger, bool bOneAtATime)
    {
        CProductionLine line(1, [&](const std::vector<CDuePort> &group) { Job(line, group); });
        line.m_fnWatching = [this] { Tell(m_bWatching); };
        m_nExpected = nUnits;
        std::string strError;
        std::thread watcher([&] {
            line.RunWatch({(m_folder / "ttyUNIT*").string(), {}}, false, strError);
        });
        WaitFor([this] { return m_bWatching; });
        const Clock::time_point start = Clock::now();
        for (size_t i = 0; i < nUnits; ++i) {
            std::this_thread::sleep_until(start + i * stagger);
            Plug(i);
            if (bOneAtATime)
                WaitFor([&] { return m_nRecorded == i + 1; });
        }
        watcher.join();
        return std::all_of(m_figures.begin(), m_figures.end(),
                           [](const auto &entry) { return entry.second.bPassed; });
    }

    const std::map<std::string, CUnitFigures> &Figures() const { return m_figures; }

private:
    void Plug(size_t nUnit)
    {
        SimOptions options;
        options.nPaceBaud = kLineBaud;
        options.strLinkPath = (m_folder / ("ttyUNIT" + std::to_string(nUnit))).string();
        auto pSim = std::make_unique<CModuleSim>(options);
        SimState state;
        char achAddr[16] = {};
        std::snprintf(achAddr, sizeof(achAddr), "00158300%04X", static_cast<unsigned>(nUnit));
        state.strLocalAddr = achAddr;
        pSim->SetState(state);
        {
            const std::lock_guard lock(m_mutex);
            m_figures[options.strLinkPath].appeared = Clock::now();
        }
        if (!pSim->Start())
            std::fprintf(stderr, "production_line_bench: cannot start a simulated unit\n");
        m_sims.push_back(std::move(pSim));
    }

    void Job(CProductionLine &line, const std::vector<CDuePort> &group)
    {
        const CUnitOutcome outcome = RunProvisionUnit(group.front().strPath, m_plan);
        const std::lock_guard lock(m_mutex);
        CUnitFigures &figures = m_figures[group.front().strPath];
        figures.recorded = Clock::now();
        figures.bPassed = outcome.record.eResult == EUnitResult::Passed;
        if (++m_nRecorded == m_nExpected)
            line.Stop();
        m_changed.notify_all();
    }

    void OnTrace(const std::string &strPort, const CTraceEntry &entry)
    {
        const std::lock_guard lock(m_mutex);
        CUnitFigures &figures = m_figures[strPort];
        if (entry.eKind == CTraceEntry::EKind::Note)
            return;
        if (entry.eKind == CTraceEntry::EKind::Sent && !figures.firstWrite)
            figures.firstWrite = entry.time;
        figures.nWireBytes += entry.strBytes.size();
    }

    void Tell(bool &bFlag)
    {
        const std::lock_guard lock(m_mutex);
        bFlag = true;
        m_changed.notify_all();
    }

    template <typename Condition> void WaitFor(Condition condition)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, condition);
    }

    const CTempFolder m_temp; // goes last, after the units and the ledger in it
    const fs::path m_folder = m_temp.Path();
    std::unique_ptr<CLedger> m_pLedger;
    CUnitPlan m_plan;
    std::vector<std::unique_ptr<CModuleSim>> m_sims;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<std::string, CUnitFigures> m_figures;
    size_t m_nRecorded = 0;
    size_t m_nExpected = 0;
    bool m_bWatching = false;
};

double WireSeconds(size_t nBytes)
{
    return static_cast<double>(nBytes) * kBitsPerByte / kLineBaud;
}

// Units per hour as the line did them and as the wire alone would allow, from the first arrival
// to the last record.
void PrintThroughput(int nRound, const std::map<std::string, CUnitFigures> &figures)
{
    Clock::time_point first = Clock::time_point::max();
    Clock::time_point measuredEnd = Clock::time_point::min();
    Clock::time_point floorEnd = Clock::time_point::min();
    double dWorstUnit = 1;
    for (const auto &[strPort, unit] : figures) {
        first = std::min(first, unit.appeared);
        measuredEnd = std::max(measuredEnd, unit.recorded);
        const auto wire =
            std::chrono::duration_cast<Clock::duration>(Seconds(WireSeconds(unit.nWireBytes)));
        floorEnd = std::max(floorEnd, unit.appeared + wire);
        dWorstUnit = std::min(dWorstUnit, WireSeconds(unit.nWireBytes) /
                                              Seconds(unit.recorded - unit.appeared).count());
    }
    const double dMeasured = Seconds(measuredEnd - first).count();
    const double dFloor = Seconds(floorEnd - first).count();
    const double dUnits = static_cast<double>(figures.size());
    std::printf("%5d %5zu %10.3f %10.3f %12.0f %12.0f %9.1f %% %11.1f %%\n", nRound, figures.size(),
                dMeasured, dFloor, dUnits * 3600 / dMeasured, dUnits * 3600 / dFloor,
                100 * dFloor / dMeasured, 100 * dWorstUnit);
}

void PrintLatency(const std::vector<double> &samples)
{
    if (samples.empty())
        return;
    const CFigures figures = FiguresOf(samples);
    std::printf("%-46s %9.1f ms %9.1f ms %9.1f ms  (%zu units)\n",
                "link appeared -> first command written", figures.dMedian, figures.dP99,
                figures.dMax, samples.size());
}

void AddLatencies(const std::map<std::string, CUnitFigures> &figures, std::vector<double> &samples)
{
    for (const auto &[strPort, unit] : figures) {
        if (unit.firstWrite)
            samples.push_back(
                std::chrono::duration<double, std::milli>(*unit.firstWrite - unit.appeared)
                    .count());
    }
}

} // namespace

int main()
{
    std::printf("%zu units at %u baud, one every %lld ms\n", kUnits, kLineBaud,
                static_cast<long long>(kStagger.count()));
    std::printf("%5s %5s %10s %10s %12s %12s %11s %13s\n", "round", "units", "measured s",
                "floor s", "units/h", "floor/h", "of floor", "worst unit");
    std::vector<double> latencies;
    for (int nRound = 1; nRound <= kThroughputRounds; ++nRound) {
        CRound round;
        if (!round.Run(kUnits, kStagger, false)) {
            std::fprintf(stderr, "production_line_bench: a unit failed\n");
            return 1;
        }
        PrintThroughput(nRound, round.Figures());
        AddLatencies(round.Figures(), latencies);
    }
    CRound alone;
    if (!alone.Run(kLatencyUnits, std::chrono::milliseconds(0), true)) {
        std::fprintf(stderr, "production_line_bench: a unit failed\n");
        return 1;
    }
    std::printf("\n%-46s %12s %12s %12s\n", "case", "median", "p99", "max");
    AddLatencies(alone.Figures(), latencies);
    PrintLatency(latencies);
    return 0;
}
