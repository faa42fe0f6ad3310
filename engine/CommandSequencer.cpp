#include "engine/ModuleSetupEngine.h"
#include "engine/UiText.h"
#include "protocol/AtProtocol.h"

#include <cstring>

namespace {

constexpr CUiSource kCaptionNotice = KESTREL_TR_NOOP("Engine", "提示");
constexpr CUiSource kUnknownName = KESTREL_TR_NOOP("Engine", "未知");
constexpr char kQueryRaddr[] = "AT+RADDR?\r\n";

// Status texts and prompts of the runs (UTF-8).
constexpr CUiSource kNeedPort = KESTREL_TR_NOOP("Engine", "请先打开串口");
constexpr CUiSource kQuerying = KESTREL_TR_NOOP("Engine", "正在查询内嵌模块参数...");
constexpr CUiSource kQueryDone = KESTREL_TR_NOOP("Engine", "查询完成");
constexpr CUiSource kSetDone = KESTREL_TR_NOOP("Engine", "设置完成");
constexpr CUiSource kNothingToSet = KESTREL_TR_NOOP("Engine", "没有改变参数，不需要设置");
constexpr CUiSource kClearDone = KESTREL_TR_NOOP("Engine", "成功清除邦定的蓝牙地址");
constexpr CUiSource kClearFailed = KESTREL_TR_NOOP("Engine", "清除蓝牙地址失败");
constexpr CUiSource kClearTimeout = KESTREL_TR_NOOP("Engine", "清除蓝牙地址超时");
constexpr CUiSource kRestoreDone = KESTREL_TR_NOOP("Engine", "成功恢复默认参数");
constexpr CUiSource kRestoreFailed =
    KESTREL_TR_NOOP("Engine", "恢复默认参数失败，请手动点击“设置”按钮");
constexpr CUiSource kRestoreTimeout =
    KESTREL_TR_NOOP("Engine", "恢复默认参数超时，请手动点击“设置”按钮");
constexpr CUiSource kPortLost = KESTREL_TR_NOOP("Engine", "串口已断开，请检查连接");
constexpr CUiSource kQueryFailedAsk = KESTREL_TR_NOOP("Engine", "查询 [%s] 时失败，是否继续？");
constexpr CUiSource kQueryFailed = KESTREL_TR_NOOP("Engine", "查询[%s]时失败");
constexpr CUiSource kQueryTimeoutAsk = KESTREL_TR_NOOP("Engine", "查询 [%s] 时超时，是否继续？");
constexpr CUiSource kQueryTimeout = KESTREL_TR_NOOP("Engine", "查询 [%s] 时超时");
constexpr CUiSource kSetTimeoutAsk = KESTREL_TR_NOOP("Engine", "设置 [%s] 时超时，是否继续？");
constexpr CUiSource kSetTimeout = KESTREL_TR_NOOP("Engine", "设置 [%s] 时超时");
constexpr CUiSource kSearchDone = KESTREL_TR_NOOP("Engine", "查询完成");
constexpr CUiSource kConsoleDone = KESTREL_TR_NOOP("Engine", "命令已完成");
constexpr CUiSource kConsoleRefused = KESTREL_TR_NOOP("Engine", "模块拒绝了命令");
constexpr CUiSource kConsoleTimeout = KESTREL_TR_NOOP("Engine", "命令在等待时间内没有应答");
// Said after a console command that may have changed the module.
constexpr CUiSource kFormMayDiffer =
    KESTREL_TR_NOOP("Engine", "；模块的参数可能已改变，窗口所示可能与模块不符，请点击“查询”重新读取");

// The status text of each end that has one of its own; "%s" takes the command's display name.
struct CRunEndText
{
    ERunKind eRun;
    ERunEnd eEnd;
    CUiSource text;
};

constexpr CRunEndText kRunEndTexts[] = {
    {ERunKind::Query, ERunEnd::Done, kQueryDone},
    {ERunKind::Query, ERunEnd::Refused, kQueryFailed},
    {ERunKind::Query, ERunEnd::TimedOut, kQueryTimeout},
    {ERunKind::Set, ERunEnd::Done, kSetDone},
    {ERunKind::Set, ERunEnd::NothingToSend, kNothingToSet},
    // A refused set line is reported like one that timed out.
    {ERunKind::Set, ERunEnd::Refused, kSetTimeout},
    {ERunKind::Set, ERunEnd::TimedOut, kSetTimeout},
    {ERunKind::ClearAddr, ERunEnd::Done, kClearDone},
    {ERunKind::ClearAddr, ERunEnd::Refused, kClearFailed},
    {ERunKind::ClearAddr, ERunEnd::TimedOut, kClearTimeout},
    {ERunKind::Restore, ERunEnd::Done, kRestoreDone},
    {ERunKind::Restore, ERunEnd::Refused, kRestoreFailed},
    {ERunKind::Restore, ERunEnd::TimedOut, kRestoreTimeout},
    {ERunKind::Search, ERunEnd::Done, kSearchDone},
    {ERunKind::Console, ERunEnd::Done, kConsoleDone},
    {ERunKind::Console, ERunEnd::Refused, kConsoleRefused},
    {ERunKind::Console, ERunEnd::TimedOut, kConsoleTimeout},
};

// The run timers, each with the action it guards.
struct CRunTimer
{
    unsigned nIdEvent;
    ERunKind eRun;
};
constexpr CRunTimer kRunTimers[] = {{TIMER_QUERY, ERunKind::Query},
                                    {TIMER_CLEARADDR, ERunKind::ClearAddr},
                                    {TIMER_SET, ERunKind::Set},
                                    {TIMER_DEFAULT, ERunKind::Restore}};

// The buttons of the actions that write a command.
constexpr int kGatedButtons[] = {IDC_BUTTON_QUERY,     IDC_BUTTON_SET,    IDC_BUTTON_DEFAULT,
                                 IDC_BUTTON_CLEARADDR, IDC_BUTTON_SEARCH, IDC_BUTTON_CONSOLE_SEND};

// How a command is named in prompts; the first matching row wins.
struct CommandName
{
    const char *pText;
    bool bWholeText; // false: the command only has to begin with pText
    CUiSource name;
};

constexpr CommandName CommandNameTable[] = {
    {"AT+NAME", false, KESTREL_TR_NOOP("Engine", "设备名称")},
    {"AT+VERSION", false, KESTREL_TR_NOOP("Engine", "软件版本")},
    {"AT+CLASS", false, KESTREL_TR_NOOP("Engine", "设备类别码")},
    {"AT+BAUD", false, KESTREL_TR_NOOP("Engine", "波特率")},
    {"AT+UARTMODE", false, KESTREL_TR_NOOP("Engine", "串口参数")},
    {"AT+ROLE", false, KESTREL_TR_NOOP("Engine", "主从角色")},
    {"AT+BIND", false, KESTREL_TR_NOOP("Engine", "绑定状态")},
    {"AT+AUTH", false, KESTREL_TR_NOOP("Engine", "是否鉴权/加密")},
    {"AT+SCANTIME", false, KESTREL_TR_NOOP("Engine", "节能参数")},
    {"AT+SNIFF", false, KESTREL_TR_NOOP("Engine", "Sniff节能参数")},
    {"AT+LADDR", false, KESTREL_TR_NOOP("Engine", "本地蓝牙地址")},
    {"AT+RADDR", false, KESTREL_TR_NOOP("Engine", "当前绑定的蓝牙地址")},
    {"AT+PASSWORD", false, KESTREL_TR_NOOP("Engine", "密码")},
    {"AT+CLEARADDR\r\n", true, KESTREL_TR_NOOP("Engine", "清除地址命令")},
    {"AT\r\n", true, KESTREL_TR_NOOP("Engine", "测试命令")},
};

} // namespace

