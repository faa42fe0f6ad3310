#pragma once

#include "engine/RunEnd.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

// What the engine asks of the face that holds it: the form's controls, the status line, message
// boxes, a clock and the face's own thread. The Qt window, the Win32 window, the command line
// and the tests each implement it once; the engine calls it on the face's thread only.
//
// Controls go by their IDC_* ids (engine/ControlIds.h). Texts of controls are GBK bytes, as on
// the wire; status and message texts are UTF-8.
class IModuleSetupView
{
public:
    virtual ~IModuleSetupView() = default;

    // --- The form
    virtual std::string GetWindowText(int nId) = 0; // edit text, or selected entry of a list
    virtual void SetWindowText(int nId, const std::string &strText) = 0;
    virtual bool GetCheck(int nId) = 0;
    virtual void SetCheck(int nId, bool bChecked) = 0;
    virtual int GetCount(int nId) = 0;                      // entries of a list
    virtual std::string GetLBText(int nId, int nIndex) = 0; // text of one entry
    virtual int GetCurSel(int nId) = 0;                     // -1 when nothing is selected
    virtual void SetCurSel(int nId, int nIndex) = 0;        // an index past the end: none
    virtual void ResetContent(int nId) = 0;                 // entries and edit text go
    virtual void InsertString(int nId, int nIndex, const std::string &strText) = 0;
    virtual void EnableWindow(int nId, bool bEnable) = 0;
    virtual void SetReadOnly(int nId, bool bReadOnly) = 0;
    virtual int GetSliderPos(int nId) = 0;
    virtual void SetSliderPos(int nId, int nPos) = 0;
    virtual int GetSliderRangeMax(int nId) = 0;
    virtual void SetFocus(int nId) = 0;

    // --- What the user is told and asked
    virtual void SetStatusText(const std::string &strText) = 0;
    // MB_* type; returns IDOK, or for MB_YESNO IDYES or IDNO. May run a nested event loop.
    virtual int MessageBox(const std::string &strText, const std::string &strCaption,
                           unsigned nType) = 0;

    // --- The clock: one-shot timers that call the engine's OnTimer. Arming an armed timer
    // starts its period again; a killed timer never fires afterwards.
    virtual void SetTimer(unsigned nIdEvent, std::chrono::milliseconds period) = 0;
    virtual void KillTimer(unsigned nIdEvent) = 0;

    // --- The face's thread: runs fnWork there, later, in the order posted. Called from the
    // link's reader thread; must not block.
    virtual void PostToViewThread(std::function<void()> fnWork) = 0;

    // --- What happened, after the engine has shown it. Each action ends in exactly one
    // OnRunEnded; the command line takes its exit codes from these, never from texts.
    virtual void OnRunEnded(const CRunEnd &) {}
    // The actions that write a command are about to be disabled (a run began to wait), or were
    // just enabled again; the face may move the focus away from them and back.
    virtual void OnRunGateChanged(bool /*bRunWaiting*/) {}
    // A command went to the line (with its line ending, GBK), whether or not it went out whole.
    virtual void OnCommandWritten(const std::string & /*strCommand*/) {}
    // A search result was listed ("ADDRESS TEXT", GBK).
    virtual void OnDeviceFound(const std::string & /*strEntry*/) {}
    // A line of a console command's reply, as it came (GBK, without its line end).
    virtual void OnConsoleLine(const std::string & /*strLine*/) {}
    // The session's device went away; every run that waited has ended.
    virtual void OnSessionLost() {}
    // The line-rate probe ended: nRate answered, 0 when none did.
    virtual void OnLineProbeEnded(uint32_t /*nRate*/) {}
};
