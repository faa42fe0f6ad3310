// Which command a final line answers. The module answers strictly in order, so "OK" or "ERROR"
// belongs to the oldest command still unanswered; a command that timed out stays unanswered until
// its late line comes, and that line changes no run. Where the module may have dropped a command
// altogether, the next command's own answer is taken for the dropped one's, so that command is
// reported as failed, never as done.

#include "engine/ModuleSetupEngine.h"
#include "protocol/AtProtocol.h"
#include "serial/LinkTrace.h"

#include <cctype>

namespace {
// The same command, whatever its line ending and letter case.
bool EqualsCommand(const std::string &strWritten, const char *pszCommand)
{
    const auto bare = [](std::string strCommand) {
        while (!strCommand.empty() && (strCommand.back() == '\r' || strCommand.back() == '\n'))
            strCommand.pop_back();
        for (char &c : strCommand)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return strCommand;
    };
    return bare(strWritten) == bare(pszCommand);
}
} // namespace

bool CModuleSetupEngine::TakeFinalLine(const char *pLine, size_t nLength)
{
    const std::optional<CReplyQueue::CAnswered> answered = m_unanswered.PopOldest();
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
    m_unanswered.Abandon(m_nAwaitedToken);
    m_nAwaitedToken = 0;
    m_view.SetTimer(TIMER_LATE, kLateReplyWindow);
}

void CModuleSetupEngine::OnLateReplyWindowOver()
{
    NoteDropped(m_unanswered.DropUnawaited());
}

void CModuleSetupEngine::NoteDropped(const std::vector<std::string> &dropped)
{
    for (const std::string &strCommand : dropped) {
        if (m_pTrace)
            m_pTrace->RecordNote("no reply came for " + EscapeTraceBytes(strCommand) +
                                 ": taken as never answered");
    }
}

// The information line that answers pszQuery came. The module answers in order, so when the
// command waited for is that query, every command before it is over, answered or dropped: a reply
// still owed for one of them will never come, and the query's own final line is next.
void CModuleSetupEngine::OnInformationFor(const char *pszQuery)
{
    const std::string *pAwaited = m_unanswered.Command(m_nAwaitedToken);
    if (pAwaited != nullptr && EqualsCommand(*pAwaited, pszQuery))
        NoteDropped(m_unanswered.DropUnawaitedBefore(m_nAwaitedToken));
}

void CModuleSetupEngine::ForgetOutstandingCommands()
{
    m_unanswered.Clear();
    m_nAwaitedToken = 0;
    m_view.KillTimer(TIMER_LATE);
}

// "+INQCOMP" closes a search: the final line of "AT+INQ" when the module sent no "OK" for it.
void CModuleSetupEngine::OnSearchClosingLine(const char *pLine, size_t nLength)
{
    const std::string *pOldest = m_unanswered.Oldest();
    if (pOldest == nullptr || !EqualsCommand(*pOldest, CMD_INQ))
        return;
    if (TakeFinalLine(pLine, nLength) && m_bConsoleWaiting)
        EndConsoleCommand(ERunEnd::Done);
}