std::string RunEndStatusText(const CRunEnd &runEnd)
{
    // Whatever the action, these two say the same.
    if (runEnd.eEnd == ERunEnd::NoPort)
        return Tr("Engine", kNeedPort);
    if (runEnd.eEnd == ERunEnd::PortLost)
        return Tr("Engine", kPortLost);
    for (const CRunEndText &row : kRunEndTexts) {
        if (row.eRun == runEnd.eRun && row.eEnd == runEnd.eEnd) {
            std::string strText = Tr("Engine", row.text);
            if (const size_t nAt = strText.find("%s"); nAt != std::string::npos)
                strText.replace(nAt, 2, runEnd.strCommand);
            if (runEnd.bFormMayDiffer)
                strText += Tr("Engine", kFormMayDiffer);
            return strText;
        }
    }
    return {};
}

const char *RunEndName(ERunEnd eEnd)
{
    switch (eEnd) {
    case ERunEnd::Done:
        return "done";
    case ERunEnd::Refused:
        return "refused";
    case ERunEnd::TimedOut:
        return "timed_out";
    case ERunEnd::PortLost:
        return "port_lost";
    case ERunEnd::NothingToSend:
        return "nothing_to_send";
    case ERunEnd::NoPort:
        return "no_port";
    case ERunEnd::FormRefused:
        return "form_refused";
    case ERunEnd::Busy:
        return "busy";
    case ERunEnd::Abandoned:
        return "abandoned";
    }
    return "unknown";
}

