#include "sim/ModuleSim.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::microseconds;
using std::chrono::milliseconds;

constexpr size_t kMaxCommandBytes = 4096; // a line that long is noise; drop it
constexpr microseconds kSplitGap{3000};   // long enough for the reader to wake in between
constexpr size_t kPacedPieceBytes = 8;
constexpr milliseconds kWriteStallLimit{2000}; // nobody reads the line: give the bytes up
constexpr size_t kRandomPieceMax = 8;
constexpr int kDrainPolls = 100; // 5 ms apart
constexpr microseconds kHangUpGrace{20000};

// The module's coded refusals, beside the plain "ERROR" of a value it does not take.
constexpr char kErrorUnknownCommand[] = "ERROR(1F)"; // no such command
constexpr char kErrorWrongForm[] = "ERROR(1E)";      // a known command in a form it does not take

constexpr const char *kLinkStateNames[] = {"INITIALIZED", "READY", "INQUIRING", "CONNECTED"};

constexpr const char *kBaudTexts[] = {"1200",  "2400",   "4800",   "9600",   "19200",  "38400",
                                      "57600", "115200", "230400", "460800", "921600", "1382400"};

// Any bytes but control characters: the module stores names byte for byte, GBK included.
bool IsPlainText(const std::string &strValue, size_t nMin, size_t nMax)
{
    if (strValue.size() < nMin || strValue.size() > nMax)
        return false;
    return std::none_of(strValue.begin(), strValue.end(), [](char ch) {
        const auto byte = static_cast<unsigned char>(ch);
        return byte < 0x20 || byte == 0x7F;
    });
}

// "a,b,c": exactly nCount unsigned decimals, each at most nMax.
bool ParseNumbers(const std::string &strValue, size_t nCount, uint64_t nMax, uint32_t *pOut)
{
    size_t nStart = 0;
    for (size_t i = 0; i < nCount; ++i) {
        const size_t nEnd = i + 1 < nCount ? strValue.find(',', nStart) : strValue.size();
        if (nEnd == std::string::npos || nEnd == nStart || nEnd - nStart > 10)
            return false;
        uint64_t nValue = 0;
        for (size_t j = nStart; j < nEnd; ++j) {
            if (strValue[j] < '0' || strValue[j] > '9')
                return false;
            nValue = nValue * 10 + static_cast<uint64_t>(strValue[j] - '0');
        }
        if (nValue > nMax)
            return false;
        pOut[i] = static_cast<uint32_t>(nValue);
        nStart = nEnd + 1;
    }
    return true;
}

bool ParseFlag(const std::string &strValue, int32_t &nOut)
{
    if (strValue != "0" && strValue != "1")
        return false;
    nOut = strValue[0] - '0';
    return true;
}

std::string JoinNumbers(const uint32_t *pValues)
{
    return std::to_string(pValues[0]) + "," + std::to_string(pValues[1]) + "," +
           std::to_string(pValues[2]) + "," + std::to_string(pValues[3]);
}

// A query and the information line that answers it; an empty line answers "ERROR".
struct CQueryRule
{
    const char *pszCommand;
    std::string (*pfnLine)(const SimState &state);
};

