#include "engine/ReplyQueue.h"

#include <algorithm>

uint32_t CReplyQueue::Push(const std::string &strCommand, bool bAwaited)
{
    if (++m_nLastToken == 0)
        ++m_nLastToken;
    m_entries.push_back({m_nLastToken, strCommand, bAwaited, false});
    return m_nLastToken;
}

std::optional<CReplyQueue::CAnswered> CReplyQueue::PopOldest()
{
    if (m_entries.empty())
        return std::nullopt;
    CEntry entry = std::move(m_entries.front());
    m_entries.pop_front();
    return CAnswered{entry.nToken, std::move(entry.strCommand), entry.bAwaited, entry.bAbandoned};
}

const std::string *CReplyQueue::Oldest() const
{
    return m_entries.empty() ? nullptr : &m_entries.front().strCommand;
}

void CReplyQueue::Abandon(uint32_t nToken)
{
    for (CEntry &entry : m_entries) {
        if (entry.nToken == nToken && entry.bAwaited) {
            entry.bAwaited = false;
            entry.bAbandoned = true;
        }
    }
}

bool CReplyQueue::HasUnawaited() const
{
    return std::any_of(m_entries.begin(), m_entries.end(),
                       [](const CEntry &entry) { return !entry.bAwaited; });
}

bool CReplyQueue::HasAbandoned() const
{
    return std::any_of(m_entries.begin(), m_entries.end(),
                       [](const CEntry &entry) { return entry.bAbandoned; });
}

std::vector<std::string> CReplyQueue::DropUnawaited()
{
    return DropUnawaitedBefore(0);
}

std::vector<std::string> CReplyQueue::DropUnawaitedBefore(uint32_t nToken)
{
    std::vector<std::string> dropped;
    std::deque<CEntry> kept;
    bool bBefore = true;
    for (CEntry &entry : m_entries) {
        bBefore = bBefore && entry.nToken != nToken;
        if (entry.bAwaited || !bBefore)
            kept.push_back(std::move(entry));
        else
            dropped.push_back(std::move(entry.strCommand));
    }
    m_entries.swap(kept);
    return dropped;
}

const std::string *CReplyQueue::Command(uint32_t nToken) const
{
    for (const CEntry &entry : m_entries) {
        if (entry.nToken == nToken)
            return &entry.strCommand;
    }
    return nullptr;
}