std::string CModuleSetupEngine::CommandDisplayName(const char *pCommand)
{
    if (pCommand == nullptr)
        return Tr("Engine", kUnknownName);
    for (const CommandName &row : CommandNameTable) {
        const bool bMatch = row.bWholeText
                                ? std::strcmp(pCommand, row.pText) == 0
                                : std::strncmp(pCommand, row.pText, std::strlen(row.pText)) == 0;
        if (bMatch)
            return Tr("Engine", row.name);
    }
    return Tr("Engine", kUnknownName);
}

void CModuleSetupEngine::OnButtonQuery()
{
    if (RefuseToStart(ERunKind::Query))
        return;
    // A line opened to be probed whose rate is still unknown is probed first; the reading
    // follows once a rate answered.
    if (m_bAutoLineRate && m_nFoundLineRate == 0) {
        m_bAutoQueryPending = StartLineProbe();
        return;
    }
    ClearForm();
    m_paramsCur.Password.clear();
    m_view.ResetContent(IDC_COMBO_BINDADDR);
    // Status, run state and timer before the write: the reply may be handled at once.
    m_view.SetStatusText(Tr("Engine", kQuerying));
    m_bQuerying = 1;
    m_nCmdIndex = 0;
    m_nSkipped = 0;
    ++m_nQueryStep;
    BeginWaiting(TIMER_QUERY, kQueryStepTimeout);
    WriteCommand(QueryCommandTable[0]);
}

bool CModuleSetupEngine::IsRunWaiting() const
{
    return m_bQuerying || m_bSetting || m_bClearing || m_bRestoring || m_bConsoleWaiting ||
           m_nOpenPrompts > 0 || m_lineProbe.IsRunning();
}

bool CModuleSetupEngine::RefuseWhileRunWaits(ERunKind eRun)
{
    if (!IsRunWaiting())
        return false;
    ReportRunEnd({eRun, ERunEnd::Busy});
    return true;
}

bool CModuleSetupEngine::RefuseToStart(ERunKind eRun)
{
    if (RefuseWhileRunWaits(eRun))
        return true;
    if (IsPortOpen())
        return false;
    ReportRunEnd({eRun, ERunEnd::NoPort});
    return true;
}

void CModuleSetupEngine::BeginWaiting(unsigned nIdEvent, std::chrono::milliseconds period)
{
    m_view.SetTimer(nIdEvent, period);
    AfterRunStateChange();
}

void CModuleSetupEngine::ReportRunEnd(const CRunEnd &runEnd)
{
    const std::string strText = RunEndStatusText(runEnd);
    if (!strText.empty())
        m_view.SetStatusText(strText);
    m_view.OnRunEnded(runEnd);
    AfterRunStateChange();
}

