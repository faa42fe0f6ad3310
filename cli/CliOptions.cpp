#include "cli/CliOptions.h"

#include "engine/ConfigFile.h"
#include "engine/ParamTable.h"
#include "protocol/GbkText.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <map>
#include <sstream>

namespace {

const std::map<std::string, CliAction> kActions = {
    {"ports", CliAction::Ports},
    {"query", CliAction::Query},
    {"set", CliAction::Set},
    {"defaults", CliAction::Defaults},
    {"clear-address", CliAction::ClearAddress},
    {"search", CliAction::Search},
    {"probe", CliAction::Probe},
    {"send", CliAction::Send},
    {"provision", CliAction::Provision},
    {"pair", CliAction::Pair},
    {"help", CliAction::Help},
};

std::vector<std::string> SplitCommas(const std::string &strText)
{
    std::vector<std::string> parts;
    std::stringstream stream(strText);
    std::string strPart;
    while (std::getline(stream, strPart, ','))
        parts.push_back(strPart);
    if (!strText.empty() && strText.back() == ',')
        parts.push_back("");
    return parts;
}

bool IsDecimal(const std::string &strText)
{
    if (strText.empty() || strText.size() > 10)
        return false;
    for (char c : strText) {
        if (c < '0' || c > '9')
            return false;
    }
    return std::strtoull(strText.c_str(), nullptr, 10) <= 0xFFFFFFFFull;
}

// "on"/"off" style switches and the named choices of the lists.
std::optional<int> ParseChoice(const std::string &strValue,
                               const std::map<std::string, int> &choices)
{
    auto it = choices.find(strValue);
    if (it == choices.end())
        return std::nullopt;
    return it->second;
}

const std::map<std::string, int> kFlows = {{"none", 0}, {"hardware", 1}};
const std::map<std::string, int> kOnOff = {{"on", 1}, {"off", 0}};

// The parameter a set option names; nullptr for any other option.
const CParamRow *FindOption(const std::string &strName)
{
    for (const CParamRow &row : ParamTable) {
        if (row.IsSettable() && strName == row.pszOption)
            return &row;
    }
    return nullptr;
}

// The parameter options as --help lists them: the short ones packed into lines, one with its
// own explanation on a line of its own, aligned with the other options' explanations.
std::string ParameterHelp()
{
    constexpr size_t kWidth = 90;
    constexpr size_t kExplanationColumn = 26;
    std::string strHelp;
    std::string strLine;
    const auto flush = [&] {
        if (!strLine.empty())
            strHelp += "  " + strLine + "\n";
        strLine.clear();
    };
    for (const CParamRow *pRow : ParamsInHelpOrder()) {
        const std::string strOption = std::string(pRow->pszOption) + " " +
                                      (pRow->pszOptionValue ? std::string(pRow->pszOptionValue)
                                                            : ChoiceList(*pRow, false, "|", "|"));
        if (pRow->pszOptionHelp) {
            flush();
            strLine = strOption;
            strLine.resize(std::max(strLine.size() + 1, kExplanationColumn), ' ');
            strLine += pRow->pszOptionHelp;
            flush();
            continue;
        }
        if (!strLine.empty() && 2 + strLine.size() + 2 + strOption.size() > kWidth)
            flush();
        strLine += (strLine.empty() ? "" : "  ") + strOption;
    }
    flush();
    return strHelp;
}

// Parses the value of one option that takes a value. Returns an error text, empty when fine.
class COptionReader
{
public:
    explicit COptionReader(CliOptions &options) : m_options(options) {}

