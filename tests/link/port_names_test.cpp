// Ports by their names (a made-up sysfs and /dev) and who holds a busy one (a helper process that
// holds a real pseudo-terminal, lock files, a made-up /proc).

#include "serial/PortHolders.h"
#include "serial/PortList.h"
#include "serial/SerialLink.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class CTempDir
{
public:
    CTempDir()
    {
        char szTemplate[] = "/tmp/kestrel-ports-XXXXXX";
        m_path = mkdtemp(szTemplate);
    }
    ~CTempDir() { fs::remove_all(m_path); }
    const fs::path &Path() const { return m_path; }

private:
    fs::path m_path;
};

void WriteFile(const fs::path &file, const std::string &strText)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << strText;
}

// A tty of the made-up sysfs: its class entry, the device behind it and, for USB, the USB device
// levels above it with their attributes.
struct CFakeTty
{
    const char *pszName;
    const char *pszDevice;    // under sys/devices; nullptr: a virtual tty with no device
    const char *pszUsbDevice; // the USB device's folder, or nullptr
    const char *pszType;      // the serial core's "type" attribute, or nullptr
};

void MakeTty(const fs::path &root, const CFakeTty &tty)
{
    const fs::path classDir = root / "sys/class/tty" / tty.pszName;
    fs::create_directories(classDir);
    WriteFile(root / "dev" / tty.pszName, "");
    if (tty.pszType)
        WriteFile(classDir / "type", std::string(tty.pszType) + "\n");
    if (!tty.pszDevice)
        return;
    fs::create_directories(root / "sys/devices" / tty.pszDevice);
    fs::create_directory_symlink(root / "sys/devices" / tty.pszDevice, classDir / "device");
    if (tty.pszUsbDevice) {
        const fs::path usb = root / "sys/devices" / tty.pszUsbDevice;
        WriteFile(usb / "idVendor", "10c4\n");
        WriteFile(usb / "idProduct", "ea60\n");
        WriteFile(usb / "serial", std::string("SN-") + tty.pszName + "\n");
        WriteFile(usb / "manufacturer", "Silicon Labs\n");
        WriteFile(usb / "product", "CP2102 USB to UART\n");
    }
}

// A helper process, named for the occasion, that holds the device open as a terminal program
// does (the descriptor, its flock and the tty's exclusive mode) until it is ended.
class CHolder
{
public:
    CHolder(const std::string &strDevice, const char *pszName)
    {
        int aReady[2];
        if (pipe(aReady) != 0)
            return;
        m_nPid = fork();
        if (m_nPid == 0) {
            prctl(PR_SET_NAME, pszName);
            const int hPort = open(strDevice.c_str(), O_RDWR | O_NOCTTY);
            const char chReady = hPort >= 0 && flock(hPort, LOCK_EX | LOCK_NB) == 0 ? 'y' : 'n';
            ioctl(hPort, TIOCEXCL);
            (void)!write(aReady[1], &chReady, 1);
            pause();
            _exit(0);
        }
        char chReady = 'n';
        (void)!read(aReady[0], &chReady, 1);
        m_bHolding = chReady == 'y';
        close(aReady[0]);
        close(aReady[1]);
    }
    ~CHolder()
    {
        if (m_nPid > 0) {
            kill(m_nPid, SIGKILL);
            waitpid(m_nPid, nullptr, 0);
        }
    }
    int Pid() const { return m_nPid; }
    bool Holding() const { return m_bHolding; }

private:
    int m_nPid = -1;
    bool m_bHolding = false;
};

struct CPty
{
    int hMaster = -1;
    int hSlave = -1;
    std::string strPath;
    CPty()
    {
        char szName[64] = {};
        if (openpty(&hMaster, &hSlave, szName, nullptr, nullptr) == 0)
            strPath = szName;
        close(hSlave); // the master keeps the terminal alive
    }
    ~CPty() { close(hMaster); }
};

} // namespace

