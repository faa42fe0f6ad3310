#include "cli/PortSession.h"

#include "engine/ConfigFile.h"
#include "engine/FormValues.h"
#include "engine/ModuleSetupEngine.h"
#include "engine/UiText.h"
#include "protocol/AtProtocol.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>

namespace {

using Clock = std::chrono::steady_clock;
const Clock::time_point kNoDeadline = Clock::time_point::max();

// The engine's view on the command line: no form (values go in and out as values), the prompts
// answered as --on-error says and passed on as messages, timers as deadlines of the session's
// loop, and the reader thread's work queued for the loop's thread.
class CCliView : public IModuleSetupView
{
public:
    CCliView(double dTimerScale, bool bContinueOnError)
        : m_dTimerScale(dTimerScale), m_bContinueOnError(bContinueOnError)
    {}

    void Attach(CModuleSetupEngine &engine) { m_pEngine = &engine; }

    // The form: nothing to show, nothing typed.
    std::string GetWindowText(int) override { return {}; }
    void SetWindowText(int, const std::string &) override {}
    bool GetCheck(int) override { return false; }
    void SetCheck(int, bool) override {}
    int GetCount(int) override { return 0; }
    std::string GetLBText(int, int) override { return {}; }
    int GetCurSel(int) override { return -1; }
    void SetCurSel(int, int) override {}
    void ResetContent(int) override {}
    void InsertString(int, int, const std::string &) override {}
    void EnableWindow(int, bool) override {}
    void SetReadOnly(int, bool) override {}
    int GetSliderPos(int) override { return 0; }
    void SetSliderPos(int, int) override {}
    int GetSliderRangeMax(int) override { return 0; }
    void SetFocus(int) override {}

    void SetStatusText(const std::string &strText) override { m_strStatus = strText; }

    int MessageBox(const std::string &strText, const std::string &, unsigned nType) override
    {
        const bool bPrompt = (nType & MB_YESNO) != 0;
        const int nResult = !bPrompt ? IDOK : m_bContinueOnError ? IDYES : IDNO;
        if (m_fnShown) {
            const char *pAnswer = nResult == IDYES ? Tr("Cli", "是") : Tr("Cli", "否");
            m_fnShown(bPrompt ? strText + " " + pAnswer : strText);
        }
        return nResult;
    }

    void SetTimer(unsigned nIdEvent, std::chrono::milliseconds period) override
    {
        // The probe waits for bytes on the wire: shortened, it would miss answers.
        const double dScale = nIdEvent == TIMER_PROBE ? 1.0 : m_dTimerScale;
        const auto scaled = std::chrono::duration_cast<std::chrono::milliseconds>(period * dScale);
        m_timers[nIdEvent] = Clock::now() + std::max(scaled, std::chrono::milliseconds(1));
    }

    void KillTimer(unsigned nIdEvent) override { m_timers.erase(nIdEvent); }

    void PostToViewThread(std::function<void()> fnWork) override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_posted.push_back(std::move(fnWork));
        }
        m_changed.notify_one();
    }

    void OnRunEnded(const CRunEnd &runEnd) override { m_runEnds.push_back(runEnd); }
    void OnCommandWritten(const std::string &strCommand) override { m_written.push_back(strCommand); }
    void OnDeviceFound(const std::string &strEntry) override { m_devices.push_back(strEntry); }
    void OnLineProbeEnded(uint32_t nRate) override
    {
        m_nProbedRate = nRate;
        m_bProbeEnded = true;
    }
    void OnSessionLost() override
    {
        if (m_fnLost)
            m_fnLost();
    }

    // Runs the posted work and the due timers until fnDone holds or the deadline passes.
    bool RunUntil(const std::function<bool()> &fnDone, Clock::time_point deadline)
    {
        while (!fnDone()) {
            RunPosted();
            FireDueTimers();
            if (fnDone())
                return true;
            if (Clock::now() >= deadline)
                return false;
            Wait(deadline);
        }
        return true;
    }

    // The end of an action of this kind among the ends reported since nFrom, if there is one.
    const CRunEnd *EndSince(size_t nFrom, ERunKind eRun) const
    {
        for (size_t i = m_runEnds.size(); i > nFrom; --i) {
            if (m_runEnds[i - 1].eRun == eRun)
                return &m_runEnds[i - 1];
        }
        return nullptr;
    }

    std::function<void(const std::string &)> m_fnShown; // each message box as it is answered
    std::function<void()> m_fnLost;                     // the port went away
    std::string m_strStatus;
    std::vector<CRunEnd> m_runEnds; // every action's end, oldest first
    std::vector<std::string> m_written;
    std::vector<std::string> m_devices;
    uint32_t m_nProbedRate = 0;
    bool m_bProbeEnded = false;

