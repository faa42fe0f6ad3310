#include "cli/PortSession.h"

#include "engine/ConfigFile.h"
#include "engine/FormModel.h"
#include "engine/FormValues.h"
#include "engine/UiText.h"
#include "protocol/AtProtocol.h"
#include "serial/LinkTrace.h"
#include "serial/SerialLink.h"

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>

namespace {

using Clock = std::chrono::steady_clock;

// The engine as the command line runs it: the answers of the continue prompts come from
// --on-error, the step timeouts may be scaled for tests, and --dry-run keeps set lines off the
// wire.
class CCliEngine : public CHeadlessEngine
{
public:
    CCliEngine(double dTimerScale, bool bContinueOnError) : m_dTimerScale(dTimerScale)
    {
        m_fnMessagePolicy = [bContinueOnError](const std::string &, const std::string &,
                                               unsigned nType) {
            if ((nType & MB_YESNO) == 0)
                return IDOK;
            return bContinueOnError ? IDYES : IDNO;
        };
    }

    void SetTimer(unsigned nIdEvent, std::chrono::milliseconds period) override
    {
        // The probe waits for bytes on the wire: shortened, it would miss answers.
        const double dScale = nIdEvent == TIMER_PROBE ? 1.0 : m_dTimerScale;
        const auto scaled =
            std::chrono::duration_cast<std::chrono::milliseconds>(period * dScale);
        CHeadlessEngine::SetTimer(nIdEvent, std::max(scaled, std::chrono::milliseconds(1)));
    }

    void WriteCommand(const char *pCommand) override
    {
        ++m_nWrites;
        m_written.emplace_back(pCommand);
        if (!m_bCaptureOnly)
            CHeadlessEngine::WriteCommand(pCommand);
    }

    void OnRunEnded(const CRunEnd &runEnd) override { m_runEnds.push_back(runEnd); }

    // The end of an action of this kind among the ends reported since nFrom, if there is one.
    const CRunEnd *EndSince(size_t nFrom, ERunKind eRun) const
    {
        for (size_t i = m_runEnds.size(); i > nFrom; --i) {
            if (m_runEnds[i - 1].eRun == eRun)
                return &m_runEnds[i - 1];
        }
        return nullptr;
    }

    int MessageBox(const std::string &strText, const std::string &strCaption,
                   unsigned nType) override
    {
        const int nResult = CHeadlessEngine::MessageBox(strText, strCaption, nType);
        if (m_fnShown) {
            const bool bPrompt = (nType & MB_YESNO) != 0;
            const char *pAnswer = nResult == IDYES ? Tr("Cli", "是") : Tr("Cli", "否");
            m_fnShown(bPrompt ? strText + " " + pAnswer : strText);
        }
        return nResult;
    }

    void OnDeviceFound(const std::string &strEntry) override { m_devices.push_back(strEntry); }

    // No box here: the command line prints its own checklist.
    void OnLineProbeEnded(uint32_t nRate) override
    {
        m_nProbedRate = nRate;
        m_bProbeEnded = true;
    }

    size_t m_nWrites = 0; // commands written so far, dry runs included
    uint32_t m_nProbedRate = 0;
    bool m_bProbeEnded = false;

    std::function<void(const std::string &)> m_fnShown; // each message box as it is answered
    bool m_bCaptureOnly = false;
    std::vector<std::string> m_written;
    std::vector<std::string> m_devices;
    std::vector<CRunEnd> m_runEnds; // every action's end, oldest first

private:
    double m_dTimerScale;
};

// Bytes and the lost-port notice cross from the link's reader thread to the session's thread.
struct CInbox
{
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::string> chunks;
    bool bPortLost = false;
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

void OnLost(void *pUser)
{
    auto *pInbox = static_cast<CInbox *>(pUser);
    {
        std::lock_guard<std::mutex> lock(pInbox->mutex);
        pInbox->bPortLost = true;
    }
    pInbox->changed.notify_one();
}

// Runs the engine until a condition holds or a deadline passes: received bytes, the lost-port
// notice and due timers are handled in arrival order on this thread.
class CSessionLoop
{
public:
    CSessionLoop(CCliEngine &engine, CInbox &inbox) : m_engine(engine), m_inbox(inbox) {}

