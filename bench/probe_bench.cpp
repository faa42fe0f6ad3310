// The line-rate probe through the engine loop the command line uses, against a simulated module
// on a pseudo-terminal that answers only at its own rate (paced like a line of that rate, 20 ms
// reply delay), and with no module at all; each next to its floor: the bytes on the wire plus the
// wait at each rate tried. Beside it, today's first "AT" of a query run at 9600, which a module at
// 9600 must not be slower than. Prints a table; medians of a few runs.
#include "serial/SerialLink.h"
#include "sim/ModuleSim.h"
#include "tests/support/FormView.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::duration<double, std::milli>;

constexpr std::chrono::milliseconds kReplyDelay{20};
constexpr int kRuns = 5;
constexpr uint32_t kNoModule = 1000000; // a rate the probe never tries: noise at every one

struct CInbox
{
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::string> chunks;
};

void OnChunk(const char *pData, int32_t nLength, void *pUser)
{
    auto *pInbox = static_cast<CInbox *>(pUser);
    {
        std::lock_guard<std::mutex> lock(pInbox->mutex);
        pInbox->chunks.emplace_back(pData, static_cast<size_t>(nLength));
    }
    pInbox->changed.notify_one();
}

// The link as the engine writes to it, stamping each command as it goes out.
class CTimedLine : public ISerialLine
{
public:
    explicit CTimedLine(CSerialLink &link) : m_link(link) {}

    bool IsOpen() const override { return m_link.IsOpen(); }
    uint32_t Write(const void *pData, uint32_t nLength) override
    {
        m_writes.push_back(Clock::now());
        return m_link.Write(pData, nLength);
    }
    uint32_t LineRate() const override { return m_link.LineRate(); }
    bool SetLineRate(uint32_t nRate) override { return m_link.SetLineRate(nRate); }

    std::vector<Clock::time_point> m_writes;

private:
    CSerialLink &m_link;
};

// The view of the command line's loop, stopping the clock when the probe has ended.
class CTimedView : public CFormView
{
public:
    void OnLineProbeEnded(uint32_t nRate) override
    {
        m_nRate = nRate;
        m_tEnd = Clock::now();
        m_bEnded = true;
        CFormView::OnLineProbeEnded(nRate);
    }
    Clock::time_point m_tEnd{};
    uint32_t m_nRate = 0;
    bool m_bEnded = false;
};

template <typename Done>
void RunUntil(CModuleSetupEngine &engine, CTimedView &view, CInbox &inbox, Done fnDone)
{
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (!fnDone() && Clock::now() < deadline) {
        std::deque<std::string> chunks;
        {
            std::lock_guard<std::mutex> lock(inbox.mutex);
            chunks.swap(inbox.chunks);
        }
        for (const std::string &strChunk : chunks)
            engine.OnReceivedBytes(strChunk.data(), strChunk.size());
        view.FireDueTimers(Clock::now());
        if (fnDone())
            return;
        Clock::time_point until = deadline;
        if (auto next = view.NextDeadline(); next && *next < until)
            until = *next;
        std::unique_lock<std::mutex> lock(inbox.mutex);
        inbox.changed.wait_until(lock, until, [&] { return !inbox.chunks.empty(); });
    }
}

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
    CInbox inbox;
    CSerialLink link;
    link.SetReceiveCallback(&OnChunk, &inbox);
    link.m_nBaudRate = kDefaultLineRate;
    if (!link.Open(sim.DevicePath()))
        return false;
    {
        CTimedLine timedLine(link);
        CTimedView view;
        CModuleSetupEngine engine(view);
        view.Attach(engine);
        engine.InitForm();
        // As the command line: a probe that found nothing is reported, not shown in a box.
        engine.SetProbeChecklistShown(false);
        engine.AttachLine(&timedLine);
        if (bQueryFirstAt) {
            engine.OnButtonQuery();
            RunUntil(engine, view, inbox, [&] { return timedLine.m_writes.size() >= 2; });
            measure.dMs = Millis(timedLine.m_writes.at(1) - timedLine.m_writes.front()).count();
            measure.nRate = kDefaultLineRate;
        } else {
            engine.StartLineProbe();
            RunUntil(engine, view, inbox, [&] { return view.m_bEnded; });
            measure.dMs = Millis(view.m_tEnd - timedLine.m_writes.front()).count();
            measure.nRate = view.m_nRate;
        }
        engine.AttachLine(nullptr);
    }
    link.Close();
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
