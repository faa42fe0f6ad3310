#include "sim/SimArguments.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr char kUsage[] =
    "Usage: kestrel-sim [options]\n"
    "Answers the module's AT commands on a new pseudo-terminal. Prints the device path to open\n"
    "on stdout and every command received, with a time stamp, on stderr. Runs until SIGINT or\n"
    "SIGTERM.\n"
    "\n"
    "Besides the module's settings it answers AT+STATE? (INITIALIZED, READY, INQUIRING,\n"
    "CONNECTED), AT+VERSION and AT+ADDR?. A command it does not know is answered ERROR(1F), one\n"
    "it knows in a form it does not take (AT+NAME, AT+RESET?) ERROR(1E); a value it does not\n"
    "take, plain ERROR.\n"
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
    "  --late MS:CMD        answer commands beginning with CMD only after MS milliseconds;\n"
    "                       later commands are still answered in order, after it (repeatable;\n"
    "                       e.g. --late 5000:AT+NAME? for a reply that misses its step)\n"
    "  --addr ADDR          the module's own address, 12 hex digits (default 00158300A1B2)\n"
    "  --state NAME         what AT+STATE? reports at start: INITIALIZED (default), READY,\n"
    "                       INQUIRING or CONNECTED\n"
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

// "5000:AT+NAME?": the delay, then the command prefix it applies to.
bool ParseLate(const std::string &strValue, std::vector<SimLateReply> &lateCommands)
{
    const size_t nColon = strValue.find(':');
    unsigned long nDelay = 0;
    if (nColon == std::string::npos || nColon + 1 == strValue.size() ||
        !ParseUnsigned(strValue.substr(0, nColon).c_str(), nDelay) || nDelay > INT32_MAX)
        return false;
    lateCommands.push_back({strValue.substr(nColon + 1), std::chrono::milliseconds(nDelay)});
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

bool ParseAddress(const std::string &strValue, std::string &strAddr)
{
    const bool bHex =
        strValue.size() == 12 && std::all_of(strValue.begin(), strValue.end(), [](char ch) {
            return std::isxdigit(static_cast<unsigned char>(ch)) != 0;
        });
    if (bHex)
        strAddr = strValue;
    return bHex;
}

// One option with its value; false for anything unknown or malformed. The state goes to the
// module, not its options.
bool ApplyOption(const std::string &strName, const char *pszValue, SimOptions &options,
                 SimState &state)
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
    else if (strName == "--late")
        return ParseLate(pszValue, options.lateCommands);
    else if (strName == "--addr")
        return ParseAddress(pszValue, state.strLocalAddr);
    else if (strName == "--state")
        return ParseSimLinkState(pszValue, state.eLinkState);
    else if (strName == "--hangup-after" && ParseUnsigned(pszValue, nValue) && nValue <= INT32_MAX)
        options.nHangUpAfter = static_cast<int>(nValue);
    else if (strName == "--devices")
        return ParseDevices(pszValue, options.inquiryDevices);
    else
        return false;
    return true;
}

} // namespace

int ParseSimArguments(int argc, char **argv, SimOptions &options, SimState &state)
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
        if (i + 1 >= argc || !ApplyOption(strName, argv[i + 1], options, state)) {
            std::fprintf(stderr, "kestrel-sim: bad option '%s'\n%s", argv[i], kUsage);
            return 2;
        }
        ++i;
    }
    return 0;
}
