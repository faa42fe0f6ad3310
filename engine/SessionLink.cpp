// The session's port: open, the reader thread's hand-over to the face's thread, reopen, close;
// and what a user is told when the port does not open.

#include "engine/SessionLink.h"

#include "engine/ModuleSetupView.h"

#include <cerrno>
#include <cstring>

namespace {

constexpr CUiSource kOpenFailed =
    KESTREL_TR_NOOP("MainWindow", "打开串口失败，请确认是否有其他程序在使用！");
constexpr CUiSource kOpenFailedCaption = KESTREL_TR_NOOP("MainWindow", "错误");
constexpr CUiSource kHeldBy = KESTREL_TR_NOOP("MainWindow", "设备 %1 正被 %2 占用：请先关闭那个程序。");
constexpr CUiSource kModemManagerHint =
    KESTREL_TR_NOOP("MainWindow", "ModemManager 会探测新接入的串口：可停止它（sudo systemctl "
                                  "stop ModemManager），或用 udev 属性 "
                                  "ID_MM_DEVICE_IGNORE=1 让它忽略该设备。");
constexpr CUiSource kAwaitingLogin =
    KESTREL_TR_NOOP("MainWindow", "没有打开 %1 的权限：用户已在 %2 组中，但本次登录尚未生效，"
                                  "请注销后重新登录。");
constexpr CUiSource kCannotOpen = KESTREL_TR_NOOP("MainWindow", "无法打开 %1：%2");
constexpr CUiSource kRefusedSettings = KESTREL_TR_NOOP("MainWindow", "串口不接受所设的参数");

// The plain causes, each with what to do about it; %1 is the device.
struct CFailureText
{
    OpenFailure eFailure;
    CUiSource text;
};
constexpr CFailureText kFailureTexts[] = {
    {OpenFailure::NoSuchDevice,
     KESTREL_TR_NOOP("MainWindow", "没有找到设备 %1：请确认串口适配器已经插好。")},
    {OpenFailure::Busy,
     KESTREL_TR_NOOP("MainWindow", "设备 %1 正被其他程序占用：请先关闭那个程序。")},
    {OpenFailure::NoPermission,
     KESTREL_TR_NOOP("MainWindow", "没有打开 %1 的权限：请把用户加入 dialout 组"
                                   "（sudo usermod -aG dialout $USER），然后重新登录。")},
};

} // namespace

CSessionLink::CSessionLink(IModuleSetupView &view, BytesHandler fnBytes, LostHandler fnLost,
                           const CSessionTraceSetup &traceSetup)
    : m_view(view), m_fnBytes(std::move(fnBytes)), m_fnLost(std::move(fnLost)),
      m_trace(traceSetup.start, traceSetup.nCapacity, traceSetup.pOrderLock)
{}

CSessionLink::~CSessionLink()
{
    Close();
}

bool CSessionLink::Open(const std::string &strPath, const CLineSettings &line)
{
    Close();
    m_pLink = std::make_unique<CSerialLink>();
    m_trace.Tap(*m_pLink, &CSessionLink::OnReceive, this);
    m_pLink->SetDisconnectCallback(&CSessionLink::OnDisconnect, this);
    m_pLink->ApplyLineSettings(line);
    m_strPath = strPath;
    m_failure = {};
    ++m_nGeneration;
    if (m_pLink->Open(strPath))
        return true;
    m_failure = {m_pLink->LastOpenFailure(), m_pLink->LastOpenError(), m_pLink->LastOpenHolders(),
                 m_pLink->LastOpenGroupAwaitingLogin()};
    m_pLink->Close();
    return false;
}

bool CSessionLink::Reopen()
{
    if (!m_pLink)
        return false;
    if (m_pLink->IsOpen())
        return true;
    ++m_nGeneration;
    if (m_pLink->Open(m_strPath))
        return true;
    m_pLink->Close();
    return false;
}

void CSessionLink::Close()
{
    if (m_pLink && m_pLink->IsOpen())
        m_pLink->Close();
    ++m_nGeneration;
}

bool CSessionLink::IsOpen() const
{
    return m_pLink && m_pLink->IsOpen();
}

bool CSessionLink::CanReopen() const
{
    return m_pLink && !m_strPath.empty() && !CSerialLink::IsRawPseudoTerminal(m_strPath);
}

ISerialLine *CSessionLink::Line()
{
    return m_pLink.get();
}

// On the reader thread: a copy goes to the face's thread, marked with the open it came from.
void CSessionLink::OnReceive(const char *pData, int32_t nLength, void *pUser)
{
    auto *pThis = static_cast<CSessionLink *>(pUser);
    if (pThis == nullptr || pData == nullptr || nLength <= 0)
        return;
    const uint32_t nGeneration = pThis->m_nGeneration.load();
    pThis->m_view.PostToViewThread(
        [pThis, nGeneration, strBytes = std::string(pData, static_cast<size_t>(nLength))] {
            if (pThis->m_nGeneration.load() == nGeneration)
                pThis->m_fnBytes(strBytes.data(), strBytes.size());
        });
}

void CSessionLink::OnDisconnect(void *pUser)
{
    auto *pThis = static_cast<CSessionLink *>(pUser);
    if (pThis == nullptr)
        return;
    const uint32_t nGeneration = pThis->m_nGeneration.load();
    pThis->m_view.PostToViewThread([pThis, nGeneration] {
        if (pThis->m_nGeneration.load() == nGeneration)
            pThis->m_fnLost();
    });
}

std::string OpenFailureBoxText()
{
    return Tr("MainWindow", kOpenFailed);
}

std::string OpenFailureBoxCaption()
{
    return Tr("MainWindow", kOpenFailedCaption);
}

std::string DescribeOpenFailure(const std::string &strPath, const COpenFailureInfo &failure,
                                EUiLanguage eLanguage)
{
    const auto tr = [eLanguage](CUiSource source) {
        return std::string(TrIn(eLanguage, "MainWindow", source));
    };
    if (failure.eFailure == OpenFailure::Busy && !failure.holders.empty()) {
        std::string strText = FillArgs(tr(kHeldBy), {strPath, DescribePortHolders(failure.holders)});
        if (HeldByModemManager(failure.holders))
            strText += tr(kModemManagerHint);
        return strText;
    }
    if (failure.eFailure == OpenFailure::NoPermission && !failure.strGroupAwaitingLogin.empty())
        return FillArgs(tr(kAwaitingLogin), {strPath, failure.strGroupAwaitingLogin});
    for (const CFailureText &text : kFailureTexts) {
        if (text.eFailure == failure.eFailure)
            return FillArgs(tr(text.text), {strPath});
    }
    return FillArgs(tr(kCannotOpen),
                    {strPath, failure.nErrno ? std::strerror(failure.nErrno) : tr(kRefusedSettings)});
}
