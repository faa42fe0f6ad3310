#include "dialog/ModuleSetupEngine.h"
#include "protocol/AtProtocol.h"

#include <cstring>

namespace {

constexpr char kCaptionNotice[] = "提示";
constexpr char kUnknownName[] = "未知";
constexpr char kQueryRaddr[] = "AT+RADDR?\r\n";

// Status texts and prompts of the runs (UTF-8).
constexpr char kNeedPort[] = "请先打开串口";
constexpr char kQuerying[] = "正在查询内嵌模块参数...";
constexpr char kQueryDone[] = "查询完成";
constexpr char kSetDone[] = "设置完成";
constexpr char kClearDone[] = "成功清除邦定的蓝牙地址";
constexpr char kClearFailed[] = "清除蓝牙地址失败";
constexpr char kClearTimeout[] = "清除蓝牙地址超时";
constexpr char kRestoreDone[] = "成功恢复默认参数";
constexpr char kRestoreFailed[] = "恢复默认参数失败，请手动点击“设置”按钮";
constexpr char kRestoreTimeout[] = "恢复默认参数超时，请手动点击“设置”按钮";
constexpr char kPortLost[] = "串口已断开，请检查连接";
constexpr char kQueryFailedAsk[] = "查询 [%s] 时失败，是否继续？";
constexpr char kQueryFailed[] = "查询[%s]时失败";
constexpr char kQueryTimeoutAsk[] = "查询 [%s] 时超时，是否继续？";
constexpr char kQueryTimeout[] = "查询 [%s] 时超时";
constexpr char kSetTimeoutAsk[] = "设置 [%s] 时超时，是否继续？";
constexpr char kSetTimeout[] = "设置 [%s] 时超时";

// How a command is named in prompts; the first matching row wins.
struct CommandName
{
    const char *pText;
    bool bWholeText; // false: the command only has to begin with pText
    const char *pName;
};

constexpr CommandName CommandNameTable[] = {
    {"AT+NAME", false, "设备名称"},      {"AT+VERSION", false, "软件版本"},
    {"AT+CLASS", false, "设备类别码"},   {"AT+BAUD", false, "波特率"},
    {"AT+UARTMODE", false, "串口参数"},  {"AT+ROLE", false, "主从角色"},
    {"AT+BIND", false, "绑定状态"},      {"AT+AUTH", false, "是否鉴权/加密"},
    {"AT+SCANTIME", false, "节能参数"},  {"AT+SNIFF", false, "Sniff节能参数"},
    {"AT+LADDR", false, "本地蓝牙地址"}, {"AT+RADDR", false, "当前绑定的蓝牙地址"},
    {"AT+PASSWORD", false, "密码"},      {"AT+CLEARADDR\r\n", true, "清除地址命令"},
    {"AT\r\n", true, "测试命令"},
};

} // namespace

std::string CModuleSetupEngine::CommandDisplayName(const char *pCommand)
{
    if (pCommand == nullptr)
        return kUnknownName;
    for (const CommandName &row : CommandNameTable) {
        const bool bMatch = row.bWholeText
                                ? std::strcmp(pCommand, row.pText) == 0
                                : std::strncmp(pCommand, row.pText, std::strlen(row.pText)) == 0;
        if (bMatch)
            return row.pName;
    }
    return kUnknownName;
}

void CModuleSetupEngine::OnButtonQuery()
{
    if (!IsPortOpen()) {
        SetStatusText(kNeedPort);
        return;
    }
    ClearForm();
    m_strCurPassword.clear();
    ResetContent(IDC_COMBO_BINDADDR);
    // Status, run state and timer before the write: the reply may be handled at once.
    SetStatusText(kQuerying);
    m_bQuerying = 1;
    m_nCmdIndex = 0;
    ++m_nQueryStep;
    SetTimer(TIMER_QUERY, kQueryStepTimeout);
    WriteCommand(QueryCommandTable[0]);
}

void CModuleSetupEngine::OnResponseOk()
{
    RunOkStep(true);
}

// One "OK" moves every waiting run on: the runs do not know which command it answers.
void CModuleSetupEngine::RunOkStep(bool bModuleConfirmed)
{
    if (m_bQuerying)
        AdvanceQueryRun();
    if (m_bClearing) {
        KillTimer(TIMER_CLEARADDR);
        SetStatusText(kClearDone);
        m_bClearing = 0;
    }
    if (m_bRestoring) {
        m_bRestoring = 0;
        KillTimer(TIMER_DEFAULT);
        SetStatusText(kRestoreDone);
    }
    if (m_bSetting)
        AdvanceSetRun(bModuleConfirmed);
}

void CModuleSetupEngine::AdvanceQueryRun()
{
    KillTimer(TIMER_QUERY);
    ++m_nCmdIndex;
    ++m_nQueryStep;
    // Past the table (also when a set run moved the shared index): the run is over.
    if (!IsRunIndexValid(ERun::Query)) {
        SetStatusText(kQueryDone);
        m_bQuerying = 0;
        return;
    }
    SetTimer(TIMER_QUERY, kQueryStepTimeout);
    WriteCommand(QueryCommandTable[m_nCmdIndex]);
}

