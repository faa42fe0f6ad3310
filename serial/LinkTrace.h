#pragma once

#include "serial/SerialLink.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// One thing that crossed the line: a write, a chunk as the reader delivered it, or a note that a
// write did not go out whole.
struct CTraceEntry
{
    enum class EKind { Sent, Received, Note };

    std::chrono::steady_clock::time_point time;
    EKind eKind = EKind::Sent;
    std::string strBytes; // the bytes as they went or came; for a note, its text
};

// A tap on one link: every write and every received chunk with a monotonic time stamp, kept in a
// bounded queue for a reader that takes them and handed to a listener as they happen. Works on
// the link's public receive hook, so every platform's link is tapped the same way. While nobody
// listens, a record costs one atomic load.
class CLinkTrace
{
public:
    using Clock = std::chrono::steady_clock;
    // Called for each entry, on the thread that recorded it, in the order of the time stamps.
    // It must not call back into the trace.
    using Listener = std::function<void(const CTraceEntry &entry)>;

    static constexpr size_t kDefaultCapacity = 10000; // entries kept until taken

    // Traces that share pOrderLock stamp and tell their entries in one order across their
    // links, as several ports traced into one stream need.
    explicit CLinkTrace(Clock::time_point start = Clock::now(), size_t nCapacity = kDefaultCapacity,
                        std::mutex *pOrderLock = nullptr);

    CLinkTrace(const CLinkTrace &) = delete;
    CLinkTrace &operator=(const CLinkTrace &) = delete;

    // Puts the trace between the link and its receive function; call before Open, as the
    // receive function itself is set.
    void Tap(CSerialLink &link, ReceiveCallback pfnReceive, void *pUser);

    void SetListening(bool bListening) { m_bListening.store(bListening); }
    bool IsListening() const { return m_bListening.load(std::memory_order_relaxed); }
    void SetListener(Listener fnListener);

    void RecordWrite(const char *pData, size_t nLength);
    // A write that the link stopped short of its length.
    void RecordShortWrite(uint32_t nWritten, size_t nLength);
    void RecordReceived(const char *pData, size_t nLength);
    // A remark of the owner's, in order with the traffic (a late reply, how a command ended).
    void RecordNote(const std::string &strText);

    // The entries recorded since the last call, oldest first, and how many were dropped because
    // nobody took them in time.
    std::vector<CTraceEntry> Take(size_t *pnDropped = nullptr);

    Clock::time_point Start() const { return m_start; }

private:
    static void OnReceive(const char *pData, int32_t nLength, void *pUser);
    void Record(CTraceEntry::EKind eKind, std::string strBytes);

    const Clock::time_point m_start;
    const size_t m_nCapacity;
    std::atomic<bool> m_bListening{false};
    std::atomic<ReceiveCallback> m_pfnReceive{nullptr};
    std::atomic<void *> m_pReceiveUser{nullptr};
    std::mutex m_ownLock;
    std::mutex &m_mutex; // guards everything below; entries are stamped under it, so in order
    Listener m_fnListener;
    std::deque<CTraceEntry> m_entries;
    size_t m_nDropped = 0;
};

// The bytes as one line of text: CR, LF and every byte outside printable ASCII escaped ("\r",
// "\n", "\xNN"), and the backslash doubled so that the line reads back unambiguously.
std::string EscapeTraceBytes(const std::string &strBytes);

// "  1234.567 TX AT\r\n": milliseconds since start, the port when given, the direction
// (TX written, RX received, !! a note) and the escaped bytes.
std::string FormatTraceLine(const CTraceEntry &entry, CLinkTrace::Clock::time_point start,
                            const std::string &strPort = {});