    std::string Apply(const std::string &strName, const std::string &strValue)
    {
        if (strName == "--port") {
            m_options.ports.push_back(strValue);
        } else if (strName == "--flow") {
            std::optional<int> nFlow;
            std::string strError = Choice(strValue, kFlows, nFlow, "--flow takes none or hardware");
            m_options.line.nFlow = static_cast<uint8_t>(nFlow.value_or(m_options.line.nFlow));
            return strError;
        } else if (strName == "--line-rate") {
            m_options.bLineRateGiven = true;
            return LineRate(strValue);
        } else if (strName == "--dtr" || strName == "--rts") {
            const bool bDtr = strName == "--dtr";
            std::optional<int> nOn;
            std::string strError = Choice(strValue, kOnOff, nOn,
                                          bDtr ? "--dtr takes on or off" : "--rts takes on or off");
            (bDtr ? m_options.line.bDtr : m_options.line.bRts) = nOn.value_or(1) != 0;
            m_options.bRtsGiven = m_options.bRtsGiven || !bDtr;
            return strError;
        } else if (strName == "--on-error") {
            if (strValue != "stop" && strValue != "continue")
                return "--on-error takes stop or continue";
            m_options.bContinueOnError = strValue == "continue";
        } else if (strName == "--timeout") {
            return Seconds(strValue);
        } else if (strName == "--timer-scale") {
            m_options.dTimerScale = std::atof(strValue.c_str());
            if (m_options.dTimerScale <= 0)
                return "--timer-scale takes a positive number";
        } else if (strName == "--from") {
            m_options.strFromFile = strValue;
        } else if (IsSendOption(strName)) {
            return ApplySendOption(m_options.send, strName, strValue);
        } else if (IsProductionOption(strName)) {
            return Production(strName, strValue);
        } else {
            return ApplyParameter(strName, strValue);
        }
        return {};
    }

    // The production line's options that take a value.
    static bool IsProductionOption(const std::string &strName)
    {
        return strName == "--ledger" || strName == "--watch-glob" || strName == "--start" ||
               strName == "--units" || strName == "--master" || strName == "--slave";
    }

private:
    std::string Production(const std::string &strName, const std::string &strValue)
    {
        CProductionOptions &production = m_options.production;
        if (strName == "--start") {
            const auto [pEnd, error] = std::from_chars(
                strValue.data(), strValue.data() + strValue.size(), production.nStart);
            production.bStartGiven = true;
            if (strValue.empty() || error != std::errc() ||
                pEnd != strValue.data() + strValue.size())
                return "--start takes a whole number from 0 to 18446744073709551615";
            return {};
        }
        if (strValue.empty())
            return strName + " needs a value";
        std::string *const pTarget = strName == "--ledger"       ? &production.strLedger
                                     : strName == "--watch-glob" ? &production.strWatchGlob
                                     : strName == "--units"      ? &production.strUnitsFile
                                     : strName == "--master"     ? &production.strMaster
                                                                 : &production.strSlave;
        *pTarget = strValue;
        return {};
    }

    std::string ApplyParameter(const std::string &strName, const std::string &strValue)
    {
        const CParamRow *pRow = FindOption(strName);
        if (pRow == nullptr)
            return "unknown option " + strName;
        CSetValues &set = m_options.set;
        switch (pRow->eKind) {
        case EParamKind::Choice:
        case EParamKind::Switch: {
            for (const CParamChoice &choice : pRow->choices) {
                if (strValue == choice.pszWord) {
                    set.Ask(pRow->pInt, choice.nIndex);
                    return {};
                }
            }
            return strName + " takes " + ChoiceList(*pRow, false, ", ", " or ");
        }
        case EParamKind::Group:
            return Group(*pRow, strValue);
        default:
            set.Ask(pRow->pText, strValue);
            return {};
        }
    }

    std::string Group(const CParamRow &row, const std::string &strValue)
    {
        std::vector<std::string> parts = SplitCommas(strValue);
        const std::string strError =
            std::string(row.pszOption) + " takes four numbers: " + row.pszOptionValue;
        if (parts.size() != row.members.size())
            return strError;
        for (const std::string &strPart : parts) {
            if (!IsDecimal(strPart))
                return strError;
        }
        for (size_t i = 0; i < parts.size(); ++i)
            m_options.set.params.*row.members[i].pField = parts[i];
        m_options.set.Ask(row);
        return {};
    }

    static std::string Choice(const std::string &strValue,
                              const std::map<std::string, int> &choices, std::optional<int> &target,
                              const char *pszError)
    {
        target = ParseChoice(strValue, choices);
        return target ? std::string() : std::string(pszError);
    }