void CModuleSetupEngine::AdvanceSetRun(bool bModuleConfirmed)
{
    KillTimer(TIMER_SET);
    if (bModuleConfirmed && IsRunIndexValid(ERun::Set))
        OnSetLineConfirmed(m_nCmdIndex);
    ++m_nCmdIndex;
    ++m_nSetStep;
    if (!IsRunIndexValid(ERun::Set)) {
        SetStatusText(kSetDone);
        m_bSetting = 0;
        OnSetRunEnded();
        return;
    }
    SetTimer(TIMER_SET, kSetStepTimeout);
    WriteCommand(SetCommandText(m_nCmdIndex).c_str());
}

void CModuleSetupEngine::OnResponseError()
{
    // A module with no bound address refuses the address query: that is an answer, not a
    // failure. No set line was confirmed by it.
    if (m_bQuerying && IsRunIndexValid(ERun::Query) &&
        std::strcmp(QueryCommandTable[m_nCmdIndex], kQueryRaddr) == 0) {
        m_strCurBindAddr.clear();
        RunOkStep(false);
        return;
    }
    if (m_bQuerying) {
        KillTimer(TIMER_QUERY);
        AskToContinue(ERun::Query, kQueryFailedAsk, kQueryFailed);
    } else if (m_bSetting) {
        // A refused set line is reported like one that timed out.
        KillTimer(TIMER_SET);
        AskToContinue(ERun::Set, kSetTimeoutAsk, kSetTimeout);
    } else if (m_bClearing) {
        m_bClearing = 0;
        KillTimer(TIMER_CLEARADDR);
        SetStatusText(kClearFailed);
    } else if (m_bRestoring) {
        m_bRestoring = 0;
        KillTimer(TIMER_DEFAULT);
        SetStatusText(kRestoreFailed);
    }
}

void CModuleSetupEngine::OnTimer(unsigned nIdEvent)
{
    switch (nIdEvent) {
    case TIMER_QUERY:
        KillTimer(TIMER_QUERY);
        if (m_bQuerying)
            AskToContinue(ERun::Query, kQueryTimeoutAsk, kQueryTimeout);
        break;
    case TIMER_CLEARADDR:
        KillTimer(TIMER_CLEARADDR);
        m_bClearing = 0;
        MessageBox(kClearTimeout, kCaptionNotice, MB_ICONHAND);
        SetStatusText(kClearTimeout);
        break;
    case TIMER_SET:
        KillTimer(TIMER_SET);
        if (m_bSetting)
            AskToContinue(ERun::Set, kSetTimeoutAsk, kSetTimeout);
        break;
    case TIMER_DEFAULT:
        KillTimer(TIMER_DEFAULT);
        m_bRestoring = 0;
        SetStatusText(kRestoreTimeout);
        break;
    case TIMER_AUTOQUERY:
        KillTimer(TIMER_AUTOQUERY);
        OnButtonQuery();
        break;
    default:
        break;
    }
}

// While the prompt is open, replies and timers keep being handled, so the run may have moved on
// by the time the user answers; the answer then applies only to the step the prompt named.
void CModuleSetupEngine::AskToContinue(ERun eRun, const char *pPromptFormat,
                                       const char *pStopFormat)
{
    // The shared index may have passed the end of this run's commands: nothing to name or ask.
    if (!IsRunIndexValid(eRun)) {
        EndRun(eRun, FormatWithText(pStopFormat, kUnknownName));
        return;
    }
    const std::string strName = CommandDisplayName(RunCommand(eRun));
    const CPromptTicket ticket{eRun, RunStep(eRun), m_nCmdIndex};
    const int nAnswer = MessageBox(FormatWithText(pPromptFormat, strName), kCaptionNotice,
                                   MB_YESNO | MB_ICONINFORMATION);
    const bool bYes = nAnswer == IDYES;
    if (IsTicketCurrent(ticket)) {
        if (bYes)
            RunOkStep(false);
        else
            EndRun(eRun, FormatWithText(pStopFormat, strName));
        return;
    }
    // A late reply already moved the run on: Yes must not skip the step after it.
    if (!bYes && RunFlag(eRun))
        EndRun(eRun, FormatWithText(pStopFormat, strName));
}

void CModuleSetupEngine::EndRun(ERun eRun, const std::string &strStatus)
{
    RunFlag(eRun) = 0;
    ++RunStep(eRun);
    KillTimer(eRun == ERun::Query ? TIMER_QUERY : TIMER_SET);
    SetStatusText(strStatus);
    if (eRun == ERun::Set)
        OnSetRunEnded();
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
    return eRun == ERun::Query ? m_bQuerying : m_bSetting;
}

uint32_t &CModuleSetupEngine::RunStep(ERun eRun)
{
    return eRun == ERun::Query ? m_nQueryStep : m_nSetStep;
}

void CModuleSetupEngine::OnPortLost()
{
    for (unsigned nId : {TIMER_QUERY, TIMER_CLEARADDR, TIMER_SET, TIMER_DEFAULT, TIMER_AUTOQUERY})
        KillTimer(nId);
    const bool bWasSetting = m_bSetting != 0;
    m_bQuerying = m_bSetting = m_bClearing = m_bRestoring = 0;
    ++m_nQueryStep;
    ++m_nSetStep;
    DiscardReceivedBytes();
    SetStatusText(kPortLost);
    if (bWasSetting)
        OnSetRunEnded();
}
