#include "engine/ModuleSetupEngine.h"
#include "protocol/AtProtocol.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

constexpr size_t kSpanTextBufferBytes = 1024;
constexpr size_t kAddressOffset = 9;   // after "\r\n+LADDR:" or "\r\n+RADDR:"
constexpr size_t kUartModeOffset = 12; // after "\r\n+UARTMODE:"
constexpr uint16_t kInqCompLength = 12;
constexpr uint16_t kInqResuMinLength = 26;
constexpr uint16_t kAddressMinLength = 21;
constexpr uint16_t kUartModeMinLength = 17;

bool StartsWith(const char *pLine, uint16_t nLength, const char *pPrefix)
{
    const size_t nPrefix = std::strlen(pPrefix);
    return nLength >= nPrefix && std::memcmp(pLine, pPrefix, nPrefix) == 0;
}

bool IsScanfSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads one "%d" the way sscanf does (blanks, optional sign, digits), but never past end. A
// number too large for 32 bits is clamped. Returns the first byte after it, or null.
const char *ScanInt(const char *p, const char *end, int32_t &nValue)
{
    while (p < end && IsScanfSpace(*p))
        ++p;
    const bool bNegative = p < end && *p == '-';
    if (p < end && (*p == '-' || *p == '+'))
        ++p;
    const char *pDigits = p;
    int64_t nNumber = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
        if (nNumber <= std::numeric_limits<int32_t>::max())
            nNumber = nNumber * 10 + (*p - '0');
    }
    if (p == pDigits)
        return nullptr;
    nNumber = bNegative ? -nNumber : nNumber;
    nNumber = std::max<int64_t>(nNumber, std::numeric_limits<int32_t>::min());
    nNumber = std::min<int64_t>(nNumber, std::numeric_limits<int32_t>::max());
    nValue = static_cast<int32_t>(nNumber);
    return p;
}

} // namespace

void CModuleSetupEngine::OnReceivedBytes(const char *pData, size_t nLength)
{
    if (pData == nullptr || nLength == 0)
        return;
    // While the probe holds the line, what arrives is its answer or noise, never a reply.
    if (m_lineProbe.IsRunning() && !m_bScanning) {
        OnLineProbeStep(m_lineProbe.OnBytes(pData, nLength));
        return;
    }
    // A reply no run waits for any more may still come while bytes keep coming.
    if (m_unanswered.HasUnawaited())
        m_view.SetTimer(TIMER_LATE, kLateReplyWindow);
    if (m_bConsoleWaiting)
        OnConsoleBytes(pData, nLength);
    m_receiveQueue.emplace_back(pData, nLength);
    // A handler's prompt runs a nested event loop that may deliver more bytes: they wait in the
    // queue and are scanned by the loop below once the current block is done.
    if (m_bScanning)
        return;
    m_bScanning = true;
    while (!m_receiveQueue.empty()) {
        const std::string strBlock = std::move(m_receiveQueue.front());
        m_receiveQueue.pop_front();
        m_pending.Feed(this, strBlock.data(), strBlock.size());
        // The device went away during that scan: its tail must not join what came after.
        if (m_bDiscardAfterScan) {
            m_bDiscardAfterScan = false;
            m_pending.Clear();
        }
    }
    m_bScanning = false;
}

void CModuleSetupEngine::DiscardReceivedBytes()
{
    m_receiveQueue.clear();
    // The scan in progress reads the pending bytes where they lie: clear them once it is done.
    if (m_bScanning)
        m_bDiscardAfterScan = true;
    else
        m_pending.Clear();
}

std::string CModuleSetupEngine::MakeTextFromSpan(const char *pBytes, size_t nLength)
{
    if (pBytes == nullptr)
        return {};
    const size_t nTaken = std::min(nLength, kSpanTextBufferBytes - 1);
    const void *pZero = std::memchr(pBytes, '\0', nTaken);
    const size_t nText =
        pZero ? static_cast<size_t>(static_cast<const char *>(pZero) - pBytes) : nTaken;
    return std::string(pBytes, nText);
}

// A text field as a C string would hold it: up to its first zero byte.
std::string CModuleSetupEngine::SpanText(const TextSpan &span)
{
    if (span.pText == nullptr)
        return {};
    const std::string strText(span.pText, span.nLength);
    return strText.substr(0, strText.find('\0'));
}

void CModuleSetupEngine::OnResponseIgnored(const ResponseFields &) {}

