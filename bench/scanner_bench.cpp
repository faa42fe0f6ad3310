// Throughput of the reply scanner behind the pending-bytes keeper, next to a plain memchr line
// splitter over the same bytes, and the cost of a peer that never sends CR.
#include "protocol/PendingBytes.h"
#include "protocol/ResponseScanner.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstring>
#include <string>

namespace {

constexpr size_t kTranscriptBytes = 1 << 20;
constexpr size_t kDeliveryBytes = 1024; // the link hands over at most this much per read

// The fourteen replies of one query run.
const char kQueryRunReplies[] =
    "\r\nOK\r\n\r\n+NAME:Kestrel Dev\r\n\r\nOK\r\n\r\n+VERSION:V2.0.5\r\n\r\nOK\r\n"
    "\r\n+CLASS:001f00\r\n\r\nOK\r\n\r\n+ROLE:0\r\n\r\nOK\r\n\r\n+BIND:1\r\n\r\nOK\r\n"
    "\r\n+AUTH:1\r\n\r\nOK\r\n\r\n+PASSWORD:1234\r\n\r\nOK\r\n\r\n+BAUD:9600\r\n\r\nOK\r\n"
    "\r\n+UARTMODE:0,0\r\n\r\nOK\r\n\r\n+SCAN:1024,512,1024,512\r\n\r\nOK\r\n"
    "\r\n+SNIFF:20,0,4,3\r\n\r\nOK\r\n\r\n+LADDR:001122AABBCC\r\n\r\nOK\r\n\r\nERROR\r\n";

const std::string &Transcript()
{
    static const std::string s_strTranscript = [] {
        std::string str;
        while (str.size() < kTranscriptBytes)
            str += kQueryRunReplies;
        return str;
    }();
    return s_strTranscript;
}

// Counts calls and touches what a real handler would read, nothing more.
class CCountingHandler : public IResponseHandler
{
public:
    size_t m_nCalls = 0;
    size_t m_nSum = 0;

    void OnResponseOk() override { ++m_nCalls; }
    void OnResponseError() override { ++m_nCalls; }
    void OnResponseIgnored(const ResponseFields &) override { ++m_nCalls; }
    void OnResponseAuth(const ResponseFields &f) override { Number(f.n0); }
    void OnResponseBaud(const ResponseFields &f) override { Number(f.n0); }
    void OnResponseBind(const ResponseFields &f) override { Number(f.n0); }
    void OnResponseRole(const ResponseFields &f) override { Number(f.n0); }
    void OnResponseScan(const ResponseFields &f) override { Number(f.n0 + f.n3); }
    void OnResponseSniff(const ResponseFields &f) override { Number(f.n0 + f.n3); }
    void OnResponseName(const ResponseFields &f) override { Number(f.span.nLength); }
    void OnResponseClass(const ResponseFields &f) override { Number(f.span.nLength); }
    void OnResponseVersion(const ResponseFields &f) override { Number(f.span.nLength); }
    void OnResponsePassword(const ResponseFields &f) override { Number(f.span.nLength); }
    void OnOtherLine(const char *, uint16_t nLength) override { Number(nLength); }

private:
    void Number(size_t n)
    {
        ++m_nCalls;
        m_nSum += n;
    }
};

void FeedAll(benchmark::State &state, const std::string &strStream, size_t nChunk,
             size_t nLimit = CPendingBytes::kDefaultLimit)
{
    for (auto _ : state) {
        CCountingHandler handler;
        CPendingBytes pending(nLimit);
        for (size_t i = 0; i < strStream.size(); i += nChunk)
            pending.Feed(&handler, strStream.data() + i, std::min(nChunk, strStream.size() - i));
        benchmark::DoNotOptimize(handler.m_nSum);
        benchmark::DoNotOptimize(pending.Size());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * strStream.size()));
}

void BM_ScannerChunked(benchmark::State &state)
{
    FeedAll(state, Transcript(), kDeliveryBytes);
}
BENCHMARK(BM_ScannerChunked)->Unit(benchmark::kMillisecond);

// The reference: cut the same bytes at every LF and hand each line to a handler, as the
// scanner does, through a call the compiler cannot inline.
class CLineCounter
{
public:
    virtual ~CLineCounter() = default;
    virtual void OnLine(const char *, size_t nLength) { m_nSum += nLength; }
    size_t m_nSum = 0;
};

void BM_MemchrSplitter(benchmark::State &state)
{
    const std::string &strStream = Transcript();
    CLineCounter counter;
    CLineCounter *pCounter = &counter;
    benchmark::DoNotOptimize(pCounter);
    for (auto _ : state) {
        const char *p = strStream.data();
        const char *const end = p + strStream.size();
        while (const auto *lf = static_cast<const char *>(std::memchr(p, '\n', end - p))) {
            pCounter->OnLine(p, lf + 1 - p);
            p = lf + 1;
        }
        benchmark::DoNotOptimize(pCounter->m_nSum);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * strStream.size()));
}
BENCHMARK(BM_MemchrSplitter)->Unit(benchmark::kMillisecond);

void BM_ScannerByteByByte(benchmark::State &state)
{
    FeedAll(state, Transcript(), 1);
}
BENCHMARK(BM_ScannerByteByByte)->Unit(benchmark::kMillisecond);

// A peer that never sends CR: every delivery re-reads at most the bounded pending bytes.
void BM_ScannerWithoutCr(benchmark::State &state)
{
    const std::string strStream(static_cast<size_t>(state.range(0)) << 20, 'x');
    FeedAll(state, strStream, kDeliveryBytes);
}
BENCHMARK(BM_ScannerWithoutCr)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
