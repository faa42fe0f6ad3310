#pragma once

#include "engine/ControlIds.h"
#include "engine/LineProbe.h"
#include "engine/ModuleParams.h"
#include "engine/ParameterWrite.h"
#include "engine/RunEnd.h"
#include "protocol/PendingBytes.h"
#include "protocol/ResponseScanner.h"
#include "serial/LinkTrace.h"
#include "serial/SerialLink.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

class CLinkTrace;
class CSerialLink;

constexpr std::chrono::milliseconds kQueryStepTimeout{2000};
constexpr std::chrono::milliseconds kClearAddrTimeout{4000};
constexpr std::chrono::milliseconds kSetStepTimeout{4000};
constexpr std::chrono::milliseconds kDefaultTimeout{4000};
constexpr std::chrono::milliseconds kAutoQueryDelay{1000};

constexpr int SET_COMMAND_SLOTS = 11;
constexpr int SET_COMMAND_SLOT_SIZE = 128;

// Everything the main window does that needs no widget: the form's data exchange and checks, the
// reply handlers, the command sequencer, Set, restore-defaults, clear-binding and device inquiry.
// The window (Qt) and the command line derive from it and provide the control surface below,
// which mirrors the control operations the dialog was designed with. All members run on one
// thread, the owner's; the owner hands received bytes over to that thread (OnReceivedBytes).
//
// Encodings: texts of controls and of the records are GBK bytes, as on the wire; status texts and
// message box texts are UTF-8.
class CModuleSetupEngine : public IResponseHandler
{
public:
    CModuleSetupEngine();
    ~CModuleSetupEngine() override;

    // --- Actions (buttons, check boxes, sliders, timers)
    void OnButtonQuery();
    void OnButtonSet();
    void OnButtonDefault();
    void OnButtonClearAddr();
    void OnButtonSearch();
    void OnCheckAuth();
    void OnCheckBind();
    void OnReleasedCaptureSliderScan();
    void OnReleasedCaptureSliderSniff();
    void OnTimer(unsigned nIdEvent);
    void StartAutoQuery(); // arms TIMER_AUTOQUERY once the port is open

    // --- The one rule of the line: the module answers one command at a time. While a run waits
    // (its flag set, its timer armed, or its prompt or notice open), every action that would
    // write a command refuses (reported as ERunEnd::Busy, nothing written, nothing changed), and
    // OnRunGateChanged tells the window to disable those actions' buttons until the run has ended.
    bool IsRunWaiting() const;
    // Ends whatever waits without a text (the window closes, a dry run is over): timers killed,
    // unconfirmed set lines taken back, reported as ERunEnd::Abandoned.
    void AbandonRun();

    // --- Form
    // true reads the controls into the members (stopping at the first failed check, which is
    // reported and focused), false writes the members into the controls.
    bool UpdateData(bool bSaveAndValidate);
    void ClearForm();

    // --- Received bytes, on the engine's thread, in arrival order. Never re-entered: bytes that
    // arrive while a handler waits in a prompt are scanned as soon as the current scan returns.
    void OnReceivedBytes(const char *pData, size_t nLength);
    // The link reported that its device went away.
    void OnPortLost();

    // --- Reply handlers (IResponseHandler)
    void OnResponseOk() override;
    void OnResponseError() override;
    void OnResponseIgnored(const ResponseFields &fields) override;
    void OnResponseAuth(const ResponseFields &fields) override;
    void OnResponseBaud(const ResponseFields &fields) override;
    void OnResponseBind(const ResponseFields &fields) override;
    void OnResponseName(const ResponseFields &fields) override;
    void OnResponseRole(const ResponseFields &fields) override;
    void OnResponseScan(const ResponseFields &fields) override;
    void OnResponseClass(const ResponseFields &fields) override;
    void OnResponseSniff(const ResponseFields &fields) override;
    void OnResponseVersion(const ResponseFields &fields) override;
    void OnResponsePassword(const ResponseFields &fields) override;
    void OnOtherLine(const char *pLine, uint16_t nLength) override;