TEST(PortList, ReadsWhatTheSystemKnowsOfEachDevice)
{
    CTempDir dir;
    const fs::path root = dir.Path();
    const CFakeTty ttys[] = {
        // usb-serial: tty -> port device -> interface -> USB device
        {"ttyUSB0", "usb1/1-1/1-1:1.0/ttyUSB0", "usb1/1-1", nullptr},
        // CDC ACM: the tty's device is the interface itself
        {"ttyACM0", "usb1/1-2/1-2:1.0", "usb1/1-2", nullptr},
        {"ttyS10", "platform/serial8250/tty/ttyS10", nullptr, "4"},
        {"ttyS2", "pnp/00:02", nullptr, "4"},
        {"ttyS3", "platform/serial8250/tty/ttyS3", nullptr, "0"}, // no port behind it
        {"tty0", nullptr, nullptr, nullptr},                      // a console
    };
    for (const CFakeTty &tty : ttys)
        MakeTty(root, tty);
    fs::create_directories(root / "dev/serial/by-id");
    fs::create_directories(root / "dev/serial/by-path");
    fs::create_symlink("../../ttyUSB0",
                       root / "dev/serial/by-id/usb-Silicon_Labs_CP2102-if00-port0");
    fs::create_symlink("../../ttyUSB0",
                       root / "dev/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0-port0");
    fs::create_symlink("../../ttyACM0", root / "dev/serial/by-id/usb-Silicon_Labs_CP2102-if00");

    const std::vector<CSerialPortEntry> ports =
        ListSerialPorts({(root / "sys").string(), (root / "dev").string()});
    const std::string strDev = (root / "dev").string();
    const struct
    {
        std::string strPath, strDescription, strUsbId, strSerial, strById, strByPath;
    } expected[] = {
        {strDev + "/ttyACM0", "CP2102 USB to UART", "10c4:ea60", "SN-ttyACM0",
         strDev + "/serial/by-id/usb-Silicon_Labs_CP2102-if00", ""},
        {strDev + "/ttyS2", "", "", "", "", ""},
        {strDev + "/ttyS10", "", "", "", "", ""},
        {strDev + "/ttyUSB0", "CP2102 USB to UART", "10c4:ea60", "SN-ttyUSB0",
         strDev + "/serial/by-id/usb-Silicon_Labs_CP2102-if00-port0",
         strDev + "/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0-port0"},
    };
    ASSERT_EQ(ports.size(), std::size(expected));
    for (size_t i = 0; i < ports.size(); ++i) {
        SCOPED_TRACE(expected[i].strPath);
        EXPECT_EQ(ports[i].strPath, expected[i].strPath);
        EXPECT_EQ(ports[i].strDescription, expected[i].strDescription);
        EXPECT_EQ(ports[i].strManufacturer, expected[i].strUsbId.empty() ? "" : "Silicon Labs");
        EXPECT_EQ(ports[i].strUsbId, expected[i].strUsbId);
        EXPECT_EQ(ports[i].strSerialNumber, expected[i].strSerial);
        EXPECT_EQ(ports[i].strById, expected[i].strById);
        EXPECT_EQ(ports[i].strByPath, expected[i].strByPath);
    }
}

// The link refuses a held port and names the holder, however the device was named.
TEST(PortHolders, BusyPortNamesTheProcessHoldingIt)
{
    CPty pty;
    ASSERT_FALSE(pty.strPath.empty());
    CTempDir dir;
    const fs::path byId = dir.Path() / "usb-Adapter-if00";
    fs::create_symlink(pty.strPath, byId);
    CHolder holder(pty.strPath, "kestrel-holder");
    ASSERT_TRUE(holder.Holding());
    for (const std::string &strName : {pty.strPath, byId.string()}) {
        SCOPED_TRACE(strName);
        CSerialLink link;
        link.m_nBaudRate = 9600;
        ASSERT_FALSE(link.Open(strName));
        EXPECT_EQ(link.LastOpenFailure(), OpenFailure::Busy);
        // Others may be named too: whoever kept an earlier terminal of this number open.
        EXPECT_NE(DescribePortHolders(link.LastOpenHolders())
                      .find("kestrel-holder (pid " + std::to_string(holder.Pid()) + ")"),
                  std::string::npos)
            << DescribePortHolders(link.LastOpenHolders());
    }
    // Our own descriptors never count: an open of our own is not a holder.
    const int hOwn = open(pty.strPath.c_str(), O_RDWR | O_NOCTTY);
    const std::vector<CPortHolder> holders = FindPortHolders(pty.strPath);
    close(hOwn);
    EXPECT_TRUE(std::none_of(holders.begin(), holders.end(),
                             [](const CPortHolder &h) { return h.nPid == getpid(); }));
    EXPECT_TRUE(std::any_of(holders.begin(), holders.end(),
                            [&](const CPortHolder &h) { return h.nPid == holder.Pid(); }));
}

