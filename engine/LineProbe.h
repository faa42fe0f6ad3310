#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

// Finds the rate a module's command interface answers at: "AT" at each rate in turn, and a
// properly framed "OK" as the only proof. At a wrong rate a module answers noise, so nothing else
// counts, not even an "OK" that is not a line of its own. Knows no link and no clock: its owner
// sets the rate, writes the command, hands over the bytes and tells it when a wait ran out.
class CLineProbe
{
public:
    // The order the rates are tried in: the usual ones first.
    static constexpr uint32_t kRates[] = {9600,  38400, 115200, 57600,  19200,  4800,
                                          2400,  1200,  230400, 460800, 921600, 1382400};
    static constexpr size_t kRateCount = sizeof(kRates) / sizeof(kRates[0]);
    static constexpr char kCommand[] = "AT\r\n";
    static constexpr char kAnswer[] = "\r\nOK\r\n";
    // Beyond the bytes on the wire: what a module takes to answer, and what the way from the
    // port to the reader adds.
    static constexpr std::chrono::milliseconds kReplyMargin{150};

    // How long to wait at a rate: the command and the answer on the wire (ten bits a byte), plus
    // the margin.
    static std::chrono::milliseconds WaitAt(uint32_t nRate);
    // The bytes on the wire alone, for every rate tried; the least a probe with no module costs
    // is this plus a margin per rate.
    static std::chrono::microseconds WireTimeAt(uint32_t nRate);

    // What the owner does next.
    enum class EStep {
        Wait,     // keep waiting at this rate
        Write,    // write kCommand again at this rate (the answer is being confirmed)
        NextRate, // set the line to Rate() and write kCommand
        Found,    // Rate() answered
        NotFound, // no rate answered
    };

    void Start();
    void Stop() { m_bRunning = false; }
    uint32_t Rate() const { return kRates[m_nIndex]; }
    size_t RateIndex() const { return m_nIndex; }
    bool IsRunning() const { return m_bRunning; }

    // Received bytes at the current rate.
    EStep OnBytes(const char *pData, size_t nLength);
    // The wait at the current rate ran out.
    EStep OnTimeout();

private:
    EStep NextRate();

    size_t m_nIndex = 0;
    bool m_bRunning = false;
    int m_nAnswers = 0;    // framed answers at this rate so far
    std::string m_strTail; // the last bytes, letters in upper case, in case an answer is split
};
