#include "cli/Send.h"

#include "cli/CliOptions.h"
#include "cli/EngineSession.h"
#include "cli/PortSession.h"
#include "protocol/GbkText.h"

#include <cstdlib>
#include <optional>

namespace {

// The most --wait takes: far beyond any module's answer, short of a run that never ends.
constexpr std::chrono::milliseconds kMaxSendWait{600000};

std::string ParseWait(CSendOptions &send, const std::string &strValue)
{
    const bool bDigits = !strValue.empty() && strValue.size() <= 7 &&
                         strValue.find_first_not_of("0123456789") == std::string::npos;
    const long nMs = bDigits ? std::strtol(strValue.c_str(), nullptr, 10) : 0;
    if (nMs < 1 || nMs > kMaxSendWait.count())
        return "--wait takes milliseconds, 1 to " + std::to_string(kMaxSendWait.count());
    send.quietWait = std::chrono::milliseconds(nMs);
    send.bWaitGiven = true;
    return {};
}

// The word of an end, the same in the text and the JSON.
const char *SendEndName(const std::optional<CRunEnd> &end)
{
    if (!end)
        return "port_lost";
    switch (end->eEnd) {
    case ERunEnd::Done:
        return "ok";
    case ERunEnd::Refused:
        return "refused";
    case ERunEnd::TimedOut:
        return "timed_out";
    default:
        return RunEndName(end->eEnd);
    }
}

void Fail(CPortReport &report, std::string strError)
{
    report.nExitCode = EXIT_CLI_MODULE;
    report.strError = std::move(strError);
}

// Why a port's script stopped, or how many of its commands failed when it went on.
void ReportFailures(CPortReport &report, const CliOptions &options, size_t nFailed)
{
    const CSendResult &last = report.sent.back();
    const size_t nNotSent = options.send.commands.size() - report.sent.size();
    if (last.strEnd == "port_lost")
        return Fail(report, report.strPort + " went away" +
                                (nNotSent ? ", " + std::to_string(nNotSent) + " not sent" : ""));
    if (nFailed == 0)
        return;
    if (!options.bContinueOnError) {
        std::string strError = "\"" + last.strCommand + "\": " + last.strEnd;
        if (nNotSent > 0)
            strError += "; the " + std::to_string(nNotSent) + " after it not sent";
        // Silence from the very first command points at the line rate, as in the other actions.
        if (report.sent.size() == 1 && last.lines.empty() && last.strEnd == "timed_out" &&
            report.nLineRate == 0)
            strError += " (no answer at this line rate; try `kestrel-cli probe`)";
        return Fail(report, strError);
    }
    Fail(report, std::to_string(nFailed) + " of " + std::to_string(report.sent.size()) +
                     " commands refused or not answered");
}

} // namespace

bool IsSendOption(const std::string &strName)
{
    return strName == "--eol" || strName == "--wait" || strName == "--script";
}

std::string ApplySendOption(CSendOptions &send, const std::string &strName,
                            const std::string &strValue)
{
    if (strName == "--wait")
        return ParseWait(send, strValue);
    if (strName == "--script") {
        send.strScriptFile = strValue;
        return {};
    }
    const std::optional<EConsoleEol> eEol = ParseConsoleEolName(strValue);
    if (!eEol)
        return "--eol takes crlf, cr, lf or none";
    send.eEol = *eEol;
    send.bEolGiven = true;
    return {};
}

std::string CheckSendCombination(const CliOptions &options)
{
    const CSendOptions &send = options.send;
    if (options.action != CliAction::Send) {
        if (send.bEolGiven || send.bWaitGiven || !send.strScriptFile.empty())
            return "--eol, --wait and --script go with send";
        return {};
    }
    if (send.typed.empty() && send.strScriptFile.empty())
        return "send needs the commands to send, or --script FILE";
    if (!send.typed.empty() && !send.strScriptFile.empty())
        return "send takes the commands on the command line or in --script FILE, not both";
    return {};
}

std::string PrepareSendCommands(CliOptions &options)
{
    CSendOptions &send = options.send;
    if (options.action != CliAction::Send)
        return {};
    if (!send.strScriptFile.empty()) {
        CConsoleScript script = LoadConsoleScript(send.strScriptFile, send.eEol);
        if (!script.bOk)
            return send.strScriptFile + ": " + script.strError;
        if (script.lines.empty())
            return send.strScriptFile + ": no command in it (blank and # lines are skipped)";
        send.commands = std::move(script.lines);
        return {};
    }
    for (const std::string &strTyped : send.typed) {
        CConsoleScriptLine line{0, strTyped, BuildConsoleCommand(strTyped, send.eEol)};
        if (!line.command.Ok())
            return "\"" + strTyped + "\": " + line.command.strMessage;
        send.commands.push_back(std::move(line));
    }
    return {};
}

void RunSend(CEngineSession &session, CPortReport &report, const CliOptions &options,
             const std::function<void(const std::string &strLine)> &fnOutput)
{
    const auto output = [&](const std::string &strLine) {
        if (fnOutput)
            fnOutput(strLine);
    };
    session.Engine().SetConsoleWait(options.send.quietWait);
    session.View().m_fnConsoleLine = [&](const std::string &strLine) {
        report.sent.back().lines.push_back(GbkToUtf8(strLine));
        output(report.sent.back().lines.back());
    };
    size_t nFailed = 0;
    for (const CConsoleScriptLine &command : options.send.commands) {
        report.sent.push_back({command.strTyped, {}, {}});
        output("> " + command.strTyped);
        const std::optional<CRunEnd> end = session.RunAction(
            [&] { session.Engine().StartConsoleCommand(command.command.strBytes); },
            ERunKind::Console);
        report.sent.back().strEnd = SendEndName(end);
        output("[" + report.sent.back().strEnd + "]");
        if (!end || end->eEnd == ERunEnd::PortLost)
            break;
        nFailed += end->Succeeded() ? 0 : 1;
        if (!end->Succeeded() && !options.bContinueOnError)
            break;
    }
    session.View().m_fnConsoleLine = nullptr;
    ReportFailures(report, options, nFailed);
}

namespace {

nlohmann::ordered_json SendResultsToJson(const CPortReport &report)
{
    nlohmann::ordered_json commands = nlohmann::ordered_json::array();
    for (const CSendResult &result : report.sent)
        commands.push_back({{"port", report.strPort},
                            {"command", result.strCommand},
                            {"lines", result.lines},
                            {"end", result.strEnd}});
    return commands;
}

} // namespace

nlohmann::ordered_json SendReportsToJson(const std::vector<CPortReport> &reports)
{
    if (reports.size() == 1)
        return SendResultsToJson(reports.front());
    nlohmann::ordered_json ports = nlohmann::ordered_json::array();
    for (const CPortReport &report : reports) {
        nlohmann::ordered_json port = {{"port", report.strPort},
                                       {"commands", SendResultsToJson(report)}};
        if (!report.strError.empty())
            port["error"] = report.strError;
        ports.push_back(port);
    }
    return {{"ports", ports}};
}
