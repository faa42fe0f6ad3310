#include "serial/SerialLink.h"

#include <chrono>
#include <csignal>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;

namespace {

constexpr auto kWait = 3000ms;

// Collects what the link delivers and checks the delivery contract on every call.
struct CReceiver
{
    std::mutex mutex;
    std::condition_variable changed;
    std::string strBytes;
    std::vector<int32_t> chunks;
    int nDisconnects = 0;
    bool bContractBroken = false; // missing NUL, empty or oversized chunk, or calls overlapping
    std::atomic<bool> bInCall{false};
    std::chrono::milliseconds callDelay{0};

    static void OnReceive(const char *pData, int32_t nLength, void *pUser)
    {
        auto *pSelf = static_cast<CReceiver *>(pUser);
        const bool bOverlap = pSelf->bInCall.exchange(true);
        std::this_thread::sleep_for(pSelf->callDelay);
        std::lock_guard guard(pSelf->mutex);
        pSelf->bContractBroken |= bOverlap || nLength <= 0 || nLength > 1024 || pData[nLength] != 0;
        pSelf->strBytes.append(pData, static_cast<size_t>(nLength));
        pSelf->chunks.push_back(nLength);
        pSelf->bInCall = false;
        pSelf->changed.notify_all();
    }
    static void OnDisconnect(void *pUser)
    {
        auto *pSelf = static_cast<CReceiver *>(pUser);
        std::lock_guard guard(pSelf->mutex);
        ++pSelf->nDisconnects;
        pSelf->changed.notify_all();
    }
    template <typename Pred> bool WaitUntil(Pred pred, std::chrono::milliseconds timeout = kWait)
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, timeout, pred);
    }
    bool WaitForBytes(size_t nCount)
    {
        return WaitUntil([&] { return strBytes.size() >= nCount; });
    }
    std::string Bytes()
    {
        std::lock_guard guard(mutex);
        return strBytes;
    }
};

// A raw pseudo-terminal pair: the link opens the slave by name, the test plays the device.
class SerialLinkTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char achName[256] = {};
        if (openpty(&m_hMaster, &m_hSlave, achName, nullptr, nullptr) != 0)
            GTEST_SKIP() << "no pseudo-terminal available: " << std::strerror(errno);
        m_strSlave = achName;
        termios tio{};
        tcgetattr(m_hMaster, &tio);
        cfmakeraw(&tio);
        tcsetattr(m_hMaster, TCSANOW, &tio);
        m_link.m_nBaudRate = 9600;
        m_link.SetReceiveCallback(CReceiver::OnReceive, &m_receiver);
        m_link.SetDisconnectCallback(CReceiver::OnDisconnect, &m_receiver);
    }
    void TearDown() override
    {
        m_link.Close();
        CloseMaster();
        if (m_hSlave >= 0)
            close(m_hSlave);
    }
    void CloseMaster()
    {
        if (m_hMaster >= 0)
            close(m_hMaster);
        m_hMaster = -1;
    }
    void WriteMaster(const std::string &strBytes)
    {
        ASSERT_EQ(write(m_hMaster, strBytes.data(), strBytes.size()),
                  static_cast<ssize_t>(strBytes.size()));
    }
    // Everything the device side receives within the time given.
    std::string ReadMaster(size_t nWanted, std::chrono::milliseconds timeout = kWait)
    {
        std::string strBytes;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (strBytes.size() < nWanted && std::chrono::steady_clock::now() < deadline) {
            pollfd fd{m_hMaster, POLLIN, 0};
            char achBuffer[4096];
            if (poll(&fd, 1, 50) == 1 && (fd.revents & POLLIN)) {
                const ssize_t n = read(m_hMaster, achBuffer, sizeof(achBuffer));
                if (n > 0)
                    strBytes.append(achBuffer, static_cast<size_t>(n));
            }
        }
        return strBytes;
    }
    termios LineSettings()
    {
        termios tio{};
        tcgetattr(m_hSlave, &tio);
        return tio;
    }

    int m_hMaster = -1;
    int m_hSlave = -1;
    std::string m_strSlave;
    CReceiver m_receiver;
    CSerialLink m_link;
};