    bool RunUntil(const std::function<bool()> &fnDone, Clock::time_point deadline)
    {
        while (!fnDone()) {
            Drain();
            m_engine.FireDueTimers(Clock::now());
            if (fnDone())
                return true;
            if (Clock::now() >= deadline)
                return false;
            Wait(deadline);
        }
        return true;
    }

    bool PortLost() const { return m_bLost; }

private:
    void Drain()
    {
        std::deque<std::string> chunks;
        bool bLost = false;
        {
            std::lock_guard<std::mutex> lock(m_inbox.mutex);
            chunks.swap(m_inbox.chunks);
            bLost = m_inbox.bPortLost;
        }
        for (const std::string &strChunk : chunks)
            m_engine.OnReceivedBytes(strChunk.data(), strChunk.size());
        if (bLost && !m_bLost) {
            m_bLost = true;
            m_engine.OnPortLost();
        }
    }

    void Wait(Clock::time_point deadline)
    {
        Clock::time_point until = deadline;
        if (auto next = m_engine.NextDeadline(); next && *next < until)
            until = *next;
        std::unique_lock<std::mutex> lock(m_inbox.mutex);
        m_inbox.changed.wait_until(lock, until, [this] {
            return !m_inbox.chunks.empty() || (m_inbox.bPortLost && !m_bLost);
        });
    }

