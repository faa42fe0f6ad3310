// link_probe.exe: drives the Win32 link through one scenario on a COM port and prints what it saw,
// one "key value" line at a time, for the Linux-side test that owns the simulated module.
//   link_probe SCENARIO PORT [BYTES]
// Lines go out as they happen ("ready" tells the Linux side to act); stdin reaching its end
// releases a scenario that holds the port.

#include "serial/SerialLink.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

constexpr auto kWait = 10s;

// What the link delivered, with the delivery contract checked on every call.
struct CReceiver
{
    std::mutex mutex;
    std::condition_variable changed;
    std::string strBytes;
    std::vector<int32_t> chunks;
    int nDisconnects = 0;
    bool bContractBroken = false; // empty or oversized chunk, or no NUL behind it

    static void OnReceive(const char *pData, int32_t nLength, void *pUser)
    {
        auto *pSelf = static_cast<CReceiver *>(pUser);
        std::lock_guard guard(pSelf->mutex);
        pSelf->bContractBroken |= nLength <= 0 || nLength > 1024 || pData[nLength] != 0;
        pSelf->strBytes.append(pData, static_cast<size_t>(nLength));
        pSelf->chunks.push_back(nLength);
        pSelf->changed.notify_all();
    }
    static void OnDisconnect(void *pUser)
    {
        auto *pSelf = static_cast<CReceiver *>(pUser);
        std::lock_guard guard(pSelf->mutex);
        ++pSelf->nDisconnects;
        pSelf->changed.notify_all();
    }
    template <typename Pred> bool WaitUntil(Pred pred)
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, kWait, pred);
    }
    size_t ByteCount()
    {
        std::lock_guard guard(mutex);
        return strBytes.size();
    }
};

void Say(const std::string &strKey, const std::string &strValue)
{
    std::cout << strKey << " " << strValue << std::endl;
}

std::string Hex(const std::string &strBytes)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string strHex;
    for (unsigned char ch : strBytes) {
        strHex += kDigits[ch >> 4];
        strHex += kDigits[ch & 15];
    }
    return strHex;
}

bool OpenLink(CSerialLink &link, CReceiver &receiver, const std::string &strPort)
{
    link.SetReceiveCallback(&CReceiver::OnReceive, &receiver);
    link.SetDisconnectCallback(&CReceiver::OnDisconnect, &receiver);
    link.m_nBaudRate = 9600;
    const bool bOpen = link.Open(strPort);
    Say("open", bOpen ? "1" : "0 " + std::to_string(link.LastOpenError()));
    return bOpen;
}

void WaitForStdinEnd()
{
    std::string strLine;
    while (std::getline(std::cin, strLine)) {
    }
}

// A command out and the module's whole reply back.
int Exchange(CSerialLink &link, CReceiver &receiver)
{
    const char kCommand[] = "AT+NAME?\r\n";
    Say("write", std::to_string(link.Write(kCommand, sizeof(kCommand) - 1)));
    receiver.WaitUntil([&] { return receiver.strBytes.find("OK\r\n") != std::string::npos; });
    Say("received", Hex(receiver.strBytes));
    return 0;
}

// A burst from the Linux side: every byte arrives, in chunks of at most 1024.
int Chunks(CReceiver &receiver, size_t nBytes)
{
    Say("ready", "1");
    receiver.WaitUntil([&] { return receiver.strBytes.size() >= nBytes; });
    std::string strSizes;
    for (int32_t nSize : receiver.chunks) {
        if (!strSizes.empty())
            strSizes += ',';
        strSizes += std::to_string(nSize);
    }
    Say("chunks", strSizes.empty() ? "none" : strSizes);
    Say("contract", receiver.bContractBroken ? "broken" : "kept");
    Say("received", Hex(receiver.strBytes));
    return 0;
}

// A second link on the port is refused while the first holds it; then the port is held until
// stdin ends, so that other programs can be tried against it.
int Busy(const std::string &strPort)
{
    CSerialLink second;
    CReceiver receiver;
    OpenLink(second, receiver, strPort);
    Say("ready", "1");
    WaitForStdinEnd();
    return 0;
}

// Closed twice, the link refuses to move bytes; opened again, it works as before.
int CloseTwiceThenReopen(CSerialLink &link, CReceiver &receiver, const std::string &strPort)
{
    Say("close", link.Close() ? "1" : "0");
    Say("close", link.Close() ? "1" : "0");
    char achBuffer[16];
    Say("isopen", link.IsOpen() ? "1" : "0");
    Say("write", std::to_string(link.Write("AT\r\n", 4)));
    Say("read", std::to_string(link.Read(achBuffer, sizeof(achBuffer))));
    if (!OpenLink(link, receiver, strPort))
        return 1;
    return Exchange(link, receiver);
}

// Close while the Linux side keeps sending: Close returns, and nothing is delivered after it.
int CloseWhileArriving(CSerialLink &link, CReceiver &receiver)
{
    Say("ready", "1");
    receiver.WaitUntil([&] { return receiver.strBytes.size() >= 64; });
    link.Close();
    const size_t nAtClose = receiver.ByteCount();
    std::this_thread::sleep_for(300ms);
    Say("closed", "1");
    Say("after", std::to_string(receiver.ByteCount() - nAtClose));
    Say("isopen", link.IsOpen() ? "1" : "0");
    return 0;
}

// The Linux side hangs the line up: the owner is told once and the link is closed.
int HangUp(CSerialLink &link, CReceiver &receiver)
{
    Say("ready", "1");
    receiver.WaitUntil([&] { return receiver.nDisconnects > 0; });
    std::this_thread::sleep_for(200ms); // a second notice would arrive here
    std::lock_guard guard(receiver.mutex);
    Say("disconnects", std::to_string(receiver.nDisconnects));
    Say("isopen", link.IsOpen() ? "1" : "0");
    return 0;
}

// Opens with the given line settings and holds the port until stdin ends, so that the Linux side
// can read what reached the terminal: link_probe settings PORT BAUD PARITY STOPBITS FLOW.
int Settings(char **argv)
{
    CSerialLink link;
    CReceiver receiver;
    link.m_nBaudRate = static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 10));
    link.m_nParity = static_cast<uint8_t>(std::atoi(argv[4]));
    link.m_nStopBits = static_cast<uint8_t>(std::atoi(argv[5]));
    link.m_nFlowControl = static_cast<uint8_t>(std::atoi(argv[6]));
    link.SetReceiveCallback(&CReceiver::OnReceive, &receiver);
    Say("open", link.Open(argv[2]) ? "1" : "0 " + std::to_string(link.LastOpenError()));
    Say("ready", "1");
    WaitForStdinEnd();
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::cerr << "usage: link_probe SCENARIO PORT [BYTES]\n";
        return 2;
    }
    const std::string strScenario = argv[1];
    const std::string strPort = argv[2];
    if (strScenario == "settings" && argc > 6)
        return Settings(argv);
    CSerialLink link;
    CReceiver receiver;
    if (!OpenLink(link, receiver, strPort))
        return 1;
    if (strScenario == "exchange")
        return Exchange(link, receiver);
    if (strScenario == "chunks" && argc > 3)
        return Chunks(receiver, std::strtoul(argv[3], nullptr, 10));
    if (strScenario == "busy")
        return Busy(strPort);
    if (strScenario == "close-twice")
        return CloseTwiceThenReopen(link, receiver, strPort);
    if (strScenario == "close-while-arriving")
        return CloseWhileArriving(link, receiver);
    if (strScenario == "hangup")
        return HangUp(link, receiver);
    std::cerr << "link_probe: unknown scenario " << strScenario << "\n";
    return 2;
}
