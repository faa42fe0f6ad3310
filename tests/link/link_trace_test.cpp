// The link tap against the simulated module on a real pseudo-terminal: every chunk as the reader
// delivered it, passed on unchanged, in time order, and nothing at all while nobody listens.

#include "serial/LinkTrace.h"
#include "sim/ModuleSim.h"

#include <condition_variable>
#include <cstring>
#include <gtest/gtest.h>
#include <mutex>

using namespace std::chrono_literals;

namespace {

// What the link's own receive function got, behind the tap.
struct CDelivered
{
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> chunks;

    static void OnReceive(const char *pData, int32_t nLength, void *pUser)
    {
        auto *pSelf = static_cast<CDelivered *>(pUser);
        std::lock_guard lock(pSelf->mutex);
        pSelf->chunks.emplace_back(pData, static_cast<size_t>(nLength));
        pSelf->changed.notify_all();
    }

    std::string Joined()
    {
        std::lock_guard lock(mutex);
        std::string strAll;
        for (const std::string &strChunk : chunks)
            strAll += strChunk;
        return strAll;
    }

    bool WaitForText(const std::string &strText)
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 3s, [&] {
            std::string strAll;
            for (const std::string &strChunk : chunks)
                strAll += strChunk;
            return strAll.find(strText) != std::string::npos;
        });
    }
};

// A module and a link to it with the tap in place, as the window and the command line set it up.
struct CTappedLink
{
    explicit CTappedLink(SimOptions options) : sim(std::move(options)) {}

    bool Open()
    {
        if (!sim.Start())
            return false;
        trace.Tap(link, &CDelivered::OnReceive, &delivered);
        link.m_nBaudRate = 9600;
        return link.Open(sim.DevicePath());
    }

    // Written as the engine writes a command: recorded first, so its reply comes after it.
    void Send(const std::string &strCommand)
    {
        trace.RecordWrite(strCommand.data(), strCommand.size());
        link.Write(strCommand.data(), static_cast<uint32_t>(strCommand.size()));
    }

    CModuleSim sim;
    CLinkTrace trace;
    CDelivered delivered;
    CSerialLink link;
};

} // namespace

TEST(LinkTrace, EscapesEveryByteThatIsNotPrintable)
{
    const struct
    {
        std::string strBytes;
        const char *pszShown;
    } kCases[] = {
        {"\r\nOK\r\n", "\\r\\nOK\\r\\n"},
        {std::string("A\0B", 3), "A\\x00B"},
        {"\x1b[K\x7f", "\\x1B[K\\x7F"},
        {"\xb9\xa4\xce\xbb", "\\xB9\\xA4\\xCE\\xBB"}, // GBK bytes: never sign-extended
        {"C:\\x41", "C:\\\\x41"},                     // a backslash cannot pass for an escape
        {" +NAME:Lab 7~", " +NAME:Lab 7~"},
    };
    for (const auto &testCase : kCases)
        EXPECT_EQ(EscapeTraceBytes(testCase.strBytes), testCase.pszShown) << testCase.pszShown;
}

TEST(LinkTrace, ChunksAreRecordedAsDeliveredAndPassedOnUnchanged)
{
    for (const SimSplit split : {SimSplit::Whole, SimSplit::ByteByByte, SimSplit::Random}) {
        SimOptions options;
        options.split = split;
        CTappedLink tapped(options);
        if (!tapped.Open())
            GTEST_SKIP() << "no pseudo-terminal for the simulated module";
        tapped.trace.SetListening(true);
        tapped.Send("AT+NAME?\r\n");
        ASSERT_TRUE(tapped.delivered.WaitForText("OK\r\n"));
        tapped.link.Close();

        const std::vector<CTraceEntry> entries = tapped.trace.Take();
        ASSERT_FALSE(entries.empty());
        EXPECT_EQ(entries.front().eKind, CTraceEntry::EKind::Sent);
        EXPECT_EQ(entries.front().strBytes, "AT+NAME?\r\n");
        std::vector<std::string> received;
        for (size_t i = 1; i < entries.size(); ++i) {
            EXPECT_EQ(entries[i].eKind, CTraceEntry::EKind::Received);
            EXPECT_GE(entries[i].time, entries[i - 1].time);
            received.push_back(entries[i].strBytes);
        }
        std::lock_guard lock(tapped.delivered.mutex);
        EXPECT_EQ(received, tapped.delivered.chunks) << "split " << static_cast<int>(split);
    }
}

TEST(LinkTrace, NothingIsRecordedWhileNobodyListens)
{
    CTappedLink tapped(SimOptions{});
    if (!tapped.Open())
        GTEST_SKIP() << "no pseudo-terminal for the simulated module";
    size_t nHeard = 0;
    tapped.trace.SetListener([&](const CTraceEntry &) { ++nHeard; });
    tapped.Send("AT\r\n");
    ASSERT_TRUE(tapped.delivered.WaitForText("OK\r\n"));
    tapped.link.Close();
    EXPECT_TRUE(tapped.trace.Take().empty());
    EXPECT_EQ(nHeard, 0u);
    EXPECT_EQ(tapped.delivered.Joined(), "\r\nOK\r\n"); // the receive function still got it all
}

TEST(LinkTrace, KeepsTheNewestEntriesAndCountsWhatItDropped)
{
    CLinkTrace trace(CLinkTrace::Clock::now(), 3);
    trace.SetListening(true);
    for (const char *pszCommand : {"AT+A\r\n", "AT+B\r\n", "AT+C\r\n", "AT+D\r\n", "AT+E\r\n"})
        trace.RecordWrite(pszCommand, std::strlen(pszCommand));
    size_t nDropped = 0;
    const std::vector<CTraceEntry> entries = trace.Take(&nDropped);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries.front().strBytes, "AT+C\r\n");
    EXPECT_EQ(entries.back().strBytes, "AT+E\r\n");
    EXPECT_EQ(nDropped, 2u);
    trace.Take(&nDropped);
    EXPECT_EQ(nDropped, 0u);
}

TEST(LinkTrace, LineGivesMillisecondsPortDirectionAndBytes)
{
    const auto start = CLinkTrace::Clock::now();
    const CTraceEntry sent{start + 1234567us, CTraceEntry::EKind::Sent, "AT\r\n"};
    const CTraceEntry got{start + 2ms, CTraceEntry::EKind::Received, "\r\nOK\r\n"};
    EXPECT_EQ(FormatTraceLine(sent, start), "  1234.567 TX AT\\r\\n");
    EXPECT_EQ(FormatTraceLine(got, start, "/dev/ttyUSB1"),
              "     2.000 /dev/ttyUSB1 RX \\r\\nOK\\r\\n");
}