const CQueryRule kQueryRules[] = {
    {"AT+NAME?", [](const SimState &s) { return "+NAME:" + s.strName; }},
    {"AT+VERSION?", [](const SimState &s) { return "+VERSION:" + s.strVersion; }},
    {"AT+VERSION", [](const SimState &s) { return "+VERSION:" + s.strVersion; }},
    {"AT+CLASS?", [](const SimState &s) { return "+CLASS:" + s.strClass; }},
    {"AT+ROLE?", [](const SimState &s) { return "+ROLE:" + std::to_string(s.nRole); }},
    {"AT+BIND?", [](const SimState &s) { return "+BIND:" + std::to_string(s.nBind); }},
    {"AT+AUTH?", [](const SimState &s) { return "+AUTH:" + std::to_string(s.nAuth); }},
    {"AT+PASSWORD?", [](const SimState &s) { return "+PASSWORD:" + s.strPassword; }},
    {"AT+BAUD?", [](const SimState &s) { return "+BAUD:" + std::to_string(s.nBaud); }},
    {"AT+UARTMODE?",
     [](const SimState &s) {
         return "+UARTMODE:" + std::to_string(s.nStopBits) + "," + std::to_string(s.nParity);
     }},
    {"AT+SCANTIME?", [](const SimState &s) { return "+SCAN:" + JoinNumbers(s.aScan); }},
    {"AT+SNIFF?", [](const SimState &s) { return "+SNIFF:" + JoinNumbers(s.aSniff); }},
    {"AT+LADDR?", [](const SimState &s) { return "+LADDR:" + s.strLocalAddr; }},
    {"AT+RADDR?",
     [](const SimState &s) {
         return s.strBindAddr.empty() ? std::string() : "+RADDR:" + s.strBindAddr;
     }},
    {"AT+STATE?",
     [](const SimState &s) { return std::string("+STATE:") + SimLinkStateName(s.eLinkState); }},
    {"AT+ADDR?", [](const SimState &s) { return "+ADDR:" + s.strLocalAddr; }},
};

// The commands that take no value and ask nothing.
constexpr const char *kActions[] = {"AT", "AT+CLEARADDR", "AT+RESET", "AT+INQ"};

// A set command's prefix and how its value changes the state; false answers "ERROR".
struct CSetRule
{
    const char *pszPrefix;
    bool (*pfnApply)(const std::string &strValue, SimState &state);
};

bool ApplyBaud(const std::string &strValue, SimState &state)
{
    for (const char *pszBaud : kBaudTexts) {
        if (strValue == pszBaud) {
            state.nBaud = static_cast<uint32_t>(std::strtoul(pszBaud, nullptr, 10));
            return true;
        }
    }
    return false;
}

bool ApplyUartMode(const std::string &strValue, SimState &state)
{
    uint32_t aMode[2] = {};
    if (!ParseNumbers(strValue, 2, 2, aMode) || aMode[0] > 1)
        return false;
    state.nStopBits = static_cast<int32_t>(aMode[0]);
    state.nParity = static_cast<int32_t>(aMode[1]);
    return true;
}

template <size_t nMin, size_t nMax, std::string SimState::*pMember>
bool ApplyText(const std::string &strValue, SimState &state)
{
    if (!IsPlainText(strValue, nMin, nMax))
        return false;
    state.*pMember = strValue;
    return true;
}

template <int32_t SimState::*pMember> bool ApplyFlag(const std::string &strValue, SimState &state)
{
    return ParseFlag(strValue, state.*pMember);
}

template <uint64_t nMax, uint32_t (SimState::*pMember)[4]>
bool ApplyFour(const std::string &strValue, SimState &state)
{
    uint32_t aValues[4] = {};
    if (!ParseNumbers(strValue, 4, nMax, aValues))
        return false;
    std::copy(std::begin(aValues), std::end(aValues), state.*pMember);
    return true;
}

const CSetRule kSetRules[] = {
    {"AT+NAME=", ApplyText<1, 20, &SimState::strName>},
    {"AT+CLASS=", ApplyText<6, 6, &SimState::strClass>},
    {"AT+PASSWORD=", ApplyText<1, 16, &SimState::strPassword>},
    {"AT+RADDR=", ApplyText<12, 12, &SimState::strBindAddr>},
    {"AT+BAUD=", ApplyBaud},
    {"AT+UARTMODE=", ApplyUartMode},
    {"AT+ROLE=", ApplyFlag<&SimState::nRole>},
    {"AT+BIND=", ApplyFlag<&SimState::nBind>},
    {"AT+AUTH=", ApplyFlag<&SimState::nAuth>},
    {"AT+SCANTIME=", ApplyFour<4096, &SimState::aScan>},
    {"AT+SNIFF=", ApplyFour<UINT32_MAX, &SimState::aSniff>},
};

