#include "cli/PortSession.h"

#include "dialog/ConfigFile.h"
#include "dialog/FormModel.h"
#include "dialog/FormValues.h"
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
        const auto scaled =
            std::chrono::duration_cast<std::chrono::milliseconds>(period * m_dTimerScale);
        CHeadlessEngine::SetTimer(nIdEvent, std::max(scaled, std::chrono::milliseconds(1)));
    }

    void WriteCommand(const char *pCommand) override
    {
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
            m_fnShown(bPrompt ? strText + (nResult == IDYES ? " 是" : " 否") : strText);
        }
        return nResult;
    }

    void OnDeviceFound(const std::string &strEntry) override { m_devices.push_back(strEntry); }

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

// Waits for the action of this kind that was just started to end; records a failure.
bool AwaitRunEnd(CCliEngine &engine, CSessionLoop &loop, CPortReport &report, ERunKind eRun,
                 size_t nEndsBefore)
{
    loop.RunUntil([&] { return engine.EndSince(nEndsBefore, eRun) != nullptr; }, kNoDeadline);
    const CRunEnd *pEnd = engine.EndSince(nEndsBefore, eRun);
    const int nExitCode = pEnd ? ExitCodeOf(*pEnd) : EXIT_CLI_MODULE;
    if (nExitCode == EXIT_CLI_OK)
        return true;
    Fail(report, nExitCode, pEnd ? RunEndStatusText(*pEnd) : std::string());
    return false;
}

bool RunQuery(CCliEngine &engine, CSessionLoop &loop, CPortReport &report)
{
    const size_t nEnds = engine.m_runEnds.size();
    engine.OnButtonQuery();
    return AwaitRunEnd(engine, loop, report, ERunKind::Query, nEnds);
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
    const bool bSet = AwaitRunEnd(engine, loop, report, ERunKind::Set, nEnds);
    report.lines = engine.m_written;
    if (bSet && options.bVerify)
        VerifySet(engine, loop, report, options.set);
}

// Single-command actions: press the button, wait for the outcome the sequencer reports.
void RunSingle(CCliEngine &engine, CSessionLoop &loop, CPortReport &report, CliAction action)
{
    const bool bDefaults = action == CliAction::Defaults;
    const size_t nEnds = engine.m_runEnds.size();
    if (bDefaults)
        engine.OnButtonDefault();
    else
        engine.OnButtonClearAddr();
    AwaitRunEnd(engine, loop, report, bDefaults ? ERunKind::Restore : ERunKind::ClearAddr, nEnds);
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
    if (!bDone)
        Fail(report, EXIT_CLI_MODULE, "the module did not finish the search in time");
    else if (pEnd && !pEnd->Succeeded())
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
    default:
        break;
    }
}

} // namespace

std::string DescribeOpenError(const std::string &strPort, int nErrno)
{
    switch (nErrno) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return "cannot open " + strPort + ": no such device (is the adapter plugged in?)";
    case EBUSY:
    case EWOULDBLOCK:
        return "cannot open " + strPort + ": the port is busy (another program is using it)";
    case EACCES:
    case EPERM:
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
    link.m_nBaudRate = 9600;
    link.m_nByteSize = 8;
    link.m_nParity = 0;
    link.m_nStopBits = 0;
    link.m_nFlowControl = static_cast<uint8_t>(m_options.nFlow);
    if (!link.Open(m_strPort)) {
        report.nExitCode = EXIT_CLI_PORT;
        report.strError = DescribeOpenError(m_strPort, link.LastOpenError());
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
    RunAction(engine, loop, report, m_options, m_fnDevices);
    report.strStatus = LastStatus(engine);
    report.params = engine.m_paramsCur;
    report.strLocalAddr = engine.m_strLocalAddr;
    if (loop.PortLost() && report.nExitCode == EXIT_CLI_OK) {
        report.nExitCode = EXIT_CLI_MODULE;
        report.strError = m_strPort + " went away";
    }
    engine.m_pSerial = nullptr;
    link.Close();
    return report;
}
