#pragma once

#include "cli/Send.h"
#include "engine/FormValues.h"
#include "serial/SerialLink.h"

#include <string>
#include <vector>

// Exit codes of kestrel-cli, stable for scripts.
enum CliExitCode : int {
    EXIT_CLI_OK = 0,
    EXIT_CLI_MODULE = 1, // the module refused a command, did not answer, or the port went away
    EXIT_CLI_USAGE = 2,  // bad arguments, or a value the checks refuse
    EXIT_CLI_PORT = 3,   // the port cannot be opened (missing, busy, no permission)
};

enum class CliAction {
    None,
    Ports,
    Query,
    Set,
    Defaults,
    ClearAddress,
    Search,
    Probe,
    Send,
    Provision,
    Pair,
    Help,
    Version
};

// The production line's options (provision, pair).
struct CProductionOptions
{
    bool bWatch = false;          // work devices as they appear
    std::string strWatchGlob;     // watch these paths instead of the system's serial devices
    bool bIncludePresent = false; // devices there at the start are worked too
    std::string strLedger;        // the record of every unit (JSON Lines)
    uint64_t nStart = 1;          // the counter's first value
    bool bStartGiven = false;
    std::string strUnitsFile; // per-unit values: by the module's address, else in order
    bool bAgain = false;      // units the ledger holds as passed are done again
    std::string strMaster;    // pair
    std::string strSlave;
};

// The parsed command line.
struct CliOptions
{
    CliAction action = CliAction::None;
    std::vector<std::string> ports;
    // The PC's side of the line: rate (kAutoLineRate: probed at the open), flow, DTR and RTS.
    CLineSettings line;
    bool bLineRateGiven = false;
    bool bRtsGiven = false;
    bool bSimulate = false;
    bool bContinueOnError = false;
    bool bJson = false;
    bool bDryRun = false;
    bool bVerify = false;    // set: read the module back and compare
    bool bTrace = false;     // every write and received chunk on stderr
    std::string strFromFile; // set: a configuration file (what query --json prints)
    double dSearchSeconds = 10.0;
    double dTimerScale = 1.0; // hidden: tests shorten the step timeouts
    CSetValues set;
    CSendOptions send; // send: the commands and how they go out
    CProductionOptions production;
};

struct CliParseResult
{
    bool bOk = false;
    std::string strError; // why the arguments were refused
    CliOptions options;
};

CliParseResult ParseCliArguments(const std::vector<std::string> &args);

// Turns the typed texts of set into the module's GBK. A text GBK cannot hold is refused, never
// sent as "?": the error names the option; empty when every text converted.
std::string ConvertSetTextsToGbk(CSetValues &set);

// A configuration file's values (--from) under those already in set; empty when it was read,
// else the reason after the file's path.
std::string MergeConfigFile(CSetValues &set, const std::string &strPath);
std::string CliUsageText();
