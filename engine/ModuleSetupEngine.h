#pragma once

#include "engine/ConsoleHistory.h"
#include "engine/ControlIds.h"
#include "engine/FormMembers.h"
#include "engine/LineProbe.h"
#include "engine/ModuleParams.h"
#include "engine/ModuleSetupView.h"
#include "engine/ParameterWrite.h"
#include "engine/ReplyQueue.h"
#include "engine/RunEnd.h"
#include "engine/SessionLink.h"
#include "protocol/PendingBytes.h"
#include "protocol/ResponseScanner.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

struct CSetValues;

constexpr std::chrono::milliseconds kQueryStepTimeout{2000};
constexpr std::chrono::milliseconds kClearAddrTimeout{4000};
constexpr std::chrono::milliseconds kSetStepTimeout{4000};
constexpr std::chrono::milliseconds kDefaultTimeout{4000};
constexpr std::chrono::milliseconds kAutoQueryDelay{1000};
// How often a pulled adapter is looked for; a device is back within a second of plugging.
constexpr std::chrono::milliseconds kReopenPoll{500};
// How long a reply no run waits for any more may still come, counted from the last byte
// received: after that, the module is taken to have dropped the command.
constexpr std::chrono::milliseconds kLateReplyWindow{10000};

constexpr int SET_COMMAND_SLOTS = 11;
constexpr int SET_COMMAND_SLOT_SIZE = 128;

// The lines a Set would send for a request, or the check that refused it.
struct CSetPlan
{
    std::vector<std::string> lines; // each with its CR LF, GBK
    std::string strRefusal;         // the first failing check's message (UTF-8); empty if none
};

// Everything the main window does that needs no widget: the form's data exchange and checks, the
// reply handlers, the command sequencer, Set, restore-defaults, clear-binding, device inquiry,
// the line-rate probe and the session's port. A face holds one and gives it a view
// (IModuleSetupView); the face calls the operations below when its controls, timers and posted
// work say so, and the engine talks back only through the view. Everything runs on the face's
// thread; the link's reader thread only posts.
class CModuleSetupEngine final : public IResponseHandler
{
public:
    explicit CModuleSetupEngine(IModuleSetupView &view, const CSessionTraceSetup &traceSetup = {});
    ~CModuleSetupEngine() override;

    CModuleSetupEngine(const CModuleSetupEngine &) = delete;
    CModuleSetupEngine &operator=(const CModuleSetupEngine &) = delete;

    // --- The form's start: "0" in the number fields, the lists filled, nothing selected.
    void InitForm();

    // --- The session's port, the same way for every face
    // Opens the port with the line as described; false (nothing armed) when it did not open,
    // LastOpenFailure then says why. StartSession also arms the first reading, or the line-rate
    // probe first when the rate is to be found.
    bool OpenSession(const std::string &strPortPath, const CLineSettings &line);
    bool StartSession(const std::string &strPortPath, const CLineSettings &line);
    // The window closes: whatever waits is abandoned without a text, every timer stops, the port
    // closes and a device coming back is no longer reopened.
    void CloseSession();
    const std::string &SessionPort() const { return m_session.PortPath(); }
    bool IsSessionOpen() const { return m_session.IsOpen(); }
    const COpenFailureInfo &LastOpenFailure() const { return m_session.LastOpenFailure(); }
    CLinkTrace &SessionTrace() { return m_session.Trace(); }
    // A line its owner opened and keeps open, in place of the session's (tests, tools); the
    // trace, when given, records every command written. bRateUnknown: the first reading probes
    // the line rate first, as a session opened with kAutoLineRate does.
    void AttachLine(ISerialLine *pLine, CLinkTrace *pTrace = nullptr, bool bRateUnknown = false);

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
    // A click on one of the form's buttons or check boxes, by control id; others are ignored.
    void OnCommand(int nId);
    // The user let go of a slider (nId IDC_SLIDER_SCAN or IDC_SLIDER_SNIFF).
    void OnSliderReleased(int nId);
    void OnTimer(unsigned nIdEvent);
    void StartAutoQuery(); // arms TIMER_AUTOQUERY once the port is open

    // --- The one rule of the line: the module answers one command at a time. While a run waits
    // (its flag set, its timer armed, or its prompt or notice open), every action that would
    // write a command refuses (reported as ERunEnd::Busy, nothing written, nothing changed), and
    // the buttons of those actions are disabled until the run has ended.
    bool IsRunWaiting() const;
    // A command timed out and its run went on without it, and neither its late final line nor
    // the end of the late-reply window has come: whoever opens the port next would take that
    // line for its own command, so a face that closes the port waits for this to clear.
    bool OwesLateReply() const { return m_unanswered.HasAbandoned(); }
    // Ends whatever waits without a text (the window closes, a dry run is over): timers killed,
    // unconfirmed set lines taken back, reported as ERunEnd::Abandoned.
    void AbandonRun();