void CModuleSetupEngine::AfterRunStateChange()
{
    const bool bWaiting = IsRunWaiting();
    if (bWaiting != m_bGateClosed) {
        m_bGateClosed = bWaiting;
        // The face hears of it while the buttons can still take the focus: before they are
        // disabled, after they are enabled again.
        if (bWaiting)
            m_view.OnRunGateChanged(true);
        for (const int nId : kGatedButtons)
            m_view.EnableWindow(nId, !bWaiting);
        if (!bWaiting)
            m_view.OnRunGateChanged(false);
    }
    // The form is read once after the start even when another action held the line then.
    if (!bWaiting && m_bAutoQueryPending) {
        m_bAutoQueryPending = false;
        OnButtonQuery();
    }
}

void CModuleSetupEngine::OnResponseOk()
{
    if (!TakeFinalLine("OK", 2))
        return;
    if (m_bConsoleWaiting)
        return EndConsoleCommand(ERunEnd::Done);
    RunOkStep(true);
}

// Only one run waits at a time, and the "OK" answers its command; the checks keep their order.
void CModuleSetupEngine::RunOkStep(bool bModuleConfirmed)
{
    if (m_bQuerying) {
        AdvanceQueryRun();
    } else if (m_bClearing) {
        m_view.KillTimer(TIMER_CLEARADDR);
        m_bClearing = 0;
        ReportRunEnd({ERunKind::ClearAddr, ERunEnd::Done});
    } else if (m_bRestoring) {
        m_bRestoring = 0;
        m_view.KillTimer(TIMER_DEFAULT);
        ReportRunEnd({ERunKind::Restore, ERunEnd::Done});
    } else if (m_bSetting) {
        AdvanceSetRun(bModuleConfirmed);
    }
}

void CModuleSetupEngine::AdvanceQueryRun()
{
    m_view.KillTimer(TIMER_QUERY);
    ++m_nCmdIndex;
    ++m_nQueryStep;
    // Past the table: the run is over.
    if (!IsRunIndexValid(ERun::Query)) {
        m_bQuerying = 0;
        ReportRunEnd({ERunKind::Query, ERunEnd::Done, {}, 0, m_nSkipped});
        return;
    }
    m_view.SetTimer(TIMER_QUERY, kQueryStepTimeout);
    WriteCommand(QueryCommandTable[m_nCmdIndex]);
}

void CModuleSetupEngine::AdvanceSetRun(bool bModuleConfirmed)
{
    m_view.KillTimer(TIMER_SET);
    // The reply belongs to the line that went out, whatever the index says by now.
    if (bModuleConfirmed && m_nSetLineInFlight >= 0)
        OnSetLineConfirmed(m_nSetLineInFlight);
    m_nSetLineInFlight = -1;
    ++m_nCmdIndex;
    ++m_nSetStep;
    if (!IsRunIndexValid(ERun::Set)) {
        m_bSetting = 0;
        OnSetRunEnded();
        ReportRunEnd({ERunKind::Set, ERunEnd::Done, {}, 0, m_nSkipped});
        return;
    }
    m_view.SetTimer(TIMER_SET, kSetStepTimeout);
    m_nSetLineInFlight = m_nCmdIndex;
    WriteCommand(SetCommandText(m_nCmdIndex).c_str());
}

void CModuleSetupEngine::OnResponseError()
{
    if (!TakeFinalLine("ERROR", 5))
        return;
    if (m_bConsoleWaiting)
        return EndConsoleCommand(ERunEnd::Refused);
    // A module with no bound address refuses the address query: that is an answer, not a
    // failure. No set line was confirmed by it.
    if (m_bQuerying && IsRunIndexValid(ERun::Query) &&
        std::strcmp(QueryCommandTable[m_nCmdIndex], kQueryRaddr) == 0) {
        m_paramsCur.BindAddr.clear();
        RunOkStep(false);
        return;
    }
    if (m_bQuerying) {
        m_view.KillTimer(TIMER_QUERY);
        AskToContinue(ERun::Query, kQueryFailedAsk, ERunEnd::Refused);
    } else if (m_bSetting) {
        m_view.KillTimer(TIMER_SET);
        AskToContinue(ERun::Set, kSetTimeoutAsk, ERunEnd::Refused);
    } else if (m_bClearing) {
        m_bClearing = 0;
        m_view.KillTimer(TIMER_CLEARADDR);
        ReportRunEnd({ERunKind::ClearAddr, ERunEnd::Refused, CommandDisplayName(CMD_CLEARADDR)});
    } else if (m_bRestoring) {
        m_bRestoring = 0;
        m_view.KillTimer(TIMER_DEFAULT);
        ReportRunEnd({ERunKind::Restore, ERunEnd::Refused, CommandDisplayName(CMD_RESET)});
    }
}

