#include "engine/ModuleSetupEngine.h"

#include "engine/UiText.h"
#include "protocol/AtProtocol.h"
#include "protocol/GbkText.h"
#include "serial/LinkTrace.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace {

// Entries of the parity and stop-bit lists; the form maps them by index, never by text, so the
// parity entries follow the user's language.
constexpr CUiSource kParityEntries[] = {KESTREL_TR_NOOP("Engine", "无校验"),
                                          KESTREL_TR_NOOP("Engine", "奇校验"),
                                          KESTREL_TR_NOOP("Engine", "偶校验"), CUiSource{""}};
constexpr const char *kStopBitEntries[] = {"1", "2", ""};

bool StartsWithNoCase(const std::string &strText, const std::string &strPrefix)
{
    if (strText.size() < strPrefix.size())
        return false;
    for (size_t i = 0; i < strPrefix.size(); ++i) {
        // Only ASCII letters fold; GBK bytes compare as they are.
        const auto a = static_cast<unsigned char>(strText[i]);
        const auto b = static_cast<unsigned char>(strPrefix[i]);
        if (a != b && (a >= 0x80 || b >= 0x80 || std::tolower(a) != std::tolower(b)))
            return false;
    }
    return true;
}

// Which handler a click on each of the form's buttons and check boxes runs.
struct CButtonHandler
{
    int nId;
    void (CModuleSetupEngine::*pfnHandler)();
};
constexpr CButtonHandler kButtonHandlers[] = {
    {IDC_BUTTON_QUERY, &CModuleSetupEngine::OnButtonQuery},
    {IDC_BUTTON_SET, &CModuleSetupEngine::OnButtonSet},
    {IDC_BUTTON_DEFAULT, &CModuleSetupEngine::OnButtonDefault},
    {IDC_BUTTON_CLEARADDR, &CModuleSetupEngine::OnButtonClearAddr},
    {IDC_BUTTON_SEARCH, &CModuleSetupEngine::OnButtonSearch},
    {IDC_CHECK_AUTH, &CModuleSetupEngine::OnCheckAuth},
    {IDC_CHECK_BIND, &CModuleSetupEngine::OnCheckBind},
};

constexpr int kCheckBoxes[] = {IDC_CHECK_ROLE, IDC_CHECK_BIND, IDC_CHECK_AUTH};

constexpr CUiSource kReconnected = KESTREL_TR_NOOP("MainWindow", "串口已重新连接");

} // namespace

CModuleSetupEngine::CModuleSetupEngine(IModuleSetupView &view, const CSessionTraceSetup &traceSetup)
    : m_view(view),
      m_session(
          view, [this](const char *pData, size_t nLength) { OnReceivedBytes(pData, nLength); },
          [this] { OnSessionLost(); }, traceSetup)
{}

CModuleSetupEngine::~CModuleSetupEngine()
{
    // The reader goes before anything it could post to.
    m_session.Close();
}

void CModuleSetupEngine::InitForm()
{
    UpdateData(false);
    FillLists();
}

bool CModuleSetupEngine::OpenSession(const std::string &strPortPath, const CLineSettings &line)
{
    if (!m_session.Open(strPortPath, line))
        return false;
    AttachLine(m_session.Line(), &m_session.Trace(), line.nRate == kAutoLineRate);
    return true;
}

bool CModuleSetupEngine::StartSession(const std::string &strPortPath, const CLineSettings &line)
{
    if (!OpenSession(strPortPath, line))
        return false;
    StartAutoQuery();
    return true;
}

void CModuleSetupEngine::CloseSession()
{
    m_view.KillTimer(TIMER_REOPEN);
    AbandonRun(); // stops the run's own timers
    // Nothing more can answer on a closed port: what is still owed is forgotten, and the
    // late-reply window must not fire into a closed face.
    ForgetOutstandingCommands();
    m_session.Close();
}

void CModuleSetupEngine::AttachLine(ISerialLine *pLine, CLinkTrace *pTrace, bool bRateUnknown)
{
    m_pSerial = pLine;
    m_pTrace = pTrace;
    m_bAutoLineRate = bRateUnknown;
    m_nFoundLineRate = 0;
}

void CModuleSetupEngine::OnSessionLost()
{
    OnPortLost();
    m_view.OnSessionLost();
    if (m_session.CanReopen())
        m_view.SetTimer(TIMER_REOPEN, kReopenPoll);
}

// The form keeps what the user typed: nothing is read until the user asks.
void CModuleSetupEngine::TryReopenSession()
{
    if (m_session.IsOpen())
        return;
    if (!m_session.Reopen()) {
        m_view.SetTimer(TIMER_REOPEN, kReopenPoll); // away, or it refused its settings
        return;
    }
    DiscardReceivedBytes();
    ForgetOutstandingCommands();
    m_view.SetStatusText(Tr("MainWindow", kReconnected));
}

void CModuleSetupEngine::OnCommand(int nId)
{
    // A state the module reported beyond 0 and 1 stays readable until the user clicks the box.
    for (const int nCheckId : kCheckBoxes) {
        if (nCheckId == nId)
            m_rawCheckStates.erase(nId);
    }
    for (const CButtonHandler &button : kButtonHandlers) {
        if (button.nId == nId)
            return (this->*button.pfnHandler)();
    }
}

