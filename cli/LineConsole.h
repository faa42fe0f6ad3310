#pragma once

#include "cli/CliOptions.h"
#include "cli/Ledger.h"
#include "cli/ProductionLine.h"
#include "cli/ProvisionUnit.h"
#include "serial/LinkTrace.h"

#include <chrono>
#include <mutex>
#include <optional>
#include <string>

// What a production run shows: one line per unit on stdout (its result word coloured on a
// terminal, the bell at a failure), messages on stderr, and the tally for the summary. Every
// member is thread-safe: the units end on threads of their own.
class CLineConsole
{
public:
    using Clock = std::chrono::steady_clock;

    explicit CLineConsole(std::string strUnits); // "units", "pairs": what the summary counts

    void UnitStarted();
    // strLine is the unit's line without its result word; strWhy follows it on a failure.
    void Result(EUnitResult eResult, const std::string &strLine, const std::string &strWhy);
    // A failure that is no unit's: the run cannot go on as it should (a ledger that cannot be
    // written); the exit code says so.
    void RunFailed(const std::string &strText);
    void Message(const std::string &strText); // "kestrel-cli: ..." on stderr
    void Trace(const std::string &strPort, const CTraceEntry &entry);
    CUnitTraceSink TraceSink(); // Trace, for the units' sessions
    // "summary: 5 passed, 1 failed, 0 skipped, 412 units per hour"
    void PrintSummary();
    int ExitCode();

private:
    std::mutex m_mutex;
    std::string m_strUnits;
    bool m_bTerminal;
    size_t m_anCounts[3] = {}; // by EUnitResult
    bool m_bRunFailed = false;
    std::optional<Clock::time_point> m_firstStart;
    Clock::time_point m_lastEnd;
    Clock::time_point m_traceStart = Clock::now();
};

// How the options reach every module of a production run.
CWorkSetup WorkSetupOf(const CliOptions &options);

// Runs the line on the ports given or, with --watch, on devices as they come until Ctrl-C
// (SIGINT, SIGTERM): the units in flight finish and are recorded, then the summary follows (on
// the ports given, only with bSummaryOfPorts). The exit code: 0 when nothing failed, 1
// otherwise, 2 when the watch cannot start.
int RunProductionLine(CProductionLine &line, const CliOptions &options,
                      const std::vector<std::string> &ports, CLineConsole &console,
                      bool bSummaryOfPorts);