private:
    void RunPosted()
    {
        std::deque<std::function<void()>> posted;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            posted.swap(m_posted);
        }
        for (const std::function<void()> &fnWork : posted)
            fnWork();
    }

    void FireDueTimers()
    {
        // Earliest first; each fires once and is gone, as the engine uses them.
        while (true) {
            auto due = std::min_element(m_timers.begin(), m_timers.end(),
                                        [](const auto &a, const auto &b) { return a.second < b.second; });
            if (due == m_timers.end() || due->second > Clock::now())
                return;
            const unsigned nIdEvent = due->first;
            m_timers.erase(due);
            m_pEngine->OnTimer(nIdEvent);
        }
    }

    void Wait(Clock::time_point deadline)
    {
        Clock::time_point until = deadline;
        for (const auto &[nId, timerDeadline] : m_timers)
            until = std::min(until, timerDeadline);
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait_until(lock, until, [this] { return !m_posted.empty(); });
    }

    double m_dTimerScale;
    bool m_bContinueOnError;
    CModuleSetupEngine *m_pEngine = nullptr;
    std::map<unsigned, Clock::time_point> m_timers;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::function<void()>> m_posted;
};

// One port's engine and the loop that runs it; remembers whether the port went away.
struct CSession
{
    CCliView &view;
    CModuleSetupEngine &engine;
    bool bLost = false;
};

void Fail(CPortReport &report, int nExitCode, std::string strError)
{
    report.nExitCode = nExitCode;
    report.strError = std::move(strError);
}

// The exit code an action's end stands for; what the status line says plays no part.
int ExitCodeOf(const CRunEnd &runEnd)
{
    if (runEnd.Succeeded())
        return EXIT_CLI_OK;
    // The checks refused the values and said why in their message.
    if (runEnd.eEnd == ERunEnd::FormRefused)
        return EXIT_CLI_USAGE;
    return EXIT_CLI_MODULE;
}

// Waits for the action of this kind that was just started to end; records a failure. A run whose
// first command got no answer points at the line rate, unless a probe just found it.
bool AwaitRunEnd(CSession &session, CPortReport &report, ERunKind eRun, size_t nEndsBefore,
                 size_t nWritesBefore)
{
    CCliView &view = session.view;
    view.RunUntil([&] { return view.EndSince(nEndsBefore, eRun) != nullptr; }, kNoDeadline);
    const CRunEnd *pEnd = view.EndSince(nEndsBefore, eRun);
    const int nExitCode = pEnd ? ExitCodeOf(*pEnd) : EXIT_CLI_MODULE;
    if (nExitCode == EXIT_CLI_OK)
        return true;
    std::string strError = pEnd ? RunEndStatusText(*pEnd) : std::string();
    if (pEnd && pEnd->eEnd == ERunEnd::TimedOut && view.m_written.size() - nWritesBefore == 1 &&
        report.nLineRate == 0)
        strError += " (no answer at this line rate; try `kestrel-cli probe`)";
    Fail(report, nExitCode, strError);
    return false;
}

// Runs the probe on the open line; false (with the report failed) when no rate answered.
bool RunProbe(CSession &session, CPortReport &report)
{
    CCliView &view = session.view;
    view.m_bProbeEnded = false;
    if (!session.engine.StartLineProbe()) {
        Fail(report, EXIT_CLI_MODULE, "the line could not be probed");
        return false;
    }
    view.RunUntil([&] { return view.m_bProbeEnded || session.bLost; }, kNoDeadline);
    report.nLineRate = view.m_bProbeEnded ? view.m_nProbedRate : 0;
    if (report.nLineRate != 0)
        return true;
    if (!session.bLost) {
        report.bNoRateAnswered = true;
        Fail(report, EXIT_CLI_MODULE, "no line rate answered \"AT\" with \"OK\"");
    }
    return false;
}

