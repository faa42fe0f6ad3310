// A full query run through the engine loop the command line uses, against a simulated module on
// a pseudo-terminal paced like a 9600 baud line with a 20 ms reply delay, next to the floor that
// wire and delay allow. The tool's own reaction time (last reply byte in, next command out) is
// taken from the session's trace as well.
#include "cli/EngineSession.h"
#include "protocol/AtProtocol.h"
#include "sim/ModuleSim.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <mutex>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::duration<double, std::milli>;
using Micros = std::chrono::duration<double, std::micro>;

constexpr uint32_t kLineBaud = 9600;                 // bits per second
constexpr double kBitsPerByte = 10.0;                // start bit, 8 data bits, stop bit
constexpr std::chrono::milliseconds kReplyDelay{20}; // the module thinks before each reply
constexpr std::chrono::seconds kRunLimit{10};        // a run this long is broken, not slow

// A stop-watch on the session's trace: when each command went out, how long after the reply
// bytes that prompted it, how many bytes each exchange carried, and when the run ended. The
// trace tells received chunks on the link's reader thread and writes on the session's.
class CStopwatch
{
public:
    void OnTrace(const CTraceEntry &entry)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (entry.eKind == CTraceEntry::EKind::Sent)
            OnCommand(entry);
        else if (entry.eKind == CTraceEntry::EKind::Received)
            OnChunk(entry);
    }

    void OnQueryDone()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_tDone = Clock::now();
        m_reactionsUs.push_back(Micros(m_tDone - m_tChunkArrival).count());
    }

    Clock::time_point m_tFirstWrite{};
    Clock::time_point m_tDone{};
    std::vector<size_t> m_commandBytes; // one per exchange
    std::vector<size_t> m_replyBytes;   // one per exchange
    std::vector<double> m_reactionsUs;  // last reply byte handed over -> next command written

private:
    void OnCommand(const CTraceEntry &entry)
    {
        if (m_commandBytes.empty())
            m_tFirstWrite = entry.time;
        else
            m_reactionsUs.push_back(Micros(entry.time - m_tChunkArrival).count());
        m_commandBytes.push_back(entry.strBytes.size());
        m_replyBytes.push_back(0);
    }

    // Bytes are charged to the exchange in progress before they can start the next one.
    void OnChunk(const CTraceEntry &entry)
    {
        m_tChunkArrival = entry.time;
        if (!m_replyBytes.empty())
            m_replyBytes.back() += entry.strBytes.size();
    }

    std::mutex m_mutex;
    Clock::time_point m_tChunkArrival{};
};

double WireMs(size_t nBytes)
{
    return static_cast<double>(nBytes) * kBitsPerByte * 1000.0 / kLineBaud;
}

// The figures of one run.
struct CRunFigures
{
    double dMeasuredMs = 0;
    double dFloorMs = 0;
    double dReactMeanUs = 0;
    double dReactMaxUs = 0;
    size_t nCommandBytes = 0;
    size_t nReplyBytes = 0;
};

CRunFigures Summarise(const CStopwatch &watch)
{
    CRunFigures figures;
    figures.dMeasuredMs = Millis(watch.m_tDone - watch.m_tFirstWrite).count();
    const size_t nSteps = watch.m_commandBytes.size();
    for (size_t i = 0; i < nSteps; ++i) {
        const size_t nCommand = watch.m_commandBytes[i];
        const size_t nReply = watch.m_replyBytes[i];
        figures.nCommandBytes += nCommand;
        figures.nReplyBytes += nReply;
        figures.dFloorMs += WireMs(nCommand + nReply) + static_cast<double>(kReplyDelay.count());
    }
    const std::vector<double> &reactions = watch.m_reactionsUs;
    figures.dReactMeanUs = std::accumulate(reactions.begin(), reactions.end(), 0.0) /
                           static_cast<double>(std::max<size_t>(reactions.size(), 1));
    figures.dReactMaxUs = *std::max_element(reactions.begin(), reactions.end());
    return figures;
}

