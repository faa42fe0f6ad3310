#pragma once

#include "serial/LinkTrace.h"

#include <atomic>
#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <vector>

// The wire made visible, for the traffic window of either face: every command written and every
// chunk received, one line each with its time stamp, the last ten thousand kept. It listens to
// the session's trace only while the window shows it, so a closed window costs nothing. The
// window's thread takes what the trace gathered whenever it is told to (one wake-up at a time,
// however fast bytes come).
class CTrafficLog
{
public:
    static constexpr size_t kMaxLines = 10000;

    // fnWake is called on whichever thread recorded, under the trace's lock: it may only post a
    // call of Take to the window's thread.
    CTrafficLog(CLinkTrace &trace, std::function<void()> fnWake);
    ~CTrafficLog();

    CTrafficLog(const CTrafficLog &) = delete;
    CTrafficLog &operator=(const CTrafficLog &) = delete;

    void SetShown(bool bShown);
    // On the window's thread: the lines recorded since the last take, also kept here.
    std::vector<std::string> Take();

    const std::deque<std::string> &Lines() const { return m_lines; }
    std::string Text() const; // the lines kept, each ended by a line feed
    void Clear() { m_lines.clear(); }
    // UTF-8, one line each; false with the reason (English) when the file cannot be written.
    bool SaveTo(const std::string &strPath, std::string &strError) const;

private:
    void Keep(std::string strLine);

    CLinkTrace &m_trace;
    std::function<void()> m_fnWake;
    std::atomic<bool> m_bWakePosted{false};
    std::deque<std::string> m_lines;
};
