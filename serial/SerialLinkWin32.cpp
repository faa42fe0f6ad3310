// The serial link on the Win32 communications interface: overlapped I/O on one handle, a reader
// thread that waits for port events together with the link's stop event.

#include "serial/SerialLink.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <windows.h>

namespace {

constexpr uint32_t kChunkBytes = 1024;
constexpr DWORD kQueueBytes = 4096;
constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
constexpr DWORD kFullMask = EV_RXCHAR | EV_CTS | EV_BREAK;
constexpr uint32_t kLongWriteBytes = 1024;
constexpr DWORD kShortWriteTimeoutMs = 5000;
constexpr DWORD kLongWriteTimeoutMs = 10000;
constexpr DWORD kErrorPauseMs = 100;
constexpr DWORD kReadIntervalTimeoutMs = 10;
constexpr DWORD kWriteTotalTimeoutMs = 5000;
constexpr char kDevicePrefix[] = "\\\\.\\";

HANDLE Invalid()
{
    return INVALID_HANDLE_VALUE;
}

// Errors with which a wait or a transfer fails once the device itself has gone (USB adapter
// pulled, driver unloaded).
constexpr DWORD kGoneErrors[] = {
    ERROR_ACCESS_DENIED,  ERROR_GEN_FAILURE,    ERROR_BAD_COMMAND,   ERROR_DEVICE_NOT_CONNECTED,
    ERROR_INVALID_HANDLE, ERROR_DEVICE_REMOVED, ERROR_DEV_NOT_EXIST, ERROR_FILE_NOT_FOUND,
    ERROR_BAD_UNIT,       ERROR_NOT_READY,
};

bool IsGoneError(DWORD dwError)
{
    return std::find(std::begin(kGoneErrors), std::end(kGoneErrors), dwError) !=
           std::end(kGoneErrors);
}

struct CErrnoFor
{
    DWORD dwError;
    int nErrno;
};

// What CreateFileA's failures mean to the owner. A port in use fails with ERROR_ACCESS_DENIED.
constexpr CErrnoFor kOpenErrors[] = {
    {ERROR_FILE_NOT_FOUND, ENOENT},   {ERROR_PATH_NOT_FOUND, ENOENT},
    {ERROR_INVALID_NAME, ENOENT},     {ERROR_BAD_UNIT, ENOENT},
    {ERROR_DEV_NOT_EXIST, ENOENT},    {ERROR_ACCESS_DENIED, EBUSY},
    {ERROR_SHARING_VIOLATION, EBUSY}, {ERROR_BUSY, EBUSY},
};

int ErrnoFor(DWORD dwError)
{
    for (const CErrnoFor &entry : kOpenErrors) {
        if (entry.dwError == dwError)
            return entry.nErrno;
    }
    return EIO;
}

// "COM3" and "com3" name the same device as "\\.\COM3"; COM10 and above only work in that form.
std::string DevicePath(const std::string &strName)
{
    if (strName.rfind("\\\\", 0) == 0 || strName.find_first_of(":/\\") != std::string::npos)
        return strName;
    return kDevicePrefix + strName;
}

// One name per device however it was written: "\\.\com3" and "COM3" both give "Kestrel.Port.COM3".
std::string PortMutexName(const std::string &strDevice)
{
    std::string strName = strDevice.rfind(kDevicePrefix, 0) == 0 ? strDevice.substr(4) : strDevice;
    for (char &ch : strName) {
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        if (ch == '\\')
            ch = '_';
    }
    return "Global\\Kestrel.Port." + strName;
}

// Waits for an overlapped transfer or the stop event; a transfer the stop ended is cancelled and
// finished before its record goes out of scope.
bool WaitTransfer(HANDLE hPort, OVERLAPPED &ov, HANDLE hStop, DWORD dwTimeoutMs)
{
    const HANDLE ahWait[2] = {ov.hEvent, hStop};
    if (WaitForMultipleObjects(2, ahWait, FALSE, dwTimeoutMs) == WAIT_OBJECT_0)
        return true;
    CancelIoEx(hPort, &ov);
    DWORD dwDone = 0;
    GetOverlappedResult(hPort, &ov, &dwDone, TRUE);
    return false;
}

// An "off" line is never raised, not even for the moment between the open and the first command.
void SetFlowFlags(DCB &dcb, uint8_t nFlowControl, bool bDtr, bool bRts)
{
    dcb.fBinary = TRUE;
    dcb.fOutxCtsFlow = nFlowControl == FLOW_HARDWARE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = bDtr ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fOutX = nFlowControl == FLOW_XONXOFF;
    dcb.fInX = nFlowControl == FLOW_XONXOFF;
    dcb.fRtsControl = nFlowControl == FLOW_HARDWARE ? RTS_CONTROL_HANDSHAKE
                      : bRts                        ? RTS_CONTROL_ENABLE
                                                    : RTS_CONTROL_DISABLE;
    dcb.fAbortOnError = TRUE;
}

} // namespace