void CModuleSetupEngine::OnTimer(unsigned nIdEvent)
{
    switch (nIdEvent) {
    case TIMER_QUERY:
        m_view.KillTimer(TIMER_QUERY);
        if (m_bQuerying)
            AskToContinue(ERun::Query, kQueryTimeoutAsk, ERunEnd::TimedOut);
        break;
    case TIMER_CLEARADDR:
        m_view.KillTimer(TIMER_CLEARADDR);
        m_bClearing = 0;
        StopAwaiting();
        AskUser(Tr("Engine", kClearTimeout), MB_ICONHAND);
        ReportRunEnd({ERunKind::ClearAddr, ERunEnd::TimedOut, CommandDisplayName(CMD_CLEARADDR)});
        break;
    case TIMER_SET:
        m_view.KillTimer(TIMER_SET);
        if (m_bSetting)
            AskToContinue(ERun::Set, kSetTimeoutAsk, ERunEnd::TimedOut);
        break;
    case TIMER_DEFAULT:
        m_view.KillTimer(TIMER_DEFAULT);
        m_bRestoring = 0;
        StopAwaiting();
        ReportRunEnd({ERunKind::Restore, ERunEnd::TimedOut, CommandDisplayName(CMD_RESET)});
        break;
    case TIMER_AUTOQUERY:
        m_view.KillTimer(TIMER_AUTOQUERY);
        OnAutoQueryDue();
        break;
    case TIMER_PROBE:
        m_view.KillTimer(TIMER_PROBE);
        OnLineProbeStep(m_lineProbe.OnTimeout());
        break;
    case TIMER_REOPEN:
        m_view.KillTimer(TIMER_REOPEN);
        TryReopenSession();
        break;
    case TIMER_LATE:
        m_view.KillTimer(TIMER_LATE);
        OnLateReplyWindowOver();
        break;
    case TIMER_CONSOLE:
    case TIMER_CONSOLE_MAX:
        EndConsoleCommand(ERunEnd::TimedOut);
        break;
    default:
        break;
    }
}

// Never on top of a command in flight: the first reading waits for the line, unless the run in
// the way is a reading itself.
void CModuleSetupEngine::OnAutoQueryDue()
{
    if (m_bQuerying)
        return;
    if (IsRunWaiting())
        m_bAutoQueryPending = true;
    else
        OnButtonQuery();
}

int CModuleSetupEngine::AskUser(const std::string &strText, unsigned nType)
{
    ++m_nOpenPrompts;
    const int nAnswer = m_view.MessageBox(strText, Tr("Engine", kCaptionNotice), nType);
    --m_nOpenPrompts;
    return nAnswer;
}

// While the prompt is open, replies and timers keep being handled, so the run may have moved on
// by the time the user answers; the answer then applies only to the step the prompt named.
void CModuleSetupEngine::AskToContinue(ERun eRun, CUiSource promptFormat, ERunEnd eEndIfNo)
{
    // An index outside this run's commands: nothing to name or ask.
    if (!IsRunIndexValid(eRun)) {
        EndRun({eRun, eEndIfNo, Tr("Engine", kUnknownName), 0, m_nSkipped});
        return;
    }
    const std::string strName = CommandDisplayName(RunCommand(eRun));
    const CPromptTicket ticket{eRun, RunStep(eRun), m_nCmdIndex};
    const int nAnswer = AskUser(FormatWithText(Tr("Engine", promptFormat), strName),
                                MB_YESNO | MB_ICONINFORMATION);
    const bool bYes = nAnswer == IDYES;
    if (IsTicketCurrent(ticket)) {
        if (bYes) {
            ++m_nSkipped;
            StopAwaiting(); // given up: its answer, if it comes, is late
            RunOkStep(false);
        } else {
            EndRun({eRun, eEndIfNo, strName, nAnswer, m_nSkipped});
        }
    } else if (!bYes && RunFlag(eRun)) {
        // A late reply already moved the run on: No still stops it; Yes must not skip the step
        // after it.
        EndRun({eRun, eEndIfNo, strName, nAnswer, m_nSkipped});
    }
    // A late reply may have ended the run while the prompt was open.
    AfterRunStateChange();
}

