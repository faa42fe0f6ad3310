#pragma once

#include "serial/PortHolders.h"
#include "serial/SerialLine.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

// Receives one chunk of at most 1024 bytes on the reader thread. The bytes are valid only during
// the call and are followed by a NUL that the count does not include.
using ReceiveCallback = void (*)(const char *pData, int32_t nLength, void *pUser);

// Told once, on the reader thread, when the device went away (adapter pulled, pty hung up).
using DisconnectCallback = void (*)(void *pUser);

enum : uint8_t { FLOW_NONE = 0, FLOW_HARDWARE = 1, FLOW_XONXOFF = 2 };

// The rates the line can run at, ascending: those the module itself can be set to.
constexpr uint32_t kLineRates[] = {1200,   2400,   4800,   9600,   19200,  38400,
                                   57600,  115200, 230400, 460800, 921600, 1382400};
constexpr uint32_t kDefaultLineRate = 9600;
constexpr uint32_t kAutoLineRate = 0; // the rate is found by a probe once the port is open

bool IsLineRate(uint32_t nRate);

// How the PC's side of the line is set up, in one description for both windows and the command
// line. Data bits, parity and stop bits are fixed at 8N1.
struct CLineSettings
{
    uint32_t nRate = kDefaultLineRate; // kAutoLineRate: opened at the default, then probed
    uint8_t nFlow = FLOW_NONE;
    bool bDtr = true; // raised while the port is open
    bool bRts = true; // raised while the port is open; the handshake drives it under FLOW_HARDWARE
};

// Why a device would not open, in the terms a user can act on.
enum class OpenFailure { None, NoSuchDevice, Busy, NoPermission, Other };

// Owns one serial device: opens and configures it, writes with a bounded wait, and hands every
// block of received bytes from its reader thread to one registered function. Knows no commands.
// Close joins the reader, so a receive or disconnect function must never block waiting for the
// thread that calls Close; it may call Close itself (the reader is then let go, not joined), but
// must not destroy the link from inside the call.
class CSerialLink : public ISerialLine
{
public:
    CSerialLink();
    ~CSerialLink() override;

    CSerialLink(const CSerialLink &) = delete;
    CSerialLink &operator=(const CSerialLink &) = delete;

    void SetReceiveCallback(ReceiveCallback pfnReceive, void *pUser);
    void SetDisconnectCallback(DisconnectCallback pfnDisconnect, void *pUser);
    // Takes the line as described, 8N1; an automatic rate opens at the default, for the probe to
    // change. Like the fields it sets, it takes effect at the next Open.
    void ApplyLineSettings(const CLineSettings &line);

    bool Open(std::string strPortName);
    // Sets the open port to another rate, dropping whatever was received and not yet read. The
    // rate stays for a later Open. False when the port is closed or refuses the rate.
    bool SetLineRate(uint32_t nRate) override;
    uint32_t Write(const void *pData, uint32_t nLength) override;
    uint32_t LineRate() const override { return m_nBaudRate; }
    int32_t Read(void *pBuffer, uint32_t nCapacity);
    bool Close();
    bool IsOpen() const override;
    void StartReader();

    // errno of the last failed Open (ENOENT missing, EBUSY held by another, EACCES denied), 0 else.
    // On Windows the system's error is mapped to the nearest of these.
    int LastOpenError() const { return m_nLastOpenError; }
    OpenFailure LastOpenFailure() const;
    // After a busy failure: who holds the device (Linux). After a refusal: the group that would
    // grant it once the user logs in again. Empty otherwise.
    const std::vector<CPortHolder> &LastOpenHolders() const { return m_openHolders; }
    const std::string &LastOpenGroupAwaitingLogin() const { return m_strGroupAwaitingLogin; }
    const std::string &PortName() const { return m_strPortName; }

    // A device whose name the system hands to the next terminal that opens (a raw pseudo-terminal,
    // /dev/pts/N): good for this run, never to be opened again by name later.
    static bool IsRawPseudoTerminal(const std::string &strPath);

    // Line settings; the owner assigns them before Open, they take effect only there.
    uint32_t m_nBaudRate = 57600;
    uint8_t m_nByteSize = 8;
    uint8_t m_nStopBits = 0; // 0 one, 1 one and a half, 2 two
    uint8_t m_nParity = 0;   // 0 none, 1 odd, 2 even, 3 mark, 4 space
    uint8_t m_nFlowControl = FLOW_NONE;
    bool m_bDtr = true; // false: DTR stays low (on Linux it is lowered right after the open)
    bool m_bRts = true; // false: RTS stays low; ignored under FLOW_HARDWARE
    std::atomic<uint32_t> m_dwModemStatus{0};

private:
    enum class ReadResult { Data, Empty, Gone };

    static void ReaderThreadProc(CSerialLink *pLink);
    bool Configure();
    void JoinReader();
    void ReaderLoop();
    void OnDeviceGone();
    void NoteOpenCause();

    std::atomic<int32_t> m_nReaderCount{0};
    std::string m_strPortName;
    std::mutex m_csLock;    // held by Close while it tears the port down
    std::mutex m_writeLock; // keeps writes from the two threads from interleaving
    std::atomic<bool> m_bStop{false};
    std::thread m_hReaderThread;
    std::mutex m_threadLock; // guards m_hReaderThread: Close may run on either thread
    std::atomic<ReceiveCallback> m_pfnReceive{nullptr};
    std::atomic<void *> m_pReceiveUser{nullptr};
    std::atomic<DisconnectCallback> m_pfnDisconnect{nullptr};
    std::atomic<void *> m_pDisconnectUser{nullptr};
    int m_nLastOpenError = 0;
    std::vector<CPortHolder> m_openHolders;
    std::string m_strGroupAwaitingLogin;
    std::atomic<std::thread::id> m_readerId{}; // lets Close and the destructor know who calls

#ifdef _WIN32
    // Win32 handles, as void * so that users of the link need no <windows.h>.
    enum class WaitResult { Events, Stopped, Refused, Failed, Gone };

    bool ClaimPort(const std::string &strDevice);
    void ReleasePort();
    WaitResult WaitPortEvent(uint32_t &dwEvents);
    bool PauseUnlessStopped();
    void UpdateModemStatus();
    bool OnPortEvents(uint32_t dwEvents, char *pBuffer);
    bool DrainInput(char *pBuffer);
    ReadResult ReadQueued(void *pBuffer, uint32_t nCapacity, int32_t &nCount);
    ReadResult Classify(unsigned long dwError);

    std::atomic<void *> m_hPort;   // INVALID_HANDLE_VALUE when closed
    void *m_hPortMutex = nullptr;  // named after the port: one Kestrel per port, Wine included
    void *m_hReadEvent = nullptr;  // of the read record
    void *m_hWriteEvent = nullptr; // of the write record
    void *m_hWaitEvent = nullptr;  // of the port-event wait
    void *m_hStopEvent = nullptr;  // manual reset: ends the reader's waits and a pending write
#else
    ReadResult ReadChunk(char *pBuffer, int32_t &nCount);
    bool WaitWritable(int hPort, int nTimeoutMs);
    void ClearStopEvent();

    std::atomic<int> m_hPort{-1};
    int m_hStopEvent = -1; // eventfd: wakes the reader's poll and a pending write
#endif
};
