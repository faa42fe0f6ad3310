#include "engine/LineProbe.h"


namespace {
constexpr size_t kCommandBytes = sizeof(CLineProbe::kCommand) - 1;
constexpr size_t kAnswerBytes = sizeof(CLineProbe::kAnswer) - 1;
constexpr uint64_t kBitsPerByte = 10; // start, eight data, stop
} // namespace

std::chrono::microseconds CLineProbe::WireTimeAt(uint32_t nRate)
{
    const uint64_t nBits = (kCommandBytes + kAnswerBytes) * kBitsPerByte;
    return std::chrono::microseconds((nBits * 1000000 + nRate - 1) / nRate);
}

std::chrono::milliseconds CLineProbe::WaitAt(uint32_t nRate)
{
    return std::chrono::ceil<std::chrono::milliseconds>(WireTimeAt(nRate)) + kReplyMargin;
}

void CLineProbe::Start()
{
    m_nIndex = 0;
    m_bRunning = true;
    m_nAnswers = 0;
    m_strTail.clear();
}

CLineProbe::EStep CLineProbe::OnBytes(const char *pData, size_t nLength)
{
    if (!m_bRunning || pData == nullptr)
        return EStep::Wait;
    // Keywords count in either case, as everywhere else on this line.
    for (size_t i = 0; i < nLength; ++i) {
        const char ch = pData[i];
        m_strTail.push_back(ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 'a' + 'A') : ch);
    }
    const size_t nAt = m_strTail.find(kAnswer);
    if (nAt == std::string::npos) {
        // Only a beginning of the answer can still complete; the rest is noise.
        if (m_strTail.size() >= kAnswerBytes)
            m_strTail.erase(0, m_strTail.size() - (kAnswerBytes - 1));
        return EStep::Wait;
    }
    ++m_nAnswers;
    // The first rate has nothing before it whose late answer could arrive now; at any later
    // rate the answer must come twice, to the command written at this rate.
    if (m_nIndex == 0 || m_nAnswers >= 2) {
        m_bRunning = false;
        return EStep::Found;
    }
    m_strTail.clear();
    return EStep::Write;
}

CLineProbe::EStep CLineProbe::OnTimeout()
{
    if (!m_bRunning)
        return EStep::Wait;
    return NextRate();
}

CLineProbe::EStep CLineProbe::NextRate()
{
    m_strTail.clear();
    m_nAnswers = 0;
    if (m_nIndex + 1 >= kRateCount) {
        m_bRunning = false;
        return EStep::NotFound;
    }
    ++m_nIndex;
    return EStep::NextRate;
}
