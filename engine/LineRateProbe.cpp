// The line-rate probe as a run of the engine: one rate after the other on the session's line,
// each with its own bounded wait, the received bytes going to the probe instead of the scanner.

#include "engine/ModuleSetupEngine.h"
#include "engine/UiText.h"

namespace {

// Status texts (UTF-8); the rate goes where "%s" stands.
constexpr CUiSource kProbing = KESTREL_TR_NOOP("Engine", "正在检测串口波特率...");
constexpr CUiSource kProbeFound = KESTREL_TR_NOOP("Engine", "检测到串口波特率：%s");
constexpr CUiSource kProbeNotFound = KESTREL_TR_NOOP("Engine", "没有检测到模块应答的串口波特率");
constexpr CUiSource kProbeChecklist = KESTREL_TR_NOOP("Engine", "在所有波特率下模块都没有应答“AT”，请检查：\n"
    "1. 模块处于命令模式（按模块说明设置其按键引脚）；\n"
    "2. 模块的 TX 与 RX 和串口交叉连接；\n"
    "3. 双方使用相同的电平（3.3 V 或 5 V）；\n"
    "4. 没有其他程序占用串口；\n"
    "5. 模块没有连接手机或其他设备。\n");
// The window's way to try again, below the checklist.
constexpr CUiSource kProbeRetry = KESTREL_TR_NOOP("Engine", "检查后请点击“查询”重试。");
} // namespace

std::string CModuleSetupEngine::ProbeChecklistText(EUiLanguage eLanguage)
{
    return TrIn(eLanguage, "Engine", kProbeChecklist);
}

bool CModuleSetupEngine::StartLineProbe()
{
    if (IsRunWaiting() || !IsPortOpen())
        return false;
    m_lineProbe.Start();
    m_nFoundLineRate = 0;
    DiscardReceivedBytes();
    // At a wrong rate nothing answers what was written before; the line starts afresh.
    ForgetOutstandingCommands();
    m_view.SetStatusText(Tr("Engine", kProbing));
    // A line opened at the first rate is clean already: no reconfiguring, no extra time.
    if (m_pSerial->LineRate() != m_lineProbe.Rate() && !m_pSerial->SetLineRate(m_lineProbe.Rate())) {
        m_lineProbe.Stop();
        EndLineProbe(0);
        return true;
    }
    BeginWaiting(TIMER_PROBE, CLineProbe::WaitAt(m_lineProbe.Rate()));
    WriteCommand(CLineProbe::kCommand, EWrite::Untracked);
    return true;
}

void CModuleSetupEngine::OnLineProbeStep(CLineProbe::EStep eStep)
{
    using EStep = CLineProbe::EStep;
    // A rate the port refuses cannot answer: the next one is tried at once.
    while (eStep == EStep::NextRate && !m_pSerial->SetLineRate(m_lineProbe.Rate()))
        eStep = m_lineProbe.OnTimeout();
    switch (eStep) {
    case EStep::Wait:
        return;
    case EStep::NextRate:
        DiscardReceivedBytes();
        [[fallthrough]];
    case EStep::Write:
        m_view.KillTimer(TIMER_PROBE);
        m_view.SetTimer(TIMER_PROBE, CLineProbe::WaitAt(m_lineProbe.Rate()));
        WriteCommand(CLineProbe::kCommand, EWrite::Untracked);
        return;
    case EStep::Found:
        EndLineProbe(m_lineProbe.Rate());
        return;
    case EStep::NotFound:
        EndLineProbe(0);
        return;
    }
}

void CModuleSetupEngine::EndLineProbe(uint32_t nRate)
{
    m_view.KillTimer(TIMER_PROBE);
    m_lineProbe.Stop();
    m_nFoundLineRate = nRate;
    DiscardReceivedBytes();
    if (nRate == 0) {
        // Back to where an unprobed line stands; nothing is read until the user asks.
        if (IsPortOpen())
            m_pSerial->SetLineRate(kDefaultLineRate);
        m_view.KillTimer(TIMER_AUTOQUERY);
        m_bAutoQueryPending = false;
        m_view.SetStatusText(Tr("Engine", kProbeNotFound));
    } else {
        m_view.SetStatusText(FormatWithText(Tr("Engine", kProbeFound), FormatUInt(nRate)));
    }
    if (nRate == 0 && m_bProbeChecklistBox)
        AskUser(ProbeChecklistText(UiLanguage()) + Tr("Engine", kProbeRetry),
                MB_OK | MB_ICONEXCLAMATION);
    m_view.OnLineProbeEnded(nRate);
    AfterRunStateChange();
}

void CModuleSetupEngine::CancelLineProbe()
{
    if (!m_lineProbe.IsRunning())
        return;
    m_view.KillTimer(TIMER_PROBE);
    m_lineProbe.Stop();
    AfterRunStateChange();
}
