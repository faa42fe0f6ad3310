#pragma once

#include "serial/PortList.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

enum class EPortChange : uint8_t { Appeared, Gone };

// A serial device that came or went, by the path that opens it.
struct CPortEvent
{
    EPortChange eChange = EPortChange::Appeared;
    std::string strPath; // /dev/ttyUSB0, /tmp/rig/ttyUNIT1, COM7
    bool operator==(const CPortEvent &) const = default;
};

// What to watch.
struct CPortWatchOptions
{
    // Empty: the system's serial devices (ListSerialPorts). Otherwise a path pattern such as
    // "/tmp/rig/ttyUNIT*" whose last part holds the wildcards (* ? [...]): each name in its folder
    // that matches and leads, links followed, to a character device. On Windows the pattern
    // matches the system's port names instead, with * and ? only ("COM1?"), letters in any case.
    std::string strGlob;
    CPortListRoots roots; // where the system's devices are found (tests use a made-up tree)
};

// The devices present at each look, each with what it leads to (the device node a link reaches),
// so that a link that now leads elsewhere counts as a new device.
using CPortSnapshot = std::map<std::string, std::string>;

// The changes from one look to the next, those that went first. A device seen vanishing in
// between (replugged faster than the look) went and came back, even though both looks hold it.
std::vector<CPortEvent> DiffPortSnapshots(const CPortSnapshot &before, const CPortSnapshot &after,
                                          const std::set<std::string> &vanished);

// Watches serial devices appear and go away. On Linux it sleeps on the kernel's notifications
// for the folders the devices live in (inotify: /dev, /dev/serial, /dev/serial/by-id, or the
// pattern's folder and the folders its links lead to; a folder that does not exist yet is
// watched for from the nearest one that does) and looks again at each one; on Windows it looks
// at the port list every 500 ms. One thread waits; any thread may wake or stop it.
class CPortWatch
{
public:
    CPortWatch();
    ~CPortWatch();
    CPortWatch(const CPortWatch &) = delete;
    CPortWatch &operator=(const CPortWatch &) = delete;

    // Takes the first look; false, with the reason, when the watch cannot be set up (a pattern
    // with wildcards in its folder, no notifications from the system).
    bool Start(const CPortWatchOptions &options, std::string &strError);
    // The devices there at Start, in name order: left alone unless asked for.
    std::vector<std::string> PresentAtStart() const;
    // The devices there now, as the last look saw them.
    std::vector<std::string> Present() const;

    // Blocks until devices came or went, the timeout passed, Wake or Stop was called; returns the
    // changes, empty for the other three. One thread at a time.
    std::vector<CPortEvent> Wait(std::chrono::milliseconds timeout);
    // Makes the current (or the next) Wait return at once, from any thread.
    void Wake();
    // Ends the watch: every Wait from now on returns at once. From any thread; on POSIX also
    // from a signal handler (it stores a flag and writes to a descriptor, nothing else).
    void Stop();
    bool Stopped() const;

    struct CImpl; // one per system

private:
    std::unique_ptr<CImpl> m_pImpl;
};
