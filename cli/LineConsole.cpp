#include "cli/LineConsole.h"

#include "cli/CliPlatform.h"

#include <cmath>
#include <cstdio>
#include <iostream>
#include <unistd.h>

namespace {

constexpr double kSecondsPerHour = 3600.0;

struct CResultLook
{
    const char *pszWord;
    const char *pszColour; // on a terminal
};

CResultLook LookOf(EUnitResult eResult)
{
    switch (eResult) {
    case EUnitResult::Passed:
        return {"PASS", "\033[1;32m"};
    case EUnitResult::Skipped:
        return {"SKIP", "\033[1;33m"};
    case EUnitResult::Failed:
        break;
    }
    return {"FAIL", "\033[1;31m"};
}

} // namespace

CLineConsole::CLineConsole(std::string strUnits)
    : m_strUnits(std::move(strUnits)), m_bTerminal(isatty(fileno(stdout)) != 0)
{}

void CLineConsole::UnitStarted()
{
    const std::lock_guard lock(m_mutex);
    if (!m_firstStart)
        m_firstStart = Clock::now();
}

void CLineConsole::Result(EUnitResult eResult, const std::string &strLine,
                          const std::string &strWhy)
{
    const CResultLook look = LookOf(eResult);
    const std::string strWord =
        m_bTerminal ? std::string(look.pszColour) + look.pszWord + "\033[0m" : look.pszWord;
    const std::lock_guard lock(m_mutex);
    ++m_anCounts[static_cast<size_t>(eResult)];
    m_lastEnd = Clock::now();
    std::cout << strLine << "  " << strWord << (strWhy.empty() ? "" : "  " + strWhy)
              << (eResult == EUnitResult::Failed && m_bTerminal ? "\a" : "") << std::endl;
}

void CLineConsole::RunFailed(const std::string &strText)
{
    const std::lock_guard lock(m_mutex);
    m_bRunFailed = true;
    std::cerr << "kestrel-cli: " << strText << std::endl;
}

void CLineConsole::Message(const std::string &strText)
{
    const std::lock_guard lock(m_mutex);
    std::cerr << "kestrel-cli: " << strText << std::endl;
}

void CLineConsole::Trace(const std::string &strPort, const CTraceEntry &entry)
{
    const std::lock_guard lock(m_mutex);
    std::cerr << FormatTraceLine(entry, m_traceStart, strPort) << std::endl;
}

CUnitTraceSink CLineConsole::TraceSink()
{
    return [this](const std::string &strPort, const CTraceEntry &entry) { Trace(strPort, entry); };
}

void CLineConsole::PrintSummary()
{
    const std::lock_guard lock(m_mutex);
    const size_t nUnits = m_anCounts[0] + m_anCounts[1] + m_anCounts[2];
    // From the first unit's start to the last one's record: the time the line worked.
    const double dSeconds =
        m_firstStart ? std::chrono::duration<double>(m_lastEnd - *m_firstStart).count() : 0;
    const long long nPerHour =
        dSeconds > 0 ? std::llround(static_cast<double>(nUnits) * kSecondsPerHour / dSeconds) : 0;
    std::cout << "summary: " << m_anCounts[static_cast<size_t>(EUnitResult::Passed)] << " passed, "
              << m_anCounts[static_cast<size_t>(EUnitResult::Failed)] << " failed, "
              << m_anCounts[static_cast<size_t>(EUnitResult::Skipped)] << " skipped, " << nPerHour
              << " " << m_strUnits << " per hour" << std::endl;
}

int CLineConsole::ExitCode()
{
    const std::lock_guard lock(m_mutex);
    return m_bRunFailed || m_anCounts[static_cast<size_t>(EUnitResult::Failed)] != 0
               ? EXIT_CLI_MODULE
               : EXIT_CLI_OK;
}

CWorkSetup WorkSetupOf(const CliOptions &options)
{
    CWorkSetup work;
    work.line = options.line;
    // The rate is found at each unit, as --line-rate auto does, unless one is given.
    if (!options.bLineRateGiven)
        work.line.nRate = kAutoLineRate;
    work.dTimerScale = options.dTimerScale;
    work.bContinueOnError = options.bContinueOnError;
    return work;
}

int RunProductionLine(CProductionLine &line, const CliOptions &options,
                      const std::vector<std::string> &ports, CLineConsole &console,
                      bool bSummaryOfPorts)
{
    CProductionLine::SetInterruptTarget(&line);
    SetInterruptHandler(&CProductionLine::OnInterrupt);
    if (!options.production.bWatch) {
        line.RunPorts(ports);
        if (bSummaryOfPorts)
            console.PrintSummary();
        return console.ExitCode();
    }
    const std::string &strGlob = options.production.strWatchGlob;
    line.m_fnWatching = [&] {
        console.Message("watching " + (strGlob.empty() ? "the serial devices" : strGlob) +
                        (options.production.bIncludePresent
                             ? " (those there now included)"
                             : " for new devices (those there now are left alone)") +
                        "; Ctrl-C stops after the units in flight");
    };
    line.m_fnStopping = [&] {
        console.Message("stopping: the units in flight finish and are recorded (Ctrl-C again "
                        "ends at once)");
    };
    std::string strError;
    if (!line.RunWatch({strGlob, {}}, options.production.bIncludePresent, strError)) {
        console.Message(strError);
        return EXIT_CLI_USAGE;
    }
    console.PrintSummary();
    return console.ExitCode();
}
