// kestrel-sim: a module on a pseudo-terminal, for trying the tool without hardware.
#include "sim/ModuleSim.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

constexpr char kUsage[] =
    "Usage: kestrel-sim [options]\n"
    "Answers the module's AT commands on a new pseudo-terminal. Prints the device path to open\n"
    "on stdout and every command received, with a time stamp, on stderr. Runs until SIGINT or\n"
    "SIGTERM.\n"
    "\n"
    "  --link PATH          also make PATH a symbolic link to the device\n"
    "  --delay MS           wait MS milliseconds before each reply\n"
    "  --baud N             pace both directions as a line of N baud would (10 bits a byte)\n"
    "  --at-rate N          answer only while the tool's line runs at N baud (read from the\n"
    "                       pseudo-terminal's settings); at any other rate answer noise,\n"
    "                       never a framed \"OK\"\n"
    "  --split MODE         how replies are written: whole (default), byte, random\n"
    "  --echo               echo each command line before the reply\n"
    "  --lower              reply keywords in lower case (\"+name:\", \"ok\")\n"
    "  --silent CMD         leave commands beginning with CMD unanswered (repeatable)\n"
    "  --error CMD          answer commands beginning with CMD with ERROR (repeatable)\n"
    "  --forget CMD         answer commands beginning with CMD with OK but keep nothing\n"
    "                       (repeatable; e.g. --forget AT+NAME= for a module that forgets)\n"
    "  --hangup-after N     hang up after N commands\n"
    "  --devices LIST       what a search finds: ADDR=NAME,... (ADDR: 12 characters)\n"
    "  --help               show this text\n";

bool ParseUnsigned(const char *pszText, unsigned long &nValue)
{
    char *pEnd = nullptr;
    errno = 0;
    nValue = std::strtoul(pszText, &pEnd, 10);
    return pszText[0] >= '0' && pszText[0] <= '9' && *pEnd == '\0' && errno == 0;
}

bool ParseDevices(const std::string &strList, std::vector<SimDevice> &devices)
{
    devices.clear();
    size_t nStart = 0;
    while (nStart <= strList.size() && !strList.empty()) {
        const size_t nEnd = std::min(strList.find(',', nStart), strList.size());
        const std::string strItem = strList.substr(nStart, nEnd - nStart);
        const size_t nEquals = strItem.find('=');
        if (nEquals != 12)
            return false;
        devices.push_back({strItem.substr(0, nEquals), strItem.substr(nEquals + 1)});
        nStart = nEnd + 1;
    }
    return true;
}

bool ParseSplit(const std::string &strMode, SimSplit &split)
{
    if (strMode == "whole")
        split = SimSplit::Whole;
    else if (strMode == "byte")
        split = SimSplit::ByteByByte;
    else if (strMode == "random")
        split = SimSplit::Random;
    else
        return false;
    return true;
}

// One option with its value; false for anything unknown or malformed.
bool ApplyOption(const std::string &strName, const char *pszValue, SimOptions &options)
{
    unsigned long nValue = 0;
    if (strName == "--link")
        options.strLinkPath = pszValue;
    else if (strName == "--delay" && ParseUnsigned(pszValue, nValue))
        options.replyDelay = std::chrono::milliseconds(nValue);
    else if (strName == "--baud" && ParseUnsigned(pszValue, nValue) && nValue <= UINT32_MAX)
        options.nPaceBaud = static_cast<uint32_t>(nValue);
    else if (strName == "--at-rate" && ParseUnsigned(pszValue, nValue) && nValue <= UINT32_MAX)
        options.nAtRate = static_cast<uint32_t>(nValue);
    else if (strName == "--split")
        return ParseSplit(pszValue, options.split);
    else if (strName == "--silent")
        options.silentCommands.push_back(pszValue);
    else if (strName == "--error")
        options.errorCommands.push_back(pszValue);
    else if (strName == "--forget")
        options.forgetCommands.push_back(pszValue);
    else if (strName == "--hangup-after" && ParseUnsigned(pszValue, nValue) && nValue <= INT32_MAX)
        options.nHangUpAfter = static_cast<int>(nValue);
    else if (strName == "--devices")
        return ParseDevices(pszValue, options.inquiryDevices);
    else
        return false;
    return true;
}

// 0 parsed, 1 help shown, 2 bad usage.
int ParseArguments(int argc, char **argv, SimOptions &options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string strName = argv[i];
        if (strName == "--help") {
            std::fputs(kUsage, stdout);
            return 1;
        }
        if (strName == "--echo" || strName == "--lower") {
            (strName == "--echo" ? options.bEcho : options.bLowerCase) = true;
            continue;
        }
        if (i + 1 >= argc || !ApplyOption(strName, argv[i + 1], options)) {
            std::fprintf(stderr, "kestrel-sim: bad option '%s'\n%s", argv[i], kUsage);
            return 2;
        }
        ++i;
    }
    return 0;
}

// CR and LF are shown escaped so one command stays on one line of the log.
void PrintCommand(const SimLogEntry &entry, std::chrono::steady_clock::time_point start)
{
    const auto nMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(entry.time - start).count();
    std::string strShown;
    for (char ch : entry.strCommand)
        strShown += ch == '\r'   ? std::string("\\r")
                    : ch == '\n' ? std::string("\\n")
                                 : std::string(1, ch);
    std::fprintf(stderr, "[%6lld.%03lld] %s\n", static_cast<long long>(nMs / 1000),
                 static_cast<long long>(nMs % 1000), strShown.c_str());
}

} // namespace

int main(int argc, char **argv)
{
    SimOptions options;
    const int nParsed = ParseArguments(argc, argv, options);
    if (nParsed != 0)
        return nParsed == 1 ? 0 : 2;
    // Blocked before any thread starts, so only sigtimedwait below ever sees them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    CModuleSim sim(options);
    if (!sim.Start()) {
        std::fprintf(stderr, "kestrel-sim: cannot create the pseudo-terminal or link: %s\n",
                     std::strerror(errno));
        return 1;
    }
    std::printf("%s\n", sim.DevicePath().c_str());
    std::fflush(stdout);
    const auto start = std::chrono::steady_clock::now();
    size_t nShown = 0;
    const timespec poll{0, 100 * 1000 * 1000};
    while (sigtimedwait(&signals, nullptr, &poll) < 0) {
        const std::vector<SimLogEntry> log = sim.Log();
        for (; nShown < log.size(); ++nShown)
            PrintCommand(log[nShown], start);
    }
    sim.Stop();
    return 0;
}