TEST_F(SerialLinkTest, OpenMakesTheLineRawWithTheChosenSpeed)
{
    ASSERT_TRUE(m_link.Open(m_strSlave));
    EXPECT_TRUE(m_link.IsOpen());
    EXPECT_EQ(m_link.PortName(), m_strSlave);
    const termios tio = LineSettings();
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_iflag & (ICRNL | INLCR | IGNCR), 0u);
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
    EXPECT_EQ(cfgetospeed(&tio), speed_t(B9600));
}

struct CLineCase
{
    const char *pszName;
    uint8_t nByteSize, nParity, nStopBits, nFlow;
    tcflag_t cflag; // expected CSIZE, parity, stop and RTS/CTS bits
    tcflag_t iflag; // expected IXON/IXOFF
};

class LineSettingsTest : public SerialLinkTest, public ::testing::WithParamInterface<CLineCase>
{
};

TEST_P(LineSettingsTest, FieldsReachTheTerminal)
{
    const CLineCase &c = GetParam();
    m_link.m_nByteSize = c.nByteSize;
    m_link.m_nParity = c.nParity;
    m_link.m_nStopBits = c.nStopBits;
    m_link.m_nFlowControl = c.nFlow;
    // A pty forces 8 data bits without parity; the link must read that back and refuse.
    const bool bPtyCanDoIt = (c.cflag & (CSIZE | PARENB)) == CS8;
    ASSERT_EQ(m_link.Open(m_strSlave), bPtyCanDoIt);
    if (!bPtyCanDoIt) {
        EXPECT_TRUE(m_link.IsOpen());
        EXPECT_EQ(m_link.LastOpenError(), EINVAL);
        return;
    }
    const termios tio = LineSettings();
    EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS), c.cflag);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), c.iflag);
}

INSTANTIATE_TEST_SUITE_P(
    Link, LineSettingsTest,
    ::testing::Values(CLineCase{"Default8N1", 8, 0, 0, FLOW_NONE, CS8, 0},
                      CLineCase{"Odd7TwoStop", 7, 1, 2, FLOW_NONE, CS7 | PARENB | PARODD | CSTOPB,
                                0},
                      CLineCase{"Even6", 6, 2, 0, FLOW_NONE, CS6 | PARENB, 0},
                      CLineCase{"TwoStop8", 8, 0, 2, FLOW_NONE, CS8 | CSTOPB, 0},
                      CLineCase{"OneAndHalfIsTwo", 8, 0, 1, FLOW_NONE, CS8 | CSTOPB, 0},
                      CLineCase{"Mark5OneAndHalf", 5, 3, 1, FLOW_NONE,
                                CS5 | PARENB | PARODD | CMSPAR | CSTOPB, 0},
                      CLineCase{"Space8", 8, 4, 0, FLOW_NONE, CS8 | PARENB | CMSPAR, 0},
                      CLineCase{"RtsCts", 8, 0, 0, FLOW_HARDWARE, CS8 | CRTSCTS, 0},
                      CLineCase{"XonXoff", 8, 0, 0, FLOW_XONXOFF, CS8, IXON | IXOFF},
                      CLineCase{"UnknownFlowIsNone", 8, 0, 0, 7, CS8, 0}),
    [](const auto &info) { return std::string(info.param.pszName); });

struct CBadField
{
    const char *pszName;
    uint8_t nByteSize, nParity, nStopBits;
};

class RefusedSettingsTest : public SerialLinkTest, public ::testing::WithParamInterface<CBadField>
{
};

