#pragma once

// What the watch keeps alike on every system: the last look, which other threads read, and the
// stop flag. Each system's watch builds on it; nothing outside serial/ includes this.

#include "serial/PortWatch.h"

#include <atomic>
#include <mutex>

struct CPortWatchShared
{
    std::atomic<bool> bStopped{false};

    // Takes a look's result and returns the changes since the look before; the first look's
    // devices are those present at start.
    std::vector<CPortEvent> Take(CPortSnapshot snapshot, const std::set<std::string> &vanished);
    std::vector<std::string> PresentAtStart() const;
    std::vector<std::string> Present() const;

private:
    mutable std::mutex m_mutex; // guards what other threads may read:
    bool m_bLooked = false;
    CPortSnapshot m_present;
    std::vector<std::string> m_atStart;
};
