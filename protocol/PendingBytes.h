#pragma once

#include "protocol/ResponseScanner.h"

#include <cstddef>
#include <string>

// Holds the bytes of a reply line that has not fully arrived, between deliveries of the link.
// Each Feed puts the new bytes behind the pending ones, scans the whole and keeps what the scanner
// did not consume. The pending bytes are bounded: a peer that never sends CR cannot make us grow
// without end, and the scanner's 16-bit lengths are never exceeded. When the bound is passed,
// the oldest bytes are dropped. Not re-entrant: a handler must not feed the keeper that called it.
class CPendingBytes
{
public:
    static constexpr size_t kDefaultLimit = 4096;
    // Half a scan block, so that every scan still takes at least as many new bytes as it re-reads.
    static constexpr size_t kMaxLimit = (SCAN_BLOCK_MAX_BYTES + 1) / 2;

    // A limit above kMaxLimit is lowered to it.
    explicit CPendingBytes(size_t nLimit = kDefaultLimit);

    // Any length; scanned in pieces the scanner can take.
    void Feed(IResponseHandler *pHandler, const char *pData, size_t nLength)
    {
        // A byte that cannot end the waiting line only joins it: byte-wise delivery stays cheap.
        if (nLength == 1 && pData != nullptr && m_bAwaitingCr && *pData != '\r' &&
            m_strPending.size() < m_nLimit) {
            m_strPending.push_back(*pData);
            return;
        }
        FeedBlock(pHandler, pData, nLength);
    }

    size_t Size() const { return m_strPending.size(); }
    // The block a running scan reads when bytes were pending; for checks from inside a handler.
    const char *Data() const { return m_strPending.data(); }
    size_t Limit() const { return m_nLimit; }
    size_t DroppedBytes() const { return m_nDropped; }
    void Clear() { m_strPending.clear(); }

private:
    void FeedBlock(IResponseHandler *pHandler, const char *pData, size_t nLength);
    void FeedPiece(IResponseHandler *pHandler, const char *pData, size_t nLength);
    void Keep(const char *pTail, size_t nLength);
    void DropOverLimit();
    bool FirstLineAwaitsCr() const;

    std::string m_strPending;
    size_t m_nLimit = kDefaultLimit;
    size_t m_nDropped = 0;
    // The pending bytes begin a line that only a CR can complete: bytes without one just queue.
    bool m_bAwaitingCr = false;
};
