// The console: any command the user types, sent as a run of its own under the one rule of the
// line, and its reply shown line by line as it comes.

#include "engine/ConsoleCommand.h"
#include "engine/ModuleSetupEngine.h"
#include "engine/UiText.h"
#include "protocol/GbkText.h"
#include "serial/LinkTrace.h"

#include <algorithm>

namespace {
constexpr CUiSource kConsoleSending = KESTREL_TR_NOOP("Engine", "正在发送命令...");

// The command as the end of its run names it: its text (UTF-8), without the line ending, any
// byte that is not text shown as an escape.
std::string ShownCommand(const std::string &strBytes)
{
    std::string strCommand = strBytes;
    while (!strCommand.empty() && (strCommand.back() == '\r' || strCommand.back() == '\n'))
        strCommand.pop_back();
    std::string strShown;
    for (const char c : GbkToUtf8(strCommand)) {
        const auto u = static_cast<unsigned char>(c);
        strShown += u < 0x20 || u == 0x7F ? EscapeTraceBytes(std::string(1, c)) : std::string(1, c);
    }
    return strShown;
}

const char *EndName(ERunEnd eEnd)
{
    return eEnd == ERunEnd::Done       ? "OK"
           : eEnd == ERunEnd::Refused  ? "refused"
           : eEnd == ERunEnd::TimedOut ? "no reply within the wait"
                                       : RunEndName(eEnd);
}
} // namespace

void CModuleSetupEngine::SetConsoleWait(std::chrono::milliseconds quietWait)
{
    m_consoleQuietWait = std::max(quietWait, std::chrono::milliseconds(1));
}

void CModuleSetupEngine::StartConsoleCommand(const std::string &strBytes)
{
    if (RefuseToStart(ERunKind::Console))
        return;
    m_strConsoleCommand = ShownCommand(strBytes);
    m_bConsoleMayChange = ConsoleCommandCanChangeModule(strBytes);
    m_strConsoleLine.clear();
    m_view.SetStatusText(Tr("Engine", kConsoleSending));
    m_bConsoleWaiting = true;
    m_view.SetTimer(TIMER_CONSOLE_MAX, std::max(kConsoleMaxWait, m_consoleQuietWait));
    BeginWaiting(TIMER_CONSOLE, m_consoleQuietWait);
    WriteBytes(strBytes, EWrite::Awaited);
}

bool CModuleSetupEngine::SendConsoleCommand(const std::string &strTypedUtf8,
                                            const std::string &strBytes, CConsoleHistory &history,
                                            CProfile &profile)
{
    const bool bLineHeld = IsRunWaiting(); // refused below, with the reason
    StartConsoleCommand(strBytes);
    if (bLineHeld || !m_bConsoleWaiting)
        return false;
    history.Add(strTypedUtf8);
    history.Save(profile);
    return true;
}

void CModuleSetupEngine::EndConsoleCommand(ERunEnd eEnd)
{
    if (!m_bConsoleWaiting)
        return;
    m_view.KillTimer(TIMER_CONSOLE);
    m_view.KillTimer(TIMER_CONSOLE_MAX);
    m_bConsoleWaiting = false;
    ShowConsoleLine(); // what came without a line end is still part of the reply
    // Silence leaves the command unanswered: a reply that still comes is its own, late.
    StopAwaiting();
    if (m_pTrace)
        m_pTrace->RecordNote("console: " + std::string(EndName(eEnd)));
    // A refused command changed nothing; one that went unanswered may have.
    const bool bMayDiffer = m_bConsoleMayChange && eEnd != ERunEnd::Refused;
    ReportRunEnd({ERunKind::Console, eEnd, m_strConsoleCommand, 0, 0, bMayDiffer});
}

// Each complete line of the reply, as it comes, for the face to show; the quiet wait starts again.
void CModuleSetupEngine::OnConsoleBytes(const char *pData, size_t nLength)
{
    m_view.SetTimer(TIMER_CONSOLE, m_consoleQuietWait);
    for (size_t i = 0; i < nLength; ++i) {
        const char c = pData[i];
        if (c != '\r' && c != '\n') {
            m_strConsoleLine += c;
            // A reply without line ends is shown in pieces rather than kept without bound.
            if (m_strConsoleLine.size() >= kConsoleLineMaxBytes)
                ShowConsoleLine();
            continue;
        }
        ShowConsoleLine();
    }
}

void CModuleSetupEngine::ShowConsoleLine()
{
    if (!m_strConsoleLine.empty())
        m_view.OnConsoleLine(m_strConsoleLine);
    m_strConsoleLine.clear();
}
