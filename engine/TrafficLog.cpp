#include "engine/TrafficLog.h"

#include "engine/FileText.h"

CTrafficLog::CTrafficLog(CLinkTrace &trace, std::function<void()> fnWake)
    : m_trace(trace), m_fnWake(std::move(fnWake))
{
    m_trace.SetListener([this](const CTraceEntry &) {
        if (!m_bWakePosted.exchange(true) && m_fnWake)
            m_fnWake();
    });
}

CTrafficLog::~CTrafficLog()
{
    m_trace.SetListening(false);
    m_trace.SetListener(nullptr);
}

void CTrafficLog::SetShown(bool bShown)
{
    m_trace.SetListening(bShown);
}

std::vector<std::string> CTrafficLog::Take()
{
    m_bWakePosted.store(false);
    size_t nDropped = 0;
    const std::vector<CTraceEntry> entries = m_trace.Take(&nDropped);
    std::vector<std::string> lines;
    if (nDropped > 0)
        lines.push_back("!! " + std::to_string(nDropped) +
                        " entries not shown: the view fell behind");
    for (const CTraceEntry &entry : entries)
        lines.push_back(FormatTraceLine(entry, m_trace.Start()));
    for (const std::string &strLine : lines)
        Keep(strLine);
    return lines;
}

void CTrafficLog::Keep(std::string strLine)
{
    m_lines.push_back(std::move(strLine));
    while (m_lines.size() > kMaxLines)
        m_lines.pop_front();
}

std::string CTrafficLog::Text() const
{
    std::string strText;
    for (const std::string &strLine : m_lines)
        strText += strLine + "\n";
    return strText;
}

bool CTrafficLog::SaveTo(const std::string &strPath, std::string &strError) const
{
    return WriteFileReplacing(strPath, Text(), strError);
}