bool RunQuery(CSession &session, CPortReport &report)
{
    const size_t nEnds = session.view.m_runEnds.size();
    const size_t nWrites = session.view.m_written.size();
    session.engine.OnButtonQuery();
    return AwaitRunEnd(session, report, ERunKind::Query, nEnds, nWrites);
}

// "name asked "Office 1", read "CORVA3264"; ..." for every parameter that differs.
std::string DescribeMismatches(const std::vector<CVerifyMismatch> &mismatches)
{
    std::string strText = "the module does not hold what was set: ";
    for (size_t i = 0; i < mismatches.size(); ++i) {
        const CVerifyMismatch &mismatch = mismatches[i];
        strText += (i ? "; " : "") + mismatch.strKey + " asked " + mismatch.strAsked + ", read " +
                   mismatch.strRead;
    }
    return strText;
}

// Reads the module again after a set run and compares what the request named. The reading starts
// from nothing, so a value it skipped counts as not held rather than as the one queued.
void VerifySet(CSession &session, CPortReport &report, const CSetValues &asked)
{
    session.engine.ForgetLastRead();
    if (!RunQuery(session, report))
        return;
    const std::vector<CVerifyMismatch> mismatches = CompareAskedWithRead(
        asked, session.engine.Snapshot(), session.engine.LastRead());
    if (!mismatches.empty())
        Fail(report, EXIT_CLI_MODULE, DescribeMismatches(mismatches));
}

// Reads the module, then sets the values asked for: the window's checks and change detection,
// from values rather than from a form.
void RunSet(CSession &session, CPortReport &report, const CliOptions &options)
{
    if (!RunQuery(session, report))
        return;
    if (options.set.Has(ParamOf(&ModuleParams::Baud)) && BaudIndex(options.set.params.Baud) < 0)
        return Fail(report, EXIT_CLI_USAGE, "unsupported baud rate " + options.set.params.Baud);
    if (options.bDryRun) {
        const CSetPlan plan = session.engine.PlanSet(options.set);
        if (!plan.strRefusal.empty()) {
            if (session.view.m_fnShown)
                session.view.m_fnShown(plan.strRefusal);
            return Fail(report, EXIT_CLI_USAGE, {});
        }
        // Only listed: nothing was set, so nothing is reported as done.
        report.lines = plan.lines;
        session.view.m_strStatus.clear();
        return;
    }
    const size_t nEnds = session.view.m_runEnds.size();
    const size_t nWrites = session.view.m_written.size();
    session.engine.StartSet(options.set);
    const bool bSet = AwaitRunEnd(session, report, ERunKind::Set, nEnds, nWrites);
    report.lines.assign(session.view.m_written.begin() + static_cast<ptrdiff_t>(nWrites),
                        session.view.m_written.end());
    if (bSet && options.bVerify)
        VerifySet(session, report, options.set);
}

// Single-command actions: press the button, wait for the outcome the sequencer reports.
void RunSingle(CSession &session, CPortReport &report, CliAction action)
{
    const bool bDefaults = action == CliAction::Defaults;
    const size_t nEnds = session.view.m_runEnds.size();
    const size_t nWrites = session.view.m_written.size();
    if (bDefaults)
        session.engine.OnButtonDefault();
    else
        session.engine.OnButtonClearAddr();
    AwaitRunEnd(session, report, bDefaults ? ERunKind::Restore : ERunKind::ClearAddr, nEnds,
                nWrites);
}