// "\r\n+AUTH:1\r\n"
void CModuleSetupEngine::OnResponseAuth(const ResponseFields &fields)
{
    OnInformationFor("AT+AUTH?\r\n");
    m_paramsCur.Auth = static_cast<int32_t>(fields.n0);
    SetCheckState(IDC_CHECK_AUTH, m_paramsCur.Auth);
    // The reply only ever unlocks the password; locking it is the user's click.
    if (m_paramsCur.Auth != 0)
        m_view.SetReadOnly(IDC_EDIT_PASSWORD, false);
}

// "\r\n+BAUD:9600\r\n"
void CModuleSetupEngine::OnResponseBaud(const ResponseFields &fields)
{
    OnInformationFor("AT+BAUD?\r\n");
    m_paramsCur.Baud = FormatInt(static_cast<int32_t>(fields.n0));
    SelectStringPrefix(IDC_COMBO_BAUD, m_paramsCur.Baud);
}

// "\r\n+BIND:0\r\n"
void CModuleSetupEngine::OnResponseBind(const ResponseFields &fields)
{
    OnInformationFor("AT+BIND?\r\n");
    m_paramsCur.Bind = static_cast<int32_t>(fields.n0);
    SetCheckState(IDC_CHECK_BIND, m_paramsCur.Bind);
    m_view.EnableWindow(IDC_COMBO_BINDADDR, m_paramsCur.Bind != 0);
}

// "\r\n+NAME:CORVA3264\r\n"
void CModuleSetupEngine::OnResponseName(const ResponseFields &fields)
{
    OnInformationFor("AT+NAME?\r\n");
    m_paramsCur.Name = SpanText(fields.span);
    m_view.SetWindowText(IDC_EDIT_NAME, m_paramsCur.Name);
}

// "\r\n+ROLE:0\r\n"
void CModuleSetupEngine::OnResponseRole(const ResponseFields &fields)
{
    OnInformationFor("AT+ROLE?\r\n");
    m_paramsCur.Role = static_cast<int32_t>(fields.n0);
    SetCheckState(IDC_CHECK_ROLE, m_paramsCur.Role);
}

// "\r\n+SCAN:1024,512,1024,512\r\n"
void CModuleSetupEngine::OnResponseScan(const ResponseFields &fields)
{
    OnInformationFor("AT+SCANTIME?\r\n");
    m_paramsCur.ConnInterval = FormatInt(static_cast<int32_t>(fields.n0));
    m_paramsCur.ConnDuration = FormatInt(static_cast<int32_t>(fields.n1));
    m_paramsCur.InqInterval = FormatInt(static_cast<int32_t>(fields.n2));
    m_paramsCur.InqDuration = FormatInt(static_cast<int32_t>(fields.n3));
    m_view.SetWindowText(IDC_EDIT_CONN_INTERVAL, m_paramsCur.ConnInterval);
    m_view.SetWindowText(IDC_EDIT_CONN_DURATION, m_paramsCur.ConnDuration);
    m_view.SetWindowText(IDC_EDIT_INQ_INTERVAL, m_paramsCur.InqInterval);
    m_view.SetWindowText(IDC_EDIT_INQ_DURATION, m_paramsCur.InqDuration);
    // A short connection duration is the standby power saving being on.
    if (fields.n1 < 64)
        MoveSliderToMax(IDC_SLIDER_SCAN);
}

// "\r\n+CLASS:000000\r\n"
void CModuleSetupEngine::OnResponseClass(const ResponseFields &fields)
{
    OnInformationFor("AT+CLASS?\r\n");
    m_paramsCur.Class = SpanText(fields.span);
    m_view.SetWindowText(IDC_EDIT_CLASS, m_paramsCur.Class);
}

// "\r\n+SNIFF:800,80,8,8\r\n" -- the scanner hands over attempt, max, min, timeout
void CModuleSetupEngine::OnResponseSniff(const ResponseFields &fields)
{
    OnInformationFor("AT+SNIFF?\r\n");
    m_paramsCur.SniffAttempt = FormatInt(static_cast<int32_t>(fields.n0));
    m_view.SetWindowText(IDC_EDIT_SNIFF_ATTEMPT, m_paramsCur.SniffAttempt);
    m_paramsCur.SniffMax = FormatInt(static_cast<int32_t>(fields.n1));
    m_view.SetWindowText(IDC_EDIT_SNIFF_MAX, m_paramsCur.SniffMax);
    m_paramsCur.SniffMin = FormatInt(static_cast<int32_t>(fields.n2));
    m_view.SetWindowText(IDC_EDIT_SNIFF_MIN, m_paramsCur.SniffMin);
    m_paramsCur.SniffTimeout = FormatInt(static_cast<int32_t>(fields.n3));
    m_view.SetWindowText(IDC_EDIT_SNIFF_TIMEOUT, m_paramsCur.SniffTimeout);
    // A non-zero minimum interval is Sniff being on.
    if (fields.n2 != 0)
        MoveSliderToMax(IDC_SLIDER_SNIFF);
}

