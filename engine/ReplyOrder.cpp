// Which command a final line answers. The module answers strictly in order, so "OK" or "ERROR"
// belongs to the oldest command still unanswered; a command that timed out stays unanswered until
// its late line comes, and that line changes no run. Where the module may have dropped a command
// altogether, the next command's own answer is taken for the dropped one's, so that command is
// reported as failed, never as done.

#include "engine/ModuleSetupEngine.h"
#include "serial/LinkTrace.h"

#include <cctype>

bool CModuleSetupEngine::TakeFinalLine(const char *pLine, size_t nLength)
{
    const std::optional<CReplyQueue::CAnswered> answered = m_replies.PopOldest();
    if (!answered)
        return false; // nothing written waits for a final line: unasked for, it changes nothing
    if (m_nAwaitedToken != 0 && answered->nToken == m_nAwaitedToken) {
        m_nAwaitedToken = 0;
        return true;
    }
    if (answered->bAbandoned && m_pTrace)
        m_pTrace->RecordNote("late reply " + EscapeTraceBytes(std::string(pLine, nLength)) +
                             " to " + EscapeTraceBytes(answered->strCommand) +
                             ": its run went on without it");
    return false;
}

void CModuleSetupEngine::StopAwaiting()
{
    if (m_nAwaitedToken == 0)
        return;
    m_replies.Abandon(m_nAwaitedToken);
    m_nAwaitedToken = 0;
    m_view.SetTimer(TIMER_LATE, kLateReplyWindow);
}

void CModuleSetupEngine::OnLateReplyWindowOver()
{
    for (const std::string &strCommand : m_replies.DropUnawaited()) {
        if (m_pTrace)
            m_pTrace->RecordNote("no reply came for " + EscapeTraceBytes(strCommand) +
                                 ": taken as never answered");
    }
}

void CModuleSetupEngine::ForgetOutstandingCommands()
{
    m_replies.Clear();
    m_nAwaitedToken = 0;
    m_view.KillTimer(TIMER_LATE);
}

// "+INQCOMP" closes a search: the final line of "AT+INQ" when the module sent no "OK" for it.
void CModuleSetupEngine::OnSearchClosingLine(const char *pLine, size_t nLength)
{
    const std::string *pOldest = m_replies.Oldest();
    if (pOldest == nullptr)
        return;
    std::string strCommand = *pOldest;
    while (!strCommand.empty() && (strCommand.back() == '\r' || strCommand.back() == '\n'))
        strCommand.pop_back();
    for (char &c : strCommand)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (strCommand != "AT+INQ")
        return;
    if (TakeFinalLine(pLine, nLength) && m_bConsoleWaiting)
        EndConsoleCommand(ERunEnd::Done);
}