CSerialLink::CSerialLink() : m_hPort(Invalid())
{
    // Manual reset: the read, write and wait records are each waited on by one thread, and the
    // stop event must wake the reader and a pending write at once.
    m_hReadEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    m_hWriteEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    m_hWaitEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    m_hStopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

CSerialLink::~CSerialLink()
{
    Close();
    // A reader let go by a Close on its own thread may still be finishing its last pass.
    while (m_nReaderCount.load() > 0 && m_readerId.load() != std::this_thread::get_id())
        Sleep(1);
    for (void *hEvent : {m_hReadEvent, m_hWriteEvent, m_hWaitEvent, m_hStopEvent}) {
        if (hEvent != nullptr)
            CloseHandle(hEvent);
    }
}

bool CSerialLink::ClaimPort(const std::string &strDevice)
{
    const std::string strName = PortMutexName(strDevice);
    HANDLE hMutex = CreateMutexA(nullptr, FALSE, strName.c_str());
    if (hMutex == nullptr || GetLastError() == ERROR_ALREADY_EXISTS) {
        if (hMutex != nullptr)
            CloseHandle(hMutex);
        return false;
    }
    m_hPortMutex = hMutex;
    return true;
}

void CSerialLink::ReleasePort()
{
    if (m_hPortMutex != nullptr)
        CloseHandle(m_hPortMutex);
    m_hPortMutex = nullptr;
}

bool CSerialLink::Open(std::string strPortName)
{
    // Opening over an open port would lose the handle and its claim for good.
    if (IsOpen())
        Close();
    JoinReader(); // collect a reader that ended on its own when the device went away
    m_strPortName = std::move(strPortName);
    m_nLastOpenError = 0;
    // Without its events the reader could not be woken, and Close would wait for a byte.
    if (!m_hReadEvent || !m_hWriteEvent || !m_hWaitEvent || !m_hStopEvent) {
        m_nLastOpenError = EMFILE;
        return false;
    }
    const std::string strDevice = DevicePath(m_strPortName);
    if (!ClaimPort(strDevice)) {
        m_nLastOpenError = EBUSY;
        return false;
    }
    HANDLE hPort =
        CreateFileA(strDevice.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (hPort == INVALID_HANDLE_VALUE) {
        m_nLastOpenError = ErrnoFor(GetLastError());
        ReleasePort();
        return false;
    }
    m_hPort = hPort;
    m_bStop = false;
    ResetEvent(m_hStopEvent);
    SetupComm(hPort, kQueueBytes, kQueueBytes);
    PurgeComm(hPort, kPurgeAll);
    COMMTIMEOUTS timeouts{kReadIntervalTimeoutMs, 0, 0, 0, kWriteTotalTimeoutMs};
    SetCommTimeouts(hPort, &timeouts);
    if (!Configure())
        return false; // stays open, unconfigured and unread, until Close
    PurgeComm(hPort, kPurgeAll);
    // Ports without modem lines (a pseudo-terminal under Wine) refuse this; the line works anyway.
    if (m_bDtr)
        EscapeCommFunction(hPort, SETDTR);
    StartReader();
    return true;
}

bool CSerialLink::Configure()
{
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    if (!GetCommState(m_hPort.load(), &dcb)) {
        m_nLastOpenError = EIO;
        return false;
    }
    dcb.BaudRate = m_nBaudRate;
    dcb.ByteSize = m_nByteSize;
    dcb.Parity = m_nParity;
    dcb.StopBits = m_nStopBits;
    SetFlowFlags(dcb, m_nFlowControl, m_bDtr, m_bRts);
    if (!SetCommState(m_hPort.load(), &dcb)) {
        m_nLastOpenError = EINVAL;
        return false;
    }
    return true;
}

bool CSerialLink::SetLineRate(uint32_t nRate)
{
    std::lock_guard guard(m_csLock);
    m_nBaudRate = nRate;
    const HANDLE hPort = m_hPort.load();
    if (hPort == INVALID_HANDLE_VALUE)
        return false;
    // What came in at the old rate is noise at the new one.
    const bool bSet = Configure();
    PurgeComm(hPort, PURGE_RXCLEAR);
    return bSet;
}

void CSerialLink::ReaderLoop()
{
    char achBuffer[kChunkBytes + 1];
    // Some drivers cannot report CTS or break (Wine on a pseudo-terminal): received bytes matter
    // more, so the wait falls back to them alone, whether SetCommMask or the wait refuses.
    DWORD dwMask = kFullMask;
    if (!SetCommMask(m_hPort.load(), dwMask))
        SetCommMask(m_hPort.load(), dwMask = EV_RXCHAR);
    UpdateModemStatus();
    while (!m_bStop.load()) {
        uint32_t dwEvents = 0;
        const WaitResult result = WaitPortEvent(dwEvents);
        if (result == WaitResult::Gone) {
            OnDeviceGone();
            return; // the link may already be in other hands; touch nothing more
        }
        if (result == WaitResult::Stopped)
            break;
        if (result == WaitResult::Refused && dwMask != EV_RXCHAR) {
            SetCommMask(m_hPort.load(), dwMask = EV_RXCHAR);
            continue;
        }
        // A wait that ended without events: Wine ends it so whenever bytes arrive on a port
        // without modem lines, and a line error does so under fAbortOnError. Whatever is queued
        // is delivered; with nothing queued the reader pauses instead of spinning.
        if (result != WaitResult::Events)
            dwEvents = EV_RXCHAR | EV_BREAK;
        if (!OnPortEvents(dwEvents, achBuffer))
            return; // the device went away while draining; the link is in other hands
    }
    m_nReaderCount--; // last touch of the link: the destructor may free it from here on
}

// False when the device went away (already reported).
bool CSerialLink::OnPortEvents(uint32_t dwEvents, char *pBuffer)
{
    if (dwEvents & EV_CTS)
        UpdateModemStatus();
    if (dwEvents & EV_BREAK) {
        // A break or line error only needs the error state cleared; what was received stays.
        DWORD dwErrors = 0;
        ClearCommError(m_hPort.load(), &dwErrors, nullptr);
    }
    return (dwEvents & EV_RXCHAR) == 0 || DrainInput(pBuffer);
}

void CSerialLink::UpdateModemStatus()
{
    DWORD dwStatus = 0;
    if (GetCommModemStatus(m_hPort.load(), &dwStatus))
        m_dwModemStatus = dwStatus;
}

// One overlapped WaitCommEvent, waited on together with the stop event.
CSerialLink::WaitResult CSerialLink::WaitPortEvent(uint32_t &dwEvents)
{
    const HANDLE hPort = m_hPort.load();
    OVERLAPPED ov{};
    ov.hEvent = m_hWaitEvent;
    DWORD dwMask = 0;
    if (!WaitCommEvent(hPort, &dwMask, &ov)) {
        const DWORD dwError = GetLastError();
        if (dwError == ERROR_NOT_SUPPORTED || dwError == ERROR_INVALID_PARAMETER)
            return WaitResult::Refused;
        if (dwError != ERROR_IO_PENDING)
            return Classify(dwError) == ReadResult::Gone ? WaitResult::Gone : WaitResult::Failed;
        if (!WaitTransfer(hPort, ov, m_hStopEvent, INFINITE))
            return WaitResult::Stopped;
        DWORD dwDone = 0;
        if (!GetOverlappedResult(hPort, &ov, &dwDone, FALSE)) {
            const DWORD dwFailed = GetLastError();
            return Classify(dwFailed) == ReadResult::Gone ? WaitResult::Gone : WaitResult::Failed;
        }
    }
    if (m_bStop.load())
        return WaitResult::Stopped;
    dwEvents = dwMask;
    return WaitResult::Events;
}

// A transfer aborted after a line error (fAbortOnError) only needs ClearCommError; when even
// that fails, the device is no longer there.
CSerialLink::ReadResult CSerialLink::Classify(unsigned long dwError)
{
    DWORD dwErrors = 0;
    if (dwError == ERROR_OPERATION_ABORTED || IsGoneError(dwError)) {
        if (!ClearCommError(m_hPort.load(), &dwErrors, nullptr))
            return ReadResult::Gone;
        return IsGoneError(dwError) ? ReadResult::Gone : ReadResult::Empty;
    }
    return ReadResult::Empty;
}

bool CSerialLink::PauseUnlessStopped()
{
    return WaitForSingleObject(m_hStopEvent, kErrorPauseMs) == WAIT_TIMEOUT;
}

// Everything queued, in chunks of at most 1024 bytes: bytes left in the driver would otherwise
// wait for the next byte to arrive. False when the device went away (already reported).
bool CSerialLink::DrainInput(char *pBuffer)
{
    bool bAny = false;
    while (!m_bStop.load()) {
        int32_t nCount = 0;
        const ReadResult result = ReadQueued(pBuffer, kChunkBytes, nCount);
        if (result == ReadResult::Gone) {
            OnDeviceGone();
            return false;
        }
        if (result == ReadResult::Empty)
            break;
        bAny = true;
        pBuffer[nCount] = '\0';
        const ReceiveCallback pfnReceive = m_pfnReceive.load();
        if (pfnReceive != nullptr && !m_bStop.load())
            pfnReceive(pBuffer, nCount, m_pReceiveUser.load());
    }
    if (!bAny && !m_bStop.load())
        PauseUnlessStopped(); // an event with nothing queued: do not spin on it
    return true;
}

CSerialLink::ReadResult CSerialLink::ReadQueued(void *pBuffer, uint32_t nCapacity, int32_t &nCount)
{
    const HANDLE hPort = m_hPort.load();
    DWORD dwErrors = 0;
    COMSTAT stat{};
    if (!ClearCommError(hPort, &dwErrors, &stat))
        return Classify(GetLastError()) == ReadResult::Gone ? ReadResult::Gone : ReadResult::Empty;
    const DWORD dwWanted = std::min<DWORD>(nCapacity, stat.cbInQue);
    if (dwWanted == 0)
        return ReadResult::Empty;
    OVERLAPPED ov{};
    ov.hEvent = m_hReadEvent;
    if (!ReadFile(hPort, pBuffer, dwWanted, nullptr, &ov)) {
        const DWORD dwError = GetLastError();
        if (dwError != ERROR_IO_PENDING)
            return Classify(dwError);
        if (!WaitTransfer(hPort, ov, m_hStopEvent, INFINITE))
            return ReadResult::Empty;
    }
    DWORD dwRead = 0;
    if (!GetOverlappedResult(hPort, &ov, &dwRead, FALSE))
        return Classify(GetLastError());
    nCount = static_cast<int32_t>(dwRead);
    return dwRead > 0 ? ReadResult::Data : ReadResult::Empty;
}

int32_t CSerialLink::Read(void *pBuffer, uint32_t nCapacity)
{
    if (m_hPort.load() == Invalid())
        return -1;
    int32_t nCount = 0;
    const ReadResult result = ReadQueued(pBuffer, std::min<uint32_t>(nCapacity, INT32_MAX), nCount);
    return result == ReadResult::Data ? nCount : 0;
}

void CSerialLink::OnDeviceGone()
{
    {
        // Under the lock, so a Write in another thread never sees a closed or reused handle.
        std::lock_guard guard(m_csLock);
        const HANDLE hPort = m_hPort.exchange(Invalid());
        if (hPort != Invalid())
            CloseHandle(hPort);
        ReleasePort();
    }
    const DisconnectCallback pfnDisconnect = m_pfnDisconnect.load();
    void *pUser = m_pDisconnectUser.load();
    const bool bNotify = !m_bStop.load();
    // Counted out before the call, so the callback may open the link again with a new reader.
    m_nReaderCount--;
    if (pfnDisconnect != nullptr && bNotify)
        pfnDisconnect(pUser);
}

uint32_t CSerialLink::Write(const void *pData, uint32_t nLength)
{
    std::lock_guard writeGuard(m_writeLock);
    std::lock_guard portGuard(m_csLock);
    const HANDLE hPort = m_hPort.load();
    if (hPort == Invalid() || m_bStop.load() || nLength == 0)
        return 0;
    DWORD dwStatus = 0;
    if (m_nFlowControl == FLOW_HARDWARE &&
        (!GetCommModemStatus(hPort, &dwStatus) || (dwStatus & MS_CTS_ON) == 0))
        return 0;
    OVERLAPPED ov{};
    ov.hEvent = m_hWriteEvent;
    if (!WriteFile(hPort, pData, nLength, nullptr, &ov)) {
        if (GetLastError() != ERROR_IO_PENDING)
            return 0;
        const DWORD dwTimeoutMs =
            nLength < kLongWriteBytes ? kShortWriteTimeoutMs : kLongWriteTimeoutMs;
        // Cancelled on timeout or stop: nothing may still be writing from this record later.
        if (!WaitTransfer(hPort, ov, m_hStopEvent, dwTimeoutMs))
            return 0;
    }
    DWORD dwWritten = 0;
    if (!GetOverlappedResult(hPort, &ov, &dwWritten, FALSE))
        return 0;
    return dwWritten;
}

bool CSerialLink::Close()
{
    m_bStop = true;
    if (m_hStopEvent != nullptr)
        SetEvent(m_hStopEvent);
    JoinReader();
    std::lock_guard guard(m_csLock);
    const HANDLE hPort = m_hPort.exchange(Invalid());
    if (hPort != Invalid()) {
        SetCommMask(hPort, 0);
        EscapeCommFunction(hPort, CLRDTR);
        PurgeComm(hPort, kPurgeAll);
        CloseHandle(hPort);
    }
    ReleasePort();
    return true;
}

bool CSerialLink::IsOpen() const
{
    return m_hPort.load() != Invalid();
}