bool HasPrefix(const std::string &strText, const std::string &strPrefix)
{
    return strText.compare(0, strPrefix.size(), strPrefix) == 0;
}

bool MatchesAny(const std::string &strCommand, const std::vector<std::string> &prefixes)
{
    return std::any_of(prefixes.begin(), prefixes.end(), [&](const std::string &strPrefix) {
        return HasPrefix(strCommand, strPrefix);
    });
}

// The name before any "?" or "=": "AT+NAME" for "AT+NAME=x", "AT+NAME?" and "AT+NAME".
std::string Keyword(const std::string &strCommand)
{
    return strCommand.substr(0, strCommand.find_first_of("?="));
}

// A refusal with a code, for what none of the command tables takes: a name the module knows in
// a form it does not take ("AT+NAME", "AT+RESET?", "AT+LADDR=1"), or a name it does not know.
std::string CodedRefusal(const std::string &strCommand)
{
    const std::string strKeyword = Keyword(strCommand);
    const bool bKnown =
        std::any_of(
            std::begin(kQueryRules), std::end(kQueryRules),
            [&](const CQueryRule &rule) { return Keyword(rule.pszCommand) == strKeyword; }) ||
        std::any_of(std::begin(kSetRules), std::end(kSetRules),
                    [&](const CSetRule &rule) { return Keyword(rule.pszPrefix) == strKeyword; }) ||
        std::any_of(std::begin(kActions), std::end(kActions),
                    [&](const char *pszAction) { return strKeyword == pszAction; });
    return bKnown ? kErrorWrongForm : kErrorUnknownCommand;
}

// The delay of the first late rule the command matches, if any.
std::optional<milliseconds> LateDelay(const std::string &strCommand, const SimOptions &options)
{
    for (const SimLateReply &late : options.lateCommands) {
        if (HasPrefix(strCommand, late.strPrefix))
            return late.delay;
    }
    return std::nullopt;
}

// Lines whose spelling is fixed: hosts compare them byte for byte, so a module that answers its
// keywords in lower case still sends these as they are.
bool HasFixedSpelling(const std::string &strLine)
{
    static const char *const kFixed[] = {
        "+LADDR:", "+RADDR:", "+UARTMODE:", "+INQRESU:", "+INQCOMP"};
    return std::any_of(std::begin(kFixed), std::end(kFixed),
                       [&](const char *pszPrefix) { return HasPrefix(strLine, pszPrefix); });
}

// "\r\n<text>\r\n"; a lower-case module lowers the keyword only, values keep their case.
std::string Frame(std::string strLine, bool bLowerCase)
{
    if (bLowerCase && !HasFixedSpelling(strLine)) {
        const size_t nKeyEnd = std::min(strLine.find(':'), strLine.size());
        std::transform(strLine.begin(), strLine.begin() + static_cast<long>(nKeyEnd),
                       strLine.begin(),
                       [](char ch) { return ch >= 'A' && ch <= 'Z' ? ch + 32 : ch; });
    }
    return "\r\n" + strLine + "\r\n";
}

microseconds WireTime(size_t nBytes, uint32_t nBaud)
{
    return nBaud == 0 ? microseconds{0} : microseconds{nBytes * 10 * 1000000ULL / nBaud};
}

// The kernel's termios2 (generic layout), which carries the rate as a number: rates without a
// Bxxx constant (1382400) are only seen this way. <asm/termbits.h> cannot live beside
// <termios.h>, so the record is declared here.
struct CKernelTermios2
{
    tcflag_t c_iflag;
    tcflag_t c_oflag;
    tcflag_t c_cflag;
    tcflag_t c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
    speed_t c_ispeed;
    speed_t c_ospeed;
};
const unsigned long kIoctlGetTermios2 = _IOR('T', 0x2A, CKernelTermios2);

