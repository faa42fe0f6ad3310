#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

// The commands written whose final line ("OK", "ERROR...") has not come, oldest first. The module
// answers strictly in order, so each final line belongs to the oldest of them: a reply that comes
// after its run stopped waiting (timed out, given up) is that command's, never the next one's.
class CReplyQueue
{
public:
    // A command that went to the line; bAwaited when a run waits for its answer. Returns its
    // token, never 0.
    uint32_t Push(const std::string &strCommand, bool bAwaited);

    struct CAnswered
    {
        uint32_t nToken = 0;
        std::string strCommand;
        bool bAwaited = false;   // a run still waited for it
        bool bAbandoned = false; // a run waited for it and stopped waiting: its reply is late
    };
    // A final line came: the oldest command is answered.
    std::optional<CAnswered> PopOldest();
    // The oldest command, if any, without answering it.
    const std::string *Oldest() const;

    // Its run no longer waits (it timed out and the user went on, or the run ended); its late
    // final line will still come and must be taken for it.
    void Abandon(uint32_t nToken);
    bool HasUnawaited() const;
    // Whether a command whose run gave up on it still owes its late final line.
    bool HasAbandoned() const;
    // The commands no run waits for are taken as never to be answered (the module dropped them):
    // they leave the queue, oldest first. DropUnawaitedBefore takes only those older than nToken.
    std::vector<std::string> DropUnawaited();
    std::vector<std::string> DropUnawaitedBefore(uint32_t nToken);
    // The command of a token still in the queue; null when it has been answered.
    const std::string *Command(uint32_t nToken) const;
    void Clear() { m_entries.clear(); }
    bool Empty() const { return m_entries.empty(); }

private:
    struct CEntry
    {
        uint32_t nToken;
        std::string strCommand;
        bool bAwaited;
        bool bAbandoned = false;
    };
    std::deque<CEntry> m_entries;
    uint32_t m_nLastToken = 0;
};