    void OnInquiryResult(const char *pLine, uint16_t nLength);
    void OnInquiryComplete();
    // A search result has just been listed (strEntry: "ADDRESS TEXT", GBK); for owners that
    // report each device as it comes. Does nothing by default.
    virtual void OnDeviceFound(const std::string &strEntry);

    static std::string MakeTextFromSpan(const char *pBytes, size_t nLength);
    static std::string CommandDisplayName(const char *pCommand); // UTF-8

    // Fills the baud, parity and stop-bit lists as the dialog shows them after its start: each
    // ends with the empty entry, nothing is selected.
    void FillLists();
    // The parity list's entry nIndex (0 none, 1 odd, 2 even, 3 empty) as the list shows it (GBK).
    static std::string ParityListEntry(int nIndex);

    // --- Control surface, provided by the window or the command line. Ids are IDC_* values.
    virtual std::string GetWindowText(int nId) = 0; // edit text, or selected entry of a list
    virtual void SetWindowText(int nId, const std::string &strText) = 0;
    virtual int GetCheck(int nId) = 0;
    virtual void SetCheck(int nId, int nState) = 0;
    virtual int GetCount(int nId) = 0;                      // entries of a list
    virtual std::string GetLBText(int nId, int nIndex) = 0; // text of one entry
    virtual int GetCurSel(int nId) = 0;                     // -1 when nothing is selected
    virtual void SetCurSel(int nId, int nIndex) = 0;
    virtual void ResetContent(int nId) = 0; // entries and edit text go
    virtual void InsertString(int nId, int nIndex, const std::string &strText) = 0;
    virtual void EnableWindow(int nId, bool bEnable) = 0;
    virtual void SetReadOnly(int nId, bool bReadOnly) = 0;
    virtual int GetSliderPos(int nId) = 0;
    virtual void SetSliderPos(int nId, int nPos) = 0;
    virtual int GetSliderRangeMax(int nId) = 0;
    virtual void SetFocus(int nId) = 0;
    virtual void SetStatusText(std::string strText) = 0;
    virtual void SetTimer(unsigned nIdEvent, std::chrono::milliseconds period) = 0; // one-shot use
    virtual void KillTimer(unsigned nIdEvent) = 0; // a killed timer never fires afterwards
    virtual int MessageBox(const std::string &strText, const std::string &strCaption,
                           unsigned nType) = 0;

    // --- Outcomes. Every action ends in exactly one call, after its status text (if any) is
    // shown; the command line and other owners take exit codes and logs from it, never from texts.
    virtual void OnRunEnded(const CRunEnd &runEnd);
    // A run began or ended to wait: by default the buttons of the actions that write a command
    // ("查询(&I)", "设置(&S)", "默认", "清除地址", "搜索设备") are disabled while one waits. "关闭"
    // is never touched.
    virtual void OnRunGateChanged(bool bRunWaiting);

    // --- The session's link, made and opened the same way by every window
    // Makes the link and registers the window's receive function (through the trace tap) and its
    // disconnect function before the port opens, so that no byte is missed; sets the line (8N1 at
    // 9600, the chosen flow control) and opens strPortPath. False when the port did not open: the
    // link is closed again (one that refused its settings would stay held until closed) and why
    // it failed is kept in m_sessionOpenFailure and m_nSessionOpenError for the window's box.
    // With kAutoLineRate the port opens at the default rate and StartAutoQuery probes the line
    // first.
    bool OpenSessionLink(const std::string &strPortPath, const CLineSettings &line,
                         ReceiveCallback pfnReceive, DisconnectCallback pfnDisconnect, void *pUser);
    // Opens the session's device again with the same settings once it is back. Nothing of the old
    // device may join what the new one sends, so its unfinished line is dropped first. False
    // while it is away (or refuses its settings): the caller tries again later.
    bool ReopenSessionLink();
    // Closes the session's port, if one is open; the link stays for a later reopen.
    void CloseSessionLink();

