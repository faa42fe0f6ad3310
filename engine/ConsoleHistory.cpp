#include "engine/ConsoleHistory.h"

#include "serial/PortSettings.h"

#include <algorithm>

namespace {

const std::string kSection = "Console";
const std::string kEolKey = "LineEnding";

// "Command1" is the newest: a profile holding more than the kept number loses its oldest.
std::string EntryKey(size_t nIndex)
{
    return "Command" + std::to_string(nIndex + 1);
}

// A profile may trim blanks at a value's ends and take off quotes that enclose it (the Windows
// profile functions do both), so such an end is stored as its escape, which sends the same byte.
std::string ProtectEnds(std::string strStored)
{
    if (strStored.ends_with(' '))
        strStored.replace(strStored.size() - 1, 1, "\\x20");
    const bool bEnclosed = strStored.size() >= 2 && strStored.front() == strStored.back() &&
                           (strStored.front() == '"' || strStored.front() == '\'');
    if (strStored.starts_with(' ') || bEnclosed)
        strStored.replace(0, 1,
                          strStored.front() == ' '   ? "\\x20"
                          : strStored.front() == '"' ? "\\x22"
                                                     : "\\x27");
    return strStored;
}

// What a profile entry may hold: a command the console would send with no ending at all.
bool IsSendable(const std::string &strTyped)
{
    return BuildConsoleCommand(strTyped, EConsoleEol::None).Ok();
}

} // namespace

void CConsoleHistory::Add(const std::string &strTyped)
{
    ResetRecall();
    if (strTyped.empty())
        return;
    std::erase(m_entries, strTyped);
    m_entries.push_back(strTyped);
    if (m_entries.size() > kMaxEntries)
        m_entries.erase(m_entries.begin(), m_entries.end() - kMaxEntries);
    m_nRecall = m_entries.size();
}

std::optional<std::string> CConsoleHistory::Up(const std::string &strTyped)
{
    if (m_nRecall > m_entries.size())
        m_nRecall = m_entries.size();
    if (m_nRecall == 0)
        return std::nullopt;
    if (m_nRecall == m_entries.size())
        m_strDraft = strTyped;
    return m_entries[--m_nRecall];
}

std::optional<std::string> CConsoleHistory::Down()
{
    if (m_nRecall >= m_entries.size())
        return std::nullopt;
    if (++m_nRecall == m_entries.size())
        return m_strDraft;
    return m_entries[m_nRecall];
}

void CConsoleHistory::ResetRecall()
{
    m_nRecall = m_entries.size();
    m_strDraft.clear();
}

void CConsoleHistory::Load(CProfile &profile)
{
    m_entries.clear();
    // Read newest first, so the first of two equal entries is the one kept.
    for (size_t i = 0; i < kMaxEntries; ++i) {
        const std::optional<std::string> strEntry = profile.ReadString(kSection, EntryKey(i));
        if (strEntry && IsSendable(*strEntry) &&
            std::find(m_entries.begin(), m_entries.end(), *strEntry) == m_entries.end())
            m_entries.push_back(*strEntry);
    }
    std::reverse(m_entries.begin(), m_entries.end());
    const std::optional<std::string> strEol = profile.ReadString(kSection, kEolKey);
    m_eEol = ParseConsoleEolName(strEol.value_or("")).value_or(kDefaultConsoleEol);
    ResetRecall();
}

void CConsoleHistory::Save(CProfile &profile) const
{
    for (size_t i = 0; i < kMaxEntries; ++i) {
        if (i < m_entries.size())
            profile.WriteString(kSection, EntryKey(i),
                                ProtectEnds(m_entries[m_entries.size() - 1 - i]));
        else
            profile.Remove(kSection, EntryKey(i));
    }
    profile.WriteString(kSection, kEolKey, ConsoleEolName(m_eEol));
    profile.Flush();
}
