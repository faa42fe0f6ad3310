#include "protocol/PendingBytes.h"

#include <algorithm>
#include <cstring>

namespace {

// memchr's setup costs more than it saves on the few bytes of a byte-wise delivery.
bool HasCr(const char *p, size_t n)
{
    constexpr size_t kShortBytes = 16;
    if (n > kShortBytes)
        return std::memchr(p, '\r', n) != nullptr;
    for (size_t i = 0; i < n; ++i) {
        if (p[i] == '\r')
            return true;
    }
    return false;
}

} // namespace

CPendingBytes::CPendingBytes(size_t nLimit) : m_nLimit(std::min(nLimit, kMaxLimit))
{
    m_strPending.reserve(m_nLimit + 1024);
}

void CPendingBytes::FeedBlock(IResponseHandler *pHandler, const char *pData, size_t nLength)
{
    if (pData == nullptr)
        return;
    // The pending bytes stay below the limit, so every piece takes at least half a scan block.
    while (nLength > 0) {
        const size_t nPiece = std::min(nLength, SCAN_BLOCK_MAX_BYTES - m_strPending.size());
        FeedPiece(pHandler, pData, nPiece);
        pData += nPiece;
        nLength -= nPiece;
    }
}

void CPendingBytes::FeedPiece(IResponseHandler *pHandler, const char *pData, size_t nLength)
{
    // Nothing pending: scan the caller's bytes where they are and copy only the tail.
    if (m_strPending.empty()) {
        const size_t nConsumed = ScanResponses(pHandler, pData, nLength);
        Keep(pData + nConsumed, nLength - nConsumed);
        return;
    }
    // A scan could not consume anything: the first line still lacks its CR. Byte-wise delivery
    // would otherwise re-read the whole line for every byte.
    const bool bRescan = !m_bAwaitingCr || HasCr(pData, nLength);
    m_strPending.append(pData, nLength);
    if (bRescan) {
        const size_t nConsumed = ScanResponses(pHandler, m_strPending.data(), m_strPending.size());
        m_strPending.erase(0, nConsumed);
    }
    if (bRescan || m_strPending.size() > m_nLimit)
        DropOverLimit();
}

// Keeps the newest bytes of the tail, at most the limit; the older ones are counted as dropped.
void CPendingBytes::Keep(const char *pTail, size_t nLength)
{
    const size_t nKept = std::min(nLength, m_nLimit);
    m_nDropped += nLength - nKept;
    m_strPending.assign(pTail + (nLength - nKept), nKept);
    m_bAwaitingCr = FirstLineAwaitsCr();
}

void CPendingBytes::DropOverLimit()
{
    if (m_strPending.size() > m_nLimit) {
        const size_t nOver = m_strPending.size() - m_nLimit;
        m_nDropped += nOver;
        m_strPending.erase(0, nOver);
    }
    m_bAwaitingCr = FirstLineAwaitsCr();
}

// True when the first segment of the pending bytes is incomplete and stays so, whatever follows,
// until a CR arrives: "\r\n" and at least two more bytes with no CR, or text with no CR.
bool CPendingBytes::FirstLineAwaitsCr() const
{
    const char *s = m_strPending.data();
    const char *const end = s + m_strPending.size();
    if (s == end || *s == '\n')
        return false;
    if (*s == '\r')
        return end - s >= 4 && s[1] == '\n' && std::memchr(s + 2, '\r', end - (s + 2)) == nullptr;
    const char *p = SkipBlanks(s, end);
    return p != end && std::memchr(p, '\r', end - p) == nullptr;
}