    std::string LineRate(const std::string &strValue)
    {
        if (strValue == "auto") {
            m_options.line.nRate = kAutoLineRate;
            return {};
        }
        const uint32_t nRate =
            IsDecimal(strValue) ? static_cast<uint32_t>(std::strtoul(strValue.c_str(), nullptr, 10))
                                : 0;
        if (!IsLineRate(nRate)) {
            std::string strRates;
            for (const uint32_t nEach : kLineRates)
                strRates += " " + std::to_string(nEach);
            return "--line-rate takes auto or one of" + strRates;
        }
        m_options.line.nRate = nRate;
        return {};
    }

    std::string Seconds(const std::string &strValue)
    {
        char *pEnd = nullptr;
        double dSeconds = std::strtod(strValue.c_str(), &pEnd);
        if (strValue.empty() || *pEnd != '\0' || dSeconds <= 0 || dSeconds > 3600)
            return "--timeout takes seconds, above 0 and at most 3600";
        m_options.dSearchSeconds = dSeconds;
        return {};
    }

    CliOptions &m_options;
};

bool TakesValue(const std::string &strName)
{
    static const char *const kWithValue[] = {"--port",      "--flow",        "--on-error",
                                             "--timeout",   "--timer-scale", "--from",
                                             "--line-rate", "--dtr",         "--rts"};
    for (const char *pszName : kWithValue) {
        if (strName == pszName)
            return true;
    }
    return IsSendOption(strName) || COptionReader::IsProductionOption(strName) ||
           FindOption(strName) != nullptr;
}

std::string ApplyFlag(CliOptions &options, const std::string &strArg)
{
    if (strArg == "--simulate")
        options.bSimulate = true;
    else if (strArg == "--json")
        options.bJson = true;
    else if (strArg == "--dry-run")
        options.bDryRun = true;
    else if (strArg == "--verify")
        options.bVerify = true;
    else if (strArg == "--trace")
        options.bTrace = true;
    else if (strArg == "--watch")
        options.production.bWatch = true;
    else if (strArg == "--include-present")
        options.production.bIncludePresent = true;
    else if (strArg == "--again")
        options.production.bAgain = true;
    else if (strArg == "--help" || strArg == "-h")
        options.action = CliAction::Help;
    else if (strArg == "--version")
        options.action = CliAction::Version;
    else
        return "unknown option " + strArg;
    return {};
}

// The production line's options: where the units come from, and what goes with what.
std::string CheckProduction(const CliOptions &options)
{
    const CProductionOptions &production = options.production;
    const bool bProvision = options.action == CliAction::Provision;
    const bool bPair = options.action == CliAction::Pair;
    if ((production.bWatch || !production.strLedger.empty()) && !bProvision && !bPair)
        return "--watch and --ledger go with provision and pair";
    if ((production.bStartGiven || !production.strUnitsFile.empty() || production.bAgain) &&
        !bProvision)
        return "--start, --units and --again go with provision";
    if ((!production.strWatchGlob.empty() || production.bIncludePresent) && !production.bWatch)
        return "--watch-glob and --include-present go with --watch";
    if (production.bWatch && (!options.ports.empty() || options.bSimulate))
        return "--watch finds the ports itself; it goes not with --port or --simulate";
    if ((!production.strMaster.empty() || !production.strSlave.empty()) &&
        (!bPair || production.bWatch))
        return "--master and --slave go with pair, without --watch";
    if (bProvision && production.strLedger.empty())
        return "provision needs --ledger FILE: the record of every unit and of the counter";
    if (bProvision && !production.bWatch && options.ports.empty() && !options.bSimulate)
        return "provision needs --port PATH (or --watch)";
    if (bPair && !production.bWatch &&
        (production.strMaster.empty() || production.strSlave.empty()))
        return "pair needs --master PATH and --slave PATH (or --watch)";
    if (bPair && (options.set.nAsked & ~ParamBit(ParamOf(&ModuleParams::Password))) != 0)
        return "pair takes --password of the parameter options, no other";
    if (bPair && (!options.ports.empty() || options.bSimulate))
        return "pair takes its ports as --master and --slave";
    return {};
}

// Options that only make sense with some actions, and a port for every action that needs one.
std::string CheckCombination(const CliOptions &options)
{
    const CliAction action = options.action;
    if (action == CliAction::None)
        return "no command given (ports, query, set, defaults, clear-address, search, probe, "
               "send, provision, pair)";
    if (std::string strError = CheckProduction(options); !strError.empty())
        return strError;
    const bool bProduction = action == CliAction::Provision || action == CliAction::Pair;
    const bool bNeedsPort = action != CliAction::Ports && action != CliAction::Help &&
                            action != CliAction::Version && !bProduction;
    if (bNeedsPort && options.ports.empty() && !options.bSimulate)
        return "--port PATH (or --simulate) is required";
    if (options.bLineRateGiven && action == CliAction::Probe)
        return "probe tries every line rate; --line-rate goes with the other commands";
    if (options.bRtsGiven && options.line.nFlow == FLOW_HARDWARE)
        return "--rts goes not with --flow hardware: the handshake drives RTS";
    if (options.bDryRun && action != CliAction::Set)
        return "--dry-run goes with set";
    if (options.bVerify && action != CliAction::Set)
        return "--verify goes with set";
    if (!options.strFromFile.empty() && action != CliAction::Set && action != CliAction::Provision)
        return "--from goes with set and provision";
    if (options.bVerify && options.bDryRun)
        return "--verify reads back what was sent; --dry-run sends nothing";
    if (options.set.Any() && action != CliAction::Set && !bProduction)
        return "parameter options go with set and provision";
    return CheckSendCombination(options);
}

} // namespace

