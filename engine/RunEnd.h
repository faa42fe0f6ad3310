#pragma once

#include <cstdint>
#include <string>
#include <utility>

// The actions that write a command and wait for its outcome. Search has no timer and no reply to
// wait for; it ends when the module sends its closing line.
enum class ERunKind : uint8_t {
    Query,     // "查询(&I)", or the automatic first query
    Set,       // "设置(&S)"
    ClearAddr, // "清除地址"
    Restore,   // "默认"
    Search,    // "搜索设备"
    Console,   // a command typed into the traffic window's console, or "kestrel-cli send"
};

// How an action ended. Done, Refused, TimedOut and PortLost end a run that wrote commands;
// Abandoned ends one that its owner gave up; the others end an action that wrote nothing.
enum class ERunEnd : uint8_t {
    Done,          // every command answered "OK" (or given up with Yes); search: "+INQCOMP"
    Refused,       // the module answered "ERROR" and the run stopped at that command
    TimedOut,      // no reply within the step's period and the run stopped at that command
    PortLost,      // the device went away while the run waited
    NothingToSend, // Set: the form holds what was last read; nothing written
    NoPort,        // the link was not open; nothing written
    FormRefused,   // Set: a check refused the form and showed its message; nothing written
    Busy,          // another action still waited for its reply; nothing written, nothing changed
    Abandoned,     // the owner gave up the run (the window closed, a dry run); no text shown
};

// One action's end, as the engine reports it, once per action, through OnRunEnded. Windows paint
// the status text from it (RunEndStatusText) and the command line picks its exit code from it, so
// no caller ever has to compare texts. A plain value: copy it, keep it, compare it.
struct CRunEnd
{
    CRunEnd() = default;
    CRunEnd(ERunKind eRunKind, ERunEnd eHowEnded, std::string strName = {}, int nAnswerGiven = 0,
            int nSkippedWithYes = 0, bool bMayDiffer = false)
        : eRun(eRunKind), eEnd(eHowEnded), strCommand(std::move(strName)), nAnswer(nAnswerGiven),
          nSkipped(nSkippedWithYes), bFormMayDiffer(bMayDiffer)
    {}

    ERunKind eRun = ERunKind::Query;
    ERunEnd eEnd = ERunEnd::Done;
    // Refused or TimedOut: the display name of the command the run stopped at (UTF-8, as the
    // prompts name it, "未知" when the command cannot be named); empty otherwise. Console: the
    // command as typed, its bytes shown (UTF-8).
    std::string strCommand;
    // The answer of the continue prompt that stopped the run (IDNO, or whatever else the box
    // returned, which counts as No); 0 when no prompt was asked (single-command actions).
    int nAnswer = 0;
    // Commands of this run that got "ERROR" or no reply and were given up with Yes.
    int nSkipped = 0;
    // Console: the command may have changed what the module holds (anything but a plain "AT" or
    // a query ending in "?"), so the form may no longer match the module.
    bool bFormMayDiffer = false;

    // Whether the action did what it was asked; a run that skipped commands with Yes counts.
    bool Succeeded() const { return eEnd == ERunEnd::Done || eEnd == ERunEnd::NothingToSend; }
    bool operator==(const CRunEnd &) const = default;
};

// How an end is named for machines, the same in every language: "done", "timed_out", ...
const char *RunEndName(ERunEnd eEnd);

// The status text an end shows (UTF-8, in the user's language); empty when it shows none
// (FormRefused, Busy, Abandoned).
std::string RunEndStatusText(const CRunEnd &runEnd);