    // --- The console: a command the user typed, its bytes built by BuildConsoleCommand (its line
    // ending included), sent as a run of its own. It ends on "OK", on a line that begins with
    // "ERROR", on "+INQCOMP", or when no byte came for the quiet wait (counted again from each
    // byte, never more than the longest wait in all); in OnRunEnded(ERunKind::Console).
    void StartConsoleCommand(const std::string &strBytes);
    // What a window's console does with a command that passed its checks: starts it, and keeps
    // it for recall (the history saved) only when it went out. False when nothing was written (no
    // port, or a run holds the line): the status line says why, and what was typed stays.
    bool SendConsoleCommand(const std::string &strTypedUtf8, const std::string &strBytes,
                            CConsoleHistory &history, CProfile &profile);
    void SetConsoleWait(std::chrono::milliseconds quietWait);
    bool IsConsoleWaiting() const { return m_bConsoleWaiting; }

    // --- Values instead of the form (the command line, configuration files)
    // The lines a Set of this request would send, from the last-read values; changes nothing.
    CSetPlan PlanSet(const CSetValues &request) const;
    // Set from values, as "设置(&S)" does from the form: the form's checks, then only what
    // differs from the last-read values, one line at a time. Ends in OnRunEnded.
    void StartSet(const CSetValues &request);
    // Puts values into the controls as a user would type and tick them (nothing is sent).
    void ApplyValues(const CSetValues &values);
    // What the form shows, as a record (GBK), read with the form's checks; false when a field
    // fails them (the user has been told).
    bool ReadFormValues(ModuleParams &params, std::string &strLocalAddr);
    // Configuration files: save writes what the form shows, load only fills the controls. Both
    // tell the user what went wrong in a message box and return false; neither runs while a run
    // waits.
    bool SaveConfig(const std::string &strPath);
    bool LoadConfig(const std::string &strPath);

    // --- Form
    // true reads the controls into the members (stopping at the first failed check, which is
    // reported and focused), false writes the members into the controls.
    bool UpdateData(bool bSaveAndValidate);
    void ClearForm();
    // Fills the baud, parity and stop-bit lists as the dialog shows them after its start: each
    // ends with the empty entry, nothing is selected.
    void FillLists();

    // --- Received bytes, in arrival order. Never re-entered: bytes that arrive while a handler
    // waits in a prompt are scanned as soon as the current scan returns.
    void OnReceivedBytes(const char *pData, size_t nLength);
    // The link reported that its device went away.
    void OnPortLost();

    // --- Reply handlers (IResponseHandler), called by the scanner
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

    // --- The line-rate probe: "AT" at each rate until a framed "OK" comes, driven by
    // TIMER_PROBE and the received bytes like any run, so the window never blocks. It holds the
    // line: the gate stays closed while it runs. False (nothing written) when a run waits or the
    // port is closed. The line stays at the rate found, or goes back to the default.
    bool StartLineProbe();
    bool IsLineProbeRunning() const { return m_lineProbe.IsRunning(); }
    uint32_t FoundLineRate() const { return m_nFoundLineRate; }
    // Whether a probe that found no rate shows the checklist in a message box (the command line
    // prints it once for all its ports instead).
    void SetProbeChecklistShown(bool bShown) { m_bProbeChecklistBox = bShown; }

    // --- What the engine holds, read-only
    const ModuleParams &LastRead() const { return m_paramsCur; } // last read or queued
    const ModuleParams &Snapshot() const { return m_paramsNew; } // what the last Set validated
    const CFormMembers &FormMembers() const { return m_formValues; }
    // The next reading starts from nothing: a value it does not bring counts as never read (a
    // check of what a Set left must not take a skipped reading for the value queued).
    void ForgetLastRead() { m_paramsCur = ModuleParams{}; }
    int32_t CmdIndex() const { return m_nCmdIndex; }
    bool IsQuerying() const { return m_bQuerying != 0; }
    bool IsSetting() const { return m_bSetting != 0; }
    bool IsClearing() const { return m_bClearing != 0; }
    bool IsRestoring() const { return m_bRestoring != 0; }
    std::vector<std::string> SetCommandLines() const; // the last Set's list, each with CR LF

    static std::string MakeTextFromSpan(const char *pBytes, size_t nLength);
    static std::string CommandDisplayName(const char *pCommand); // UTF-8
    // The parity list's entry nIndex (0 none, 1 odd, 2 even, 3 empty) as the list shows it (GBK).
    static std::string ParityListEntry(int nIndex);
    // What to look at when no rate answered the probe (UTF-8), one line each.
    static std::string ProbeChecklistText(EUiLanguage eLanguage);

private:
    // --- Shared helpers (ModuleSetupEngine.cpp)
    bool IsPortOpen() const;
    // How a written command's final line is taken: the waiting run's answer, an answer no run
    // waits for (a search's "OK"), or none at all (the probe's "AT" at a rate under test).
    enum class EWrite { Awaited, Unawaited, Untracked };
    // Writes one command without its NUL; the count written is not looked at (a command that did
    // not go out shows up as its step's timeout).
    void WriteCommand(const char *pCommand, EWrite eWrite = EWrite::Awaited);
    void WriteBytes(const std::string &strBytes, EWrite eWrite);
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
    // A check box shows ticked for any state but 0; the state itself is kept as the module
    // reported it until the user clicks the box, so a Set does not take an unedited box for a
    // change.
    void SetCheckState(int nId, int32_t nState);
    int32_t CheckState(int nId);
    // The session's port went away or came back.
    void OnSessionLost();
    void TryReopenSession();

