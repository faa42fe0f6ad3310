#include "RecordingHandler.h"
#include "protocol/PendingBytes.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using Calls = std::vector<std::string>;

namespace {

// What a keeper saw after a series of feeds.
struct SFeedResult
{
    Calls vecCalls;
    size_t nPending = 0;
    size_t nDropped = 0;
    size_t nMaxPending = 0;
};

SFeedResult FeedInChunks(const std::string &strStream, size_t nChunk,
                         size_t nLimit = CPendingBytes::kDefaultLimit)
{
    CRecordingHandler handler;
    CPendingBytes pending(nLimit);
    SFeedResult result;
    for (size_t i = 0; i < strStream.size(); i += nChunk) {
        pending.Feed(&handler, strStream.data() + i, std::min(nChunk, strStream.size() - i));
        result.nMaxPending = std::max(result.nMaxPending, pending.Size());
    }
    result.vecCalls = handler.m_vecCalls;
    result.nPending = pending.Size();
    result.nDropped = pending.DroppedBytes();
    return result;
}

// Replies as the module sends them: a whole query run, the same with echo on, an inquiry, and a
// line-noise mix of every other kind, malformed lines, stray bytes and blanks.
const std::string kTranscripts[] = {
    "\r\nOK\r\n\r\n+NAME:Kestrel Dev\r\n\r\nOK\r\n\r\n+VERSION:V2.0.5\r\n\r\nOK\r\n"
    "\r\n+CLASS:001f00\r\n\r\nOK\r\n\r\n+ROLE:0\r\n\r\nOK\r\n\r\n+BIND:1\r\n\r\nOK\r\n"
    "\r\n+AUTH:1\r\n\r\nOK\r\n\r\n+PASSWORD:1234\r\n\r\nOK\r\n\r\n+BAUD:9600\r\n\r\nOK\r\n"
    "\r\n+UARTMODE:0,0\r\n\r\nOK\r\n\r\n+SCAN:1024,512,1024,512\r\n\r\nOK\r\n"
    "\r\n+SNIFF:20,0,4,3\r\n\r\nOK\r\n\r\n+LADDR:001122AABBCC\r\n\r\nOK\r\n\r\nERROR\r\n",

    "AT\r\n\r\nOK\r\nAT+NAME?\r\n\r\n+NAME:\"My Dev\"\r\n\r\nOK\r\nAT+ROLE?\r\n\r\n+ROLE:1\r\n"
    "\r\nOK\r\nAT+RADDR?\r\n\r\n+RADDR:0011223344AA\r\n\r\nOK\r\nAT+SNIFF?\r\n"
    "\r\n+SNIFF:1;2;3;4\r\n\r\nOK\r\n",

    "AT+INQ\r\n\r\nOK\r\n\r\n+INQRESU:001122334455,Phone A\r\n"
    "\r\n+INQRESU:66778899AABB,\xCA\xD6\xBB\xFA\r\n\r\n+INQCOMP\r\n",

    "\n\r\r\nok\r\n \t\r\n+name=abc\r\nxx\r\n\r\n  +ADDR:a1 \r\n\r\n+LED:1,2\r\n"
    "\r\n\t+BINDADDR:5\t\r\n\r\n+SCAN:1,,2,3,4\r\n\r\nERROR:3\r\n\r\n+NAME:\xC4\xE3\r\n"
    "\r\n\r\nOK\r\n\r\n+BAUD:4294967297\r\n\r\n+version:v1\r\n\r\n+CLASS=1f\r\n\r\n+AUTH=0\r\n"
    "\r\n+PASSWORD:\"0000\r\n\r\n+BIND:7\r\n\r\nerror\r\n\r\n+NA",
};

// However the bytes are cut into deliveries, the calls and the tail are those of one whole scan.
TEST(PendingBytes, AnySplitMatchesWholeScan)
{
    for (const std::string &strStream : kTranscripts) {
        SCOPED_TRACE(CRecordingHandler::Escape(strStream.substr(0, 40)));
        const SScanResult whole = ScanWhole(strStream);
        ASSERT_GT(whole.vecCalls.size(), 3u);
        const size_t nTail = strStream.size() - whole.nConsumed;
        for (size_t nChunk : {size_t(1), size_t(2), size_t(3), size_t(7), size_t(1024)}) {
            const SFeedResult fed = FeedInChunks(strStream, nChunk);
            EXPECT_EQ(fed.vecCalls, whole.vecCalls) << "chunks of " << nChunk;
            EXPECT_EQ(fed.nPending, nTail) << "chunks of " << nChunk;
        }
        for (size_t nCut = 0; nCut <= strStream.size(); ++nCut) {
            CRecordingHandler handler;
            CPendingBytes pending;
            pending.Feed(&handler, strStream.data(), nCut);
            pending.Feed(&handler, strStream.data() + nCut, strStream.size() - nCut);
            EXPECT_EQ(handler.m_vecCalls, whole.vecCalls) << "cut at " << nCut;
            EXPECT_EQ(pending.Size(), nTail) << "cut at " << nCut;
        }
    }
}

// The keeper without shortcuts: join, scan, keep the unconsumed tail.
Calls FeedNaively(const std::string &strStream, size_t nChunk)
{
    CRecordingHandler handler;
    std::string strPending;
    for (size_t i = 0; i < strStream.size(); i += nChunk) {
        strPending += strStream.substr(i, nChunk);
        strPending.erase(0, ScanResponses(&handler, strPending.data(), strPending.size()));
    }
    return handler.m_vecCalls;
}

// Bytes that queue behind a line still waiting for its CR must give the calls a full re-scan
// gives, whatever the line starts with.
TEST(PendingBytes, QueuedBytesMatchFullRescan)
{
    const std::string kStreams[] = {
        "\r\n+NAME:Abc\r\n\r\nOK\r\n",
        " \n\n+NAME:abc\r\n",
        " \n\rOK\r\n",
        "\t \r\nOK\r\n",
        "AT+NAME?\r\n\r\n+NAME:Abc\r\n",
        "\r\n\r\nOK\r\n",
        "\r\r\r\n+ROLE:1\r\r\n\r\nOK\r\n",
        "xy \n\r\n+BAUD:9600\r\n",
        "\r\n  +ADDR:a b\r\n\n\r\nERROR\r\n",
    };
    for (const std::string &strStream : kStreams) {
        for (size_t nChunk = 1; nChunk <= 8; ++nChunk) {
            EXPECT_EQ(FeedInChunks(strStream, nChunk).vecCalls, FeedNaively(strStream, nChunk))
                << CRecordingHandler::Escape(strStream) << " in chunks of " << nChunk;
        }
    }
}

TEST(PendingBytes, TailKeptUntilItsLineEnds)
{
    CRecordingHandler handler;
    CPendingBytes pending;
    const std::string strFirst = "\r\n+NAME:Abc\r\n\r\n+BAUD:96";
    pending.Feed(&handler, strFirst.data(), strFirst.size());
    EXPECT_EQ(handler.m_vecCalls, Calls{"Name(Abc)"});
    EXPECT_EQ(pending.Size(), 10u);
    pending.Feed(&handler, "00\r", 3);
    EXPECT_EQ(handler.m_vecCalls, Calls{"Name(Abc)"});
    pending.Feed(&handler, "\n", 1);
    EXPECT_EQ(handler.m_vecCalls, (Calls{"Name(Abc)", "Baud(9600)"}));
    EXPECT_EQ(pending.Size(), 0u);
    EXPECT_EQ(pending.DroppedBytes(), 0u);
}

// Whatever the delivery sizes, the bound holds and the newest bytes are the ones kept.
TEST(PendingBytes, BoundDropsOldestBytes)
{
    const std::string strNoise = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMN"; // 40 bytes, no CR
    for (size_t nChunk : {size_t(1), size_t(5), size_t(16), size_t(17), strNoise.size()}) {
        SCOPED_TRACE(nChunk);
        CRecordingHandler handler;
        CPendingBytes pending(16);
        for (size_t i = 0; i < strNoise.size(); i += nChunk) {
            pending.Feed(&handler, strNoise.data() + i, std::min(nChunk, strNoise.size() - i));
            EXPECT_LE(pending.Size(), 16u);
        }
        EXPECT_EQ(pending.DroppedBytes(), 24u);
        const std::string strLine = "\r\n\r\nOK\r\n";
        pending.Feed(&handler, strLine.data(), strLine.size());
        EXPECT_EQ(handler.m_vecCalls, (Calls{"Other(yzABCDEFGHIJKLMN\\r)", "Ok"}));
        EXPECT_EQ(pending.Size(), 0u);
    }
}

// A peer that sent 100 KB without a CR is still understood once it frames a line again. Every
// noise byte is either dropped or handed over in the line its CR closes, never both.
TEST(PendingBytes, LineAfterLongRunWithoutCrIsRecognised)
{
    const size_t kNoiseBytes = 100 * 1024;
    const std::string strStream = std::string(kNoiseBytes, 'x') + "\r\n\r\n+NAME:Abc\r\n\r\nOK\r\n";
    for (size_t nChunk : {size_t(1024), size_t(1000), size_t(1), strStream.size()}) {
        SCOPED_TRACE(nChunk);
        const SFeedResult fed = FeedInChunks(strStream, nChunk);
        ASSERT_EQ(fed.vecCalls.size(), 3u);
        EXPECT_EQ(fed.vecCalls[1], "Name(Abc)");
        EXPECT_EQ(fed.vecCalls[2], "Ok");
        const std::string &strOther = fed.vecCalls[0];
        const size_t nHanded = strOther.size() - std::string("Other(\\r)").size();
        EXPECT_EQ(strOther.find_first_not_of('x', 6), 6 + nHanded);
        EXPECT_EQ(fed.nDropped + nHanded, kNoiseBytes);
        EXPECT_LE(nHanded, CPendingBytes::kDefaultLimit + std::min(nChunk, SCAN_BLOCK_MAX_BYTES));
        EXPECT_LE(fed.nMaxPending, CPendingBytes::kDefaultLimit);
        EXPECT_EQ(fed.nPending, 0u);
    }
}

// One delivery larger than a scan block is scanned in pieces; lines across the piece borders
// arrive whole.
TEST(PendingBytes, HugeDeliveryMatchesSmallOnes)
{
    std::string strStream;
    for (int i = 0; strStream.size() < 3 * SCAN_BLOCK_MAX_BYTES; ++i)
        strStream += "\r\n+NAME:N" + std::to_string(i) + "\r\n\r\nOK\r\n";
    const SFeedResult whole = FeedInChunks(strStream, strStream.size());
    const SFeedResult small = FeedInChunks(strStream, 1024);
    EXPECT_EQ(whole.vecCalls, small.vecCalls);
    EXPECT_EQ(whole.vecCalls.back(), "Ok");
    EXPECT_EQ(whole.nDropped, 0u);
    EXPECT_EQ(whole.nPending, 0u);
}

TEST(PendingBytes, LimitIsClampedBelowScanBlock)
{
    CRecordingHandler handler;
    CPendingBytes pending(1 << 20);
    EXPECT_EQ(pending.Limit(), CPendingBytes::kMaxLimit);
    const std::string strNoise(200 * 1024, 'y');
    pending.Feed(&handler, strNoise.data(), strNoise.size());
    EXPECT_EQ(pending.Size(), CPendingBytes::kMaxLimit);
    EXPECT_EQ(pending.DroppedBytes(), strNoise.size() - CPendingBytes::kMaxLimit);
    EXPECT_TRUE(handler.m_vecCalls.empty());
}

} // namespace