void CModuleSetupEngine::EndRun(const CRunEnd &runEnd)
{
    StopAwaiting();
    RunFlag(runEnd.eRun) = 0;
    ++RunStep(runEnd.eRun);
    m_view.KillTimer(runEnd.eRun == ERun::Query ? TIMER_QUERY : TIMER_SET);
    if (runEnd.eRun == ERun::Set) {
        m_nSetLineInFlight = -1;
        OnSetRunEnded();
    }
    ReportRunEnd(runEnd);
}

bool CModuleSetupEngine::IsRunIndexValid(ERun eRun) const
{
    if (eRun == ERun::Query)
        return m_nCmdIndex >= 0 && m_nCmdIndex < QUERY_COMMAND_COUNT;
    return m_nCmdIndex >= 0 && m_nCmdIndex < m_nSetCommandCount && m_nCmdIndex < SET_COMMAND_SLOTS;
}

const char *CModuleSetupEngine::RunCommand(ERun eRun) const
{
    if (eRun == ERun::Query)
        return QueryCommandTable[m_nCmdIndex];
    return m_SetCommandList[m_nCmdIndex];
}

std::string CModuleSetupEngine::SetCommandText(int nIndex) const
{
    // A slot is NUL-terminated when filled; never read past it even if it is not.
    const char *pSlot = m_SetCommandList[nIndex];
    return std::string(pSlot, strnlen(pSlot, SET_COMMAND_SLOT_SIZE));
}

bool CModuleSetupEngine::IsTicketCurrent(const CPromptTicket &ticket) const
{
    const bool bRunning = ticket.eRun == ERun::Query ? m_bQuerying != 0 : m_bSetting != 0;
    const uint32_t nStep = ticket.eRun == ERun::Query ? m_nQueryStep : m_nSetStep;
    return bRunning && nStep == ticket.nStep && m_nCmdIndex == ticket.nCmdIndex;
}

int32_t &CModuleSetupEngine::RunFlag(ERun eRun)
{
    switch (eRun) {
    case ERun::Set:
        return m_bSetting;
    case ERun::ClearAddr:
        return m_bClearing;
    case ERun::Restore:
        return m_bRestoring;
    default:
        return m_bQuerying;
    }
}

uint32_t &CModuleSetupEngine::RunStep(ERun eRun)
{
    return eRun == ERun::Set ? m_nSetStep : m_nQueryStep;
}

void CModuleSetupEngine::OnPortLost()
{
    DiscardReceivedBytes();
    ForgetOutstandingCommands();
    // An answer to a prompt still open belongs to a run that is gone.
    ++m_nQueryStep;
    ++m_nSetStep;
    if (!EndWaitingRuns(ERunEnd::PortLost))
        m_view.SetStatusText(Tr("Engine", kPortLost));
}

void CModuleSetupEngine::AbandonRun()
{
    EndWaitingRuns(ERunEnd::Abandoned);
}

bool CModuleSetupEngine::EndWaitingRuns(ERunEnd eEnd)
{
    // The first reading is not due any more either: nothing may start on a line that is gone.
    m_view.KillTimer(TIMER_AUTOQUERY);
    m_bAutoQueryPending = false;
    CancelLineProbe();
    bool bAnyWaited = m_bConsoleWaiting;
    EndConsoleCommand(eEnd);
    for (const CRunTimer &timer : kRunTimers) {
        m_view.KillTimer(timer.nIdEvent);
        if (!RunFlag(timer.eRun))
            continue;
        bAnyWaited = true;
        if (timer.eRun == ERun::Query || timer.eRun == ERun::Set) {
            EndRun({timer.eRun, eEnd});
        } else {
            RunFlag(timer.eRun) = 0;
            StopAwaiting();
            ReportRunEnd({timer.eRun, eEnd});
        }
    }
    return bAnyWaited;
}