    // --- Reply order (ReplyOrder.cpp)
    // A final line came: true when it answers the command the waiting run waits for; a late one
    // (its run went on) or one nobody waits for changes no run.
    bool TakeFinalLine(const char *pLine, size_t nLength);
    // The waiting run stops waiting for its command; the answer may still come.
    void StopAwaiting();
    void OnLateReplyWindowOver();
    void OnSearchClosingLine(const char *pLine, size_t nLength);
    void OnInformationFor(const char *pszQuery);
    void NoteDropped(const std::vector<std::string> &dropped);
    void ForgetOutstandingCommands(); // the line starts afresh (a new device, the probe)

    // --- Console internals (ConsoleRun.cpp)
    void EndConsoleCommand(ERunEnd eEnd);
    void OnConsoleBytes(const char *pData, size_t nLength);
    void ShowConsoleLine();

    // --- Sequencer internals (CommandSequencer.cpp)
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
    void AskToContinue(ERun eRun, CUiSource promptFormat, ERunEnd eEndIfNo);
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
    // Busy, then no port: a run that cannot start is reported ended, and true returned.
    bool RefuseToStart(ERunKind eRun);
    // Shows the end's status text, tells the view, then reopens the gate if nothing waits.
    void ReportRunEnd(const CRunEnd &runEnd);
    // Tells the view when the gate opened or closed, and starts the first query that was due
    // while a run waited.
    void AfterRunStateChange();
    // Arms the step timer of a run that has just started and closes the gate before its first
    // command goes out.
    void BeginWaiting(unsigned nIdEvent, std::chrono::milliseconds period);
    void OnAutoQueryDue();

    // --- Set internals (ParameterWrite.cpp)
    // The last-read values advance when a line is queued; the sequencer reports which lines the
    // module confirmed with "OK" and when the run ended, so that lines never confirmed are
    // restored and sent again by the next Set.
    void OnSetLineConfirmed(int nIndex);
    void OnSetRunEnded();
    // The form's field checks on what the request names, then the Set checks, in the form's
    // order; fills the snapshot as far as they got. The first failing check's message (UTF-8),
    // empty when all passed.
    std::string CheckSetValues(const CSetValues &request, ModuleParams &snapshot) const;
    // Builds the list from the snapshot and starts the run; the status shows the progress.
    void BeginSetRun();
    // The values a request asks for, laid over what the module last reported.
    CSetFormInput RequestInput(const CSetValues &request) const;

    // --- Probe internals (LineRateProbe.cpp)
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
    // Why a field's text fails its check (UTF-8), empty when it passes; a number that passes is
    // put into nValue.
    static std::string TextFieldProblem(const std::string &strText, size_t nMaxBytes);
    static std::string NumberFieldProblem(const std::string &strText, uint32_t nMaxValue,
                                          uint32_t &nValue);
    // The form's values as Set takes them, in the record's shape.
    CSetFormInput ReadFormRecord();

    IModuleSetupView &m_view;
    CSessionLink m_session;
    // The line the engine writes to (the session's, or one its owner attached) and the trace
    // that records what is written.
    ISerialLine *m_pSerial = nullptr;
    CLinkTrace *m_pTrace = nullptr;

    CFormMembers m_formValues;
    std::map<int, int32_t> m_rawCheckStates; // check states beyond 0 and 1, as reported

    // --- Run state
    int32_t m_bSetting = 0;
    int32_t m_bQuerying = 0;
    int32_t m_bClearing = 0;
    int32_t m_bRestoring = 0;
    int32_t m_nCmdIndex = 0;

    // --- The two records: the snapshot the Set action validated, and the values last read from
    // (or last queued for) the module.
    ModuleParams m_paramsNew;
    ModuleParams m_paramsCur;

    // The set run's lines.
    char m_SetCommandList[SET_COMMAND_SLOTS][SET_COMMAND_SLOT_SIZE] = {};
    int32_t m_nSetCommandCount = 0;

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
    bool m_bGateClosed = false;       // what the view was last told
    bool m_bAutoQueryPending = false; // TIMER_AUTOQUERY fired while a run waited
    CSetRunBook m_setRunBook;         // what the queued set lines advanced (ParameterWrite.cpp)
    CLineProbe m_lineProbe;
    CReplyQueue m_unanswered;         // commands written whose final line has not come
    uint32_t m_nAwaitedToken = 0;  // the one the waiting run waits for; 0 none
    bool m_bConsoleWaiting = false;
    std::string m_strConsoleCommand; // as the run's end names it (UTF-8)
    bool m_bConsoleMayChange = false;
    std::string m_strConsoleLine;    // a reply line not yet complete
    std::chrono::milliseconds m_consoleQuietWait{1000};
    bool m_bAutoLineRate = false;  // the session's line was opened to be probed
    uint32_t m_nFoundLineRate = 0; // what the last probe found; 0 none yet
    bool m_bProbeChecklistBox = true;
};
