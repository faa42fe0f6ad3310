#pragma once

#include "dialog/FormModel.h"

#include <chrono>
#include <functional>
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