// Searches until the module reports the end of the search, or the time allowed runs out.
void RunSearch(CSession &session, CPortReport &report, const CliOptions &options,
               const CPortSession::MessageSink &fnDevices)
{
    CCliView &view = session.view;
    const size_t nEnds = view.m_runEnds.size();
    session.engine.OnButtonSearch();
    size_t nTold = 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(
                                             static_cast<int64_t>(options.dSearchSeconds * 1000));
    const bool bDone = view.RunUntil(
        [&] {
            for (; nTold < view.m_devices.size(); ++nTold) {
                if (fnDevices)
                    fnDevices(report.strPort, view.m_devices[nTold]);
            }
            return view.EndSince(nEnds, ERunKind::Search) != nullptr || session.bLost;
        },
        deadline);
    report.devices = view.m_devices;
    const CRunEnd *pEnd = view.EndSince(nEnds, ERunKind::Search);
    if (!bDone) {
        Fail(report, EXIT_CLI_MODULE, "the module did not finish the search in time");
        report.strEnd = RunEndName(ERunEnd::TimedOut);
    } else if (pEnd && !pEnd->Succeeded())
        Fail(report, ExitCodeOf(*pEnd), RunEndStatusText(*pEnd));
}

void RunAction(CSession &session, CPortReport &report, const CliOptions &options,
               const CPortSession::MessageSink &fnDevices)
{
    switch (options.action) {
    case CliAction::Query:
        RunQuery(session, report);
        break;
    case CliAction::Set:
        RunSet(session, report, options);
        break;
    case CliAction::Defaults:
    case CliAction::ClearAddress:
        RunSingle(session, report, options.action);
        break;
    case CliAction::Search:
        RunSearch(session, report, options, fnDevices);
        break;
    case CliAction::Probe:
        RunProbe(session, report);
        break;
    default:
        break;
    }
}

} // namespace

std::string DescribeOpenError(const std::string &strPort, const COpenFailureInfo &failure)
{
    // The command line's own messages are English, whatever the engine's texts follow.
    return DescribeOpenFailure(strPort, failure, EUiLanguage::English);
}

CPortSession::CPortSession(std::string strPort, const CliOptions &options)
    : m_strPort(std::move(strPort)), m_options(options)
{}

CPortReport CPortSession::Run()
{
    CPortReport report;
    report.strPort = m_strPort;

    CCliView view(m_options.dTimerScale, m_options.bContinueOnError);
    // Nothing is kept for a window: the trace only tells, and only with --trace.
    CModuleSetupEngine engine(view, {CLinkTrace::Clock::now(), 0, m_pTraceOrder});
    view.Attach(engine);
    engine.SetProbeChecklistShown(false); // printed once for all ports instead
    if (m_fnTrace) {
        engine.SessionTrace().SetListener(
            [this](const CTraceEntry &entry) { m_fnTrace(m_strPort, entry); });
        engine.SessionTrace().SetListening(true);
    }
    view.m_fnShown = [this](const std::string &strText) {
        if (m_fnMessages)
            m_fnMessages(m_strPort, strText);
    };
    CLineSettings line = m_options.line;
    line.nFlow = static_cast<uint8_t>(m_options.nFlow);
    if (!engine.OpenSession(m_strPort, line)) {
        report.nExitCode = EXIT_CLI_PORT;
        report.strError = DescribeOpenError(m_strPort, engine.LastOpenFailure());
        report.strEnd = RunEndName(ERunEnd::NoPort);
        return report;
    }
    CSession session{view, engine};
    view.m_fnLost = [&session] { session.bLost = true; };
    const bool bProbeFirst =
        m_options.action != CliAction::Probe && m_options.line.nRate == kAutoLineRate;
    if (!bProbeFirst || RunProbe(session, report)) {
        if (bProbeFirst && m_fnMessages)
            m_fnMessages(m_strPort, "line rate " + std::to_string(report.nLineRate) +
                                        " (found by the probe)");
        RunAction(session, report, m_options, m_fnDevices);
    }
    report.strStatus = view.m_strStatus;
    report.params = engine.LastRead();
    report.strLocalAddr = engine.FormMembers().m_strLocalAddr;
    if (report.strEnd.empty() && !view.m_runEnds.empty())
        report.strEnd = RunEndName(view.m_runEnds.back().eEnd);
    if (session.bLost && report.nExitCode == EXIT_CLI_OK) {
        report.nExitCode = EXIT_CLI_MODULE;
        report.strError = m_strPort + " went away";
        report.strEnd = RunEndName(ERunEnd::PortLost);
    }
    engine.CloseSession();
    return report;
}
