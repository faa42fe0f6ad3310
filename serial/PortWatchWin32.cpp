// Serial devices coming and going on Windows: the port list is looked at every 500 ms while a
// wait runs, and the watch reports the difference. An event wakes or stops the wait.

#include "serial/PortWatchShared.h"

#include <algorithm>
#include <cctype>
#include <windows.h>

namespace {

constexpr std::chrono::milliseconds kLookInterval{500};

// "COM1?" matches "com12": * any run, ? one character, letters in any case.
bool NameMatches(const char *pPattern, const char *pName)
{
    const char *pStar = nullptr;
    const char *pAfterStar = nullptr;
    while (*pName != '\0') {
        const auto chName = std::toupper(static_cast<unsigned char>(*pName));
        if (*pPattern == '*') {
            pStar = pPattern++;
            pAfterStar = pName;
        } else if (*pPattern == '?' ||
                   (*pPattern != '\0' &&
                    std::toupper(static_cast<unsigned char>(*pPattern)) == chName)) {
            ++pPattern;
            ++pName;
        } else if (pStar != nullptr) {
            pPattern = pStar + 1;
            pName = ++pAfterStar;
        } else {
            return false;
        }
    }
    while (*pPattern == '*')
        ++pPattern;
    return *pPattern == '\0';
}

} // namespace

struct CPortWatch::CImpl : CPortWatchShared
{
    CPortWatchOptions options;
    HANDLE hWake = nullptr; // auto-reset: one Wake ends one Wait
    std::chrono::steady_clock::time_point nextLook;

    ~CImpl()
    {
        if (hWake != nullptr)
            CloseHandle(hWake);
    }

    CPortSnapshot Look() const
    {
        CPortSnapshot snapshot;
        for (const CSerialPortEntry &entry : ListSerialPorts(options.roots)) {
            if (options.strGlob.empty() ||
                NameMatches(options.strGlob.c_str(), entry.strPath.c_str()))
                snapshot.emplace(entry.strPath, entry.strPath);
        }
        return snapshot;
    }

    std::vector<CPortEvent> Refresh()
    {
        CPortSnapshot snapshot = Look();
        nextLook = std::chrono::steady_clock::now() + kLookInterval;
        return Take(std::move(snapshot), {});
    }
};

CPortWatch::CPortWatch() : m_pImpl(std::make_unique<CImpl>())
{
    m_pImpl->hWake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
}

CPortWatch::~CPortWatch() = default;

bool CPortWatch::Start(const CPortWatchOptions &options, std::string &strError)
{
    CImpl &impl = *m_pImpl;
    if (impl.hWake == nullptr) {
        strError = "cannot watch for serial devices: no event object";
        return false;
    }
    impl.options = options;
    impl.Refresh();
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
    using std::chrono::steady_clock;
    CImpl &impl = *m_pImpl;
    const auto deadline = steady_clock::now() + std::max(timeout, {});
    while (!impl.bStopped.load() && impl.hWake != nullptr) {
        if (steady_clock::now() >= impl.nextLook) {
            std::vector<CPortEvent> events = impl.Refresh();
            if (!events.empty())
                return events;
        }
        const auto now = steady_clock::now();
        if (now >= deadline)
            return {};
        const auto sleep =
            std::chrono::ceil<std::chrono::milliseconds>(std::min(deadline, impl.nextLook) - now);
        if (WaitForSingleObject(impl.hWake, static_cast<DWORD>(std::max<int64_t>(
                                                sleep.count(), 0))) == WAIT_OBJECT_0)
            return {};
    }
    return {};
}

void CPortWatch::Wake()
{
    if (m_pImpl->hWake != nullptr)
        SetEvent(m_pImpl->hWake);
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