CliParseResult ParseCliArguments(const std::vector<std::string> &args)
{
    CliParseResult result;
    CliOptions &options = result.options;
    COptionReader reader(options);
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &strArg = args[i];
        std::string strError;
        if (TakesValue(strArg)) {
            if (i + 1 >= args.size()) {
                result.strError = strArg + " needs a value";
                return result;
            }
            strError = reader.Apply(strArg, args[++i]);
        } else if (strArg.rfind("--", 0) == 0 || strArg == "-h") {
            strError = ApplyFlag(options, strArg);
        } else if (options.action == CliAction::None && kActions.count(strArg)) {
            options.action = kActions.at(strArg);
        } else if (options.action == CliAction::Send) {
            options.send.typed.push_back(strArg); // a command to send
        } else {
            strError = "unexpected argument " + strArg;
        }
        if (!strError.empty()) {
            result.strError = strError;
            return result;
        }
    }
    if (options.action == CliAction::Help || options.action == CliAction::Version) {
        result.bOk = true;
        return result;
    }
    result.strError = CheckCombination(options);
    result.bOk = result.strError.empty();
    return result;
}

std::string ConvertSetTextsToGbk(CSetValues &set)
{
    for (const CParamRow *pRow : ParamsInHelpOrder()) {
        if (pRow->eKind != EParamKind::Text || !set.Has(*pRow))
            continue;
        GbkFieldText converted = CheckGbkFieldText(pRow->pszOption, set.params.*pRow->pText);
        if (!converted.strError.empty())
            return converted.strError;
        set.params.*pRow->pText = std::move(converted.strGbk);
    }
    return {};
}

std::string MergeConfigFile(CSetValues &set, const std::string &strPath)
{
    const CConfigReadResult file = LoadConfigFile(strPath);
    if (!file.bOk)
        return strPath + ": " + file.strError;
    MergeConfigUnder(set, file.values);
    return {};
}