    // --- The line-rate probe (LineRateProbe.cpp): "AT" at each rate until a framed "OK" comes,
    // driven by TIMER_PROBE and the received bytes like any run, so the window never blocks. It
    // holds the line: the gate stays closed while it runs. False (nothing written) when a run
    // waits or the port is closed. The line stays at the rate found, or goes back to the default.
    bool StartLineProbe();
    bool IsLineProbeRunning() const { return m_lineProbe.IsRunning(); }
    // The probe ended: nRate answered, or 0 when none did. By default a failure shows the
    // checklist of what to look at in a message box.
    virtual void OnLineProbeEnded(uint32_t nRate);
    static const char *const kProbeChecklist; // the box's text (UTF-8)
    bool m_bAutoLineRate = false;  // the session's line was opened to be probed
    uint32_t m_nFoundLineRate = 0; // what the last probe found; 0 none yet

    CLinkTrace m_sessionTrace; // every byte of the session's link, for the traffic view
    // Declared after the trace its reader calls into, so it goes (and its reader is joined) first.
    std::unique_ptr<CSerialLink> m_pSessionLink; // the window's own link; m_pSerial points here
    std::string m_strSessionPort;                // the device the session opened
    OpenFailure m_sessionOpenFailure = OpenFailure::None;
    int m_nSessionOpenError = 0;
    std::vector<CPortHolder> m_sessionOpenHolders; // who holds a busy port
    std::string m_strSessionGroupAwaitingLogin;    // the group a refused user joined since login

    // The link the engine writes to: the session's, or the command line's; the engine only
    // writes and asks IsOpen.
    CSerialLink *m_pSerial = nullptr;
    // When set, every command written is recorded there (the owner taps the receiving side).
    CLinkTrace *m_pTrace = nullptr;

    // --- Form values (GBK texts)
    std::string m_strName;
    std::string m_strClass;
    std::string m_strPassword;
    uint32_t m_nConnInterval = 0;
    uint32_t m_nConnDuration = 0;
    uint32_t m_nInqInterval = 0;
    uint32_t m_nInqDuration = 0;
    uint32_t m_nSniffMax = 0;
    uint32_t m_nSniffMin = 0;
    uint32_t m_nSniffTimeout = 0;
    uint32_t m_nSniffAttempt = 0;
    std::string m_strBindAddr;
    std::string m_strLocalAddr;

    // --- Run state
    int32_t m_bSetting = 0;
    int32_t m_bQuerying = 0;
    int32_t m_bClearing = 0;
    int32_t m_bRestoring = 0;
    int32_t m_nCmdIndex = 0;

    // --- The two records: the snapshot the Set action validated, and the values last read from
    // (or last queued for) the module. Their fields also go by the names the dialog uses.
    ModuleParams m_paramsNew;
    ModuleParams m_paramsCur;

    std::string &m_strNewName = m_paramsNew.Name;
    std::string &m_strNewVersion = m_paramsNew.Version;
    std::string &m_strNewClass = m_paramsNew.Class;
    std::string &m_strNewBaud = m_paramsNew.Baud;
    int32_t &m_nNewParity = m_paramsNew.Parity;
    int32_t &m_nNewStopBits = m_paramsNew.StopBits;
    int32_t &m_nNewAuth = m_paramsNew.Auth;
    int32_t &m_nNewRole = m_paramsNew.Role;
    int32_t &m_nNewBind = m_paramsNew.Bind;
    std::string &m_strNewPassword = m_paramsNew.Password;
    std::string &m_strNewConnInterval = m_paramsNew.ConnInterval;
    std::string &m_strNewConnDuration = m_paramsNew.ConnDuration;
    std::string &m_strNewInqInterval = m_paramsNew.InqInterval;
    std::string &m_strNewInqDuration = m_paramsNew.InqDuration;
    std::string &m_strNewSniffMax = m_paramsNew.SniffMax;
    std::string &m_strNewSniffMin = m_paramsNew.SniffMin;
    std::string &m_strNewSniffAttempt = m_paramsNew.SniffAttempt;
    std::string &m_strNewSniffTimeout = m_paramsNew.SniffTimeout;
    std::string &m_strNewBindAddr = m_paramsNew.BindAddr;

