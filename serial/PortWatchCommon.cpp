#include "serial/PortWatchShared.h"

std::vector<CPortEvent> DiffPortSnapshots(const CPortSnapshot &before, const CPortSnapshot &after,
                                          const std::set<std::string> &vanished)
{
    std::vector<CPortEvent> gone;
    std::vector<CPortEvent> appeared;
    for (const auto &[strPath, strTarget] : before) {
        const auto now = after.find(strPath);
        const bool bReplugged =
            now != after.end() && (now->second != strTarget || vanished.count(strPath) != 0 ||
                                   vanished.count(strTarget) != 0);
        if (now == after.end() || bReplugged)
            gone.push_back({EPortChange::Gone, strPath});
        if (bReplugged)
            appeared.push_back({EPortChange::Appeared, strPath});
    }
    for (const auto &[strPath, strTarget] : after) {
        if (before.count(strPath) == 0)
            appeared.push_back({EPortChange::Appeared, strPath});
    }
    gone.insert(gone.end(), appeared.begin(), appeared.end());
    return gone;
}

namespace {

std::vector<std::string> Keys(const CPortSnapshot &snapshot)
{
    std::vector<std::string> keys;
    for (const auto &entry : snapshot)
        keys.push_back(entry.first);
    return keys;
}

} // namespace

std::vector<CPortEvent> CPortWatchShared::Take(CPortSnapshot snapshot,
                                               const std::set<std::string> &vanished)
{
    const std::lock_guard lock(m_mutex);
    std::vector<CPortEvent> events = DiffPortSnapshots(m_present, snapshot, vanished);
    m_present = std::move(snapshot);
    if (!m_bLooked)
        m_atStart = Keys(m_present);
    m_bLooked = true;
    return events;
}

std::vector<std::string> CPortWatchShared::PresentAtStart() const
{
    const std::lock_guard lock(m_mutex);
    return m_atStart;
}

std::vector<std::string> CPortWatchShared::Present() const
{
    const std::lock_guard lock(m_mutex);
    return Keys(m_present);
}