// The bytes of a framed "OK" in either case; noise must never hold them in a row.
bool IsOkFrameByte(char ch)
{
    return ch == '\r' || ch == '\n' || ch == 'O' || ch == 'o' || ch == 'K' || ch == 'k';
}

bool IsFramedOkAt(const std::string &strBytes, size_t nAt)
{
    static const char kFrame[] = "\r\nOK\r\n";
    for (size_t i = 0; i < 6; ++i) {
        const char ch = strBytes[nAt + i];
        const char upper = ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 32) : ch;
        if (upper != kFrame[i])
            return false;
    }
    return true;
}

bool SetRaw(int hTty)
{
    termios tio{};
    if (tcgetattr(hTty, &tio) != 0)
        return false;
    cfmakeraw(&tio);
    return tcsetattr(hTty, TCSANOW, &tio) == 0;
}

} // namespace

const char *SimLinkStateName(ESimLinkState eState)
{
    return kLinkStateNames[static_cast<size_t>(eState)];
}

bool ParseSimLinkState(const std::string &strName, ESimLinkState &eState)
{
    for (size_t i = 0; i < std::size(kLinkStateNames); ++i) {
        if (strName == kLinkStateNames[i]) {
            eState = static_cast<ESimLinkState>(i);
            return true;
        }
    }
    return false;
}