    std::string &m_strCurName = m_paramsCur.Name;
    std::string &m_strCurVersion = m_paramsCur.Version;
    std::string &m_strCurClass = m_paramsCur.Class;
    std::string &m_strCurBaud = m_paramsCur.Baud;
    int32_t &m_nCurParity = m_paramsCur.Parity;
    int32_t &m_nCurStopBits = m_paramsCur.StopBits;
    int32_t &m_nCurAuth = m_paramsCur.Auth;
    int32_t &m_nCurRole = m_paramsCur.Role;
    int32_t &m_nCurBind = m_paramsCur.Bind;
    std::string &m_strCurPassword = m_paramsCur.Password;
    std::string &m_strCurConnInterval = m_paramsCur.ConnInterval;
    std::string &m_strCurConnDuration = m_paramsCur.ConnDuration;
    std::string &m_strCurInqInterval = m_paramsCur.InqInterval;
    std::string &m_strCurInqDuration = m_paramsCur.InqDuration;
    std::string &m_strCurSniffMax = m_paramsCur.SniffMax;
    std::string &m_strCurSniffMin = m_paramsCur.SniffMin;
    std::string &m_strCurSniffAttempt = m_paramsCur.SniffAttempt;
    std::string &m_strCurSniffTimeout = m_paramsCur.SniffTimeout;
    std::string &m_strCurBindAddr = m_paramsCur.BindAddr;

    // The set run's lines. Each window (or each port of the command line) has its own list.
    char m_SetCommandList[SET_COMMAND_SLOTS][SET_COMMAND_SLOT_SIZE] = {};
    int32_t m_nSetCommandCount = 0;

protected:
    CModuleSetupEngine(const CModuleSetupEngine &) = delete;
    CModuleSetupEngine &operator=(const CModuleSetupEngine &) = delete;

    // Set run bookkeeping (ParameterWrite.cpp). The last-read values advance when a line is
    // queued; the sequencer reports which lines the module confirmed with "OK" and when the run
    // ended, so that lines never confirmed are restored and sent again by the next Set.
    void OnSetLineConfirmed(int nIndex);
    void OnSetRunEnded();

    // --- Shared helpers (ModuleSetupEngine.cpp)
    // Whether the link can carry a command; every action asks this before it writes.
    virtual bool IsPortOpen() const;
    // Writes one command without its NUL; the count written is not looked at (a command that did
    // not go out shows up as its step's timeout). Tests replace it to watch the wire.
    virtual void WriteCommand(const char *pCommand);
    static std::string FormatInt(int32_t nValue);   // "%d"
    static std::string FormatUInt(uint32_t nValue); // "%u"
    // Puts strArg where pFormat has its one "%s".
    static std::string FormatWithText(const char *pFormat, const std::string &strArg);
    // The first entry that begins with strPrefix, ignoring letter case, searched from entry 1 to
    // the last and then entry 0 (the list search the dialog relies on); -1 when none does.
    int FindStringPrefix(int nId, const std::string &strPrefix);
    // Selects that entry; leaves the selection alone when there is none. Returns the index or -1.
    int SelectStringPrefix(int nId, const std::string &strPrefix);
    void MoveSliderToMax(int nId);

