// A full query run through the engine loop the command line uses, against a simulated module on
// a pseudo-terminal paced like a 9600 baud line with a 20 ms reply delay, next to the floor that
// wire and delay allow. The tool's own reaction time (last reply byte in, next command out) is
// taken directly inside the process as well.
#include "protocol/AtProtocol.h"
#include "serial/SerialLink.h"
#include "sim/ModuleSim.h"
#include "tests/support/FormView.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <numeric>
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

// One block of received bytes, stamped when the link's reader handed it over.
struct CStampedChunk
{
    Clock::time_point arrival;
    std::string strBytes;
};

// Received bytes cross from the link's reader thread to the engine's thread.
struct CInbox
{
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<CStampedChunk> chunks;
};

void OnChunk(const char *pData, int32_t nLength, void *pUser)
{
    auto *pInbox = static_cast<CInbox *>(pUser);
    const Clock::time_point arrival = Clock::now();
    {
        std::lock_guard<std::mutex> lock(pInbox->mutex);
        pInbox->chunks.push_back({arrival, std::string(pData, static_cast<size_t>(nLength))});
    }
    pInbox->changed.notify_one();
}

// A stop-watch on the engine: when each command went out, how long after the reply bytes that
// prompted it, how many bytes each exchange carried, and when the run ended.
struct CStopwatch
{
    void OnCommand(size_t nBytes)
    {
        const Clock::time_point now = Clock::now();
        if (m_commandBytes.empty())
            m_tFirstWrite = now;
        else
            m_reactionsUs.push_back(Micros(now - m_tChunkArrival).count());
        m_commandBytes.push_back(nBytes);
        m_replyBytes.push_back(0);
    }

    void OnQueryDone()
    {
        m_bDone = true;
        m_tDone = Clock::now();
        m_reactionsUs.push_back(Micros(m_tDone - m_tChunkArrival).count());
    }

    // Bytes are charged to the exchange in progress before they can start the next one.
    void OnChunk(const CStampedChunk &chunk)
    {
        m_tChunkArrival = chunk.arrival;
        if (!m_replyBytes.empty())
            m_replyBytes.back() += chunk.strBytes.size();
    }

    Clock::time_point m_tFirstWrite{};
    Clock::time_point m_tDone{};
    bool m_bDone = false;
    Clock::time_point m_tChunkArrival{};
    std::vector<size_t> m_commandBytes; // one per exchange
    std::vector<size_t> m_replyBytes;   // one per exchange
    std::vector<double> m_reactionsUs;  // last reply byte handed over -> next command written
};

// The link as the engine writes to it, timing each command as it goes out.
class CTimedLine : public ISerialLine
{
public:
    CTimedLine(CSerialLink &link, CStopwatch &watch) : m_link(link), m_watch(watch) {}

    bool IsOpen() const override { return m_link.IsOpen(); }
    uint32_t Write(const void *pData, uint32_t nLength) override
    {
        m_watch.OnCommand(nLength);
        return m_link.Write(pData, nLength);
    }
    uint32_t LineRate() const override { return m_link.LineRate(); }
    bool SetLineRate(uint32_t nRate) override { return m_link.SetLineRate(nRate); }

private:
    CSerialLink &m_link;
    CStopwatch &m_watch;
};

// The view of the command line's loop, stopping the watch right after "查询完成" is shown.
class CTimedView : public CFormView
{
public:
    explicit CTimedView(CStopwatch &watch) : m_watch(watch) {}

    void OnRunEnded(const CRunEnd &runEnd) override
    {
        if (runEnd.eRun == ERunKind::Query && runEnd.eEnd == ERunEnd::Done)
            m_watch.OnQueryDone();
        CFormView::OnRunEnded(runEnd);
    }

private:
    CStopwatch &m_watch;
};

// The engine as the command line holds it: its view, its line and the watch on both.
struct CTimedSession
{
    explicit CTimedSession(CSerialLink &link) : line(link, watch), view(watch), engine(view)
    {
        view.Attach(engine);
        engine.InitForm();
        engine.AttachLine(&line);
    }
    ~CTimedSession() { engine.AttachLine(nullptr); }

    void Feed(const CStampedChunk &chunk)
    {
        watch.OnChunk(chunk);
        engine.OnReceivedBytes(chunk.strBytes.data(), chunk.strBytes.size());
    }

    CStopwatch watch;
    CTimedLine line;
    CTimedView view;
    CModuleSetupEngine engine;
};

// Hands over what arrived, fires due timers and sleeps until either can happen again: the
// command line's session loop.
bool RunUntil(CTimedSession &session, CInbox &inbox, const std::function<bool()> &fnDone,
              Clock::time_point deadline)
{
    while (!fnDone()) {
        std::deque<CStampedChunk> chunks;
        {
            std::lock_guard<std::mutex> lock(inbox.mutex);
            chunks.swap(inbox.chunks);
        }
        for (const CStampedChunk &chunk : chunks)
            session.Feed(chunk);
        session.view.FireDueTimers(Clock::now());
        if (fnDone())
            return true;
        if (Clock::now() >= deadline)
            return false;
        Clock::time_point until = deadline;
        if (auto next = session.view.NextDeadline(); next && *next < until)
            until = *next;
        std::unique_lock<std::mutex> lock(inbox.mutex);
        inbox.changed.wait_until(lock, until, [&] { return !inbox.chunks.empty(); });
    }
    return true;
}

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
std::string CheckRun(const CStopwatch &watch, const CModuleSim &sim)
{
    if (!watch.m_bDone)
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
    CInbox inbox;
    CSerialLink link;
    link.SetReceiveCallback(&OnChunk, &inbox);
    link.m_nBaudRate = kLineBaud;
    if (!link.Open(sim.DevicePath()))
        return "cannot open " + sim.DevicePath();
    std::string strError;
    {
        CTimedSession session(link);
        session.engine.OnButtonQuery();
        const bool bEnded = RunUntil(
            session, inbox, [&] { return !session.engine.IsQuerying(); }, Clock::now() + kRunLimit);
        strError = bEnded ? CheckRun(session.watch, sim) : "query run did not end in time";
        if (strError.empty())
            figures = Summarise(session.watch);
    }
    link.Close();
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
