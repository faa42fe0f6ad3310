#include "protocol/PendingBytes.h"

#include <algorithm>

CPendingBytes::CPendingBytes(size_t nLimit)
    : m_nLimit(std::min(nLimit, kMaxLimit))
{
    m_strPending.reserve(m_nLimit + 1024);
}

void CPendingBytes::Feed(IResponseHandler *pHandler, const char *pData, size_t nLength)
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
    m_strPending.append(pData, nLength);
    const size_t nConsumed = ScanResponses(pHandler, m_strPending.data(), m_strPending.size());
    const size_t nOver = m_strPending.size() - nConsumed > m_nLimit
                             ? m_strPending.size() - nConsumed - m_nLimit
                             : 0;
    m_nDropped += nOver;
    m_strPending.erase(0, nConsumed + nOver);
}

// Keeps the newest bytes of the tail, at most the limit; the older ones are counted as dropped.
void CPendingBytes::Keep(const char *pTail, size_t nLength)
{
    const size_t nKept = std::min(nLength, m_nLimit);
    m_nDropped += nLength - nKept;
    m_strPending.assign(pTail + (nLength - nKept), nKept);
}
