#pragma once

#include "engine/UiText.h"
#include "serial/LinkTrace.h"
#include "serial/PortHolders.h"
#include "serial/SerialLink.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class IModuleSetupView;

// Why the session's port did not open, as far as the platform can tell.
struct COpenFailureInfo
{
    OpenFailure eFailure = OpenFailure::None;
    int nErrno = 0;
    std::vector<CPortHolder> holders;  // who holds a busy port (Linux)
    std::string strGroupAwaitingLogin; // the group a refused user joined since logging in
};

// What the session's trace keeps and how it is stamped, for owners that trace several ports.
struct CSessionTraceSetup
{
    CLinkTrace::Clock::time_point start = CLinkTrace::Clock::now();
    size_t nCapacity = CLinkTrace::kDefaultCapacity;
    std::mutex *pOrderLock = nullptr;
};

// The port a face works on, opened, lost, reopened and closed the same way by every face. The
// link's reader thread hands each chunk and the loss of the device to the face's thread through
// the view, in arrival order; what was posted before a close or a reopen is dropped there, so
// nothing of an old device joins what the new one sends.
class CSessionLink
{
public:
    using BytesHandler = std::function<void(const char *pData, size_t nLength)>;
    using LostHandler = std::function<void()>;

    CSessionLink(IModuleSetupView &view, BytesHandler fnBytes, LostHandler fnLost,
                 const CSessionTraceSetup &traceSetup = {});
    ~CSessionLink();

    CSessionLink(const CSessionLink &) = delete;
    CSessionLink &operator=(const CSessionLink &) = delete;

    // Registers the receive and disconnect functions before the port opens, so no byte is
    // missed. False when it did not open: the link is closed again (one that refused its
    // settings would stay held until closed) and why is kept for LastOpenFailure.
    bool Open(const std::string &strPath, const CLineSettings &line);
    // The same device with the same settings, once it is back; false while it is away.
    bool Reopen();
    void Close();

    bool IsOpen() const;
    // Whether the device can come back under its name: a raw pseudo-terminal's number goes to
    // the next terminal that opens, so its path would be someone else's line.
    bool CanReopen() const;
    ISerialLine *Line(); // null before the first open
    CLinkTrace &Trace() { return m_trace; }
    const std::string &PortPath() const { return m_strPath; }
    const COpenFailureInfo &LastOpenFailure() const { return m_failure; }

private:
    static void OnReceive(const char *pData, int32_t nLength, void *pUser);
    static void OnDisconnect(void *pUser);

    IModuleSetupView &m_view;
    BytesHandler m_fnBytes;
    LostHandler m_fnLost;
    CLinkTrace m_trace;
    // Declared after the trace its reader calls into, so it goes (and its reader is joined)
    // first.
    std::unique_ptr<CSerialLink> m_pLink;
    std::string m_strPath;
    COpenFailureInfo m_failure;
    // Bumped at every open and close; work posted under an older one is dropped.
    std::atomic<uint32_t> m_nGeneration{0};
};

// The box a face shows when the port does not open, and below it why (in eLanguage), with the
// programs that hold a busy port and the log-in a refused user still owes.
std::string OpenFailureBoxText();
std::string OpenFailureBoxCaption();
std::string DescribeOpenFailure(const std::string &strPath, const COpenFailureInfo &failure,
                                EUiLanguage eLanguage);