    CCliEngine &m_engine;
    CInbox &m_inbox;
    bool m_bLost = false;
};

const Clock::time_point kNoDeadline = Clock::time_point::max();

std::string LastStatus(const CCliEngine &engine)
{
    return engine.m_statusTexts.empty() ? std::string() : engine.m_statusTexts.back();
}

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
    // The checks refused the form and said why in their message.
    if (runEnd.eEnd == ERunEnd::FormRefused)
        return EXIT_CLI_USAGE;
    return EXIT_CLI_MODULE;
}

// Waits for the action of this kind that was just started to end; records a failure. A run whose
// first command got no answer points at the line rate, unless a probe just found it.
bool AwaitRunEnd(CCliEngine &engine, CSessionLoop &loop, CPortReport &report, ERunKind eRun,
                 size_t nEndsBefore, size_t nWritesBefore)
{
    loop.RunUntil([&] { return engine.EndSince(nEndsBefore, eRun) != nullptr; }, kNoDeadline);
    const CRunEnd *pEnd = engine.EndSince(nEndsBefore, eRun);
    const int nExitCode = pEnd ? ExitCodeOf(*pEnd) : EXIT_CLI_MODULE;
    if (nExitCode == EXIT_CLI_OK)
        return true;
    std::string strError = pEnd ? RunEndStatusText(*pEnd) : std::string();
    if (pEnd && pEnd->eEnd == ERunEnd::TimedOut && engine.m_nWrites - nWritesBefore == 1 &&
        report.nLineRate == 0)
        strError += " (no answer at this line rate; try `kestrel-cli probe`)";
    Fail(report, nExitCode, strError);
    return false;
}

// Runs the probe on the open line; false (with the report failed) when no rate answered.
bool RunProbe(CCliEngine &engine, CSessionLoop &loop, CPortReport &report)
{
    engine.m_bProbeEnded = false;
    if (!engine.StartLineProbe()) {
        Fail(report, EXIT_CLI_MODULE, "the line could not be probed");
        return false;
    }
    loop.RunUntil([&] { return engine.m_bProbeEnded || loop.PortLost(); }, kNoDeadline);
    report.nLineRate = engine.m_bProbeEnded ? engine.m_nProbedRate : 0;
    if (report.nLineRate != 0)
        return true;
    if (!loop.PortLost()) {
        report.bNoRateAnswered = true;
        Fail(report, EXIT_CLI_MODULE, "no line rate answered \"AT\" with \"OK\"");
    }
    return false;
}

bool RunQuery(CCliEngine &engine, CSessionLoop &loop, CPortReport &report)
{
    const size_t nEnds = engine.m_runEnds.size();
    const size_t nWrites = engine.m_nWrites;
    engine.OnButtonQuery();
    return AwaitRunEnd(engine, loop, report, ERunKind::Query, nEnds, nWrites);
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

// Reads the module again after a set run and compares what the request named. The last-read
// record starts blank, so a value the reading skipped counts as not held rather than as the one
// queued.
void VerifySet(CCliEngine &engine, CSessionLoop &loop, CPortReport &report, const CSetValues &asked)
{
    engine.m_paramsCur = ModuleParams{};
    if (!RunQuery(engine, loop, report))
        return;
    const std::vector<CVerifyMismatch> mismatches =
        CompareAskedWithRead(asked, engine.m_paramsNew, engine.m_paramsCur);
    if (!mismatches.empty())
        Fail(report, EXIT_CLI_MODULE, DescribeMismatches(mismatches));
}

// Reads the module, types the requested values into the form and presses Set, as a user would.
void RunSet(CCliEngine &engine, CSessionLoop &loop, CPortReport &report, const CliOptions &options)
{
    if (!RunQuery(engine, loop, report))
        return;
    if (options.set.Has(ParamOf(&ModuleParams::Baud))) {
        const int nIndex = BaudIndex(options.set.params.Baud);
        if (nIndex < 0)
            return Fail(report, EXIT_CLI_USAGE, "unsupported baud rate " + options.set.params.Baud);
    }
    ApplyValuesToForm(engine, options.set);

    engine.m_bCaptureOnly = options.bDryRun;
    engine.m_written.clear();
    const size_t nEnds = engine.m_runEnds.size();
    const size_t nWrites = engine.m_nWrites;
    engine.OnButtonSet();
    if (options.bDryRun) {
        if (const CRunEnd *pEnd = engine.EndSince(nEnds, ERunKind::Set);
            pEnd && pEnd->eEnd == ERunEnd::FormRefused)
            return Fail(report, EXIT_CLI_USAGE, {});
        for (int i = 0; i < engine.m_nSetCommandCount; ++i)
            report.lines.emplace_back(engine.m_SetCommandList[i]);
        // Only listed: the run ends here and gives back what it queued.
        engine.AbandonRun();
        engine.SetStatusText({});
        return;
    }
    const bool bSet = AwaitRunEnd(engine, loop, report, ERunKind::Set, nEnds, nWrites);
    report.lines = engine.m_written;
    if (bSet && options.bVerify)
        VerifySet(engine, loop, report, options.set);
}

// Single-command actions: press the button, wait for the outcome the sequencer reports.
void RunSingle(CCliEngine &engine, CSessionLoop &loop, CPortReport &report, CliAction action)
{
    const bool bDefaults = action == CliAction::Defaults;
    const size_t nEnds = engine.m_runEnds.size();
    const size_t nWrites = engine.m_nWrites;
    if (bDefaults)
        engine.OnButtonDefault();
    else
        engine.OnButtonClearAddr();
    AwaitRunEnd(engine, loop, report, bDefaults ? ERunKind::Restore : ERunKind::ClearAddr, nEnds,
                nWrites);
}

// Searches until the module reports the end of the search, or the time allowed runs out.
void RunSearch(CCliEngine &engine, CSessionLoop &loop, CPortReport &report,
               const CliOptions &options, const CPortSession::MessageSink &fnDevices)
{
    const size_t nEnds = engine.m_runEnds.size();
    engine.OnButtonSearch();
    size_t nTold = 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(
                                             static_cast<int64_t>(options.dSearchSeconds * 1000));
    const bool bDone = loop.RunUntil(
        [&] {
            for (; nTold < engine.m_devices.size(); ++nTold) {
                if (fnDevices)
                    fnDevices(report.strPort, engine.m_devices[nTold]);
            }
            return engine.EndSince(nEnds, ERunKind::Search) != nullptr || loop.PortLost();
        },
        deadline);
    report.devices = engine.m_devices;
    const CRunEnd *pEnd = engine.EndSince(nEnds, ERunKind::Search);
    if (!bDone) {
        Fail(report, EXIT_CLI_MODULE, "the module did not finish the search in time");
        report.strEnd = RunEndName(ERunEnd::TimedOut);
    } else if (pEnd && !pEnd->Succeeded())
        Fail(report, ExitCodeOf(*pEnd), RunEndStatusText(*pEnd));
}

void RunAction(CCliEngine &engine, CSessionLoop &loop, CPortReport &report,
               const CliOptions &options, const CPortSession::MessageSink &fnDevices)
{
    switch (options.action) {
    case CliAction::Query:
        RunQuery(engine, loop, report);
        break;
    case CliAction::Set:
        RunSet(engine, loop, report, options);
        break;
    case CliAction::Defaults:
    case CliAction::ClearAddress:
        RunSingle(engine, loop, report, options.action);
        break;
    case CliAction::Search:
        RunSearch(engine, loop, report, options, fnDevices);
        break;
    case CliAction::Probe:
        RunProbe(engine, loop, report);
        break;
    default:
        break;
    }
}

} // namespace

std::string DescribeOpenError(const std::string &strPort, int nErrno,
                              const std::vector<CPortHolder> &holders,
                              const std::string &strGroupAwaitingLogin)
{
    switch (nErrno) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return "cannot open " + strPort + ": no such device (is the adapter plugged in?)";
    case EBUSY:
    case EWOULDBLOCK:
        if (holders.empty())
            return "cannot open " + strPort + ": the port is busy (another program is using it)";
        return "cannot open " + strPort + ": the port is busy, held by " +
               DescribePortHolders(holders) +
               (HeldByModemManager(holders)
                    ? " (ModemManager probes new ports: stop it with sudo systemctl stop "
                      "ModemManager, or mark the device ignored with the udev property "
                      "ID_MM_DEVICE_IGNORE=1)"
                    : "");
    case EACCES:
    case EPERM:
        if (!strGroupAwaitingLogin.empty())
            return "cannot open " + strPort + ": permission denied (you are in the " +
                   strGroupAwaitingLogin +
                   " group, but not yet in this login: log out and in again)";
        return "cannot open " + strPort +
               ": permission denied (join the dialout group: sudo usermod -aG dialout $USER, "
               "then log in again)";
    default:
        return "cannot open " + strPort + ": " +
               (nErrno ? std::strerror(nErrno) : "the port refused its settings");
    }
}

