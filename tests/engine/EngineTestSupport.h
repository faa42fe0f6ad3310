#pragma once

#include "protocol/AtProtocol.h"
#include "serial/SerialLine.h"
#include "tests/support/FormView.h"

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A line that is open at will, records every write and every rate it is set to, and may hold a
// module that answers each written command; the answer waits until the test delivers it.
class CScriptedLine : public ISerialLine
{
public:
    bool IsOpen() const override { return m_bOpen; }
    uint32_t Write(const void *pData, uint32_t nLength) override
    {
        const std::string strCommand(static_cast<const char *>(pData), nLength);
        m_written.push_back(strCommand);
        if (m_fnModule)
            m_replies.push_back(m_fnModule(strCommand));
        return nLength;
    }
    uint32_t LineRate() const override { return m_nRate; }
    bool SetLineRate(uint32_t nRate) override
    {
        m_rates.push_back(nRate);
        m_nRate = nRate;
        return nRate != m_nRefusedRate;
    }

    bool m_bOpen = true;
    std::vector<std::string> m_written;
    std::vector<std::string> m_replies; // the module's answers not yet delivered
    std::function<std::string(const std::string &)> m_fnModule;
    uint32_t m_nRate = 9600;
    uint32_t m_nRefusedRate = 0; // a rate the port cannot run at
    std::vector<uint32_t> m_rates;
};

// The engine as a face holds it, on the in-memory form with a fake clock and a scripted line.
// engine-> reaches the engine's operations; the rest is what the view and the line recorded.
class CTestEngine
{
public:
    using Clock = CFormView::Clock;

    explicit CTestEngine(bool bRateUnknown = false)
    {
        m_view.Attach(m_engine);
        m_engine.InitForm();
        m_engine.AttachLine(&m_line, nullptr, bRateUnknown);
    }

    CModuleSetupEngine *operator->() { return &m_engine; }
    CModuleSetupEngine &Engine() { return m_engine; }

    void Feed(std::string_view bytes) { m_engine.OnReceivedBytes(bytes.data(), bytes.size()); }

    // Delivers the module's replies until it has nothing more to say.
    void Pump()
    {
        while (!m_line.m_replies.empty()) {
            const std::string strReply = m_line.m_replies.front();
            m_line.m_replies.erase(m_line.m_replies.begin());
            Feed(strReply);
        }
    }

    void Advance(std::chrono::milliseconds elapsed)
    {
        m_now += elapsed;
        m_view.FireDueTimers(m_now);
    }

    void AnswerAll(int nAnswer)
    {
        m_view.m_fnMessagePolicy = [nAnswer](const std::string &, const std::string &, unsigned) {
            return nAnswer;
        };
    }

    std::string Status() const { return m_view.Status(); }
    bool IsTimerArmed(unsigned nIdEvent) const { return m_view.IsTimerArmed(nIdEvent); }
    // The next deadline of a timer that keeps a run going; the wait for replies that may still
    // come after their run went on keeps nothing going.
    std::optional<Clock::time_point> NextDeadline() const
    {
        return m_view.NextDeadline({TIMER_LATE});
    }
    // The user ticks or clears a box, and the engine hears of the click.
    void ClickCheck(int nId, bool bChecked) { m_view.ClickCheck(nId, bChecked); }

    Clock::time_point m_now{};
    CFormView m_view{[this] { return m_now; }};
    CScriptedLine m_line;

private:
    CModuleSetupEngine m_engine{m_view};

public:
    // What the tests read, by the names they have always used.
    CFormModel &m_form = m_view.m_form;
    std::vector<std::string> &m_statusTexts = m_view.m_statusTexts;
    std::vector<CMessageRecord> &m_messageBoxes = m_view.m_messageBoxes;
    CFormView::MessagePolicy &m_fnMessagePolicy = m_view.m_fnMessagePolicy;
    std::vector<CRunEnd> &m_runEnds = m_view.m_runEnds;
    std::vector<uint32_t> &m_probeEnds = m_view.m_probeEnds;
    std::vector<std::string> &m_written = m_line.m_written;
    std::vector<std::string> &m_replies = m_line.m_replies;
    std::function<std::string(const std::string &)> &m_fnModule = m_line.m_fnModule;
    bool &m_bPortOpen = m_line.m_bOpen;
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

// The form's members hold these texts (read from the controls, checked) while the controls show
// what they showed before, so a test sees whether a read or a write of the form reached them.
inline void HoldInMembers(CTestEngine &engine,
                          const std::vector<std::pair<int, std::string>> &fields)
{
    std::vector<std::string> shown;
    for (const auto &[nId, strText] : fields) {
        shown.push_back(engine.m_form.GetWindowText(nId));
        engine.m_form.SetWindowText(nId, strText);
    }
    ASSERT_TRUE(engine->UpdateData(true));
    for (size_t i = 0; i < fields.size(); ++i)
        engine.m_form.SetWindowText(fields[i].first, shown[i]);
}
