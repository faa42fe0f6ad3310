#pragma once

#include "serial/PortWatch.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A device handed to a job, with its slot: its place among the devices the run has seen, from 1.
struct CDuePort
{
    std::string strPath;
    size_t nSlot = 0;
};

// Which watched devices are due for work. A device is due when it appears; once its job has
// ended it is due again only after it went away and came back, so a unit left plugged in is never
// done twice. The devices there at the start are left alone unless they are asked for.
class CDueDevices
{
public:
    void LeaveAlone(const std::string &strPath);
    void Take(const CPortEvent &event);
    // The job on the device ended; it is due again if it went and came back meanwhile.
    void Finished(const std::string &strPath);
    // The devices that became due since the last call, in order, each with its slot.
    std::vector<CDuePort> TakeDue();

private:
    enum class EState { Busy, BusyGone, BusyBack, Done };
    void MakeDue(const std::string &strPath);

    std::map<std::string, EState> m_states; // a device not here is free
    std::map<std::string, size_t> m_slots;
    std::vector<CDuePort> m_due;
};

// Runs the jobs of a production run, each on a thread of its own: once for ports given, or for
// devices as they appear until Stop. A job takes a group of devices (one for provisioning, two,
// master then slave, for pairs).
class CProductionLine
{
public:
    using Job = std::function<void(const std::vector<CDuePort> &group)>;

    CProductionLine(size_t nGroup, Job fnJob);
    ~CProductionLine();
    CProductionLine(const CProductionLine &) = delete;
    CProductionLine &operator=(const CProductionLine &) = delete;

    // Runs the jobs for the ports in groups, all at once, and returns when they have ended.
    void RunPorts(const std::vector<std::string> &ports);
    // Watches until Stop, then lets the jobs in flight end. False, with the reason, when the watch
    // cannot start.
    bool RunWatch(const CPortWatchOptions &options, bool bIncludePresent, std::string &strError);
    // No new job starts; the watch ends. From any thread, and from a signal handler (POSIX).
    void Stop();
    bool Stopped() const { return m_bStopped.load(); }

    std::function<void()> m_fnWatching; // the watch has taken its first look
    // A device waits for the rest of its group (a master for its slave).
    std::function<void(const CDuePort &port)> m_fnWaiting;
    std::function<void()> m_fnStopping; // the watch ends; the jobs in flight go on
    // The group still waiting when the watch ended: nothing was done with it.
    std::function<void(const std::vector<CDuePort> &group)> m_fnAbandoned;

    // Stops the line given on SIGINT, SIGTERM or Ctrl-C; a second one ends the process at once.
    static void SetInterruptTarget(CProductionLine *pLine) { s_pInterruptTarget.store(pLine); }
    static void OnInterrupt();

private:
    struct CWorker
    {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> pEnded;
    };

    void Launch(const std::vector<CDuePort> &group);
    void Apply(const std::vector<CPortEvent> &events);
    void StartDueJobs();
    void Reap(bool bAll);

    static inline std::atomic<CProductionLine *> s_pInterruptTarget{nullptr};
    static inline std::atomic<int> s_nInterrupts{0};

    size_t m_nGroup;
    Job m_fnJob;
    CPortWatch m_watch;
    std::atomic<bool> m_bStopped{false};
    std::mutex m_mutex; // guards m_due, which the jobs' threads update as they end
    CDueDevices m_due;
    std::vector<CDuePort> m_group; // due devices waiting for the rest of their group
    std::vector<CWorker> m_workers;
};