CPortSession::CPortSession(std::string strPort, const CliOptions &options)
    : m_strPort(std::move(strPort)), m_options(options)
{}

CPortReport CPortSession::Run()
{
    CPortReport report;
    report.strPort = m_strPort;

    // The link goes first, so its reader is gone before the trace and the inbox it calls into.
    CInbox inbox;
    CLinkTrace trace(CLinkTrace::Clock::now(), 0, m_pTraceOrder);
    CSerialLink link;
    if (m_fnTrace) {
        trace.SetListener([this](const CTraceEntry &entry) { m_fnTrace(m_strPort, entry); });
        trace.SetListening(true);
    }
    trace.Tap(link, &OnChunk, &inbox);
    link.SetDisconnectCallback(&OnLost, &inbox);
    const bool bProbeFirst =
        m_options.action != CliAction::Probe && m_options.line.nRate == kAutoLineRate;
    CLineSettings line = m_options.line;
    line.nFlow = static_cast<uint8_t>(m_options.nFlow);
    link.ApplyLineSettings(line);
    if (!link.Open(m_strPort)) {
        report.nExitCode = EXIT_CLI_PORT;
        report.strError = DescribeOpenError(m_strPort, link.LastOpenError(), link.LastOpenHolders(),
                                            link.LastOpenGroupAwaitingLogin());
        report.strEnd = RunEndName(ERunEnd::NoPort);
        link.Close();
        return report;
    }

    CCliEngine engine(m_options.dTimerScale, m_options.bContinueOnError);
    engine.m_pSerial = &link;
    engine.m_pTrace = &trace;
    engine.m_fnShown = [this](const std::string &strText) {
        if (m_fnMessages)
            m_fnMessages(m_strPort, strText);
    };
    CSessionLoop loop(engine, inbox);
    if (!bProbeFirst || RunProbe(engine, loop, report)) {
        if (bProbeFirst && m_fnMessages)
            m_fnMessages(m_strPort, "line rate " + std::to_string(report.nLineRate) +
                                        " (found by the probe)");
        RunAction(engine, loop, report, m_options, m_fnDevices);
    }
    report.strStatus = LastStatus(engine);
    report.params = engine.m_paramsCur;
    report.strLocalAddr = engine.m_strLocalAddr;
    if (report.strEnd.empty() && !engine.m_runEnds.empty())
        report.strEnd = RunEndName(engine.m_runEnds.back().eEnd);
    if (loop.PortLost() && report.nExitCode == EXIT_CLI_OK) {
        report.nExitCode = EXIT_CLI_MODULE;
        report.strError = m_strPort + " went away";
        report.strEnd = RunEndName(ERunEnd::PortLost);
    }
    engine.m_pSerial = nullptr;
    link.Close();
    return report;
}