std::string CliUsageText()
{
    return R"(Usage: kestrel-cli COMMAND [OPTIONS]

Reads and writes the configuration of a Bluetooth serial module over a serial port.

Commands:
  ports                     list the serial devices of this system: description, maker,
                            USB id, serial number, the /dev/serial/by-id and by-path names
  query                     read every parameter (14 commands, as the window does)
  set [PARAMETERS]          read the module, check the values, send only what differs
  defaults                  tell the module to restore its factory defaults
  clear-address             make the module forget its bound address
  search [--timeout S]      search for nearby devices; prints each as it is found
  probe                     find the line rate the module answers at: "AT" at 9600,
                            38400, 115200, 57600, 19200, 4800, 2400, 1200, 230400,
                            460800, 921600 and 1382400 until a framed "OK" comes back;
                            prints the rate (--json: the port and the rate, or null)
  send COMMAND...           send any command, each when the one before has ended, and
                            print the reply lines as they come, then [ok], [refused] (a
                            line beginning with ERROR) or [timed_out] (no byte for the
                            wait); "OK" or "+INQCOMP" ends a command as ok. Escapes:
                            \r \n \\ \xNN. Text GBK cannot hold, a bad escape, a control
                            byte or over 128 bytes with the ending: exit 2, nothing sent
  provision                 commission units: each one's line rate found, read, written
                            with the profile and its own values (only what differs), read
                            back and recorded in the ledger; one line per unit (PASS, FAIL,
                            SKIP), and at the end (or Ctrl-C) a summary
  pair                      make --master a master bound to --slave's address, --slave a
                            slave, with the same password and authentication on both; read
                            both back and print "master ADDR -> slave ADDR"

Options:
  --port PATH               serial device; may be given several times (worked in parallel)
  --flow none|hardware      flow control (default none)
  --line-rate RATE|auto     the PC's line rate (default 9600; 8N1 always): 1200 2400
                            4800 9600 19200 38400 57600 115200 230400 460800 921600
                            1382400, or auto to probe it at the open (the rate found goes
                            to stderr). Not the module's own baud parameter (--baud)
  --dtr on|off              DTR while the port is open (default on)
  --rts on|off              RTS while the port is open (default on; not with --flow
                            hardware, whose handshake drives RTS)
  --simulate                use a built-in simulated module (added to the ports)
  --on-error stop|continue  when the module refuses a command or does not answer
                            (default stop; send: stop ends that port's commands there)
  --json                    query: print one JSON object; ports: an array of objects;
                            send: an array of {"port", "command", "lines", "end"}
                            ({"ports": [{"port", "commands"}, ...]} for several ports)
  --dry-run                 set: print the lines that would be sent, send nothing
  --verify                  set: read the module back and name every parameter it does
                            not hold as asked (exit 1)
  --from FILE               set: the values of a configuration file, the JSON that
                            query --json prints; parameters given as options override it
  --script FILE             send: the commands of a file, one a line; blank lines and
                            lines beginning with # are skipped; a bad line refuses the
                            whole file, naming the line, before anything is sent
  --eol crlf|cr|lf|none     send: what ends each command (default crlf)
  --wait MS                 send: how long the reply may fall quiet before the command
                            counts as unanswered (default 1000); the whole wait is at
                            most 10 s, or MS if longer
  --trace                   every write and received chunk on stderr: milliseconds since
                            start, the port (when several), TX or RX, the bytes with CR, LF
                            and non-printable bytes escaped

Production line (provision, pair):
  --ledger FILE             the record of every unit, JSON Lines, appended and flushed to
                            the disk; a unit it holds as passed is skipped. Locked while a
                            run appends (provision needs one, pair may have one)
  --watch                   work each serial device as it appears, several at once; a unit
                            is worked again only after it went away and came back; Ctrl-C
                            lets the units in flight finish, then prints the summary
  --watch-glob PATTERN      watch paths such as /tmp/rig/ttyUNIT* instead of the serial
                            devices (the wildcards in the last part)
  --include-present         with --watch: the devices there at the start are worked too
  --name, --password, --class TEMPLATE
                            provision: each unit's own text: {addr} its address, {addr:-N}
                            its last N hex digits, {n} the counter, {n:03} zero-padded,
                            {csv:COLUMN} its value in --units; {{ and }} for braces
  --start N                 the counter's first value (default 1); it never repeats a value
                            the ledger holds
  --units FILE              CSV with a header row: a unit takes the row whose addr column
                            holds its address, else the next row no unit took
  --again                   units the ledger holds as passed are provisioned again
  --master PATH, --slave PATH
                            pair: the two modules (or --watch: the first device to appear
                            is the master, the next its slave)

Parameters of set and provision (pair takes --password):
)" + ParameterHelp() +
           R"(
Exit codes:
  0  success
  1  the module refused a command, did not answer in time, or the port went away; or
     --verify read back a value other than the one asked; or no line rate answered the
     probe
  2  bad arguments, a value the checks refuse, or a command send cannot send (nothing
     is sent, on any port)
  3  a port cannot be opened (missing, busy, or no permission)

provision and pair: 0 when no unit failed, 1 otherwise, 2 for bad input (nothing sent).
The line rate is found as --line-rate auto does, unless one is given.

Messages go to stderr, results to stdout.
)";
}
