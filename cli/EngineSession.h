#pragma once

#include "engine/ConfigFile.h"
#include "engine/ModuleSetupEngine.h"
#include "engine/ModuleSetupView.h"
#include "engine/SessionLink.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct CSetValues;

// The engine's view on the command line: no form (values go in and out as values), the prompts
// answered as --on-error says and passed on as messages, timers as deadlines of the session's
// loop, and the reader thread's work queued for the loop's thread.
class CCliView : public IModuleSetupView
{
public:
    using Clock = std::chrono::steady_clock;

    CCliView(double dTimerScale, bool bContinueOnError)
        : m_dTimerScale(dTimerScale), m_bContinueOnError(bContinueOnError)
    {}

    void Attach(CModuleSetupEngine &engine) { m_pEngine = &engine; }

    // The form: nothing to show, nothing typed.
    std::string GetWindowText(int) override { return {}; }
    void SetWindowText(int, const std::string &) override {}
    bool GetCheck(int) override { return false; }
    void SetCheck(int, bool) override {}
    int GetCount(int) override { return 0; }
    std::string GetLBText(int, int) override { return {}; }
    int GetCurSel(int) override { return -1; }
    void SetCurSel(int, int) override {}
    void ResetContent(int) override {}
    void InsertString(int, int, const std::string &) override {}
    void EnableWindow(int, bool) override {}
    void SetReadOnly(int, bool) override {}
    int GetSliderPos(int) override { return 0; }
    void SetSliderPos(int, int) override {}
    int GetSliderRangeMax(int) override { return 0; }
    void SetFocus(int) override {}

    void SetStatusText(const std::string &strText) override { m_strStatus = strText; }
    int MessageBox(const std::string &strText, const std::string &strCaption,
                   unsigned nType) override;
    void SetTimer(unsigned nIdEvent, std::chrono::milliseconds period) override;
    void KillTimer(unsigned nIdEvent) override { m_timers.erase(nIdEvent); }
    void PostToViewThread(std::function<void()> fnWork) override;

    void OnRunEnded(const CRunEnd &runEnd) override { m_runEnds.push_back(runEnd); }
    void OnCommandWritten(const std::string &strCommand) override
    {
        m_written.push_back(strCommand);
    }
    void OnDeviceFound(const std::string &strEntry) override { m_devices.push_back(strEntry); }
    void OnConsoleLine(const std::string &strLine) override
    {
        if (m_fnConsoleLine)
            m_fnConsoleLine(strLine);
    }
    void OnSessionLost() override { m_bLost = true; }
    void OnLineProbeEnded(uint32_t nRate) override
    {
        m_nProbedRate = nRate;
        m_bProbeEnded = true;
    }

    // Runs the posted work and the due timers until fnDone holds or the deadline passes.
    bool RunUntil(const std::function<bool()> &fnDone, Clock::time_point deadline);
    // The end of an action of this kind among the ends reported since nFrom, if there is one.
    const CRunEnd *EndSince(size_t nFrom, ERunKind eRun) const;

    std::function<void(const std::string &)> m_fnShown; // each message box as it is answered
    std::function<void(const std::string &)> m_fnConsoleLine; // each console reply line (GBK)
    std::string m_strStatus;
    std::vector<CRunEnd> m_runEnds; // every action's end, oldest first
    std::vector<std::string> m_written;
    std::vector<std::string> m_devices;
    uint32_t m_nProbedRate = 0;
    bool m_bProbeEnded = false;
    bool m_bLost = false; // the port went away

private:
    void RunPosted();
    void FireDueTimers();
    void Wait(Clock::time_point deadline);

    double m_dTimerScale;
    bool m_bContinueOnError;
    CModuleSetupEngine *m_pEngine = nullptr;
    std::map<unsigned, Clock::time_point> m_timers;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::function<void()>> m_posted;
};

// One port's engine on the command line and the loop that runs it on the caller's thread: the
// port opened, an action started and waited for, what it wrote and how it ended.
class CEngineSession
{
public:
    using Clock = std::chrono::steady_clock;

    struct CSetup
    {
        double dTimerScale = 1.0;      // tests shorten the step timeouts
        bool bContinueOnError = false; // how the continue prompts are answered
        // Nothing is kept for a window: the trace only tells (SessionTrace's listener).
        CSessionTraceSetup trace{CLinkTrace::Clock::now(), 0, nullptr};
    };

    explicit CEngineSession(const CSetup &setup);
    ~CEngineSession();

    CEngineSession(const CEngineSession &) = delete;
    CEngineSession &operator=(const CEngineSession &) = delete;

    // False when the port did not open; LastOpenFailure says why.
    bool Open(const std::string &strPort, const CLineSettings &line);
    const COpenFailureInfo &LastOpenFailure() const { return m_engine.LastOpenFailure(); }

    CModuleSetupEngine &Engine() { return m_engine; }
    CCliView &View() { return m_view; }
    bool Lost() const { return m_view.m_bLost; }

    // Runs the engine until fnDone holds or the deadline passes; false at the deadline.
    bool RunUntil(const std::function<bool()> &fnDone,
                  Clock::time_point deadline = Clock::time_point::max());
    // Starts an action (fnStart) and waits for its end of kind eRun: the end, or nothing when
    // the port went away first without one, or the deadline passed.
    std::optional<CRunEnd> RunAction(const std::function<void()> &fnStart, ERunKind eRun,
                                     Clock::time_point deadline = Clock::time_point::max());
    std::optional<CRunEnd> Query();
    // A query whose reading starts from nothing, so a value it skipped counts as not held rather
    // than as the one queued (the read-back after a set).
    std::optional<CRunEnd> QueryAfresh();
    // What the module read differs in from the values asked (as the last Set validated them).
    std::vector<CVerifyMismatch> MismatchesWith(const CSetValues &asked);
    // Every write and received chunk, with the port's name, to fnTrace.
    void TraceTo(std::string strPort,
                 std::function<void(const std::string &strPort, const CTraceEntry &entry)> fnTrace);
    std::optional<CRunEnd> Set(const CSetValues &request);
    // The line-rate probe: the rate that answered, 0 when none did or the port went away.
    uint32_t Probe();
    // A command that timed out may still be answered after the run went on: waits, at most the
    // late-reply window, until its late final line came, so that whatever opens the port next
    // never takes that line for the answer to its own command.
    void AwaitLateReplies();
    // The commands written since the last action started (each with its line ending, GBK).
    std::vector<std::string> WrittenByLastAction() const;

private:
    CCliView m_view;
    CModuleSetupEngine m_engine;
    size_t m_nWritesBefore = 0;
};