// A refused configuration leaves the port held but unread until Close.
TEST_P(RefusedSettingsTest, OpenFailsAndThePortStaysHeldUntilClose)
{
    m_link.m_nByteSize = GetParam().nByteSize;
    m_link.m_nParity = GetParam().nParity;
    m_link.m_nStopBits = GetParam().nStopBits;
    EXPECT_FALSE(m_link.Open(m_strSlave));
    EXPECT_TRUE(m_link.IsOpen());
    CSerialLink other;
    EXPECT_FALSE(other.Open(m_strSlave));
    EXPECT_TRUE(m_link.Close());
    EXPECT_FALSE(m_link.IsOpen());
    EXPECT_TRUE(other.Open(m_strSlave));
}

INSTANTIATE_TEST_SUITE_P(Link, RefusedSettingsTest,
                         ::testing::Values(CBadField{"NineDataBits", 9, 0, 0},
                                           CBadField{"FourDataBits", 4, 0, 0},
                                           CBadField{"ParityCode5", 8, 5, 0},
                                           CBadField{"StopCode3", 8, 0, 3}),
                         [](const auto &info) { return std::string(info.param.pszName); });

class BaudRateTest : public SerialLinkTest, public ::testing::WithParamInterface<uint32_t>
{
};

// Every rate the module offers must open, including 1382400 which has no Bxxx constant.
TEST_P(BaudRateTest, ModuleRateOpens)
{
    m_link.m_nBaudRate = GetParam();
    ASSERT_TRUE(m_link.Open(m_strSlave)) << "errno " << m_link.LastOpenError();
    WriteMaster("ping");
    EXPECT_TRUE(m_receiver.WaitForBytes(4));
}

INSTANTIATE_TEST_SUITE_P(Link, BaudRateTest,
                         ::testing::Values(1200u, 2400u, 4800u, 9600u, 19200u, 38400u, 57600u,
                                           115200u, 230400u, 460800u, 921600u, 1382400u));

// The rate changes on the open line and stays for the next open (a reconnect keeps the rate a
// probe found).
TEST_F(SerialLinkTest, LineRateChangesWhileOpenAndStaysForTheNextOpen)
{
    EXPECT_FALSE(m_link.SetLineRate(38400)); // closed: only remembered
    m_link.m_nBaudRate = 9600;
    ASSERT_TRUE(m_link.Open(m_strSlave));
    size_t nPings = 0;
    for (const uint32_t nRate : {38400u, 1382400u, 4800u}) {
        m_link.Close();
        ASSERT_TRUE(m_link.Open(m_strSlave));
        EXPECT_TRUE(m_link.SetLineRate(nRate));
        m_link.Close();
        ASSERT_TRUE(m_link.Open(m_strSlave));
        EXPECT_EQ(m_link.m_nBaudRate, nRate);
        const termios tio = LineSettings();
        if (nRate != 1382400) { // no Bxxx constant: termios2 only
            EXPECT_EQ(cfgetospeed(&tio), nRate == 38400 ? speed_t(B38400) : speed_t(B4800));
        }
        WriteMaster("ping");
        EXPECT_TRUE(m_receiver.WaitForBytes(4 * ++nPings));
    }
}

TEST_F(SerialLinkTest, SecondOpenOfTheSameDeviceFailsBusy)
{
    ASSERT_TRUE(m_link.Open(m_strSlave));
    CSerialLink other;
    EXPECT_FALSE(other.Open(m_strSlave));
    EXPECT_EQ(other.LastOpenError(), EBUSY);
    EXPECT_FALSE(other.IsOpen());
    m_link.Close();
    EXPECT_TRUE(other.Open(m_strSlave));
}

