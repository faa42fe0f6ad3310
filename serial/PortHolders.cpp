// Who holds a busy port, and why a permitted user is still refused. Linux only: the descriptors of
// every process under /proc, the UUCP lock files, and the groups of this login.

#include "serial/PortHolders.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <sstream>

#ifndef _WIN32
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {
const std::string kModemManager = "ModemManager";

int ParsePid(const std::string &strText)
{
    const size_t nStart = strText.find_first_not_of(" \t\n");
    if (nStart == std::string::npos)
        return 0;
    int nPid = 0;
    const char *pEnd = strText.data() + strText.size();
    const auto [pStop, error] = std::from_chars(strText.data() + nStart, pEnd, nPid);
    if (error != std::errc() || (pStop != pEnd && *pStop != '\n' && *pStop != ' '))
        return 0;
    return nPid > 0 ? nPid : 0;
}
} // namespace

std::string DescribePortHolders(const std::vector<CPortHolder> &holders)
{
    std::string strText;
    for (const CPortHolder &holder : holders) {
        if (!strText.empty())
            strText += ", ";
        strText += (holder.bSeen ? "" : "possibly ") + holder.strCommand + " (pid " +
                   std::to_string(holder.nPid) + ")";
    }
    return strText;
}

bool HeldByModemManager(const std::vector<CPortHolder> &holders)
{
    return std::any_of(holders.begin(), holders.end(), [](const CPortHolder &holder) {
        return holder.strCommand == kModemManager;
    });
}

std::string GroupListingUser(const std::string &strGroupFileText, unsigned nGid,
                             const std::string &strUser)
{
    std::istringstream lines(strGroupFileText);
    std::string strLine;
    while (std::getline(lines, strLine)) {
        // name:password:gid:member,member
        std::vector<std::string> fields;
        std::istringstream parts(strLine);
        for (std::string strField; std::getline(parts, strField, ':');)
            fields.push_back(strField);
        if (fields.size() < 4 || ParsePid(fields[2]) != static_cast<int>(nGid))
            continue;
        std::istringstream members(fields[3]);
        for (std::string strMember; std::getline(members, strMember, ',');) {
            if (strMember == strUser)
                return fields[0];
        }
    }
    return {};
}

#ifdef _WIN32

std::vector<CPortHolder> FindPortHolders(const std::string &, const CHolderRoots &)
{
    return {};
}

std::string GroupAwaitingLogin(const std::string &, const CHolderRoots &)
{
    return {};
}

#else

namespace fs = std::filesystem;

namespace {
std::string ReadText(const std::string &strPath)
{
    std::ifstream stream(strPath, std::ios::binary);
    std::ostringstream text;
    text << stream.rdbuf();
    return text.str();
}
// The same device however it is reached: the node behind a by-id link, another node of it.
bool SameDevice(const struct stat &a, const struct stat &b)
{
    if (S_ISCHR(a.st_mode) && S_ISCHR(b.st_mode))
        return a.st_rdev == b.st_rdev;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::string CommandOf(const CHolderRoots &roots, int nPid)
{
    std::string strCommand = ReadText(roots.strProc + "/" + std::to_string(nPid) + "/comm");
    while (!strCommand.empty() && (strCommand.back() == '\n' || strCommand.back() == ' '))
        strCommand.pop_back();
    return strCommand.empty() ? "?" : strCommand;
}

bool HasDescriptorOn(const fs::path &fdDir, const struct stat &device)
{
    std::error_code error;
    for (const fs::directory_entry &fd : fs::directory_iterator(fdDir, error)) {
        struct stat target = {};
        if (stat(fd.path().c_str(), &target) == 0 && SameDevice(target, device))
            return true;
    }
    return false;
}

// The lock file's name: /dev/ttyUSB0 -> LCK..ttyUSB0, /dev/pts/3 -> LCK..pts_3.
std::string LockName(const std::string &strDevice)
{
    std::error_code error;
    std::string strNode = fs::canonical(strDevice, error).string();
    if (error)
        strNode = strDevice;
    strNode =
        strNode.rfind("/dev/", 0) == 0 ? strNode.substr(5) : fs::path(strNode).filename().string();
    std::replace(strNode.begin(), strNode.end(), '/', '_');
    return "LCK.." + strNode;
}

// An ASCII pid (the usual), or the binary int some older programs write.
int LockPid(const std::string &strPath)
{
    const std::string strText = ReadText(strPath);
    if (const int nPid = ParsePid(strText))
        return nPid;
    int nPid = 0;
    if (strText.size() == sizeof(nPid))
        std::copy(strText.begin(), strText.end(), reinterpret_cast<char *>(&nPid));
    return nPid > 0 ? nPid : 0;
}
} // namespace

std::vector<CPortHolder> FindPortHolders(const std::string &strDevice, const CHolderRoots &roots)
{
    std::vector<CPortHolder> holders;
    const auto add = [&](int nPid, bool bSeen) {
        const bool bKnown = std::any_of(holders.begin(), holders.end(),
                                        [&](const CPortHolder &h) { return h.nPid == nPid; });
        if (nPid != getpid() && !bKnown)
            holders.push_back({nPid, CommandOf(roots, nPid), bSeen});
    };
    struct stat device = {};
    const bool bDevice = stat(strDevice.c_str(), &device) == 0;
    std::vector<int> pids;
    std::error_code error;
    for (const fs::directory_entry &process : fs::directory_iterator(roots.strProc, error)) {
        if (const int nPid = ParsePid(process.path().filename().string()))
            pids.push_back(nPid);
    }
    std::sort(pids.begin(), pids.end());
    for (const int nPid : pids) {
        if (bDevice &&
            HasDescriptorOn(fs::path(roots.strProc) / std::to_string(nPid) / "fd", device))
            add(nPid, true);
    }
    for (const std::string &strDir : roots.lockDirs) {
        const int nPid = LockPid(strDir + "/" + LockName(strDevice));
        std::error_code gone;
        if (nPid > 0 && fs::exists(fs::path(roots.strProc) / std::to_string(nPid), gone))
            add(nPid, true);
    }
    // It leaves pseudo-terminals alone.
    std::error_code pathError;
    const bool bPseudoTerminal =
        fs::canonical(strDevice, pathError).string().rfind("/dev/pts/", 0) == 0;
    if (holders.empty() && !bPseudoTerminal) {
        for (const int nPid : pids) {
            if (CommandOf(roots, nPid) == kModemManager)
                add(nPid, false);
        }
    }
    return holders;
}

std::string GroupAwaitingLogin(const std::string &strDevice, const CHolderRoots &roots)
{
    struct stat device = {};
    if (stat(strDevice.c_str(), &device) != 0 || device.st_gid == getegid())
        return {};
    std::vector<gid_t> groups(static_cast<size_t>(std::max(getgroups(0, nullptr), 0)));
    if (getgroups(static_cast<int>(groups.size()), groups.data()) < 0 ||
        std::find(groups.begin(), groups.end(), device.st_gid) != groups.end())
        return {};
    const passwd *pUser = getpwuid(geteuid());
    if (pUser == nullptr)
        return {};
    return GroupListingUser(ReadText(roots.strGroupFile), device.st_gid, pUser->pw_name);
}

#endif
