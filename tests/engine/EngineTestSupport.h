#pragma once

#include "engine/FormModel.h"
#include "protocol/AtProtocol.h"

#include <chrono>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// The headless engine with a port that is open at will, a recorded wire and a fake clock. An
// optional module answers each written command; its reply is delivered by Pump().
class CTestEngine : public CHeadlessEngine
{
public:
    CTestEngine() : CHeadlessEngine([this] { return m_now; }) {}

    bool IsPortOpen() const override { return m_bPortOpen; }
    void WriteCommand(const char *pCommand) override
    {
        m_written.emplace_back(pCommand);
        if (m_fnModule)
            m_replies.push_back(m_fnModule(pCommand));
    }

    void Feed(std::string_view bytes) { OnReceivedBytes(bytes.data(), bytes.size()); }

    // Delivers the module's replies until it has nothing more to say.
    void Pump()
    {
        while (!m_replies.empty()) {
            const std::string strReply = m_replies.front();
            m_replies.erase(m_replies.begin());
            Feed(strReply);
        }
    }

    void Advance(std::chrono::milliseconds elapsed)
    {
        m_now += elapsed;
        FireDueTimers(m_now);
    }

    void AnswerAll(int nAnswer)
    {
        m_fnMessagePolicy = [nAnswer](const std::string &, const std::string &, unsigned) {
            return nAnswer;
        };
    }

    std::string Status() const { return m_statusTexts.empty() ? "" : m_statusTexts.back(); }

    void OnRunEnded(const CRunEnd &runEnd) override { m_runEnds.push_back(runEnd); }

    using CModuleSetupEngine::OnSetRunEnded;

    bool m_bPortOpen = true;
    std::vector<std::string> m_written;
    std::vector<std::string> m_replies;
    std::vector<CRunEnd> m_runEnds; // every action's end, oldest first
    std::function<std::string(const std::string &)> m_fnModule;
    Clock::time_point m_now{};
};

// A module named strName that answers every query with its line and "OK", has no bound address,
// answers set lines, reset and clear with "OK", and whose search finds one device.
inline std::string ScriptedModuleReply(const std::string &strCommand,
                                       const std::string &strName = "CORVA3264")
{
    static const std::map<std::string, std::string> s_replies = {
        {"AT+VERSION?\r\n", "\r\n+VERSION:V4.25\r\n"},
        {"AT+CLASS?\r\n", "\r\n+CLASS:001f00\r\n"},
        {"AT+ROLE?\r\n", "\r\n+ROLE:0\r\n"},
        {"AT+BIND?\r\n", "\r\n+BIND:0\r\n"},
        {"AT+AUTH?\r\n", "\r\n+AUTH:1\r\n"},
        {"AT+PASSWORD?\r\n", "\r\n+PASSWORD:7391\r\n"},
        {"AT+BAUD?\r\n", "\r\n+BAUD:9600\r\n"},
        {"AT+UARTMODE?\r\n", "\r\n+UARTMODE:0,0\r\n"},
        {"AT+SCANTIME?\r\n", "\r\n+SCAN:1024,512,1024,512\r\n"},
        {"AT+SNIFF?\r\n", "\r\n+SNIFF:0,0,0,0\r\n"},
        {"AT+LADDR?\r\n", "\r\n+LADDR:00158300A1B2\r\n"},
    };
    if (strCommand == "AT+NAME?\r\n")
        return "\r\n+NAME:" + strName + "\r\n\r\nOK\r\n";
    if (strCommand == "AT+RADDR?\r\n")
        return "\r\nERROR\r\n";
    if (strCommand == "AT+INQ\r\n")
        return "\r\nOK\r\n\r\n+INQRESU:0011223344AA,Phone\r\n\r\n+INQCOMP\r\n";
    const auto it = s_replies.find(strCommand);
    return (it == s_replies.end() ? std::string() : it->second) + "\r\nOK\r\n";
}

inline std::vector<std::string> QueryCommands()
{
    return std::vector<std::string>(std::begin(QueryCommandTable), std::end(QueryCommandTable));
}
