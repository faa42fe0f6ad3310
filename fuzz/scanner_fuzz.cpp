// Feeds arbitrary bytes to the reply scanner, whole and through the pending-bytes keeper in
// deliveries whose sizes come from the input, and traps on any broken invariant.
#include "protocol/PendingBytes.h"
#include "protocol/ResponseScanner.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

void Require(bool bHolds)
{
    if (!bHolds)
        __builtin_trap();
}

// Checks that every pointer handed to a handler lies inside the block being scanned.
class CCheckingHandler : public IResponseHandler
{
public:
    // Bytes the scanner may point into: the delivery itself, or the keeper's joined block.
    const char *m_pChunk = nullptr;
    size_t m_nChunk = 0;
    const CPendingBytes *m_pPending = nullptr;

    void OnResponseOk() override {}
    void OnResponseError() override {}
    void OnResponseIgnored(const ResponseFields &f) override { CheckStale(f.span); }
    void OnResponseAuth(const ResponseFields &) override {}
    void OnResponseBaud(const ResponseFields &) override {}
    void OnResponseBind(const ResponseFields &) override {}
    void OnResponseRole(const ResponseFields &) override {}
    void OnResponseScan(const ResponseFields &) override {}
    void OnResponseSniff(const ResponseFields &) override {}
    void OnResponseName(const ResponseFields &f) override { CheckText(f.span); }
    void OnResponseClass(const ResponseFields &f) override { CheckText(f.span); }
    void OnResponseVersion(const ResponseFields &f) override { CheckText(f.span); }
    void OnResponsePassword(const ResponseFields &f) override { CheckText(f.span); }
    void OnOtherLine(const char *pLine, uint16_t nLength) override
    {
        Require(nLength >= 2);
        Require(Inside(pLine, nLength));
    }

private:
    bool Inside(const char *p, size_t n) const
    {
        const auto within = [&](const char *pBegin, size_t nSize) {
            return pBegin != nullptr && p >= pBegin && p + n <= pBegin + nSize;
        };
        return within(m_pChunk, m_nChunk) ||
               (m_pPending != nullptr && within(m_pPending->Data(), m_pPending->Size()));
    }
    void CheckText(const TextSpan &span) const
    {
        Require(span.pText != nullptr && span.nLength > 0);
        Require(Inside(span.pText, span.nLength));
    }
    // An ignored kind may carry the span of an earlier line of the same block, or none.
    void CheckStale(const TextSpan &span) const
    {
        Require(span.pText == nullptr || Inside(span.pText, span.nLength));
    }
};

void ScanDirectly(const char *pData, size_t nSize)
{
    CCheckingHandler handler;
    handler.m_pChunk = pData;
    handler.m_nChunk = nSize & 0xFFFF;
    const size_t nConsumed = ScanResponses(&handler, pData, nSize);
    Require(nConsumed <= (nSize & 0xFFFF));
}

// Delivery sizes are taken from the stream itself, so the fuzzer steers them with the bytes.
void FeedInDeliveries(const char *pData, size_t nSize, size_t nLimit)
{
    CPendingBytes pending(nLimit);
    CCheckingHandler handler;
    handler.m_pPending = &pending;
    for (size_t i = 0; i < nSize;) {
        const size_t nChunk = std::min<size_t>(1 + static_cast<uint8_t>(pData[i]) % 61, nSize - i);
        handler.m_pChunk = pData + i;
        handler.m_nChunk = nChunk;
        pending.Feed(&handler, pData + i, nChunk);
        Require(pending.Size() <= pending.Limit());
        i += nChunk;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pBytes, size_t nSize)
{
    const auto *pData = reinterpret_cast<const char *>(pBytes);
    ScanDirectly(pData, nSize);
    FeedInDeliveries(pData, nSize, 24);
    FeedInDeliveries(pData, nSize, CPendingBytes::kDefaultLimit);
    return 0;
}
