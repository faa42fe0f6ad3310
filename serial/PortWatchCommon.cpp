#include "serial/PortWatch.h"

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
