#include "cli/ProductionLine.h"

#include "cli/CliOptions.h"

#include <algorithm>
#include <cstdlib>

namespace {

// The watch wakes for every change and every job's end; this only bounds a wait that nothing
// wakes.
constexpr std::chrono::milliseconds kIdleWait{1000};

} // namespace

void CDueDevices::LeaveAlone(const std::string &strPath)
{
    m_states[strPath] = EState::Done;
}

void CDueDevices::Take(const CPortEvent &event)
{
    const auto found = m_states.find(event.strPath);
    if (event.eChange == EPortChange::Gone) {
        if (found == m_states.end())
            return;
        if (found->second == EState::Done)
            m_states.erase(found);
        else
            found->second = EState::BusyGone;
        return;
    }
    if (found == m_states.end() || found->second == EState::Done)
        return MakeDue(event.strPath);
    found->second = EState::BusyBack; // back while its job still runs: due when that ends
}

void CDueDevices::Finished(const std::string &strPath)
{
    const auto found = m_states.find(strPath);
    if (found == m_states.end())
        return;
    if (found->second == EState::BusyGone)
        m_states.erase(found);
    else if (found->second == EState::BusyBack)
        MakeDue(strPath);
    else
        found->second = EState::Done;
}

std::vector<CDuePort> CDueDevices::TakeDue()
{
    std::vector<CDuePort> due;
    due.swap(m_due);
    return due;
}

void CDueDevices::MakeDue(const std::string &strPath)
{
    m_states[strPath] = EState::Busy;
    const auto [slot, bNew] = m_slots.emplace(strPath, m_slots.size() + 1);
    m_due.push_back({strPath, slot->second});
}

CProductionLine::CProductionLine(size_t nGroup, Job fnJob)
    : m_nGroup(std::max<size_t>(nGroup, 1)), m_fnJob(std::move(fnJob))
{}

CProductionLine::~CProductionLine()
{
    Reap(true);
    CProductionLine *pThis = this;
    s_pInterruptTarget.compare_exchange_strong(pThis, nullptr);
}

void CProductionLine::RunPorts(const std::vector<std::string> &ports)
{
    std::vector<CDuePort> group;
    for (size_t i = 0; i < ports.size(); ++i) {
        group.push_back({ports[i], i + 1});
        if (group.size() == m_nGroup || i + 1 == ports.size()) {
            Launch(group);
            group.clear();
        }
    }
    Reap(true);
}

bool CProductionLine::RunWatch(const CPortWatchOptions &options, bool bIncludePresent,
                               std::string &strError)
{
    if (!m_watch.Start(options, strError))
        return false;
    {
        const std::lock_guard lock(m_mutex);
        for (const std::string &strPath : m_watch.PresentAtStart()) {
            if (bIncludePresent)
                m_due.Take({EPortChange::Appeared, strPath});
            else
                m_due.LeaveAlone(strPath);
        }
    }
    if (m_fnWatching)
        m_fnWatching();
    while (!Stopped()) {
        StartDueJobs();
        Apply(m_watch.Wait(kIdleWait));
        Reap(false);
    }
    if (m_fnStopping)
        m_fnStopping();
    if (!m_group.empty() && m_fnAbandoned)
        m_fnAbandoned(m_group);
    Reap(true);
    return true;
}

void CProductionLine::Stop()
{
    m_bStopped.store(true);
    m_watch.Stop();
}

void CProductionLine::OnInterrupt()
{
    // Only what a signal handler may do: atomics, the watch's own stop, _Exit.
    if (s_nInterrupts.fetch_add(1) > 0)
        std::_Exit(EXIT_CLI_MODULE);
    if (CProductionLine *pLine = s_pInterruptTarget.load())
        pLine->Stop();
}

void CProductionLine::Launch(const std::vector<CDuePort> &group)
{
    auto pEnded = std::make_shared<std::atomic<bool>>(false);
    std::thread thread([this, group, pEnded] {
        m_fnJob(group);
        {
            const std::lock_guard lock(m_mutex);
            for (const CDuePort &port : group)
                m_due.Finished(port.strPath);
        }
        pEnded->store(true);
        m_watch.Wake(); // a device back meanwhile is due now, and the thread can be joined
    });
    m_workers.push_back({std::move(thread), std::move(pEnded)});
}

void CProductionLine::Apply(const std::vector<CPortEvent> &events)
{
    const std::lock_guard lock(m_mutex);
    for (const CPortEvent &event : events) {
        m_due.Take(event);
        // A device that went while it waited for the rest of its group waits no more; back
        // again, it is due again.
        const auto waiting =
            std::find_if(m_group.begin(), m_group.end(),
                         [&](const CDuePort &port) { return port.strPath == event.strPath; });
        if (event.eChange == EPortChange::Gone && waiting != m_group.end()) {
            m_group.erase(waiting);
            m_due.Finished(event.strPath);
        }
    }
}

void CProductionLine::StartDueJobs()
{
    std::vector<CDuePort> due;
    {
        const std::lock_guard lock(m_mutex);
        due = m_due.TakeDue();
    }
    for (const CDuePort &port : due) {
        m_group.push_back(port);
        if (m_group.size() == m_nGroup) {
            Launch(m_group);
            m_group.clear();
        } else if (m_fnWaiting) {
            m_fnWaiting(port);
        }
    }
}

void CProductionLine::Reap(bool bAll)
{
    for (auto worker = m_workers.begin(); worker != m_workers.end();) {
        if (!bAll && !worker->pEnded->load()) {
            ++worker;
            continue;
        }
        worker->thread.join();
        worker = m_workers.erase(worker);
    }
}
