#include "cli/PortSession.h"

#include "cli/EngineSession.h"
#include "engine/ConfigFile.h"
#include "engine/FormValues.h"
#include "engine/ModuleSetupEngine.h"
#include "engine/UiText.h"
#include "protocol/AtProtocol.h"

namespace {

using Clock = std::chrono::steady_clock;

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

// Records how an action that was waited for ended. A run whose first command got no answer
// points at the line rate, unless a probe just found it.
bool Record(CEngineSession &session, CPortReport &report, const std::optional<CRunEnd> &end)
{
    const int nExitCode = end ? ExitCodeOf(*end) : EXIT_CLI_MODULE;
    if (nExitCode == EXIT_CLI_OK)
        return true;
    std::string strError = end ? RunEndStatusText(*end) : std::string();
    if (end && end->eEnd == ERunEnd::TimedOut && session.WrittenByLastAction().size() == 1 &&
        report.nLineRate == 0)
        strError += " (no answer at this line rate; try `kestrel-cli probe`)";
    Fail(report, nExitCode, strError);
    return false;
}

// Runs the probe on the open line; false (with the report failed) when no rate answered.
bool RunProbe(CEngineSession &session, CPortReport &report)
{
    report.nLineRate = session.Probe();
    if (report.nLineRate != 0)
        return true;
    if (!session.Lost()) {
        report.bNoRateAnswered = true;
        Fail(report, EXIT_CLI_MODULE, "no line rate answered \"AT\" with \"OK\"");
    }
    return false;
}

bool RunQuery(CEngineSession &session, CPortReport &report)
{
    return Record(session, report, session.Query());
}

// Reads the module again, from nothing, after a set run and compares what the request named.
void VerifySet(CEngineSession &session, CPortReport &report, const CSetValues &asked)
{
    if (!Record(session, report, session.QueryAfresh()))
        return;
    const std::vector<CVerifyMismatch> mismatches = session.MismatchesWith(asked);
    if (!mismatches.empty())
        Fail(report, EXIT_CLI_MODULE, DescribeMismatches(mismatches));
}

// Reads the module, then sets the values asked for: the window's checks and change detection,
// from values rather than from a form.
void RunSet(CEngineSession &session, CPortReport &report, const CliOptions &options)
{
    if (!RunQuery(session, report))
        return;
    if (options.set.Has(ParamOf(&ModuleParams::Baud)) && BaudIndex(options.set.params.Baud) < 0)
        return Fail(report, EXIT_CLI_USAGE, "unsupported baud rate " + options.set.params.Baud);
    if (options.bDryRun) {
        const CSetPlan plan = session.Engine().PlanSet(options.set);
        if (!plan.strRefusal.empty()) {
            if (session.View().m_fnShown)
                session.View().m_fnShown(plan.strRefusal);
            return Fail(report, EXIT_CLI_USAGE, {});
        }
        // Only listed: nothing was set, so nothing is reported as done.
        report.lines = plan.lines;
        session.View().m_strStatus.clear();
        return;
    }
    const bool bSet = Record(session, report, session.Set(options.set));
    report.lines = session.WrittenByLastAction();
    if (bSet && options.bVerify)
        VerifySet(session, report, options.set);
}

// Single-command actions: press the button, wait for the outcome the sequencer reports.
void RunSingle(CEngineSession &session, CPortReport &report, CliAction action)
{
    CModuleSetupEngine &engine = session.Engine();
    if (action == CliAction::Defaults)
        Record(session, report,
               session.RunAction([&] { engine.OnButtonDefault(); }, ERunKind::Restore));
    else
        Record(session, report,
               session.RunAction([&] { engine.OnButtonClearAddr(); }, ERunKind::ClearAddr));
}

// Searches until the module reports the end of the search, or the time allowed runs out.
void RunSearch(CEngineSession &session, CPortReport &report, const CliOptions &options,
               const CPortSession::MessageSink &fnDevices)
{
    CCliView &view = session.View();
    const size_t nEnds = view.m_runEnds.size();
    session.Engine().OnButtonSearch();
    size_t nTold = 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(
                                             static_cast<int64_t>(options.dSearchSeconds * 1000));
    const bool bDone = session.RunUntil(
        [&] {
            for (; nTold < view.m_devices.size(); ++nTold) {
                if (fnDevices)
                    fnDevices(report.strPort, view.m_devices[nTold]);
            }
            return view.EndSince(nEnds, ERunKind::Search) != nullptr || session.Lost();
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

void RunAction(CEngineSession &session, CPortReport &report, const CliOptions &options,
               const CPortSession::MessageSink &fnDevices,
               const CPortSession::MessageSink &fnReplies)
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
    case CliAction::Send:
        RunSend(session, report, options, [&](const std::string &strLine) {
            if (fnReplies)
                fnReplies(report.strPort, strLine);
        });
        break;
    default:
        break;
    }
}

} // namespace

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

    CEngineSession::CSetup setup;
    setup.dTimerScale = m_options.dTimerScale;
    setup.bContinueOnError = m_options.bContinueOnError;
    setup.trace.pOrderLock = m_pTraceOrder;
    CEngineSession session(setup);
    if (m_fnTrace)
        session.TraceTo(m_strPort, m_fnTrace);
    session.View().m_fnShown = [this](const std::string &strText) {
        if (m_fnMessages)
            m_fnMessages(m_strPort, strText);
    };
    if (!session.Open(m_strPort, m_options.line)) {
        report.nExitCode = EXIT_CLI_PORT;
        report.strError = DescribeOpenError(m_strPort, session.LastOpenFailure());
        report.strEnd = RunEndName(ERunEnd::NoPort);
        return report;
    }
    const bool bProbeFirst =
        m_options.action != CliAction::Probe && m_options.line.nRate == kAutoLineRate;
    if (!bProbeFirst || RunProbe(session, report)) {
        if (bProbeFirst && m_fnMessages)
            m_fnMessages(m_strPort,
                         "line rate " + std::to_string(report.nLineRate) + " (found by the probe)");
        RunAction(session, report, m_options, m_fnDevices, m_fnReplies);
    }
    if (session.Engine().OwesLateReply() && !session.Lost()) {
        if (m_fnMessages)
            m_fnMessages(m_strPort,
                         "waiting for the late reply to a command that timed out (at most " +
                             std::to_string(kLateReplyWindow.count() / 1000) +
                             " s) before closing the port");
        session.AwaitLateReplies();
    }
    report.strStatus = session.View().m_strStatus;
    report.params = session.Engine().LastRead();
    report.strLocalAddr = session.Engine().FormMembers().m_strLocalAddr;
    const std::vector<CRunEnd> &ends = session.View().m_runEnds;
    if (report.strEnd.empty() && !ends.empty())
        report.strEnd = RunEndName(ends.back().eEnd);
    if (session.Lost() && report.nExitCode == EXIT_CLI_OK) {
        report.nExitCode = EXIT_CLI_MODULE;
        report.strError = m_strPort + " went away";
        report.strEnd = RunEndName(ERunEnd::PortLost);
    }
    return report;
}
