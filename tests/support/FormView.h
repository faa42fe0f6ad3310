#pragma once

#include "engine/ModuleSetupEngine.h"

#include <chrono>
#include <deque>
#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <vector>

// The state of one control of the form; which fields count depends on the control's kind.
struct CFormControl
{
    std::string strText; // edit text (also the edit part of combo 1051)
    bool bReadOnly = false;
    bool bEnabled = true;
    int nCheck = 0;
    std::vector<std::string> entries; // list entries of a combo box
    int nCurSel = -1;
    int nSliderPos = 0;
    int nSliderRangeMax = 100;
};

// An in-memory form with the behaviour of the dialog's controls, as the dialog starts out.
class CFormModel
{
public:
    CFormModel();

    CFormControl &Control(int nId) { return m_controls[nId]; }
    const CFormControl &Control(int nId) const;
    static bool IsDropDownList(int nId);

    std::string GetWindowText(int nId) const;
    void SetWindowText(int nId, const std::string &strText);
    int GetCount(int nId) const;
    std::string GetLBText(int nId, int nIndex) const;
    void SetCurSel(int nId, int nIndex);
    void ResetContent(int nId);
    void InsertString(int nId, int nIndex, const std::string &strText);
    void SetSliderPos(int nId, int nPos);

    int m_nFocusId = 0;
    std::string m_strStatusText;

private:
    std::map<int, CFormControl> m_controls;
};

// One message box the engine showed, with the answer it got.
struct CMessageRecord
{
    std::string strText;
    std::string strCaption;
    unsigned nType = 0;
    int nResult = 0;
};

// The view the tests and the benchmarks give the engine: the in-memory form, message boxes
// answered by a policy, timers as deadlines on a clock the owner advances, and the face's thread
// as a queue the owner runs. Records everything the engine told it. One thread.
class CFormView : public IModuleSetupView
{
public:
    using Clock = std::chrono::steady_clock;
    using MessagePolicy =
        std::function<int(const std::string &strText, const std::string &strCaption, unsigned)>;

    explicit CFormView(std::function<Clock::time_point()> fnNow = &Clock::now);

    // The engine whose OnTimer the timers call; set before anything fires.
    void Attach(CModuleSetupEngine &engine) { m_pEngine = &engine; }

    // Fires every timer due at now, each once, earliest first. Returns how many fired.
    int FireDueTimers(Clock::time_point now);
    // The earliest deadline of the armed timers, those named in ignored left out.
    std::optional<Clock::time_point> NextDeadline(std::initializer_list<unsigned> ignored = {}) const;
    bool IsTimerArmed(unsigned nIdEvent) const { return m_timers.count(nIdEvent) != 0; }
    // Runs the work posted so far, and what that posts in turn; returns how many ran.
    size_t RunPosted();

    std::string GetWindowText(int nId) override { return m_form.GetWindowText(nId); }
    void SetWindowText(int nId, const std::string &strText) override;
    bool GetCheck(int nId) override { return m_form.Control(nId).nCheck != 0; }
    void SetCheck(int nId, bool bChecked) override { m_form.Control(nId).nCheck = bChecked; }
    int GetCount(int nId) override { return m_form.GetCount(nId); }
    std::string GetLBText(int nId, int nIndex) override { return m_form.GetLBText(nId, nIndex); }
    int GetCurSel(int nId) override { return m_form.Control(nId).nCurSel; }
    void SetCurSel(int nId, int nIndex) override { m_form.SetCurSel(nId, nIndex); }
    void ResetContent(int nId) override { m_form.ResetContent(nId); }
    void InsertString(int nId, int nIndex, const std::string &strText) override;
    void EnableWindow(int nId, bool bEnable) override { m_form.Control(nId).bEnabled = bEnable; }
    void SetReadOnly(int nId, bool bReadOnly) override;
    int GetSliderPos(int nId) override { return m_form.Control(nId).nSliderPos; }
    void SetSliderPos(int nId, int nPos) override { m_form.SetSliderPos(nId, nPos); }
    int GetSliderRangeMax(int nId) override { return m_form.Control(nId).nSliderRangeMax; }
    void SetFocus(int nId) override { m_form.m_nFocusId = nId; }
    void SetStatusText(const std::string &strText) override;
    int MessageBox(const std::string &strText, const std::string &strCaption,
                   unsigned nType) override;
    void SetTimer(unsigned nIdEvent, std::chrono::milliseconds period) override;
    void KillTimer(unsigned nIdEvent) override { m_timers.erase(nIdEvent); }
    void PostToViewThread(std::function<void()> fnWork) override;
    void OnRunEnded(const CRunEnd &runEnd) override { m_runEnds.push_back(runEnd); }
    void OnRunGateChanged(bool bRunWaiting) override { m_gateChanges.push_back(bRunWaiting); }
    void OnDeviceFound(const std::string &strEntry) override { m_devices.push_back(strEntry); }
    void OnLineProbeEnded(uint32_t nRate) override { m_probeEnds.push_back(nRate); }
    void OnConsoleLine(const std::string &strLine) override { m_consoleLines.push_back(strLine); }

    // The user ticks or clears a box (a click: the engine hears of it).
    void ClickCheck(int nId, bool bChecked);

    std::string Status() const { return m_statusTexts.empty() ? "" : m_statusTexts.back(); }

    CFormModel m_form;
    std::vector<std::string> m_statusTexts;     // every status text, oldest first
    std::vector<CMessageRecord> m_messageBoxes; // every message box, oldest first
    MessagePolicy m_fnMessagePolicy;            // unset: every box is answered IDNO
    std::vector<CRunEnd> m_runEnds;             // every action's end, oldest first
    std::vector<bool> m_gateChanges;            // every gate change, oldest first
    std::vector<std::string> m_devices;         // search results, as found
    std::vector<uint32_t> m_probeEnds;          // each probe's rate, 0 none
    std::vector<std::string> m_consoleLines;    // the console's reply lines, as they came

private:
    struct CArmedTimer
    {
        Clock::time_point deadline;
        std::chrono::milliseconds period{0};
    };

    std::function<Clock::time_point()> m_fnNow;
    std::map<unsigned, CArmedTimer> m_timers;
    std::deque<std::function<void()>> m_posted;
    CModuleSetupEngine *m_pEngine = nullptr;
};
