// Serial devices coming and going on Linux: the kernel tells (inotify) when a name is made or
// removed in the folders devices appear in; each batch of notifications is followed by one look
// at the devices, and the watch reports the difference. Nothing runs between notifications.

#include "serial/PortWatchShared.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fnmatch.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kFolderEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB |
                                   IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
constexpr uint32_t kVanishEvents = IN_DELETE | IN_MOVED_FROM;
constexpr size_t kEventBufferBytes = 64 * 1024;
// A look that finds a link into a folder not watched yet arms it and looks again, so that the
// link's device cannot vanish unseen in between; a few rounds settle any real tree.
constexpr int kMaxLooks = 3;

std::string Resolved(const fs::path &path)
{
    std::error_code error;
    const fs::path target = fs::canonical(path, error);
    return error ? path.string() : target.string();
}

bool IsCharacterDevice(const fs::path &path)
{
    struct stat status = {};
    return ::stat(path.c_str(), &status) == 0 && S_ISCHR(status.st_mode); // follows links
}

bool Exists(const std::string &strPath)
{
    struct stat status = {};
    return ::stat(strPath.c_str(), &status) == 0;
}

} // namespace

struct CPortWatch::CImpl : CPortWatchShared
{
    CPortWatchOptions options;
    fs::path globFolder; // glob: the folder, absolute, and the pattern for the names in it
    std::string strGlobName;
    int nNotify = -1;
    int nWake = -1;
    std::map<int, fs::path> watched; // watch descriptor -> folder; the waiting thread's own

    ~CImpl()
    {
        if (nNotify >= 0)
            ::close(nNotify);
        if (nWake >= 0)
            ::close(nWake);
    }

    // "/tmp/rig/ttyUNIT*": the folder, made absolute, and the pattern of the names in it.
    bool SetPattern(const std::string &strGlob, std::string &strError)
    {
        std::error_code error;
        const fs::path pattern = fs::absolute(strGlob, error);
        globFolder = pattern.parent_path();
        strGlobName = pattern.filename().string();
        if (!strGlobName.empty() && globFolder.string().find_first_of("*?[") == std::string::npos)
            return true;
        strError = "the pattern " + strGlob +
                   " must name a folder without wildcards, then the names to watch in it";
        return false;
    }

    std::set<fs::path> BaseFolders() const
    {
        if (!strGlobName.empty())
            return {globFolder};
        const fs::path dev(options.roots.strDev);
        return {dev, dev / "serial", dev / "serial" / "by-id"};
    }

    // Watches the folder, or while it does not exist, the nearest folder above it that does
    // (its creation is then a notification too). True when a watch was added.
    bool Arm(const fs::path &folder)
    {
        for (fs::path path = folder;; path = path.parent_path()) {
            const int nWatch = inotify_add_watch(nNotify, path.c_str(), kFolderEvents);
            if (nWatch >= 0)
                return watched.insert_or_assign(nWatch, path).second;
            if ((errno != ENOENT && errno != ENOTDIR) || path == path.parent_path())
                return false;
        }
    }

    bool ArmAll(const std::set<fs::path> &folders)
    {
        bool bAdded = false;
        for (const fs::path &folder : folders)
            bAdded = Arm(folder) || bAdded;
        return bAdded;
    }

    CPortSnapshot Look() const
    {
        CPortSnapshot snapshot;
        if (strGlobName.empty()) {
            for (const CSerialPortEntry &entry : ListSerialPorts(options.roots)) {
                if (Exists(entry.strPath)) // the node, not only the kernel's record of it
                    snapshot.emplace(entry.strPath, Resolved(entry.strPath));
            }
            return snapshot;
        }
        // Stepped with an error code: the folder may go while it is read, which must not throw.
        std::error_code error;
        for (fs::directory_iterator entry(globFolder, error);
             !error && entry != fs::directory_iterator(); entry.increment(error)) {
            const std::string strName = entry->path().filename().string();
            if (fnmatch(strGlobName.c_str(), strName.c_str(), FNM_PERIOD) == 0 &&
                IsCharacterDevice(entry->path()))
                snapshot.emplace(entry->path().string(), Resolved(entry->path()));
        }
        return snapshot;
    }

