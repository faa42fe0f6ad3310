#pragma once

#include "cli/EngineSession.h"
#include "cli/Ledger.h"
#include "cli/UnitTemplate.h"
#include "cli/UnitsCsv.h"
#include "engine/FormValues.h"
#include "serial/LinkTrace.h"
#include "serial/SerialLink.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Each port's wire, as it happens (benchmarks, --trace); on the session's thread for writes and
// on the link's reader thread for chunks.
using CUnitTraceSink = std::function<void(const std::string &strPort, const CTraceEntry &entry)>;

// How every module of a production run is reached.
struct CWorkSetup
{
    CLineSettings line; // its rate kAutoLineRate: found by the probe
    double dTimerScale = 1.0;
    bool bContinueOnError = false;
    // A device the system has just made may refuse its user for a moment, until udev has given
    // the node its group: a refused open is tried again for this long.
    std::chrono::milliseconds permissionGrace{3000};
    CUnitTraceSink fnTrace;
};

// One module's session in a production run: opened, read, written and read back. A step that
// fails ends the work and keeps why, as a language-free end and a text for the user.
class CModuleWork
{
public:
    CModuleWork(std::string strPort, const CWorkSetup &setup);

    bool Open();
    // The line rate (probed when it is not given), then the query run.
    bool Read();
    // The form's checks, then a Set of only what differs; false, nothing written, on a refusal.
    bool Write(const CSetValues &values);
    // Reads the module again and compares every value the request named.
    bool Verify(const CSetValues &values);
    // Reads the module again from nothing (what it holds now); false when that failed.
    bool ReadAgain();
    // Ends the work: always false, so a step can return it.
    bool Fail(std::string strEnd, std::string strText);

    const std::string &Port() const { return m_strPort; }
    const std::string &Address() const { return m_strAddr; } // as the first reading gave it
    bool Failed() const { return m_bFailed; }
    bool WroteAnything() const { return m_bWrote; }
    const std::string &End() const { return m_strEnd; }
    const std::string &Text() const { return m_strText; }
    const ModuleParams &LastRead() { return m_session.Engine().LastRead(); }
    // The record's facts about this module: port, stable name, rate, address, version, what
    // was asked (pAsked) and what was read, the end and its text.
    void FillRecord(CLedgerUnit &record, const CSetValues *pAsked);

private:
    // Whether an action the session waited for ended well; a failure is kept.
    bool Ended(const std::optional<CRunEnd> &end);

    std::string m_strPort;
    const CWorkSetup &m_setup;
    CEngineSession m_session;
    uint32_t m_nLineRate = 0;
    std::string m_strAddr;
    std::string m_strVersion; // UTF-8
    bool m_bQueried = false;
    bool m_bFailed = false;
    bool m_bWrote = false;
    std::string m_strEnd = RunEndName(ERunEnd::Done);
    std::string m_strText;
};

// What every unit of a provisioning run is given.
struct CUnitPlan
{
    CWorkSetup work;
    CSetValues base; // the profile and the options, texts GBK; the templated parameters left out
    // The per-unit texts (--name, --password, --class): the parameter and its template.
    std::vector<std::pair<const CParamRow *, CUnitTemplate>> templates;
    const CUnitsCsv *pUnits = nullptr;
    CUnitsRowPicker *pRows = nullptr; // set when a template reads the units file
    CLedger *pLedger = nullptr;
    bool bAgain = false; // a unit the ledger holds as passed is done again
};

// What became of one unit: its record, and whether the record reached the ledger.
struct CUnitOutcome
{
    CLedgerUnit record;
    std::string strName;        // the name given (UTF-8); empty when none was asked for
    std::string strLedgerError; // the ledger could not be written: the run must stop
};

// Commissions the module on one port: read it, skip it when the ledger holds it as passed, claim
// its counter value (and units-file row), write the profile with its own values, read it back,
// and append its record.
CUnitOutcome RunProvisionUnit(const std::string &strPort, const CUnitPlan &plan);

// The values asked for, as "query --json" writes "params", with only the parameters named.
nlohmann::ordered_json AskedJson(const CSetValues &values);