// "\r\n+VERSION:V4.25\r\n"
void CModuleSetupEngine::OnResponseVersion(const ResponseFields &fields)
{
    OnInformationFor("AT+VERSION?\r\n");
    m_paramsCur.Version = SpanText(fields.span);
    m_view.SetWindowText(IDC_EDIT_VERSION, m_paramsCur.Version);
}

// "\r\n+PASSWORD:7391\r\n"
void CModuleSetupEngine::OnResponsePassword(const ResponseFields &fields)
{
    OnInformationFor("AT+PASSWORD?\r\n");
    m_paramsCur.Password = SpanText(fields.span);
    m_view.SetWindowText(IDC_EDIT_PASSWORD, m_paramsCur.Password);
}

// Lines outside the keyword table. The length bounds are the shortest well-formed line of each.
void CModuleSetupEngine::OnOtherLine(const char *pLine, uint16_t nLength)
{
    if (pLine == nullptr)
        return;
    // "\r\n+INQCOMP\r\n", exactly
    if (nLength == kInqCompLength) {
        if (std::memcmp(pLine, LINE_INQCOMP, kInqCompLength) == 0) {
            OnSearchClosingLine(pLine + 2, nLength - 4);
            OnInquiryComplete();
        }
        return;
    }
    // "\r\nERROR:3\r\n", "\r\nERROR(1F)\r\n": a refusal the keyword table does not take. It
    // is the command's final line all the same; only a console command ends on it.
    if (StartsWith(pLine, nLength, "\r\nERROR")) {
        if (TakeFinalLine(pLine + 2, nLength - 4) && m_bConsoleWaiting)
            EndConsoleCommand(ERunEnd::Refused);
        return;
    }
    // "\r\n+INQRESU:001122AABBCC,name\r\n"
    if (nLength >= kInqResuMinLength && StartsWith(pLine, nLength, PREFIX_INQRESU)) {
        OnInquiryResult(pLine, nLength);
        return;
    }
    // "\r\n+LADDR:00158300A1B2\r\n", "\r\n+RADDR:001122AABBCC\r\n"
    if (nLength >= kAddressMinLength) {
        if (StartsWith(pLine, nLength, PREFIX_LADDR))
            return ShowAddress(pLine, true);
        if (StartsWith(pLine, nLength, PREFIX_RADDR))
            return ShowAddress(pLine, false);
    }
    // "\r\n+UARTMODE:0,0\r\n"
    if (nLength >= kUartModeMinLength && StartsWith(pLine, nLength, PREFIX_UARTMODE))
        ReadUartMode(pLine, nLength);
}

void CModuleSetupEngine::ShowAddress(const char *pLine, bool bLocal)
{
    OnInformationFor(bLocal ? "AT+LADDR?\r\n" : "AT+RADDR?\r\n");
    const std::string strAddress =
        MakeTextFromSpan(pLine + kAddressOffset, BLUETOOTH_ADDRESS_LENGTH);
    if (bLocal) {
        m_formValues.m_strLocalAddr = strAddress;
        m_view.SetWindowText(IDC_EDIT_LOCALADDR, m_formValues.m_strLocalAddr);
    } else {
        m_paramsCur.BindAddr = strAddress;
        m_view.SetWindowText(IDC_COMBO_BINDADDR, m_paramsCur.BindAddr);
    }
}

// "%d,%d": stop-bit index, then parity index; each number that reads replaces its member.
void CModuleSetupEngine::ReadUartMode(const char *pLine, uint16_t nLength)
{
    OnInformationFor("AT+UARTMODE?\r\n");
    const char *const end = pLine + nLength;
    const char *p = ScanInt(pLine + kUartModeOffset, end, m_paramsCur.StopBits);
    if (p != nullptr && p < end && *p == ',')
        ScanInt(p + 1, end, m_paramsCur.Parity);
    // Values outside the lists are kept as read but cannot be shown.
    if (m_paramsCur.Parity >= 0 && m_paramsCur.Parity <= 2)
        m_view.SetCurSel(IDC_COMBO_PARITY, m_paramsCur.Parity);
    if (m_paramsCur.StopBits >= 0 && m_paramsCur.StopBits <= 1)
        m_view.SetCurSel(IDC_COMBO_STOPBITS, m_paramsCur.StopBits);
}
