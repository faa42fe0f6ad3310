// What both platforms' links share: the reader thread's start and join, the registered functions,
// the open failure's cause (each link records it as an errno value) and the paths that must never
// be remembered.

#include "serial/SerialLink.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>

bool IsLineRate(uint32_t nRate)
{
    return std::find(std::begin(kLineRates), std::end(kLineRates), nRate) != std::end(kLineRates);
}

OpenFailure CSerialLink::LastOpenFailure() const
{
    switch (m_nLastOpenError) {
    case 0:
        return OpenFailure::None;
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return OpenFailure::NoSuchDevice;
    case EBUSY:
        return OpenFailure::Busy;
    case EACCES:
    case EPERM:
        return OpenFailure::NoPermission;
    default:
        return OpenFailure::Other;
    }
}

void CSerialLink::NoteOpenCause()
{
    // Looked for only when the open failed, so an open that works costs nothing more.
    m_openHolders.clear();
    m_strGroupAwaitingLogin.clear();
    if (LastOpenFailure() == OpenFailure::Busy)
        m_openHolders = FindPortHolders(m_strPortName);
    else if (LastOpenFailure() == OpenFailure::NoPermission)
        m_strGroupAwaitingLogin = GroupAwaitingLogin(m_strPortName);
}

bool CSerialLink::IsRawPseudoTerminal(const std::string &strPath)
{
    // Lexically, so "/dev/./pts/3" counts too; a symbolic link elsewhere is a name someone chose
    // and keeps pointing at its device. In the generic form, so the answer is the same on every
    // system.
    const std::string strNormal =
        std::filesystem::path(strPath).lexically_normal().generic_string();
    return strNormal.rfind("/dev/pts/", 0) == 0 && strNormal.size() > sizeof("/dev/pts/") - 1;
}

void CSerialLink::SetReceiveCallback(ReceiveCallback pfnReceive, void *pUser)
{
    m_pReceiveUser = pUser;
    m_pfnReceive = pfnReceive;
}

void CSerialLink::SetDisconnectCallback(DisconnectCallback pfnDisconnect, void *pUser)
{
    m_pDisconnectUser = pUser;
    m_pfnDisconnect = pfnDisconnect;
}

void CSerialLink::StartReader()
{
    std::lock_guard guard(m_threadLock);
    if (m_nReaderCount.load() > 0 || !IsOpen())
        return;
    if (m_hReaderThread.joinable()) {
        if (m_hReaderThread.get_id() == std::this_thread::get_id())
            m_hReaderThread.detach();
        else
            m_hReaderThread.join();
    }
    m_bStop = false;
    m_nReaderCount = 1;
    m_hReaderThread = std::thread(ReaderThreadProc, this);
    m_readerId = m_hReaderThread.get_id();
}

void CSerialLink::JoinReader()
{
    std::thread reader;
    {
        std::lock_guard guard(m_threadLock);
        reader = std::move(m_hReaderThread);
    }
    if (!reader.joinable())
        return;
    // The reader itself may close the link from its receive function; it cannot wait for itself.
    if (reader.get_id() == std::this_thread::get_id())
        reader.detach();
    else
        reader.join();
}

void CSerialLink::ReaderThreadProc(CSerialLink *pLink)
{
    pLink->ReaderLoop();
}

void CSerialLink::ApplyLineSettings(const CLineSettings &line)
{
    m_nBaudRate = line.nRate == kAutoLineRate ? kDefaultLineRate : line.nRate;
    m_nByteSize = 8;
    m_nParity = 0;
    m_nStopBits = 0;
    m_nFlowControl = line.nFlow;
    m_bDtr = line.bDtr;
    m_bRts = line.bRts;
}