    // --- Sequencer internals (CommandSequencer.cpp)
    // Only the query and the set run have steps, an index and prompts.
    using ERun = ERunKind;
    // What a continue prompt was asked about, so its answer is applied only to what the user saw.
    struct CPromptTicket
    {
        ERun eRun = ERun::Query;
        uint32_t nStep = 0;
        int32_t nCmdIndex = 0;
    };
    // The OK step; bModuleConfirmed is false when a prompt's Yes or a missing address stands in.
    void RunOkStep(bool bModuleConfirmed);
    void AdvanceQueryRun();
    void AdvanceSetRun(bool bModuleConfirmed);
    void AskToContinue(ERun eRun, const char *pPromptFormat, ERunEnd eEndIfNo);
    // A message box that counts as the waiting run's own (prompt or notice): the gate stays
    // closed while it is open.
    int AskUser(const std::string &strText, unsigned nType);
    void EndRun(const CRunEnd &runEnd); // a query or set run stops
    // Ends every run that waits with the same end (port lost, abandoned); false when none did.
    bool EndWaitingRuns(ERunEnd eEnd);
    bool IsRunIndexValid(ERun eRun) const;
    const char *RunCommand(ERun eRun) const; // only when IsRunIndexValid
    bool IsTicketCurrent(const CPromptTicket &ticket) const;
    int32_t &RunFlag(ERun eRun);
    uint32_t &RunStep(ERun eRun);
    std::string SetCommandText(int nIndex) const;
    // The gate: true (and reported as Busy) when a run waits, so the action must not go on.
    bool RefuseWhileRunWaits(ERunKind eRun);
    // Shows the end's status text, tells OnRunEnded, then reopens the gate if nothing waits.
    void ReportRunEnd(const CRunEnd &runEnd);
    // Tells the window when the gate opened or closed, and starts the first query that was due
    // while a run waited.
    void AfterRunStateChange();
    // Arms the step timer of a run that has just started and closes the gate before its first
    // command goes out.
    void BeginWaiting(unsigned nIdEvent, std::chrono::milliseconds period);
    void OnAutoQueryDue();

    // --- Probe internals (LineRateProbe.cpp)
    // The rate the line runs at, and setting it (received bytes are dropped); tests replace them
    // to watch the rates.
    virtual uint32_t LineRate() const;
    virtual bool SetLineRate(uint32_t nRate);
    void OnLineProbeStep(CLineProbe::EStep eStep);
    void EndLineProbe(uint32_t nRate);
    // Stops a running probe without a word (the port went away, the window closes).
    void CancelLineProbe();

    // --- Receive internals (ResponseHandlers.cpp)
    // Forgets bytes of a line that will never be completed (the device went away), so they are
    // not put in front of what the next device sends. Safe while a scan runs: applied after it.
    void DiscardReceivedBytes();
    static std::string SpanText(const TextSpan &span);
    void ReadUartMode(const char *pLine, uint16_t nLength);
    void ShowAddress(const char *pLine, bool bLocal);

    // --- Form internals (FormExchange.cpp)
    void ApplySliderPreset(int nSliderId);
    bool ExchangeText(bool bSave, int nId, std::string &strValue, size_t nMaxBytes);
    bool ExchangeUInt(bool bSave, int nId, uint32_t &nValue, uint32_t nMaxValue);
    bool FailField(int nId, const std::string &strMessage);

    // Implementation state of the concerns (see the .cpp files); kept here so each file can
    // reach what it needs.
    CPendingBytes m_pending;
    std::deque<std::string> m_receiveQueue;
    bool m_bScanning = false;
    bool m_bDiscardAfterScan = false;
    // Bumped whenever its run starts, advances or ends; a prompt compares it on return.
    uint32_t m_nQueryStep = 0;
    uint32_t m_nSetStep = 0;
    // The set line last written: the one an "OK" to the set run confirms; -1 when none is out.
    int32_t m_nSetLineInFlight = -1;
    int m_nSkipped = 0;               // commands of the current run given up with Yes
    int m_nOpenPrompts = 0;           // prompts and notices of the waiting run on screen
    bool m_bGateClosed = false;       // what OnRunGateChanged last said
    bool m_bAutoQueryPending = false; // TIMER_AUTOQUERY fired while a run waited
    CSetRunBook m_setRunBook;         // what the queued set lines advanced (ParameterWrite.cpp)
    CLineProbe m_lineProbe;
};

// Which handler a click on each of the form's buttons and check boxes runs; every window binds
// its controls from this one table.
struct ButtonHandler
{
    int nId;
    void (CModuleSetupEngine::*pfnHandler)();
};
extern const ButtonHandler ButtonHandlerTable[7];
