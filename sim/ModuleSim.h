#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// One device that the simulated module finds when it is asked to search.
struct SimDevice
{
    std::string strAddress; // 12 characters
    std::string strText;    // what follows the address on the result line (a name)
};

// Where the module stands, as "AT+STATE?" reports it: "INITIALIZED" after power-on and
// "AT+RESET", "INQUIRING" while a search runs and "READY" after one; "CONNECTED" only when set.
enum class ESimLinkState { Initialized, Ready, Inquiring, Connected };

const char *SimLinkStateName(ESimLinkState eState);
bool ParseSimLinkState(const std::string &strName, ESimLinkState &eState);

// What the simulated module holds; starts at the factory defaults that "AT+RESET" restores.
struct SimState
{
    std::string strName = "CORVA3264";
    std::string strVersion = "V4.25";
    std::string strClass = "000000";
    std::string strPassword = "7391";
    int32_t nRole = 0;
    int32_t nBind = 0;
    int32_t nAuth = 1;
    uint32_t nBaud = 9600;
    int32_t nStopBits = 0;
    int32_t nParity = 0;
    uint32_t aScan[4] = {1024, 512, 1024,
                         512}; // conn. interval, conn. duration, inq. interval, inq. duration
    uint32_t aSniff[4] = {0, 0, 0, 0}; // maximum, minimum, attempt, timeout
    std::string strLocalAddr = "00158300A1B2";
    std::string strBindAddr; // empty: nothing bound
    ESimLinkState eLinkState = ESimLinkState::Initialized;

    bool operator==(const SimState &) const = default;
};

enum class SimSplit { Whole, ByteByByte, Random };

// A command answered only after its own delay; the module still answers strictly in order, so
// the replies to the commands after it wait behind it.
struct SimLateReply
{
    std::string strPrefix;
    std::chrono::milliseconds delay{0};
};

// Ways to misbehave, each usable from tests; may be changed while the module runs.
struct SimOptions
{
    std::chrono::milliseconds replyDelay{0}; // before each reply
    uint32_t nPaceBaud = 0;                  // real wire time, 10 bits a byte; 0 = no pacing
    SimSplit split = SimSplit::Whole;        // how reply bytes are cut into writes
    bool bEcho = false;                      // echo each command before replying
    bool bLowerCase = false;                 // keywords in lower case
    std::vector<std::string> silentCommands; // command prefixes left unanswered
    std::vector<std::string> errorCommands;  // command prefixes answered "ERROR"
    std::vector<std::string> forgetCommands; // command prefixes answered "OK", nothing kept
    std::vector<SimLateReply> lateCommands;  // command prefixes answered after their own delay
    int nHangUpAfter = 0;                    // hang up after this many commands; 0 = never
    std::vector<SimDevice> inquiryDevices = {{"0011223344AA", "Phone"},
                                             {"00AABB001122", "Headset"}};
    std::chrono::milliseconds inquiryInterval{200}; // between inquiry results
    std::string strLinkPath;                        // when set, a symlink to the device path
    // Answers only when the tool's side of the line runs at this rate (read from the pty's own
    // settings); at any other rate, what arrives is not understood and noise comes back, never
    // a framed "OK". 0: any rate.
    uint32_t nAtRate = 0;
};

// A command as it arrived, with its CR LF, and when.
struct SimLogEntry
{
    std::chrono::steady_clock::time_point time;
    std::string strCommand;
};

// A module on a real pseudo-terminal: the tool opens DevicePath() like any serial device and the
// simulator answers every AT command as a module would, logging what it received.
class CModuleSim
{
public:
    explicit CModuleSim(SimOptions options = {});
    ~CModuleSim();

    CModuleSim(const CModuleSim &) = delete;
    CModuleSim &operator=(const CModuleSim &) = delete;

    bool Start();
    void Stop();
    // The path the tool opens: the symlink when one was asked for, else the pty's own path.
    std::string DevicePath() const;
    std::string PtyPath() const;

    SimState State() const;
    void SetState(const SimState &state);
    SimOptions Options() const;
    void SetOptions(const SimOptions &options);

    std::vector<SimLogEntry> Log() const;
    std::vector<std::string> Commands() const; // the log's commands only
    void ClearLog();
    // Waits until at least nCount commands were logged; false on timeout.
    bool WaitForCommands(size_t nCount, std::chrono::milliseconds timeout) const;

    // As if the adapter were pulled: the tool's side sees the line go away, and the symlink (the
    // device node) goes with it.
    void HangUp();
    bool Reconnect();                          // a new pty; the symlink, if any, now points at it
    void SendRaw(const std::string &strBytes); // unsolicited bytes, e.g. a late reply

private:
    // Bytes due at a set time: inquiry results trickle out without holding up other commands,
    // and a late reply holds back those that follow it.
    struct CTimedOutput
    {
        std::chrono::steady_clock::time_point due;
        std::string strBytes;
        bool bEndsInquiry = false;
    };

    void Run();
    bool OpenPty();
    void ClosePty();
    bool PointLink();
    void RemoveLink();
    void StartThread();
    void StopThread();
    bool OnBytes(const char *pData, size_t nLength);
    uint32_t ClientRate() const;
    std::string Noise(size_t nLength);
    bool OnCommand(const std::string &strCommand);
    std::vector<std::string> Answer(const std::string &strCommand, const SimOptions &options);
    void Reply(const std::string &strCommand, const std::string &strReply,
               const SimOptions &options);
    void ScheduleInquiry(const SimOptions &options);
    std::vector<CTimedOutput> *NextDue();
    int FlushDue();
    void Send(const std::string &strBytes, const SimOptions &options);
    bool WriteAll(const char *pData, size_t nLength);
    bool Pause(std::chrono::microseconds delay) const;
    std::vector<size_t> ChunkSizes(size_t nLength, const SimOptions &options);

    int m_hMaster = -1;
    int m_hSlave = -1;        // our own slave descriptor: the master never sees EIO between users
    int m_hStopEvent = -1;    // eventfd: wakes the serving thread and its pauses
    std::string m_strPtyPath; // guarded by m_mutex
    std::string m_strPending; // serving thread only: bytes of an unfinished command
    std::vector<CTimedOutput> m_timed;  // serving thread only: inquiry results
    std::vector<CTimedOutput> m_queued; // serving thread only: replies in order, behind a late one
    int m_nCommandsServed = 0;          // serving thread only; counts towards nHangUpAfter
    uint32_t m_nRandom = 20051116;      // serving thread only: the seeded split pattern
    std::mutex m_ioMutex;               // one writer on the master at a time; guards its closing
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_logChanged;
    SimState m_state;
    SimOptions m_options;
    std::vector<SimLogEntry> m_log;
    std::thread m_thread;
};