    // The folders the devices' links lead into: a device removed there is one that went.
    static std::set<fs::path> TargetFolders(const CPortSnapshot &snapshot)
    {
        std::set<fs::path> folders;
        for (const auto &entry : snapshot)
            folders.insert(fs::path(entry.second).parent_path());
        return folders;
    }

    // Reads every pending notification; the paths that were removed or moved away.
    std::set<std::string> Drain()
    {
        std::set<std::string> vanished;
        alignas(inotify_event) char achBuffer[kEventBufferBytes];
        for (;;) {
            const ssize_t nRead = ::read(nNotify, achBuffer, sizeof(achBuffer));
            if (nRead <= 0)
                return vanished; // EAGAIN: all read
            for (ssize_t nAt = 0; nAt < nRead;) {
                const auto *pEvent = reinterpret_cast<const inotify_event *>(achBuffer + nAt);
                const auto folder = watched.find(pEvent->wd);
                if ((pEvent->mask & kVanishEvents) != 0 && pEvent->len > 0 &&
                    folder != watched.end())
                    vanished.insert((folder->second / pEvent->name).string());
                if ((pEvent->mask & IN_IGNORED) != 0 && folder != watched.end())
                    watched.erase(folder);
                nAt += static_cast<ssize_t>(sizeof(inotify_event) + pEvent->len);
            }
        }
    }

    std::vector<CPortEvent> Refresh(const std::set<std::string> &vanished)
    {
        CPortSnapshot snapshot;
        for (int nLook = 0; nLook < kMaxLooks; ++nLook) {
            ArmAll(BaseFolders());
            snapshot = Look();
            if (!ArmAll(TargetFolders(snapshot)))
                break;
        }
        return Take(std::move(snapshot), vanished);
    }
};

CPortWatch::CPortWatch() : m_pImpl(std::make_unique<CImpl>()) {}

CPortWatch::~CPortWatch() = default;

bool CPortWatch::Start(const CPortWatchOptions &options, std::string &strError)
{
    CImpl &impl = *m_pImpl;
    if (impl.nNotify >= 0) {
        strError = "the watch has already started";
        return false;
    }
    impl.options = options;
    if (!options.strGlob.empty() && !impl.SetPattern(options.strGlob, strError))
        return false;
    impl.nNotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    impl.nWake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (impl.nNotify < 0 || impl.nWake < 0) {
        strError = std::string("cannot watch for serial devices: ") + std::strerror(errno);
        return false;
    }
    impl.Refresh({});
    return true;
}

std::vector<std::string> CPortWatch::PresentAtStart() const
{
    return m_pImpl->PresentAtStart();
}

std::vector<std::string> CPortWatch::Present() const
{
    return m_pImpl->Present();
}

std::vector<CPortEvent> CPortWatch::Wait(std::chrono::milliseconds timeout)
{
    CImpl &impl = *m_pImpl;
    const auto deadline = std::chrono::steady_clock::now() + std::max(timeout, {});
    while (!impl.bStopped.load() && impl.nNotify >= 0) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd fds[2] = {{impl.nNotify, POLLIN, 0}, {impl.nWake, POLLIN, 0}};
        const int nReady =
            ::poll(fds, 2, static_cast<int>(std::clamp<int64_t>(left.count(), 0, INT_MAX)));
        if (nReady < 0 && errno != EINTR)
            return {};
        if ((fds[1].revents & POLLIN) != 0) {
            uint64_t nCount = 0;
            [[maybe_unused]] const ssize_t nRead = ::read(impl.nWake, &nCount, sizeof(nCount));
            return {};
        }
        if ((fds[0].revents & POLLIN) != 0) {
            std::vector<CPortEvent> events = impl.Refresh(impl.Drain());
            if (!events.empty())
                return events;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return {};
    }
    return {};
}

void CPortWatch::Wake()
{
    const uint64_t nOne = 1;
    [[maybe_unused]] const ssize_t nWritten = ::write(m_pImpl->nWake, &nOne, sizeof(nOne));
}

void CPortWatch::Stop()
{
    m_pImpl->bStopped.store(true);
    Wake();
}

bool CPortWatch::Stopped() const
{
    return m_pImpl->bStopped.load();
}
