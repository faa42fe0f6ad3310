#include "serial/PortChoice.h"

#include <algorithm>
#include <charconv>
#include <climits>

namespace {
constexpr int kComPortCount = 50; // COM1 to COM50 are always offered, and kept by their index
const std::string kEntrySeparator = "  ";
const std::string kDevicePrefix = "\\\\.\\";
// The flow list's entries, by index.
constexpr uint8_t kFlowModes[] = {FLOW_NONE, FLOW_HARDWARE};

char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(const std::string &strA, const std::string &strB)
{
    return strA.size() == strB.size() &&
           std::equal(strA.begin(), strA.end(), strB.begin(),
                      [](char a, char b) { return LowerAscii(a) == LowerAscii(b); });
}

std::string Trimmed(const std::string &strText)
{
    const size_t nBegin = strText.find_first_not_of(" \t");
    if (nBegin == std::string::npos)
        return {};
    return strText.substr(nBegin, strText.find_last_not_of(" \t") - nBegin + 1);
}

// A registry entry's device object name ("\Device\Serial0") tells a user nothing.
std::string ShownDescription(const CSerialPortEntry &port)
{
    return port.strDescription.rfind('\\', 0) == 0 ? std::string() : port.strDescription;
}

// COM ports in number order, any other name after them.
int ComOrder(const CPortChoiceEntry &entry)
{
    const int nNumber = CPortChoice::ComNumber(entry.strNode);
    return nNumber == 0 ? INT_MAX : nNumber;
}

bool ByComNumber(const CPortChoiceEntry &a, const CPortChoiceEntry &b)
{
    return ComOrder(a) < ComOrder(b);
}
} // namespace

CPortChoice::CPortChoice(EPortFlavour eFlavour, const std::vector<CSerialPortEntry> &systemPorts,
                         CProfile &profile, const CPreferredPort &preferred)
    : m_eFlavour(eFlavour)
{
    // Windows keeps an index into COM1 to COM50; elsewhere the index is the list's.
    if (eFlavour == EPortFlavour::Windows) {
        ListWindowsPorts(systemPorts);
        m_saved = CPortSettings::Load(profile, kComPortCount);
    } else {
        ListPosixPorts(systemPorts, preferred);
        m_saved = CPortSettings::Load(profile, static_cast<int>(m_entries.size()));
    }
    // A raw pseudo-terminal saved by an older version now belongs to some other terminal.
    const std::string &strSaved = m_saved.m_strPortName;
    Preselect(CSerialLink::IsRawPseudoTerminal(strSaved) ? std::string() : strSaved,
              !preferred.strPath.empty());
}

int CPortChoice::ComNumber(const std::string &strName)
{
    const std::string strPort =
        strName.rfind(kDevicePrefix, 0) == 0 ? strName.substr(kDevicePrefix.size()) : strName;
    if (strPort.size() <= 3 || !EqualNoCase(strPort.substr(0, 3), "COM"))
        return 0;
    int nNumber = 0;
    const char *pEnd = strPort.data() + strPort.size();
    const auto [pStop, error] = std::from_chars(strPort.data() + 3, pEnd, nNumber);
    return error == std::errc() && pStop == pEnd && nNumber > 0 ? nNumber : 0;
}

void CPortChoice::ListWindowsPorts(const std::vector<CSerialPortEntry> &systemPorts)
{
    for (const CSerialPortEntry &port : systemPorts)
        m_entries.push_back(
            EntryForName(port.strPath, ShownDescription(port), PathForName(port.strPath)));
    for (int nNumber = 1; nNumber <= kComPortCount; ++nNumber) {
        if (std::none_of(m_entries.begin(), m_entries.end(), [&](const CPortChoiceEntry &entry) {
                return ComNumber(entry.strNode) == nNumber;
            })) {
            const std::string strName = "COM" + std::to_string(nNumber);
            m_entries.push_back(EntryForName(strName, {}, PathForName(strName)));
        }
    }
    std::stable_sort(m_entries.begin(), m_entries.end(), ByComNumber);
}

void CPortChoice::ListPosixPorts(const std::vector<CSerialPortEntry> &systemPorts,
                                 const CPreferredPort &preferred)
{
    if (!preferred.strPath.empty())
        m_entries.push_back(
            EntryForName(preferred.strPath, preferred.strDescription, preferred.strPath));
    for (const CSerialPortEntry &port : systemPorts) {
        if (port.strPath == preferred.strPath)
            continue;
        // A replugged adapter may come back at another node; its by-id name follows it there.
        m_entries.push_back(EntryForName(port.strPath, ShownDescription(port),
                                         port.strById.empty() ? port.strPath : port.strById));
    }
}

