// Feeds arbitrary bytes to the reply scanner, whole and through the pending-bytes keeper in
// deliveries whose sizes come from the input, and traps on any broken invariant.
#include "protocol/PendingBytes.h"
#include "protocol/ResponseScanner.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

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
    std::string m_strLog; // every call with what it carried, to compare two ways of feeding

    void OnResponseOk() override { m_strLog += 'K'; }
    void OnResponseError() override { m_strLog += 'E'; }
    void OnResponseIgnored(const ResponseFields &f) override
    {
        CheckStale(f.span);
        m_strLog += 'I';
    }
    void OnResponseAuth(const ResponseFields &f) override { Log('A', f.n0); }
    void OnResponseBaud(const ResponseFields &f) override { Log('B', f.n0); }
    void OnResponseBind(const ResponseFields &f) override { Log('D', f.n0); }
    void OnResponseRole(const ResponseFields &f) override { Log('R', f.n0); }
    void OnResponseScan(const ResponseFields &f) override { Log('S', f.n0 ^ f.n1 ^ f.n2 ^ f.n3); }
    void OnResponseSniff(const ResponseFields &f) override { Log('F', f.n0 ^ f.n1 ^ f.n2 ^ f.n3); }
    void OnResponseName(const ResponseFields &f) override { CheckText('N', f.span); }
    void OnResponseClass(const ResponseFields &f) override { CheckText('C', f.span); }
    void OnResponseVersion(const ResponseFields &f) override { CheckText('V', f.span); }
    void OnResponsePassword(const ResponseFields &f) override { CheckText('P', f.span); }
    void OnOtherLine(const char *pLine, uint16_t nLength) override
    {
        Require(nLength >= 2);
        Require(Inside(pLine, nLength));
        m_strLog += 'O';
        m_strLog.append(pLine, nLength);
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
    void CheckText(char cKind, const TextSpan &span)
    {
        Require(span.pText != nullptr && span.nLength > 0);
        Require(Inside(span.pText, span.nLength));
        m_strLog += cKind;
        m_strLog.append(span.pText, span.nLength);
    }
    void Log(char cKind, uint32_t n)
    {
        m_strLog += cKind;
        m_strLog += std::to_string(n);
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

size_t DeliverySize(const char *pData, size_t nAt, size_t nSize)
{
    return std::min<size_t>(1 + static_cast<uint8_t>(pData[nAt]) % 61, nSize - nAt);
}

// Delivery sizes are taken from the stream itself, so the fuzzer steers them with the bytes.
std::string FeedInDeliveries(const char *pData, size_t nSize, size_t nLimit)
{
    CPendingBytes pending(nLimit);
    CCheckingHandler handler;
    handler.m_pPending = &pending;
    for (size_t i = 0; i < nSize; i += handler.m_nChunk) {
        handler.m_pChunk = pData + i;
        handler.m_nChunk = DeliverySize(pData, i, nSize);
        pending.Feed(&handler, pData + i, handler.m_nChunk);
        Require(pending.Size() <= pending.Limit());
    }
    return handler.m_strLog;
}

// The same deliveries kept without shortcuts or bound: join, scan, keep the tail.
std::string FeedNaively(const char *pData, size_t nSize)
{
    CCheckingHandler handler;
    std::string strPending;
    for (size_t i = 0; i < nSize; i += handler.m_nChunk) {
        handler.m_nChunk = DeliverySize(pData, i, nSize);
        strPending.append(pData + i, handler.m_nChunk);
        handler.m_pChunk = strPending.data();
        const size_t nChunk = handler.m_nChunk;
        handler.m_nChunk = strPending.size();
        strPending.erase(0, ScanResponses(&handler, strPending.data(), strPending.size()));
        handler.m_nChunk = nChunk;
    }
    return handler.m_strLog;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pBytes, size_t nSize)
{
    const auto *pData = reinterpret_cast<const char *>(pBytes);
    ScanDirectly(pData, nSize);
    FeedInDeliveries(pData, nSize, 24);
    const std::string strLog = FeedInDeliveries(pData, nSize, CPendingBytes::kDefaultLimit);
    // Below the bound nothing is dropped, so the keeper must act exactly like the plain join.
    if (nSize <= CPendingBytes::kDefaultLimit)
        Require(strLog == FeedNaively(pData, nSize));
    return 0;
}
