#include "serial/LinkTrace.h"

#include <cstdio>

CLinkTrace::CLinkTrace(Clock::time_point start, size_t nCapacity, std::mutex *pOrderLock)
    : m_start(start), m_nCapacity(nCapacity), m_mutex(pOrderLock ? *pOrderLock : m_ownLock)
{}

void CLinkTrace::Tap(CSerialLink &link, ReceiveCallback pfnReceive, void *pUser)
{
    m_pfnReceive.store(pfnReceive);
    m_pReceiveUser.store(pUser);
    link.SetReceiveCallback(&CLinkTrace::OnReceive, this);
}

void CLinkTrace::SetListener(Listener fnListener)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fnListener = std::move(fnListener);
}

void CLinkTrace::OnReceive(const char *pData, int32_t nLength, void *pUser)
{
    auto *pTrace = static_cast<CLinkTrace *>(pUser);
    // Recorded before it is passed on, so a command the receive function writes in answer
    // comes after the chunk that caused it.
    if (nLength > 0)
        pTrace->RecordReceived(pData, static_cast<size_t>(nLength));
    if (ReceiveCallback pfnReceive = pTrace->m_pfnReceive.load())
        pfnReceive(pData, nLength, pTrace->m_pReceiveUser.load());
}

void CLinkTrace::RecordWrite(const char *pData, size_t nLength)
{
    if (IsListening())
        Record(CTraceEntry::EKind::Sent, std::string(pData, nLength));
}

void CLinkTrace::RecordShortWrite(uint32_t nWritten, size_t nLength)
{
    if (!IsListening())
        return;
    Record(CTraceEntry::EKind::Note, "write ended after " + std::to_string(nWritten) + " of " +
                                         std::to_string(nLength) + " bytes");
}

void CLinkTrace::RecordNote(const std::string &strText)
{
    if (IsListening())
        Record(CTraceEntry::EKind::Note, strText);
}

void CLinkTrace::RecordReceived(const char *pData, size_t nLength)
{
    if (IsListening())
        Record(CTraceEntry::EKind::Received, std::string(pData, nLength));
}

void CLinkTrace::Record(CTraceEntry::EKind eKind, std::string strBytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    CTraceEntry entry{Clock::now(), eKind, std::move(strBytes)};
    if (m_fnListener)
        m_fnListener(entry);
    if (m_nCapacity == 0)
        return;
    if (m_entries.size() >= m_nCapacity) {
        m_entries.pop_front();
        ++m_nDropped;
    }
    m_entries.push_back(std::move(entry));
}

std::vector<CTraceEntry> CLinkTrace::Take(size_t *pnDropped)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<CTraceEntry> entries(std::make_move_iterator(m_entries.begin()),
                                     std::make_move_iterator(m_entries.end()));
    m_entries.clear();
    if (pnDropped)
        *pnDropped = m_nDropped;
    m_nDropped = 0;
    return entries;
}

std::string EscapeTraceBytes(const std::string &strBytes)
{
    std::string strText;
    strText.reserve(strBytes.size() + 8);
    for (const char ch : strBytes) {
        const auto nByte = static_cast<unsigned char>(ch);
        if (ch == '\r') {
            strText += "\\r";
        } else if (ch == '\n') {
            strText += "\\n";
        } else if (ch == '\\') {
            strText += "\\\\";
        } else if (nByte < 0x20 || nByte > 0x7E) {
            char szHex[8] = {};
            std::snprintf(szHex, sizeof(szHex), "\\x%02X", nByte);
            strText += szHex;
        } else {
            strText += ch;
        }
    }
    return strText;
}

std::string FormatTraceLine(const CTraceEntry &entry, CLinkTrace::Clock::time_point start,
                            const std::string &strPort)
{
    const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(entry.time - start);
    const long long nMicros = elapsed.count() < 0 ? 0 : static_cast<long long>(elapsed.count());
    char szTime[32] = {};
    std::snprintf(szTime, sizeof(szTime), "%6lld.%03lld", nMicros / 1000, nMicros % 1000);
    const char *pszDirection = entry.eKind == CTraceEntry::EKind::Sent       ? "TX"
                               : entry.eKind == CTraceEntry::EKind::Received ? "RX"
                                                                             : "!!";
    std::string strLine = szTime;
    if (!strPort.empty())
        strLine += " " + strPort;
    strLine += std::string(" ") + pszDirection + " ";
    strLine +=
        entry.eKind == CTraceEntry::EKind::Note ? entry.strBytes : EscapeTraceBytes(entry.strBytes);
    return strLine;
}