void CModuleSetupEngine::OnSliderReleased(int nId)
{
    if (nId == IDC_SLIDER_SCAN)
        OnReleasedCaptureSliderScan();
    else if (nId == IDC_SLIDER_SNIFF)
        OnReleasedCaptureSliderSniff();
}

void CModuleSetupEngine::SetCheckState(int nId, int32_t nState)
{
    m_view.SetCheck(nId, nState != 0);
    if (nState == 0 || nState == 1)
        m_rawCheckStates.erase(nId);
    else
        m_rawCheckStates[nId] = nState;
}

int32_t CModuleSetupEngine::CheckState(int nId)
{
    const auto raw = m_rawCheckStates.find(nId);
    if (raw != m_rawCheckStates.end())
        return raw->second;
    return m_view.GetCheck(nId) ? 1 : 0;
}

std::vector<std::string> CModuleSetupEngine::SetCommandLines() const
{
    std::vector<std::string> lines;
    for (int i = 0; i < m_nSetCommandCount && i < SET_COMMAND_SLOTS; ++i)
        lines.push_back(SetCommandText(i));
    return lines;
}

void CModuleSetupEngine::FillLists()
{
    m_view.ResetContent(IDC_COMBO_BAUD);
    for (int i = 0; i < BAUD_RATE_COUNT; ++i)
        m_view.InsertString(IDC_COMBO_BAUD, i, BaudRateList[i]);
    m_view.InsertString(IDC_COMBO_BAUD, BAUD_RATE_COUNT, "");

    m_view.ResetContent(IDC_COMBO_PARITY);
    for (int i = 0; i < static_cast<int>(std::size(kParityEntries)); ++i)
        m_view.InsertString(IDC_COMBO_PARITY, i, ParityListEntry(i));

    m_view.ResetContent(IDC_COMBO_STOPBITS);
    for (int i = 0; const char *pEntry : kStopBitEntries)
        m_view.InsertString(IDC_COMBO_STOPBITS, i++, pEntry);
}

std::string CModuleSetupEngine::ParityListEntry(int nIndex)
{
    if (nIndex < 0 || nIndex >= static_cast<int>(std::size(kParityEntries)))
        return {};
    // Control texts are GBK; every translation is ASCII, so it always converts.
    return Utf8ToGbk(Tr("Engine", kParityEntries[nIndex])).value_or(std::string());
}

bool CModuleSetupEngine::IsPortOpen() const
{
    return m_pSerial != nullptr && m_pSerial->IsOpen();
}

void CModuleSetupEngine::WriteCommand(const char *pCommand, EWrite eWrite)
{
    if (pCommand != nullptr)
        WriteBytes(pCommand, eWrite);
}

void CModuleSetupEngine::WriteBytes(const std::string &strBytes, EWrite eWrite)
{
    if (m_pSerial == nullptr)
        return;
    // Queued before it goes out: its answer may be handled as soon as it is on the line.
    if (eWrite != EWrite::Untracked) {
        const uint32_t nToken = m_unanswered.Push(strBytes, eWrite == EWrite::Awaited);
        if (eWrite == EWrite::Awaited)
            m_nAwaitedToken = nToken;
        else
            m_view.SetTimer(TIMER_LATE, kLateReplyWindow);
    }
    if (m_pTrace)
        m_pTrace->RecordWrite(strBytes.data(), strBytes.size());
    const uint32_t nWritten =
        m_pSerial->Write(strBytes.data(), static_cast<uint32_t>(strBytes.size()));
    if (m_pTrace && nWritten < strBytes.size())
        m_pTrace->RecordShortWrite(nWritten, strBytes.size());
    m_view.OnCommandWritten(strBytes);
}

std::string CModuleSetupEngine::FormatInt(int32_t nValue)
{
    char szText[16] = {};
    std::snprintf(szText, sizeof(szText), "%d", static_cast<int>(nValue));
    return szText;
}

std::string CModuleSetupEngine::FormatUInt(uint32_t nValue)
{
    char szText[16] = {};
    std::snprintf(szText, sizeof(szText), "%u", static_cast<unsigned>(nValue));
    return szText;
}

std::string CModuleSetupEngine::FormatWithText(const char *pFormat, const std::string &strArg)
{
    std::string strText = pFormat;
    const size_t nAt = strText.find("%s");
    if (nAt != std::string::npos)
        strText.replace(nAt, 2, strArg);
    return strText;
}

int CModuleSetupEngine::FindStringPrefix(int nId, const std::string &strPrefix)
{
    const int nCount = m_view.GetCount(nId);
    // The search starts after entry 0 and wraps round to it last.
    for (int k = 1; k <= nCount; ++k) {
        const int nIndex = k % nCount;
        if (StartsWithNoCase(m_view.GetLBText(nId, nIndex), strPrefix))
            return nIndex;
    }
    return -1;
}

int CModuleSetupEngine::SelectStringPrefix(int nId, const std::string &strPrefix)
{
    const int nIndex = FindStringPrefix(nId, strPrefix);
    if (nIndex >= 0)
        m_view.SetCurSel(nId, nIndex);
    return nIndex;
}

void CModuleSetupEngine::MoveSliderToMax(int nId)
{
    m_view.SetSliderPos(nId, m_view.GetSliderRangeMax(nId));
}