void CPortChoice::Preselect(const std::string &strSavedName, bool bPreferred)
{
    // The saved device wins over the saved index: the system's list may have reordered.
    int nIndex = m_saved.m_nPortNum;
    const int nByName = strSavedName.empty() ? -1 : FindByName(strSavedName);
    if (nByName >= 0) {
        nIndex = nByName;
    } else if (!strSavedName.empty() && !bPreferred) {
        // Typed, or an adapter not plugged in right now: the same port is offered again rather
        // than whatever now stands at the saved index.
        CPortChoiceEntry entry = EntryForName(strSavedName, {}, PathForName(strSavedName));
        auto at = m_eFlavour == EPortFlavour::Windows
                      ? std::upper_bound(m_entries.begin(), m_entries.end(), entry, ByComNumber)
                      : m_entries.end();
        // The insertion may move the list: its place is counted from where it now begins.
        const auto inserted = m_entries.insert(at, std::move(entry));
        nIndex = static_cast<int>(inserted - m_entries.begin());
    }
    if (bPreferred)
        nIndex = 0;
    m_nSelected = nIndex >= 0 && nIndex < static_cast<int>(m_entries.size()) ? nIndex : -1;
}

int CPortChoice::FindByName(const std::string &strName) const
{
    // A name kept before the adapter was known by its by-id name finds it by its node too.
    for (const auto pMember : {&CPortChoiceEntry::strPath, &CPortChoiceEntry::strNode}) {
        for (size_t i = 0; i < m_entries.size(); ++i) {
            if (SameName(m_entries[i].*pMember, strName))
                return static_cast<int>(i);
        }
    }
    return -1;
}

bool CPortChoice::SameName(const std::string &strA, const std::string &strB) const
{
    if (m_eFlavour == EPortFlavour::Posix)
        return strA == strB;
    const int nNumber = ComNumber(strA);
    return nNumber > 0 ? nNumber == ComNumber(strB) : EqualNoCase(strA, strB);
}

std::string CPortChoice::PathForName(const std::string &strName) const
{
    const int nNumber = m_eFlavour == EPortFlavour::Windows ? ComNumber(strName) : 0;
    return nNumber > 0 ? kDevicePrefix + "COM" + std::to_string(nNumber) : strName;
}

CPortChoiceEntry CPortChoice::EntryForName(const std::string &strName,
                                           const std::string &strDescription,
                                           const std::string &strPath) const
{
    return {strDescription.empty() ? strName : strName + kEntrySeparator + strDescription, strPath,
            strName};
}

std::optional<CPortChosen> CPortChoice::Choose(const std::string &strBoxText, int nFlowIndex,
                                               uint32_t nLineRate) const
{
    // A listed entry gives its path; a typed text is taken as a name up to any description.
    const std::string strText = Trimmed(strBoxText);
    const auto listed =
        std::find_if(m_entries.begin(), m_entries.end(),
                     [&](const CPortChoiceEntry &e) { return e.strText == strText; });
    const std::string strName = Trimmed(strText.substr(0, strText.find(kEntrySeparator)));
    if (strText.empty() || (listed == m_entries.end() && strName.empty()))
        return std::nullopt;

    CPortChosen chosen;
    chosen.strPath = listed != m_entries.end() ? listed->strPath : PathForName(strName);
    if (nLineRate != kAutoLineRate && !IsLineRate(nLineRate))
        nLineRate = kDefaultLineRate;
    const bool bFlowListed =
        nFlowIndex >= 0 && nFlowIndex < static_cast<int>(std::size(kFlowModes));
    chosen.settings = m_saved; // DTR and RTS stay as the profile has them
    chosen.settings.m_nFlow = bFlowListed ? nFlowIndex : 0;
    chosen.settings.m_nBaud = static_cast<int>(nLineRate);
    KeepPort(chosen.strPath, chosen.settings);
    chosen.line = {nLineRate, kFlowModes[chosen.settings.m_nFlow], m_saved.m_bDtr, m_saved.m_bRts};
    return chosen;
}

void CPortChoice::KeepPort(const std::string &strPath, CPortSettings &settings) const
{
    if (m_eFlavour == EPortFlavour::Windows) {
        // COM1 to COM50 by their index, as ever; any other port by its name.
        const int nNumber = ComNumber(strPath);
        const bool bIndexed = nNumber >= 1 && nNumber <= kComPortCount;
        settings.m_nPortNum = bIndexed ? nNumber - 1 : 0;
        settings.m_strPortName = bIndexed      ? std::string()
                                 : nNumber > 0 ? "COM" + std::to_string(nNumber)
                                               : strPath;
        return;
    }
    const auto listed =
        std::find_if(m_entries.begin(), m_entries.end(),
                     [&](const CPortChoiceEntry &e) { return e.strPath == strPath; });
    settings.m_nPortNum =
        listed != m_entries.end() ? static_cast<int>(listed - m_entries.begin()) : 0;
    // A raw pseudo-terminal serves this run only; the next start falls back to the saved index.
    settings.m_strPortName = CSerialLink::IsRawPseudoTerminal(strPath) ? std::string() : strPath;
}