// The sim must have seen the whole table, in order, and the run must have ended well.
std::string CheckRun(const std::optional<CRunEnd> &end, const CModuleSim &sim)
{
    if (!end || end->eEnd != ERunEnd::Done)
        return "query run did not end as done";
    const std::vector<std::string> commands = sim.Commands();
    if (commands.size() != QUERY_COMMAND_COUNT)
        return "sim saw " + std::to_string(commands.size()) + " commands, not 14";
    for (int i = 0; i < QUERY_COMMAND_COUNT; ++i) {
        if (commands[static_cast<size_t>(i)] != QueryCommandTable[i])
            return "sim saw the commands out of order";
    }
    return {};
}

// One query run from a freshly opened link; an error text when anything went wrong.
std::string RunQueryOnce(CRunFigures &figures)
{
    SimOptions options;
    options.nPaceBaud = kLineBaud;
    options.replyDelay = kReplyDelay;
    CModuleSim sim(options);
    if (!sim.Start())
        return "cannot start the simulated module (no pseudo-terminal?)";
    CStopwatch watch;
    std::optional<CRunEnd> end;
    {
        CEngineSession session({});
        session.Engine().SessionTrace().SetListener(
            [&watch](const CTraceEntry &entry) { watch.OnTrace(entry); });
        session.Engine().SessionTrace().SetListening(true);
        if (!session.Open(sim.DevicePath(), CLineSettings{kLineBaud}))
            return "cannot open " + sim.DevicePath();
        end = session.RunAction([&session] { session.Engine().OnButtonQuery(); }, ERunKind::Query,
                                Clock::now() + kRunLimit);
        watch.OnQueryDone();
    } // the port closed: the watch is no longer told anything
    const std::string strError = CheckRun(end, sim);
    if (strError.empty())
        figures = Summarise(watch);
    return strError;
}

// Sums the runs; the worst reaction is kept as it is.
void Accumulate(CRunFigures &total, const CRunFigures &run)
{
    total.dMeasuredMs += run.dMeasuredMs;
    total.dFloorMs += run.dFloorMs;
    total.dReactMeanUs += run.dReactMeanUs;
    total.dReactMaxUs = std::max(total.dReactMaxUs, run.dReactMaxUs);
    total.nCommandBytes = run.nCommandBytes;
    total.nReplyBytes = run.nReplyBytes;
}

void Report(benchmark::State &state, const CRunFigures &total)
{
    const double dRuns = static_cast<double>(state.iterations());
    const double dMeasuredMs = total.dMeasuredMs / dRuns;
    const double dFloorMs = total.dFloorMs / dRuns;
    state.counters["measured_ms"] = dMeasuredMs;
    state.counters["floor_ms"] = dFloorMs;
    state.counters["ratio"] = dMeasuredMs / dFloorMs;
    state.counters["added_ms_per_step"] = (dMeasuredMs - dFloorMs) / QUERY_COMMAND_COUNT;
    state.counters["tool_react_us_mean"] = total.dReactMeanUs / dRuns;
    state.counters["tool_react_us_max"] = total.dReactMaxUs;
    state.counters["cmd_bytes"] = static_cast<double>(total.nCommandBytes);
    state.counters["reply_bytes"] = static_cast<double>(total.nReplyBytes);
}

void BM_QueryRunPaced(benchmark::State &state)
{
    CRunFigures total;
    for (auto _ : state) {
        CRunFigures run;
        if (const std::string strError = RunQueryOnce(run); !strError.empty()) {
            state.SkipWithError(strError.c_str());
            return;
        }
        state.SetIterationTime(run.dMeasuredMs / 1000.0);
        Accumulate(total, run);
    }
    Report(state, total);
}

} // namespace

BENCHMARK(BM_QueryRunPaced)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