CModuleSim::CModuleSim(SimOptions options) : m_options(std::move(options))
{
    m_hStopEvent = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

CModuleSim::~CModuleSim()
{
    Stop();
    if (m_hStopEvent >= 0)
        close(m_hStopEvent);
}

bool CModuleSim::Start()
{
    if (m_thread.joinable())
        return true;
    if (m_hStopEvent < 0 || !OpenPty() || !PointLink()) {
        ClosePty();
        return false;
    }
    StartThread();
    return true;
}

void CModuleSim::Stop()
{
    HangUp();
}

// The link is the module's device node: it goes with the line, as a pulled adapter's node does,
// so nobody finds a recycled pty number behind it. Only our own link goes; another simulator may
// have taken the name over since.
void CModuleSim::RemoveLink()
{
    const std::string strLink = Options().strLinkPath;
    if (strLink.empty())
        return;
    char achTarget[PATH_MAX] = {};
    const ssize_t nTarget = readlink(strLink.c_str(), achTarget, sizeof(achTarget) - 1);
    if (nTarget > 0 && PtyPath() == std::string(achTarget, static_cast<size_t>(nTarget)))
        unlink(strLink.c_str());
}

bool CModuleSim::OpenPty()
{
    const int hMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char achName[PATH_MAX] = {};
    if (hMaster < 0)
        return false;
    if (grantpt(hMaster) != 0 || unlockpt(hMaster) != 0 ||
        ptsname_r(hMaster, achName, sizeof(achName)) != 0) {
        close(hMaster);
        return false;
    }
    const int hSlave = open(achName, O_RDWR | O_NOCTTY | O_CLOEXEC);
    // No echo and no line editing, or every command would come straight back at the tool.
    if (hSlave < 0 || !SetRaw(hSlave) || !SetRaw(hMaster) ||
        fcntl(hMaster, F_SETFL, fcntl(hMaster, F_GETFL) | O_NONBLOCK) != 0) {
        if (hSlave >= 0)
            close(hSlave);
        close(hMaster);
        return false;
    }
    std::lock_guard ioGuard(m_ioMutex);
    m_hMaster = hMaster;
    m_hSlave = hSlave;
    std::lock_guard guard(m_mutex);
    m_strPtyPath = achName;
    return true;
}

void CModuleSim::ClosePty()
{
    std::lock_guard ioGuard(m_ioMutex);
    for (int *pFd : {&m_hMaster, &m_hSlave}) {
        if (*pFd >= 0)
            close(*pFd);
        *pFd = -1;
    }
}

// Replaced in one step (a temporary link renamed over it), so a tool never finds it missing.
bool CModuleSim::PointLink()
{
    const std::string strLink = Options().strLinkPath;
    if (strLink.empty())
        return true;
    // Made aside and renamed into place, as udev makes its links: a hidden name, so that a watch
    // for the link's pattern never takes the one being made for a device.
    const size_t nSlash = strLink.rfind('/');
    const size_t nName = nSlash == std::string::npos ? 0 : nSlash + 1;
    const std::string strTemp =
        strLink.substr(0, nName) + "." + strLink.substr(nName) + ".tmp" + std::to_string(getpid());
    unlink(strTemp.c_str());
    if (symlink(PtyPath().c_str(), strTemp.c_str()) != 0)
        return false;
    if (rename(strTemp.c_str(), strLink.c_str()) != 0) {
        unlink(strTemp.c_str());
        return false;
    }
    return true;
}

void CModuleSim::StartThread()
{
    eventfd_t nValue = 0;
    eventfd_read(m_hStopEvent, &nValue);
    m_strPending.clear();
    m_timed.clear();
    m_queued.clear();
    m_nCommandsServed = 0;
    m_thread = std::thread([this] { Run(); });
}

void CModuleSim::StopThread()
{
    if (!m_thread.joinable())
        return;
    eventfd_write(m_hStopEvent, 1);
    m_thread.join();
}

std::string CModuleSim::DevicePath() const
{
    std::lock_guard guard(m_mutex);
    return m_options.strLinkPath.empty() ? m_strPtyPath : m_options.strLinkPath;
}

std::string CModuleSim::PtyPath() const
{
    std::lock_guard guard(m_mutex);
    return m_strPtyPath;
}

SimState CModuleSim::State() const
{
    std::lock_guard guard(m_mutex);
    return m_state;
}

void CModuleSim::SetState(const SimState &state)
{
    std::lock_guard guard(m_mutex);
    m_state = state;
}

SimOptions CModuleSim::Options() const
{
    std::lock_guard guard(m_mutex);
    return m_options;
}

void CModuleSim::SetOptions(const SimOptions &options)
{
    std::lock_guard guard(m_mutex);
    m_options = options;
}

std::vector<SimLogEntry> CModuleSim::Log() const
{
    std::lock_guard guard(m_mutex);
    return m_log;
}

std::vector<std::string> CModuleSim::Commands() const
{
    std::lock_guard guard(m_mutex);
    std::vector<std::string> commands;
    for (const SimLogEntry &entry : m_log)
        commands.push_back(entry.strCommand);
    return commands;
}

void CModuleSim::ClearLog()
{
    std::lock_guard guard(m_mutex);
    m_log.clear();
}

bool CModuleSim::WaitForCommands(size_t nCount, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    return m_logChanged.wait_for(lock, timeout, [&] { return m_log.size() >= nCount; });
}

void CModuleSim::HangUp()
{
    StopThread();
    RemoveLink();
    ClosePty();
}

bool CModuleSim::Reconnect()
{
    HangUp();
    if (!OpenPty() || !PointLink()) {
        ClosePty();
        return false;
    }
    StartThread();
    return true;
}

void CModuleSim::SendRaw(const std::string &strBytes)
{
    WriteAll(strBytes.data(), strBytes.size());
}

void CModuleSim::Run()
{
    char achBuffer[1024];
    for (;;) {
        pollfd aFds[2] = {{m_hMaster, POLLIN, 0}, {m_hStopEvent, POLLIN, 0}};
        if (poll(aFds, 2, FlushDue()) < 0 && errno != EINTR)
            return;
        if (aFds[1].revents != 0)
            return;
        if (aFds[0].revents & POLLIN) {
            const ssize_t nRead = read(m_hMaster, achBuffer, sizeof(achBuffer));
            if (nRead > 0 && !OnBytes(achBuffer, static_cast<size_t>(nRead)))
                return; // hung up on purpose
        } else if (aFds[0].revents != 0) {
            Pause(microseconds{10000}); // a line in trouble must not make us spin
        }
    }
}

uint32_t CModuleSim::ClientRate() const
{
    // Both ends of a pty share one set of settings: the tool's tcsetattr shows on our slave.
    CKernelTermios2 tio2{};
    if (ioctl(m_hSlave, kIoctlGetTermios2, &tio2) == 0)
        return tio2.c_ospeed;
    return 0;
}

// Random bytes as a wrong rate garbles them, with pieces of "OK" and CR LF among them to tempt a
// careless reader, but never a framed "OK", not even joined with what came before or after.
std::string CModuleSim::Noise(size_t nLength)
{
    static const char *const kTemptations[] = {"OK\r\n", "\r\nOK", "\r\nO\r\n", "ok\r\n\r"};
    std::string strNoise;
    while (strNoise.size() < nLength) {
        m_nRandom = m_nRandom * 1103515245u + 12345u;
        const uint32_t nDraw = m_nRandom >> 16;
        if (nDraw % 7 == 0)
            strNoise += kTemptations[(nDraw / 7) % 4];
        else
            strNoise.push_back(static_cast<char>(nDraw & 0xFF));
    }
    for (size_t i = 0; i + 6 <= strNoise.size(); ++i) {
        if (IsFramedOkAt(strNoise, i))
            strNoise[i + 2] = '0';
    }
    // Ends that cannot take part in a frame, so no "OK" forms across two writes.
    if (IsOkFrameByte(strNoise.front()))
        strNoise.front() = '~';
    if (IsOkFrameByte(strNoise.back()))
        strNoise.back() = '~';
    return strNoise;
}

// Cuts commands at CR or LF; false once the module has hung up.
bool CModuleSim::OnBytes(const char *pData, size_t nLength)
{
    if (const SimOptions options = Options();
        options.nAtRate != 0 && ClientRate() != options.nAtRate) {
        // Nothing of it was understood; what was pending is garbled too.
        m_strPending.clear();
        Send(Noise(nLength * 2 + 2), options);
        return true;
    }
    for (size_t i = 0; i < nLength; ++i) {
        if (pData[i] != '\r' && pData[i] != '\n') {
            if (m_strPending.size() >= kMaxCommandBytes)
                m_strPending.clear();
            m_strPending.push_back(pData[i]);
            continue;
        }
        if (m_strPending.empty())
            continue; // the LF of a CR LF, or an empty line
        const std::string strCommand = std::move(m_strPending);
        m_strPending.clear();
        if (!OnCommand(strCommand))
            return false;
    }
    return true;
}

bool CModuleSim::OnCommand(const std::string &strCommand)
{
    const SimOptions options = Options();
    {
        std::lock_guard guard(m_mutex);
        m_log.push_back({Clock::now(), strCommand + "\r\n"});
    }
    m_logChanged.notify_all();
    // A paced line has not fully arrived until its last byte has crossed the wire.
    Pause(WireTime(strCommand.size() + 2, options.nPaceBaud));
    if (options.bEcho)
        Send(strCommand + "\r\n", options);
    if (!MatchesAny(strCommand, options.silentCommands)) {
        const std::vector<std::string> lines =
            MatchesAny(strCommand, options.errorCommands)    ? std::vector<std::string>{"ERROR"}
            : MatchesAny(strCommand, options.forgetCommands) ? std::vector<std::string>{"OK"}
                                                             : Answer(strCommand, options);
        std::string strReply;
        for (const std::string &strLine : lines)
            strReply += Frame(strLine, options.bLowerCase);
        Reply(strCommand, strReply, options);
    }
    if (options.nHangUpAfter <= 0 || ++m_nCommandsServed < options.nHangUpAfter)
        return true;
    // Bytes still queued at the hang-up are lost to the tool; let it take the last reply first.
    // The pty moves written bytes to the other side a moment later, so the count starts late.
    Pause(kHangUpGrace);
    int nQueued = 0;
    for (int i = 0; i < kDrainPolls && ioctl(m_hSlave, FIONREAD, &nQueued) == 0 && nQueued > 0; ++i)
        Pause(microseconds{5000});
    RemoveLink();
    ClosePty();
    return false;
}

// The lines that answer one command, unframed; state changes happen here, before the reply.
std::vector<std::string> CModuleSim::Answer(const std::string &strCommand,
                                            const SimOptions &options)
{
    if (strCommand == "AT+INQ") {
        ScheduleInquiry(options);
        return {}; // results and INQCOMP follow; an OK would move the tool's other runs
    }
    std::lock_guard guard(m_mutex);
    if (strCommand == "AT")
        return {"OK"};
    for (const CQueryRule &rule : kQueryRules) {
        if (strCommand != rule.pszCommand)
            continue;
        const std::string strLine = rule.pfnLine(m_state);
        return strLine.empty() ? std::vector<std::string>{"ERROR"}
                               : std::vector<std::string>{strLine, "OK"};
    }
    for (const CSetRule &rule : kSetRules) {
        if (HasPrefix(strCommand, rule.pszPrefix))
            return {rule.pfnApply(strCommand.substr(std::strlen(rule.pszPrefix)), m_state)
                        ? "OK"
                        : "ERROR"};
    }
    if (strCommand == "AT+CLEARADDR") {
        m_state.strBindAddr.clear();
        return {"OK"};
    }
    if (strCommand == "AT+RESET") {
        const std::string strLocal = m_state.strLocalAddr;
        m_state = SimState{};
        m_state.strLocalAddr = strLocal;
        return {"OK"};
    }
    return {CodedRefusal(strCommand)};
}

// Sends a reply after the usual delay, unless it is late or must wait behind a late one: then it
// joins the queue, due no earlier than the reply before it.
void CModuleSim::Reply(const std::string &strCommand, const std::string &strReply,
                       const SimOptions &options)
{
    if (strReply.empty())
        return;
    const std::optional<milliseconds> late = LateDelay(strCommand, options);
    if (!late && m_queued.empty()) {
        if (Pause(options.replyDelay))
            Send(strReply, options);
        return;
    }
    Clock::time_point due = Clock::now() + late.value_or(options.replyDelay);
    if (!m_queued.empty())
        due = std::max(due, m_queued.back().due);
    m_queued.push_back({due, strReply});
}

void CModuleSim::ScheduleInquiry(const SimOptions &options)
{
    Clock::time_point due = Clock::now();
    for (const SimDevice &device : options.inquiryDevices) {
        due += options.inquiryInterval;
        const std::string strLine = "+INQRESU:" + device.strAddress + "," + device.strText;
        m_timed.push_back({due, Frame(strLine, options.bLowerCase)});
    }
    m_timed.push_back({due + options.inquiryInterval, Frame("+INQCOMP", options.bLowerCase), true});
    std::lock_guard guard(m_mutex);
    m_state.eLinkState = ESimLinkState::Inquiring;
}

// The queue whose first output is due soonest, or null when neither has any.
std::vector<CModuleSim::CTimedOutput> *CModuleSim::NextDue()
{
    if (m_timed.empty() || m_queued.empty())
        return m_timed.empty() ? (m_queued.empty() ? nullptr : &m_queued) : &m_timed;
    return m_queued.front().due <= m_timed.front().due ? &m_queued : &m_timed;
}

// Sends what is due; returns the poll timeout until the next timed output (-1: none).
int CModuleSim::FlushDue()
{
    const SimOptions options = Options();
    for (std::vector<CTimedOutput> *pQueue = NextDue();
         pQueue != nullptr && pQueue->front().due <= Clock::now(); pQueue = NextDue()) {
        const CTimedOutput output = std::move(pQueue->front());
        pQueue->erase(pQueue->begin());
        if (output.bEndsInquiry) {
            std::lock_guard guard(m_mutex);
            m_state.eLinkState = ESimLinkState::Ready;
        }
        Send(output.strBytes, options);
    }
    const std::vector<CTimedOutput> *pNext = NextDue();
    if (pNext == nullptr)
        return -1;
    const auto wait = std::chrono::ceil<milliseconds>(pNext->front().due - Clock::now());
    return static_cast<int>(std::max<milliseconds::rep>(wait.count(), 0));
}

std::vector<size_t> CModuleSim::ChunkSizes(size_t nLength, const SimOptions &options)
{
    std::vector<size_t> sizes;
    for (size_t nDone = 0; nDone < nLength;) {
        size_t nPiece = nLength - nDone;
        if (options.split == SimSplit::ByteByByte)
            nPiece = 1;
        else if (options.split == SimSplit::Random) {
            m_nRandom = m_nRandom * 1103515245u + 12345u;
            nPiece = 1 + (m_nRandom >> 16) % kRandomPieceMax;
        }
        if (options.nPaceBaud != 0)
            nPiece = std::min(nPiece, kPacedPieceBytes);
        nPiece = std::min(nPiece, nLength - nDone);
        sizes.push_back(nPiece);
        nDone += nPiece;
    }
    return sizes;
}

// Writes in pieces: split ones with a gap the reader notices, paced ones no faster than the wire.
void CModuleSim::Send(const std::string &strBytes, const SimOptions &options)
{
    const std::vector<size_t> sizes = ChunkSizes(strBytes.size(), options);
    // Paced against one schedule from the first byte, so sleeping late never adds up.
    const auto start = Clock::now();
    microseconds elapsedWire{0};
    size_t nDone = 0;
    for (size_t i = 0; i < sizes.size(); ++i) {
        if (!WriteAll(strBytes.data() + nDone, sizes[i]))
            return;
        nDone += sizes[i];
        elapsedWire =
            std::max(WireTime(nDone, options.nPaceBaud),
                     elapsedWire + (options.split != SimSplit::Whole && i + 1 < sizes.size()
                                        ? kSplitGap
                                        : microseconds{0}));
        if (!Pause(std::chrono::duration_cast<microseconds>(start + elapsedWire - Clock::now())))
            return;
    }
}

bool CModuleSim::WriteAll(const char *pData, size_t nLength)
{
    std::lock_guard guard(m_ioMutex);
    const auto deadline = Clock::now() + kWriteStallLimit;
    while (nLength > 0 && m_hMaster >= 0) {
        const ssize_t nWritten = write(m_hMaster, pData, nLength);
        if (nWritten > 0) {
            pData += nWritten;
            nLength -= static_cast<size_t>(nWritten);
            continue;
        }
        if (nWritten < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        pollfd aFds[2] = {{m_hMaster, POLLOUT, 0}, {m_hStopEvent, POLLIN, 0}};
        const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now()).count();
        if (left <= 0 || poll(aFds, 2, static_cast<int>(left)) <= 0 || aFds[1].revents != 0)
            return false;
    }
    return nLength == 0;
}

// Sleeps, but wakes at once when the module is being stopped; false then.
bool CModuleSim::Pause(microseconds delay) const
{
    if (delay <= microseconds{0})
        return true;
    pollfd stopFd{m_hStopEvent, POLLIN, 0};
    // ppoll keeps the pacing to the microsecond; poll would round every pause up to a millisecond.
    const auto nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(delay).count();
    const timespec timeout{static_cast<time_t>(nanos / 1000000000),
                           static_cast<long>(nanos % 1000000000)};
    return ppoll(&stopFd, 1, &timeout, nullptr) == 0;
}
