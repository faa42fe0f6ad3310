#pragma once

#include "engine/ConsoleCommand.h"

#include <chrono>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

class CEngineSession;
struct CliOptions;
struct CPortReport;

// What "send" is asked to send, as parsed, and the commands made from it before any port opens.
struct CSendOptions
{
    std::vector<std::string> typed; // the commands given on the command line (UTF-8, escapes)
    std::string strScriptFile;      // --script: one command per line
    EConsoleEol eEol = kDefaultConsoleEol;
    std::chrono::milliseconds quietWait = kConsoleQuietWait; // --wait
    bool bEolGiven = false;
    bool bWaitGiven = false;
    // Filled by PrepareSendCommands: each command as typed, and the bytes that go out.
    std::vector<CConsoleScriptLine> commands;
};

// How one command of "send" went on one port.
struct CSendResult
{
    std::string strCommand;         // as typed (UTF-8)
    std::vector<std::string> lines; // the reply lines as they came (UTF-8)
    std::string strEnd;             // "ok", "refused", "timed_out", or "port_lost"
};

// The options of send that take a value; Apply returns an error text, empty when fine.
bool IsSendOption(const std::string &strName);
std::string ApplySendOption(CSendOptions &send, const std::string &strName,
                            const std::string &strValue);
// Options that only make sense with send, and send's need for commands; empty when fine.
std::string CheckSendCombination(const CliOptions &options);

// Builds every command (those on the line, or the script's) into the bytes that go out, so that
// one the module cannot be sent refuses the whole run before any port opens. Does nothing for
// other actions. Returns the error for the user, empty when every command can be sent.
std::string PrepareSendCommands(CliOptions &options);

// Sends the prepared commands in order on an open session, each after the one before has ended,
// and stops at the first refusal or silence unless --on-error continue. fnOutput gets the text
// output as it comes (UTF-8 lines: the command, each reply line, the end).
void RunSend(CEngineSession &session, CPortReport &report, const CliOptions &options,
             const std::function<void(const std::string &strLine)> &fnOutput);

// --json: one port gives the array of its commands, {"port", "command", "lines", "end"} each;
// several give {"ports": [{"port", "commands": [that array], "error" when it failed}, ...]}, in
// the order the ports were given, as query --json wraps its objects.
nlohmann::ordered_json SendReportsToJson(const std::vector<CPortReport> &reports);
