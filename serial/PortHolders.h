#pragma once

#include <string>
#include <vector>

// A process that keeps a serial device from opening.
struct CPortHolder
{
    int nPid = 0;
    std::string strCommand; // its name as the system shows it (/proc/N/comm)
    bool bSeen = true;      // false: not seen holding it (its descriptors are not ours to read),
                            // only known to seize new ports
};

// Where the system's facts are read; tests point these at a made-up tree.
struct CHolderRoots
{
    std::string strProc = "/proc";
    std::vector<std::string> lockDirs{"/var/lock", "/run/lock"};
    std::string strGroupFile = "/etc/group";
};

// The processes other than this one that have the device open or hold its lock file (LCK..name),
// by pid. When none can be seen and ModemManager runs, it is named unseen: it probes every new
// port (pseudo-terminals aside), as root, where a user cannot look. Always empty on Windows.
std::vector<CPortHolder> FindPortHolders(const std::string &strDevice,
                                         const CHolderRoots &roots = {});

// "minicom (pid 4242), screen (pid 4300)"; one not seen: "possibly ModemManager (pid 800)".
std::string DescribePortHolders(const std::vector<CPortHolder> &holders);
bool HeldByModemManager(const std::vector<CPortHolder> &holders);

// The group that grants the device when the group file lists this user in it but this login does
// not have it yet (joined since logging in); empty otherwise, and always on Windows.
std::string GroupAwaitingLogin(const std::string &strDevice, const CHolderRoots &roots = {});
// The name of the group nGid when the group file's text lists strUser as its member; empty else.
std::string GroupListingUser(const std::string &strGroupFileText, unsigned nGid,
                             const std::string &strUser);
