#include "serial/SerialLink.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int32_t kChunkBytes = 1024;
constexpr uint32_t kLongWriteBytes = 1024;
constexpr std::chrono::milliseconds kShortWriteTimeout{5000};
constexpr std::chrono::milliseconds kLongWriteTimeout{10000};
constexpr int kErrorPauseMs = 100;
// A UART runs within a few percent of its nominal rate; drivers report the rate they really set.
constexpr uint32_t kBaudTolerancePercent = 3;

// The kernel's own termios2 (generic layout). <asm/termbits.h> cannot live beside <termios.h>,
// so the record is declared here; it is the only way to set a rate that has no Bxxx constant.
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
const unsigned long kIoctlSetTermios2 = _IOW('T', 0x2B, CKernelTermios2);
constexpr tcflag_t kKernelCbaud = 0010017;
constexpr tcflag_t kKernelBother = 0010000;

struct CBaudCode
{
    uint32_t nBaud;
    speed_t code;
};

constexpr CBaudCode kBaudCodes[] = {
    {1200, B1200},       {2400, B2400},       {4800, B4800},       {9600, B9600},
    {19200, B19200},     {38400, B38400},     {57600, B57600},     {115200, B115200},
    {230400, B230400},   {460800, B460800},   {500000, B500000},   {576000, B576000},
    {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {3000000, B3000000}, {4000000, B4000000},
};

// B0 when the rate has no constant of its own and must go through termios2.
speed_t BaudCode(uint32_t nBaud)
{
    for (const CBaudCode &entry : kBaudCodes) {
        if (entry.nBaud == nBaud)
            return entry.code;
    }
    return B0;
}

bool SizeFlag(uint8_t nByteSize, tcflag_t &flag)
{
    constexpr tcflag_t aSizes[] = {CS5, CS6, CS7, CS8};
    if (nByteSize < 5 || nByteSize > 8)
        return false;
    flag = aSizes[nByteSize - 5];
    return true;
}

bool ParityFlags(uint8_t nParity, tcflag_t &flags)
{
    // none, odd, even, mark (parity bit always 1), space (always 0)
    constexpr tcflag_t aParity[] = {0, PARENB | PARODD, PARENB, PARENB | CMSPAR | PARODD,
                                    PARENB | CMSPAR};
    if (nParity > 4)
        return false;
    flags = aParity[nParity];
    return true;
}

constexpr tcflag_t kCflagChecked = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
constexpr tcflag_t kIflagChecked = IXON | IXOFF;

// Raw line, as cfmakeraw sets it. Breaks are ignored (IGNBRK): under raw mode a break would
// otherwise arrive as a NUL byte among the replies, and the module never sends one on purpose.
void MakeRaw(termios &tio)
{
    tio.c_iflag &= ~(BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
    tio.c_iflag |= IGNBRK;
    tio.c_oflag &= ~OPOST;
    tio.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~(kCflagChecked | HUPCL);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
}

bool BuildLineSettings(const CSerialLink &link, termios &tio)
{
    tcflag_t sizeFlag = 0;
    tcflag_t parityFlags = 0;
    if (!SizeFlag(link.m_nByteSize, sizeFlag) || !ParityFlags(link.m_nParity, parityFlags) ||
        link.m_nStopBits > 2)
        return false;
    MakeRaw(tio);
    tio.c_cflag |= sizeFlag | parityFlags;
    // One and a half stop bits do not exist here; two is the nearest that keeps the receiver safe.
    if (link.m_nStopBits != 0)
        tio.c_cflag |= CSTOPB;
    if (link.m_nFlowControl == FLOW_HARDWARE)
        tio.c_cflag |= CRTSCTS;
    else if (link.m_nFlowControl == FLOW_XONXOFF)
        tio.c_iflag |= IXON | IXOFF;
    return true;
}

bool SetCustomBaud(int hPort, uint32_t nBaud)
{
    CKernelTermios2 tio2{};
    if (ioctl(hPort, kIoctlGetTermios2, &tio2) != 0)
        return false;
    tio2.c_cflag = (tio2.c_cflag & ~kKernelCbaud) | kKernelBother;
    tio2.c_cflag &= ~(kKernelCbaud << 16); // input rate follows the output rate
    tio2.c_ispeed = nBaud;
    tio2.c_ospeed = nBaud;
    return ioctl(hPort, kIoctlSetTermios2, &tio2) == 0;
}

bool BaudApplied(int hPort, uint32_t nBaud, speed_t code, const termios &actual)
{
    CKernelTermios2 tio2{};
    if (ioctl(hPort, kIoctlGetTermios2, &tio2) != 0)
        return code != B0 && cfgetospeed(&actual) == code;
    const uint64_t nDiff = tio2.c_ospeed > nBaud ? tio2.c_ospeed - nBaud : nBaud - tio2.c_ospeed;
    return nDiff * 100 <= uint64_t{nBaud} * kBaudTolerancePercent;
}

// tcsetattr succeeds when any part of the request was applied, so only a read-back tells.
bool SettingsApplied(int hPort, const termios &wanted, uint32_t nBaud, speed_t code)
{
    termios actual{};
    if (tcgetattr(hPort, &actual) != 0)
        return false;
    return (actual.c_cflag & kCflagChecked) == (wanted.c_cflag & kCflagChecked) &&
           (actual.c_iflag & kIflagChecked) == (wanted.c_iflag & kIflagChecked) &&
           (actual.c_lflag & (ICANON | ECHO | ISIG)) == 0 &&
           BaudApplied(hPort, nBaud, code, actual);
}

// The flock holds against everyone; TIOCEXCL adds the tty's own guard, which root bypasses.
int OpenExclusive(const std::string &strPath, int &nError)
{
    const int hPort = open(strPath.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (hPort < 0) {
        nError = errno;
        return -1;
    }
    if (flock(hPort, LOCK_EX | LOCK_NB) != 0) {
        nError = (errno == EWOULDBLOCK) ? EBUSY : errno;
        close(hPort);
        return -1;
    }
    ioctl(hPort, TIOCEXCL);
    return hPort;
}

bool CtsOn(int hPort)
{
    int nLines = 0;
    return ioctl(hPort, TIOCMGET, &nLines) == 0 && (nLines & TIOCM_CTS) != 0;
}

bool GoneError(int nError)
{
    return nError == EIO || nError == ENXIO || nError == ENODEV || nError == EBADF;
}

} // namespace

CSerialLink::CSerialLink()
{
    m_hStopEvent = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

CSerialLink::~CSerialLink()
{
    Close();
    // A reader let go by a Close on its own thread may still be finishing its last pass.
    while (m_nReaderCount.load() > 0 && m_readerId.load() != std::this_thread::get_id())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (m_hStopEvent >= 0)
        close(m_hStopEvent);
}

bool CSerialLink::Open(std::string strPortName)
{
    // Opening over an open port would lose the descriptor and its lock for good.
    if (IsOpen())
        Close();
    JoinReader(); // collect a reader that ended on its own when the device went away
    m_strPortName = std::move(strPortName);
    m_nLastOpenError = 0;
    m_openHolders.clear();
    m_strGroupAwaitingLogin.clear();
    // Without its stop event the reader could not be woken, and Close would wait for a byte.
    if (m_hStopEvent < 0) {
        m_nLastOpenError = EMFILE;
        return false;
    }
    const int hPort = OpenExclusive(m_strPortName, m_nLastOpenError);
    if (hPort < 0) {
        NoteOpenCause();
        return false;
    }
    m_hPort = hPort;
    m_bStop = false;
    ClearStopEvent();
    tcflush(hPort, TCIOFLUSH);
    if (!Configure())
        return false; // stays open, unconfigured and unread, until Close
    tcflush(hPort, TCIOFLUSH);
    // The kernel raised DTR and RTS at the open; each stays up or goes down as chosen, RTS only
    // when the handshake does not drive it. Pseudo-terminals have no modem lines and refuse this;
    // the line works without them.
    const bool bRtsOurs = m_nFlowControl != FLOW_HARDWARE;
    int nRaise = (m_bDtr ? TIOCM_DTR : 0) | (bRtsOurs && m_bRts ? TIOCM_RTS : 0);
    int nLower = (m_bDtr ? 0 : TIOCM_DTR) | (bRtsOurs && !m_bRts ? TIOCM_RTS : 0);
    if (nLower != 0)
        ioctl(hPort, TIOCMBIC, &nLower);
    if (nRaise != 0)
        ioctl(hPort, TIOCMBIS, &nRaise);
    StartReader();
    return true;
}

bool CSerialLink::Configure()
{
    const int hPort = m_hPort.load();
    termios tio{};
    if (tcgetattr(hPort, &tio) != 0 || !BuildLineSettings(*this, tio)) {
        m_nLastOpenError = errno != 0 ? errno : EINVAL;
        return false;
    }
    const speed_t code = BaudCode(m_nBaudRate);
    cfsetispeed(&tio, code != B0 ? code : B38400);
    cfsetospeed(&tio, code != B0 ? code : B38400);
    const bool bSet =
        tcsetattr(hPort, TCSANOW, &tio) == 0 && (code != B0 || SetCustomBaud(hPort, m_nBaudRate));
    if (!bSet || !SettingsApplied(hPort, tio, m_nBaudRate, code)) {
        m_nLastOpenError = EINVAL;
        return false;
    }
    return true;
}

bool CSerialLink::SetLineRate(uint32_t nRate)
{
    std::lock_guard guard(m_csLock);
    const int hPort = m_hPort.load();
    m_nBaudRate = nRate;
    if (hPort < 0)
        return false;
    // What came in at the old rate is noise at the new one. No drain first: under a handshake
    // held off it would never return, and the owner changes the rate only once its last command
    // has long gone out.
    const bool bSet = Configure();
    tcflush(hPort, TCIOFLUSH);
    return bSet;
}

void CSerialLink::ClearStopEvent()
{
    eventfd_t nValue = 0;
    if (m_hStopEvent >= 0)
        eventfd_read(m_hStopEvent, &nValue);
}

void CSerialLink::ReaderLoop()
{
    char achBuffer[kChunkBytes + 1];
    while (!m_bStop.load()) {
        int32_t nCount = 0;
        const ReadResult result = ReadChunk(achBuffer, nCount);
        if (result == ReadResult::Gone) {
            OnDeviceGone();
            return; // the link may already be in other hands; touch nothing more
        }
        const ReceiveCallback pfnReceive = m_pfnReceive.load();
        if (result == ReadResult::Data && pfnReceive != nullptr && !m_bStop.load())
            pfnReceive(achBuffer, nCount, m_pReceiveUser.load());
    }
    m_nReaderCount--; // last touch of the link: the destructor may free it from here on
}

// Waits for the port or the stop event, then reads one chunk and puts a NUL behind it.
CSerialLink::ReadResult CSerialLink::ReadChunk(char *pBuffer, int32_t &nCount)
{
    const int hPort = m_hPort.load();
    pollfd aFds[2] = {{hPort, POLLIN, 0}, {m_hStopEvent, POLLIN, 0}};
    if (poll(aFds, 2, -1) < 0)
        return errno == EINTR ? ReadResult::Empty : ReadResult::Gone;
    if (m_bStop.load() || aFds[1].revents != 0)
        return ReadResult::Empty;
    if (aFds[0].revents & POLLNVAL)
        return ReadResult::Gone;
    // No interrupt tells us of a CTS change here, so the status is refreshed on every wake-up.
    int nLines = 0;
    if (ioctl(hPort, TIOCMGET, &nLines) == 0)
        m_dwModemStatus = static_cast<uint32_t>(nLines);
    const ssize_t nRead = read(hPort, pBuffer, kChunkBytes);
    if (nRead > 0) {
        nCount = static_cast<int32_t>(nRead);
        pBuffer[nCount] = '\0';
        return ReadResult::Data;
    }
    const bool bHungUp = (aFds[0].revents & (POLLHUP | POLLERR)) != 0;
    if (nRead == 0 || bHungUp || GoneError(errno))
        return ReadResult::Gone; // a readable port with nothing to read has gone away
    // Readable but empty, or unknown trouble: pause (waking for Close) instead of spinning.
    if (errno != EINTR)
        poll(&aFds[1], 1, kErrorPauseMs);
    return ReadResult::Empty;
}

void CSerialLink::OnDeviceGone()
{
    {
        // Under the lock, so a Write in another thread never sees a closed or reused number.
        std::lock_guard guard(m_csLock);
        const int hPort = m_hPort.exchange(-1);
        if (hPort >= 0)
            close(hPort);
    }
    const DisconnectCallback pfnDisconnect = m_pfnDisconnect.load();
    void *pUser = m_pDisconnectUser.load();
    const bool bNotify = !m_bStop.load();
    // Counted out before the call, so the callback may open the link again with a new reader.
    m_nReaderCount--;
    if (pfnDisconnect != nullptr && bNotify)
        pfnDisconnect(pUser);
}

bool CSerialLink::WaitWritable(int hPort, int nTimeoutMs)
{
    if (nTimeoutMs <= 0)
        return false;
    pollfd aFds[2] = {{hPort, POLLOUT, 0}, {m_hStopEvent, POLLIN, 0}};
    const int nReady = poll(aFds, 2, nTimeoutMs);
    if (nReady < 0)
        return errno == EINTR;
    return nReady > 0 && aFds[1].revents == 0 && (aFds[0].revents & POLLOUT) != 0 &&
           (aFds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) == 0;
}

uint32_t CSerialLink::Write(const void *pData, uint32_t nLength)
{
    std::lock_guard writeGuard(m_writeLock);
    std::lock_guard portGuard(m_csLock);
    const int hPort = m_hPort.load();
    if (hPort < 0 || m_bStop.load() || nLength == 0)
        return 0;
    if (m_nFlowControl == FLOW_HARDWARE && !CtsOn(hPort))
        return 0;
    using namespace std::chrono;
    const auto deadline =
        steady_clock::now() + (nLength < kLongWriteBytes ? kShortWriteTimeout : kLongWriteTimeout);
    const char *pBytes = static_cast<const char *>(pData);
    uint32_t nDone = 0;
    while (nDone < nLength) {
        const ssize_t nWritten = write(hPort, pBytes + nDone, nLength - nDone);
        if (nWritten > 0) {
            nDone += static_cast<uint32_t>(nWritten);
            continue;
        }
        if (nWritten < 0 && errno != EAGAIN && errno != EINTR)
            return 0;
        const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
        if (!WaitWritable(hPort, static_cast<int>(left)))
            return 0;
    }
    return nDone;
}

int32_t CSerialLink::Read(void *pBuffer, uint32_t nCapacity)
{
    std::lock_guard guard(m_csLock);
    const int hPort = m_hPort.load();
    if (hPort < 0)
        return -1;
    int nQueued = 0;
    if (ioctl(hPort, FIONREAD, &nQueued) != 0 || nQueued <= 0 || nCapacity == 0)
        return 0;
    const size_t nWanted = std::min<size_t>({static_cast<size_t>(nQueued), nCapacity, INT32_MAX});
    const ssize_t nRead = read(hPort, pBuffer, nWanted);
    return nRead > 0 ? static_cast<int32_t>(nRead) : 0;
}

bool CSerialLink::Close()
{
    m_bStop = true;
    if (m_hStopEvent >= 0)
        eventfd_write(m_hStopEvent, 1);
    JoinReader();
    std::lock_guard guard(m_csLock);
    const int hPort = m_hPort.exchange(-1);
    if (hPort >= 0) {
        int nDtr = TIOCM_DTR;
        ioctl(hPort, TIOCMBIC, &nDtr);
        // Unsent output is dropped: some drivers otherwise hold close() up to 30 s draining it.
        tcflush(hPort, TCIOFLUSH);
        close(hPort);
    }
    return true;
}

bool CSerialLink::IsOpen() const
{
    return m_hPort.load() >= 0;
}