// The child is forked before the link starts its reader thread: forking a process with threads
// can leave the allocator's lock held in the child (a hang under the sanitizers). The child waits
// on a pipe until the parent holds the device.
TEST_F(SerialLinkTest, AnotherProcessCannotOpenTheHeldDevice)
{
    int ahPipe[2];
    ASSERT_EQ(pipe(ahPipe), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(ahPipe[1]);
        char ch = 0;
        if (read(ahPipe[0], &ch, 1) != 1)
            _exit(2);
        CSerialLink other;
        const bool bOpened = other.Open(m_strSlave);
        _exit(!bOpened && other.LastOpenError() == EBUSY ? 0 : 1);
    }
    close(ahPipe[0]);
    const bool bHeld = m_link.Open(m_strSlave);
    const char chGo = 'g';
    EXPECT_EQ(write(ahPipe[1], &chGo, 1), 1);
    close(ahPipe[1]);
    int nStatus = 0;
    pid_t waited = 0;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while ((waited = waitpid(child, &nStatus, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    if (waited == 0) {
        kill(child, SIGKILL);
        waitpid(child, &nStatus, 0);
        FAIL() << "the child did not finish within 10 s";
    }
    ASSERT_TRUE(bHeld);
    ASSERT_EQ(waited, child);
    ASSERT_TRUE(WIFEXITED(nStatus));
    EXPECT_EQ(WEXITSTATUS(nStatus), 0) << "the child opened the device or saw the wrong error";
}

TEST_F(SerialLinkTest, MissingDeviceFailsWithEnoent)
{
    EXPECT_FALSE(m_link.Open("/dev/kestrel-no-such-port"));
    EXPECT_EQ(m_link.LastOpenError(), ENOENT);
    EXPECT_FALSE(m_link.IsOpen());
}

TEST_F(SerialLinkTest, BytesPassUnchangedBothWays)
{
    ASSERT_TRUE(m_link.Open(m_strSlave));
    const std::string strOut("AT+NAME=\xC4\xA3\xBF\xE9\r\n\x00\x11\x13\x03\x7f", 19);
    EXPECT_EQ(m_link.Write(strOut.data(), static_cast<uint32_t>(strOut.size())), strOut.size());
    EXPECT_EQ(ReadMaster(strOut.size()), strOut);
    const std::string strIn("\r\n+NAME:x\r\n\x00\x11\x13\x03\xff\r\n", 18);
    WriteMaster(strIn);
    ASSERT_TRUE(m_receiver.WaitForBytes(strIn.size()));
    EXPECT_EQ(m_receiver.Bytes(), strIn);
}

TEST_F(SerialLinkTest, BurstArrivesWholeInOrderInChunksOfAtMost1024)
{
    ASSERT_TRUE(m_link.Open(m_strSlave));
    std::string strBurst;
    for (int i = 0; i < 3000; ++i)
        strBurst.push_back(static_cast<char>('A' + i % 26 + (i / 26) % 2 * 32));
    WriteMaster(strBurst);
    ASSERT_TRUE(m_receiver.WaitForBytes(strBurst.size()));
    std::lock_guard guard(m_receiver.mutex);
    EXPECT_EQ(m_receiver.strBytes, strBurst);
    EXPECT_FALSE(m_receiver.bContractBroken);
    EXPECT_GE(m_receiver.chunks.size(), 3u);
}

TEST_F(SerialLinkTest, ClosedOrNeverOpenedLinkIsHarmless)
{
    char achBuffer[8];
    EXPECT_TRUE(m_link.Close());
    EXPECT_TRUE(m_link.Close());
    EXPECT_EQ(m_link.Write("AT\r\n", 4), 0u);
    EXPECT_EQ(m_link.Read(achBuffer, sizeof(achBuffer)), -1);
    ASSERT_TRUE(m_link.Open(m_strSlave));
    EXPECT_TRUE(m_link.Close());
    EXPECT_TRUE(m_link.Close());
    EXPECT_FALSE(m_link.IsOpen());
    EXPECT_EQ(m_link.Write("AT\r\n", 4), 0u);
    EXPECT_EQ(m_link.Read(achBuffer, sizeof(achBuffer)), -1);
}

TEST_F(SerialLinkTest, ReopenAfterCloseDeliversAgain)
{
    for (int nRound = 0; nRound < 3; ++nRound) {
        ASSERT_TRUE(m_link.Open(m_strSlave));
        WriteMaster("OK");
        ASSERT_TRUE(m_receiver.WaitForBytes(2u * (nRound + 1)));
        m_link.Close();
    }
    EXPECT_EQ(m_receiver.Bytes(), "OKOKOK");
}

TEST_F(SerialLinkTest, ReadTakesQueuedBytesUpToCapacity)
{
    m_link.m_nByteSize = 9; // refused: the port stays open with no reader, so Read has the bytes
    EXPECT_FALSE(m_link.Open(m_strSlave));
    char achBuffer[8] = {};
    EXPECT_EQ(m_link.Read(achBuffer, sizeof(achBuffer)), 0);
    WriteMaster("0123456789");
    std::this_thread::sleep_for(100ms);
    ASSERT_EQ(m_link.Read(achBuffer, 4), 4);
    EXPECT_EQ(std::string(achBuffer, 4), "0123");
    ASSERT_EQ(m_link.Read(achBuffer, sizeof(achBuffer)), 6);
    EXPECT_EQ(std::string(achBuffer, 6), "456789");
}

TEST_F(SerialLinkTest, NoCallbackOnceCloseHasReturned)
{
    m_receiver.callDelay = 1ms;
    ASSERT_TRUE(m_link.Open(m_strSlave));
    fcntl(m_hMaster, F_SETFL, fcntl(m_hMaster, F_GETFL) | O_NONBLOCK); // nobody reads after Close
    std::atomic<bool> bFlooding{true};
    std::thread flood([&] {
        const std::string strBlock(64, 'x');
        while (bFlooding)
            if (write(m_hMaster, strBlock.data(), strBlock.size()) < 0)
                std::this_thread::sleep_for(1ms);
    });
    ASSERT_TRUE(m_receiver.WaitForBytes(1000));
    m_link.Close();
    const size_t nChunksAtClose = m_receiver.chunks.size();
    std::this_thread::sleep_for(200ms);
    bFlooding = false;
    flood.join();
    std::lock_guard guard(m_receiver.mutex);
    EXPECT_EQ(m_receiver.chunks.size(), nChunksAtClose);
    EXPECT_FALSE(m_receiver.bContractBroken);
}

TEST_F(SerialLinkTest, WithoutReceiverBytesAreDroppedNotQueued)
{
    m_link.SetReceiveCallback(nullptr, nullptr);
    ASSERT_TRUE(m_link.Open(m_strSlave));
    WriteMaster("dropped");
    std::this_thread::sleep_for(200ms);
    m_link.SetReceiveCallback(CReceiver::OnReceive, &m_receiver);
    WriteMaster("kept");
    ASSERT_TRUE(m_receiver.WaitForBytes(4));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(m_receiver.Bytes(), "kept");
}

TEST_F(SerialLinkTest, HangUpEndsTheReaderAndReportsOnce)
{
    ASSERT_TRUE(m_link.Open(m_strSlave));
    close(m_hSlave); // only the link holds the slave side now
    m_hSlave = -1;
    CloseMaster();
    ASSERT_TRUE(m_receiver.WaitUntil([&] { return m_receiver.nDisconnects > 0; }));
    std::this_thread::sleep_for(300ms); // a spinning reader would report again
    EXPECT_EQ(m_receiver.nDisconnects, 1);
    EXPECT_FALSE(m_link.IsOpen());
    EXPECT_EQ(m_link.Write("AT\r\n", 4), 0u);
    EXPECT_TRUE(m_link.Close());
    EXPECT_EQ(m_receiver.nDisconnects, 1);
}

TEST_F(SerialLinkTest, CloseDoesNotReportADisconnect)
{
    ASSERT_TRUE(m_link.Open(m_strSlave));
    m_link.Close();
    CloseMaster();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(m_receiver.nDisconnects, 0);
}

TEST_F(SerialLinkTest, HardwareFlowWithoutCtsSendsNothing)
{
    m_link.m_nFlowControl = FLOW_HARDWARE;
    ASSERT_TRUE(m_link.Open(m_strSlave));
    EXPECT_EQ(m_link.Write("AT\r\n", 4), 0u);
    EXPECT_EQ(ReadMaster(1, 200ms), "");
}

TEST_F(SerialLinkTest, WritesFromTwoThreadsNeverInterleave)
{
    ASSERT_TRUE(m_link.Open(m_strSlave));
    constexpr int kBlocks = 100;
    constexpr size_t kBlockBytes = 700;
    auto writer = [&](char ch) {
        const std::string strBlock(kBlockBytes, ch);
        for (int i = 0; i < kBlocks; ++i)
            EXPECT_EQ(m_link.Write(strBlock.data(), kBlockBytes), kBlockBytes);
    };
    std::thread first(writer, 'a');
    std::thread second(writer, 'b');
    const std::string strAll = ReadMaster(2 * kBlocks * kBlockBytes, 20000ms);
    first.join();
    second.join();
    ASSERT_EQ(strAll.size(), 2 * kBlocks * kBlockBytes);
    for (size_t nBlock = 0; nBlock < strAll.size(); nBlock += kBlockBytes)
        ASSERT_EQ(strAll.substr(nBlock, kBlockBytes), std::string(kBlockBytes, strAll[nBlock]))
            << "block at " << nBlock << " mixes two writes";
}

// The receive function may close the link; the reader must not try to join itself.
TEST_F(SerialLinkTest, CloseFromInsideTheReceiveFunction)
{
    struct CCloser
    {
        CSerialLink *pLink;
        std::atomic<int> nCalls{0};
    } closer{&m_link};
    m_link.SetReceiveCallback(
        [](const char *, int32_t, void *pUser) {
            auto *pSelf = static_cast<CCloser *>(pUser);
            ++pSelf->nCalls;
            pSelf->pLink->Close();
        },
        &closer);
    ASSERT_TRUE(m_link.Open(m_strSlave));
    WriteMaster("x");
    for (int i = 0; i < 100 && closer.nCalls == 0; ++i)
        std::this_thread::sleep_for(10ms);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(closer.nCalls, 1);
    EXPECT_FALSE(m_link.IsOpen());
    ASSERT_TRUE(m_link.Open(m_strSlave)); // and it opens again with a fresh reader
}

// Deleting a link whose reader is inside the receive function must wait for it (ASan sees it).
TEST_F(SerialLinkTest, DestructorWaitsForTheRunningReader)
{
    m_receiver.callDelay = 20ms;
    auto pLink = std::make_unique<CSerialLink>();
    pLink->SetReceiveCallback(CReceiver::OnReceive, &m_receiver);
    ASSERT_TRUE(pLink->Open(m_strSlave));
    WriteMaster(std::string(5000, 'z'));
    ASSERT_TRUE(m_receiver.WaitUntil([&] { return m_receiver.bInCall.load(); }, kWait) ||
                !m_receiver.strBytes.empty());
    pLink.reset();
    const size_t nChunks = m_receiver.chunks.size();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(m_receiver.chunks.size(), nChunks);
}

} // namespace

// A device that never takes its bytes (the line stalled) must not hold the writer for ever: the
// write gives up after its bound and reports that nothing certain went out.
TEST_F(SerialLinkTest, WriteToAStalledLineGivesUp)
{
    ASSERT_TRUE(m_link.Open(m_strSlave));
    const std::string strBlock(1000, 'x');
    uint32_t nWritten = static_cast<uint32_t>(strBlock.size());
    int nBlocks = 0;
    // The pty's queue fills after some kilobytes; the next write then waits out its bound.
    for (; nBlocks < 1000 && nWritten == strBlock.size(); ++nBlocks)
        nWritten = m_link.Write(strBlock.data(), static_cast<uint32_t>(strBlock.size()));
    EXPECT_LT(nBlocks, 1000);
    EXPECT_EQ(nWritten, 0u);
    EXPECT_TRUE(m_link.IsOpen());
}