// A terminal program that keeps a UUCP lock file instead of (or before) the device.
TEST(PortHolders, LockFileNamesItsPid)
{
    CTempDir root;
    // An adapter's node stands in as a plain file nobody has open; the processes are made up.
    const std::string strDevice = (root.Path() / "ttyUSB9").string();
    WriteFile(strDevice, "");
    const int nPid = 4242;
    WriteFile(root.Path() / "proc" / std::to_string(nPid) / "comm", "minicom\n");
    WriteFile(root.Path() / "proc" / std::to_string(getpid()) / "comm", "kestrel\n");
    const CHolderRoots roots{(root.Path() / "proc").string(), {(root.Path() / "lock").string()}};
    const struct
    {
        const char *pszCase;
        std::string strContent;
        int nExpectedPid;
    } cases[] = {
        {"ascii", "      " + std::to_string(nPid) + "\n", nPid},
        {"binary", std::string(reinterpret_cast<const char *>(&nPid), sizeof(nPid)), nPid},
        {"ours", std::to_string(getpid()) + "\n", 0},
        {"junk", "kermit\n", 0},
        {"stale", "4243\n", 0},
    };
    for (const auto &lockCase : cases) {
        SCOPED_TRACE(lockCase.pszCase);
        WriteFile(root.Path() / "lock/LCK..ttyUSB9", lockCase.strContent);
        const std::vector<CPortHolder> holders = FindPortHolders(strDevice, roots);
        if (lockCase.nExpectedPid == 0) {
            EXPECT_TRUE(holders.empty());
            continue;
        }
        ASSERT_EQ(holders.size(), 1u);
        EXPECT_EQ(DescribePortHolders(holders), "minicom (pid 4242)");
    }
}

// ModemManager runs as root: its descriptors cannot be read, so it is named as a possibility,
// and only when nobody else is seen holding the port.
TEST(PortHolders, ModemManagerIsNamedAsPossible)
{
    CPty pty;
    CTempDir proc;
    WriteFile(proc.Path() / "812/comm", "ModemManager\n");
    WriteFile(proc.Path() / "900/comm", "bash\n");
    // It leaves pseudo-terminals alone; an adapter's node stands in as a plain file.
    const CHolderRoots roots{proc.Path().string(), {}, "/etc/group"};
    EXPECT_TRUE(FindPortHolders(pty.strPath, roots).empty());
    WriteFile(proc.Path() / "ttyACM0", "");
    const std::vector<CPortHolder> holders =
        FindPortHolders((proc.Path() / "ttyACM0").string(), roots);
    ASSERT_EQ(holders.size(), 1u);
    EXPECT_FALSE(holders[0].bSeen);
    EXPECT_TRUE(HeldByModemManager(holders));
    EXPECT_EQ(DescribePortHolders(holders), "possibly ModemManager (pid 812)");
    EXPECT_FALSE(HeldByModemManager({{4242, "minicom", true}}));
}

TEST(PortHolders, GroupFileListsTheUser)
{
    const std::string strGroups = "root:x:0:\n"
                                  "dialout:x:20:alice,bob\n"
                                  "uucp:x:14:carol\n"
                                  "broken line\n"
                                  "plugdev:x:46:bobby\n";
    const struct
    {
        unsigned nGid;
        const char *pszUser;
        const char *pszGroup;
    } cases[] = {
        {20, "bob", "dialout"}, {20, "alice", "dialout"}, {20, "carol", ""},
        {14, "carol", "uucp"},  {46, "bob", ""},          {99, "bob", ""},
    };
    for (const auto &groupCase : cases)
        EXPECT_EQ(GroupListingUser(strGroups, groupCase.nGid, groupCase.pszUser),
                  groupCase.pszGroup)
            << groupCase.nGid << " " << groupCase.pszUser;
}
