#include "qt/ModuleSetupDlg.h"

#include "qt/AboutDlg.h"
#include "qt/GuiCommon.h"
#include "qt/PortSelectDlg.h"
#include "qt/ProfileQt.h"
#include "qt/StatusLabel.h"
#include "qt/TrafficDlg.h"
#include "qt/UiLanguageQt.h"
#include "serial/SerialLink.h"

#include <cerrno>
#include <cmath>
#include <cstring>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QThread>
#include <QTimer>

CModuleSetupDlg *g_pMainDlg = nullptr;
double CModuleSetupDlg::s_dTimerScale = 1.0;

namespace {
constexpr std::chrono::seconds kAutoAcceptUnit{1};
const char *const kAutoAcceptVariable = "KESTREL_AUTO_ACCEPT_PORT";
const char *const kRawCheckState = "kestrelRawCheckState";
// How often a pulled adapter is looked for; a device node appears within a second of plugging.
constexpr std::chrono::milliseconds kReopenPoll{500};

// What stopped the port from opening, said under the box's text (%1 the device): with the
// programs that hold a busy port, and the log-in a refused user still owes.
QString OpenFailureDetail(OpenFailure failure, int nErrno, const QString &strPath,
                          const std::vector<CPortHolder> &holders, const std::string &strGroup)
{
    if (failure == OpenFailure::Busy && !holders.empty()) {
        QString strDetail = QCoreApplication::translate("MainWindow", "设备 %1 正被 %2 占用：请先关闭那个程序。")
                                .arg(strPath, QString::fromStdString(DescribePortHolders(holders)));
        if (HeldByModemManager(holders))
            strDetail += QCoreApplication::translate("MainWindow", "ModemManager 会探测新接入的串口：可停止它（sudo systemctl "
                              "stop ModemManager），或用 udev 属性 "
                              "ID_MM_DEVICE_IGNORE=1 让它忽略该设备。");
        return strDetail;
    }
    if (failure == OpenFailure::NoPermission && !strGroup.empty())
        return QCoreApplication::translate("MainWindow", "没有打开 %1 的权限：用户已在 %2 组中，但本次登录尚未生效，"
                                           "请注销后重新登录。")
            .arg(strPath, QString::fromStdString(strGroup));
    static const struct
    {
        OpenFailure failure;
        const char *pszDetail;
    } kDetails[] = {
        {OpenFailure::NoSuchDevice,
         QT_TRANSLATE_NOOP("MainWindow", "没有找到设备 %1：请确认串口适配器已经插好。")},
        {OpenFailure::Busy,
         QT_TRANSLATE_NOOP("MainWindow", "设备 %1 正被其他程序占用：请先关闭那个程序。")},
        {OpenFailure::NoPermission,
         QT_TRANSLATE_NOOP("MainWindow", "没有打开 %1 的权限：请把用户加入 dialout 组"
                                         "（sudo usermod -aG dialout $USER），然后重新登录。")},
    };
    for (const auto &detail : kDetails) {
        if (detail.failure == failure)
            return QCoreApplication::translate("MainWindow", detail.pszDetail).arg(strPath);
    }
    return QCoreApplication::translate("MainWindow", "无法打开 %1：%2")
        .arg(strPath, QString::fromLocal8Bit(std::strerror(nErrno ? nErrno : EINVAL)));
}
} // namespace

CModuleSetupDlg::CModuleSetupDlg(const QString &strPreferredPort, QWidget *pParent)
    : QDialog(pParent), m_strPreferredPort(strPreferredPort)
{
    EnsureKestrelResources();
    setWindowIcon(QIcon(QStringLiteral(":/kestrel.svg")));
    setWindowTitle(QCoreApplication::translate("MainWindow", "内嵌模块参数设置工具"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    CreateControls();
    WireControls();

    // No system menu to extend here: the About entry lives in the context menu and on F1.
    m_pAboutAction =
        new QAction(QCoreApplication::translate("MainWindow", "关于 Kestrel(&A)..."), this);
    m_pAboutAction->setShortcut(QKeySequence(Qt::Key_F1));
    addAction(m_pAboutAction);
    connect(m_pAboutAction, &QAction::triggered, this, &CModuleSetupDlg::ShowAbout);
    CreateFileActions();

    m_pReopenTimer = new QTimer(this);
    m_pReopenTimer->setInterval(kReopenPoll);
    connect(m_pReopenTimer, &QTimer::timeout, this, &CModuleSetupDlg::TryReopenPort);
}

CModuleSetupDlg::~CModuleSetupDlg()
{
    // The reader must be gone before the window it posts to.
    m_pReopenTimer->stop();
    StopAllTimers();
    CloseSessionLink();
    m_pSerial = nullptr;
    delete m_pTrafficDlg; // it listens to m_sessionTrace, which goes before the child widgets
    m_pTrafficDlg = nullptr;
    if (g_pMainDlg == this)
        g_pMainDlg = nullptr;
}

void CModuleSetupDlg::WireControls()
{
    // A state the module reported beyond 0 and 1 stays readable until the user clicks the box.
    for (const int nId : {IDC_CHECK_ROLE, IDC_CHECK_BIND, IDC_CHECK_AUTH}) {
        auto *pCheck = Find<QCheckBox>(nId);
        connect(pCheck, &QAbstractButton::clicked, pCheck,
                [pCheck] { pCheck->setProperty(kRawCheckState, QVariant()); });
    }
    for (const ButtonHandler &button : ButtonHandlerTable) {
        auto *pButton = Find<QAbstractButton>(button.nId);
        connect(pButton, &QAbstractButton::clicked, this,
                [this, pfn = button.pfnHandler] { (this->*pfn)(); });
    }
    connect(Find<QAbstractButton>(IDC_BUTTON_CLOSE), &QAbstractButton::clicked, this,
            &CModuleSetupDlg::OnButtonClose);
    for (const int nId : {IDC_SLIDER_SCAN, IDC_SLIDER_SNIFF}) {
        auto *pSlider = Find<QSlider>(nId);
        connect(pSlider, &QSlider::sliderReleased, this, [this, nId] { OnSliderReleased(nId); });
        pSlider->installEventFilter(this);
    }
}

bool CModuleSetupDlg::eventFilter(QObject *pWatched, QEvent *pEvent)
{
    // A click in a slider's channel moves it without grabbing the handle, so no sliderReleased
    // follows; the mouse release still ends the gesture and applies the preset, once the move
    // has landed.
    if (pEvent->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent *>(pEvent)->button() == Qt::LeftButton) {
        auto *pSlider = qobject_cast<QSlider *>(pWatched);
        if (pSlider && !pSlider->isSliderDown()) {
            const int nId = m_mapControls.key(pSlider);
            QMetaObject::invokeMethod(
                this, [this, nId] { OnSliderReleased(nId); }, Qt::QueuedConnection);
        }
    }
    return QDialog::eventFilter(pWatched, pEvent);
}

void CModuleSetupDlg::OnSliderReleased(int nId)
{
    if (nId == IDC_SLIDER_SCAN)
        OnReleasedCaptureSliderScan();
    else if (nId == IDC_SLIDER_SNIFF)
        OnReleasedCaptureSliderSniff();
}

bool CModuleSetupDlg::OnInitDialog()
{
    CPortSelectDlg portDlg(m_strPreferredPort);
    // Scripting aid (screenshots, demos): accept the port dialog after this many seconds.
    const int nAutoAccept = qEnvironmentVariableIntValue(kAutoAcceptVariable);
    if (nAutoAccept > 0) {
        QTimer::singleShot(
            std::chrono::duration_cast<std::chrono::milliseconds>(kAutoAcceptUnit * nAutoAccept),
            &portDlg, &CPortSelectDlg::accept);
    }
    if (portDlg.exec() != QDialog::Accepted)
        return false;
    return StartSession(portDlg.m_strPortPath, portDlg.m_line);
}

bool CModuleSetupDlg::StartSession(const QString &strPortPath, int nFlow)
{
    CLineSettings line;
    line.nFlow = static_cast<uint8_t>(nFlow);
    return StartSession(strPortPath, line);
}

bool CModuleSetupDlg::StartSession(const QString &strPortPath, const CLineSettings &line)
{
    FillLists();
    SetStatusText(QCoreApplication::translate("MainWindow", "准备就绪").toStdString());
    setWindowTitle(
        QCoreApplication::translate("MainWindow", "内嵌模块参数设置工具 V4.25.20051116"));
    g_pMainDlg = this;

    if (!OpenSessionLink(strPortPath.toStdString(), line, OnSerialReceive, OnSerialDisconnect,
                         this)) {
        const QString strDetail =
            OpenFailureDetail(m_sessionOpenFailure, m_nSessionOpenError, strPortPath,
                              m_sessionOpenHolders, m_strSessionGroupAwaitingLogin);
        ShowMessageBox(
            QCoreApplication::translate("MainWindow", "打开串口失败，请确认是否有其他程序在使用！"),
            QCoreApplication::translate("MainWindow", "错误"), MB_OK | MB_ICONHAND, strDetail);
        return false;
    }
    StartAutoQuery();
    return true;
}

void CModuleSetupDlg::OnButtonClose()
{
    reject();
}

void CModuleSetupDlg::accept()
{
    // Deliberately nothing: the window ends only through Close, Escape or its close button.
}

void CModuleSetupDlg::reject()
{
    // A run waiting for a reply is abandoned; its timers must not fire into a closed window, and
    // a device coming back must not be reopened by a window that is going away.
    m_pReopenTimer->stop();
    AbandonRun();
    StopAllTimers();
    CloseSessionLink();
    QDialog::reject();
}

void CModuleSetupDlg::OnLinkLost()
{
    OnPortLost();
    // A pseudo-terminal's number is handed to the next terminal that opens: the same path would
    // be someone else's line, not the module coming back. Virtual ports are found by their links.
    if (!m_strSessionPort.empty() && !CSerialLink::IsRawPseudoTerminal(m_strSessionPort))
        m_pReopenTimer->start();
}

// Reopens the same device with the same settings once it is back. The form keeps what the user
// typed: nothing is queried until the user asks.
void CModuleSetupDlg::TryReopenPort()
{
    if (!m_pSessionLink || m_pSessionLink->IsOpen()) {
        m_pReopenTimer->stop();
        return;
    }
    if (!QFileInfo::exists(QString::fromStdString(m_strSessionPort)) || !ReopenSessionLink())
        return;
    m_pReopenTimer->stop();
    SetStatusText(QCoreApplication::translate("MainWindow", "串口已重新连接").toStdString());
}

void CModuleSetupDlg::keyPressEvent(QKeyEvent *pEvent)
{
    if (pEvent->key() == Qt::Key_Return || pEvent->key() == Qt::Key_Enter) {
        pEvent->accept();
        return;
    }
    QDialog::keyPressEvent(pEvent);
}

void CModuleSetupDlg::contextMenuEvent(QContextMenuEvent *pEvent)
{
    QMenu menu(this);
    menu.addActions(m_fileActions);
    menu.addAction(m_pAboutAction);
    menu.addSeparator();
    // Named in both languages, so that a user who reads neither the other can still find it.
    QMenu *pLanguage = menu.addMenu(QString::fromUtf8(kLanguageMenuText));
    CProfileQt profile;
    const std::string strChosen =
        profile.ReadString(kLanguageSection, kLanguageKey).value_or(UiLanguageCode(UiLanguage()));
    for (const auto &[pszCode, strName] :
         {std::pair{"zh_CN", kChineseLanguageName}, std::pair{"en", kEnglishLanguageName}}) {
        QAction *pAction = pLanguage->addAction(QString::fromUtf8(strName));
        pAction->setCheckable(true);
        pAction->setChecked(strChosen == pszCode);
        connect(pAction, &QAction::triggered, this,
                [this, strCode = std::string(pszCode)] { ChooseLanguage(strCode); });
    }
    menu.exec(pEvent->globalPos());
}

void CModuleSetupDlg::ChooseLanguage(const std::string &strCode)
{
    CProfileQt profile;
    profile.WriteString(kLanguageSection, kLanguageKey, strCode);
    profile.Flush();
    // Said in both languages: the user has just chosen the one that is not shown yet.
    ShowMessageBox(QString::fromUtf8(kLanguageChosenText), QString::fromUtf8(kLanguageMenuText),
                   MB_OK | MB_ICONINFORMATION, QString());
}

void CModuleSetupDlg::ShowAbout()
{
    CAboutDlg aboutDlg(this);
    aboutDlg.exec();
}

void CModuleSetupDlg::SetTimerScaleForTesting(double dScale)
{
    s_dTimerScale = dScale;
}

void CModuleSetupDlg::SetTimer(unsigned nIdEvent, std::chrono::milliseconds period)
{
    QTimer *pTimer = m_mapTimers.value(nIdEvent);
    if (!pTimer) {
        pTimer = new QTimer(this);
        pTimer->setSingleShot(true);
        // A coarse timer may fire up to 5 % early: a step would give up on a module still
        // within its period.
        pTimer->setTimerType(Qt::PreciseTimer);
        connect(pTimer, &QTimer::timeout, this, [this, nIdEvent] { OnTimer(nIdEvent); });
        m_mapTimers.insert(nIdEvent, pTimer);
    }
    // The probe waits for bytes on the wire, not for the user: shortened, it would miss answers.
    const double dScale = nIdEvent == TIMER_PROBE ? 1.0 : s_dTimerScale;
    const auto nScaledMs = static_cast<int>(std::lround(period.count() * dScale));
    pTimer->start(std::max(nScaledMs, 0));
}

void CModuleSetupDlg::KillTimer(unsigned nIdEvent)
{
    if (QTimer *pTimer = m_mapTimers.value(nIdEvent))
        pTimer->stop();
}

void CModuleSetupDlg::StopAllTimers()
{
    for (QTimer *pTimer : std::as_const(m_mapTimers))
        pTimer->stop();
}

int CModuleSetupDlg::MessageBox(const std::string &strText, const std::string &strCaption,
                                unsigned nType)
{
    return ShowMessageBox(QString::fromStdString(strText), QString::fromStdString(strCaption),
                          nType, {});
}

int CModuleSetupDlg::ShowMessageBox(const QString &strText, const QString &strCaption,
                                    unsigned nType, const QString &strDetail)
{
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (nType & 0xF0) {
    case MB_ICONHAND:
        icon = QMessageBox::Critical;
        break;
    case MB_ICONEXCLAMATION:
        icon = QMessageBox::Warning;
        break;
    case MB_ICONINFORMATION:
        icon = QMessageBox::Information;
        break;
    default:
        break;
    }
    QMessageBox box(icon, strCaption, strText, QMessageBox::NoButton, this);
    box.setInformativeText(strDetail);
    if ((nType & 0x0F) == MB_YESNO) {
        QPushButton *pYes = box.addButton(QCoreApplication::translate("MainWindow", "是(&Y)"),
                                          QMessageBox::YesRole);
        box.addButton(QCoreApplication::translate("MainWindow", "否(&N)"), QMessageBox::NoRole);
        box.setDefaultButton(pYes);
        box.exec();
        return box.clickedButton() == pYes ? IDYES : IDNO;
    }
    box.addButton(QCoreApplication::translate("MainWindow", "确定"), QMessageBox::AcceptRole);
    box.exec();
    return IDOK;
}

// A focused button that is disabled hands its focus on, to "关闭" when the others are disabled too,
// where the next Enter or Space would close the window. So nothing holds the focus while a run
// waits, and the button gets it back when the run has ended, unless the user went elsewhere.
void CModuleSetupDlg::OnRunGateChanged(bool bRunWaiting)
{
    QWidget *pFocus = focusWidget();
    if (bRunWaiting && pFocus && qobject_cast<QPushButton *>(pFocus) &&
        m_mapControls.key(pFocus) != IDC_BUTTON_CLOSE) {
        m_pFocusBeforeRun = pFocus;
        pFocus->clearFocus();
    }
    CModuleSetupEngine::OnRunGateChanged(bRunWaiting);
    if (!bRunWaiting && m_pFocusBeforeRun) {
        if (!focusWidget())
            m_pFocusBeforeRun->setFocus(Qt::OtherFocusReason);
        m_pFocusBeforeRun = nullptr;
    }
}

void OnSerialReceive(const char *pData, int32_t nLength, void *pUser)
{
    if (!pUser || !pData || nLength <= 0)
        return;
    auto *pDlg = static_cast<CModuleSetupDlg *>(pUser);
    // A copy: the link's buffer is reused as soon as this returns.
    const QByteArray bytes(pData, nLength);
    QMetaObject::invokeMethod(
        pDlg, [pDlg, bytes] { pDlg->OnReceivedBytes(bytes.constData(), size_t(bytes.size())); },
        Qt::QueuedConnection);
}

void OnSerialDisconnect(void *pUser)
{
    if (!pUser)
        return;
    auto *pDlg = static_cast<CModuleSetupDlg *>(pUser);
    QMetaObject::invokeMethod(
        pDlg, [pDlg] { pDlg->OnLinkLost(); }, Qt::QueuedConnection);
}

// --- Control surface: ids to widgets, GBK at this boundary

std::string CModuleSetupDlg::GetWindowText(int nId)
{
    if (auto *pEdit = Find<QLineEdit>(nId))
        return ToGbk(pEdit->text());
    // An editable list gives its edit text, a drop-down list its selected entry (or nothing).
    if (auto *pList = Find<QComboBox>(nId))
        return ToGbk(pList->currentText());
    if (auto *pButton = Find<QAbstractButton>(nId))
        return ToGbk(pButton->text());
    return {};
}

void CModuleSetupDlg::SetWindowText(int nId, const std::string &strText)
{
    const QString strValue = FromGbk(strText);
    if (auto *pEdit = Find<QLineEdit>(nId)) {
        pEdit->setText(strValue);
    } else if (auto *pList = Find<QComboBox>(nId)) {
        if (pList->isEditable())
            pList->setEditText(strValue);
        else
            pList->setCurrentIndex(pList->findText(strValue, Qt::MatchExactly));
    } else if (nId == IDC_STATUS) {
        ApplyStatusText(strValue);
    } else if (auto *pButton = Find<QAbstractButton>(nId)) {
        pButton->setText(strValue);
    }
}

int CModuleSetupDlg::GetCheck(int nId)
{
    auto *pCheck = Find<QCheckBox>(nId);
    if (!pCheck)
        return 0;
    const QVariant raw = pCheck->property(kRawCheckState);
    return raw.isValid() ? raw.toInt() : (pCheck->isChecked() ? 1 : 0);
}

// A box shows ticked for any state but 0; the state itself is kept, as the module reported it,
// so that a Set does not take an unedited box for a change.
void CModuleSetupDlg::SetCheck(int nId, int nState)
{
    if (auto *pCheck = Find<QCheckBox>(nId)) {
        pCheck->setChecked(nState != 0);
        pCheck->setProperty(kRawCheckState, nState == 0 || nState == 1 ? QVariant() : nState);
    }
}

int CModuleSetupDlg::GetCount(int nId)
{
    auto *pList = Find<QComboBox>(nId);
    return pList ? pList->count() : 0;
}

std::string CModuleSetupDlg::GetLBText(int nId, int nIndex)
{
    auto *pList = Find<QComboBox>(nId);
    if (!pList || nIndex < 0 || nIndex >= pList->count())
        return {};
    return ToGbk(pList->itemText(nIndex));
}

int CModuleSetupDlg::GetCurSel(int nId)
{
    auto *pList = Find<QComboBox>(nId);
    return pList ? pList->currentIndex() : -1;
}

void CModuleSetupDlg::SetCurSel(int nId, int nIndex)
{
    auto *pList = Find<QComboBox>(nId);
    if (!pList)
        return;
    // An index past the end selects nothing, as the list control does.
    pList->setCurrentIndex(nIndex >= 0 && nIndex < pList->count() ? nIndex : -1);
}

void CModuleSetupDlg::ResetContent(int nId)
{
    if (auto *pList = Find<QComboBox>(nId)) {
        pList->clear();
        if (pList->isEditable())
            pList->clearEditText();
    }
}

void CModuleSetupDlg::InsertString(int nId, int nIndex, const std::string &strText)
{
    auto *pList = Find<QComboBox>(nId);
    if (!pList)
        return;
    // Inserting changes neither the selection nor the edit text: the first entry of an empty
    // list would otherwise become selected by itself.
    const QString strEdit = pList->currentText();
    const bool bNoSelection = pList->currentIndex() < 0;
    const int nAt = nIndex < 0 || nIndex > pList->count() ? pList->count() : nIndex;
    pList->insertItem(nAt, FromGbk(strText));
    if (bNoSelection)
        pList->setCurrentIndex(-1);
    if (pList->isEditable())
        pList->setEditText(strEdit);
}

void CModuleSetupDlg::EnableWindow(int nId, bool bEnable)
{
    if (QWidget *pWidget = m_mapControls.value(nId))
        pWidget->setEnabled(bEnable);
}

void CModuleSetupDlg::SetReadOnly(int nId, bool bReadOnly)
{
    if (auto *pEdit = Find<QLineEdit>(nId))
        pEdit->setReadOnly(bReadOnly);
}

int CModuleSetupDlg::GetSliderPos(int nId)
{
    auto *pSlider = Find<QSlider>(nId);
    return pSlider ? pSlider->value() : 0;
}

void CModuleSetupDlg::SetSliderPos(int nId, int nPos)
{
    if (auto *pSlider = Find<QSlider>(nId))
        pSlider->setValue(nPos);
}

int CModuleSetupDlg::GetSliderRangeMax(int nId)
{
    auto *pSlider = Find<QSlider>(nId);
    return pSlider ? pSlider->maximum() : 0;
}

void CModuleSetupDlg::SetFocus(int nId)
{
    if (QWidget *pWidget = m_mapControls.value(nId))
        pWidget->setFocus(Qt::OtherFocusReason);
}

void CModuleSetupDlg::SetStatusText(std::string strText)
{
    const QString strValue = QString::fromStdString(strText);
    if (QThread::currentThread() == thread()) {
        ApplyStatusText(strValue);
        return;
    }
    // From another thread: queued, so the texts arrive in the order they were set.
    QMetaObject::invokeMethod(
        this, [this, strValue] { ApplyStatusText(strValue); }, Qt::QueuedConnection);
}

void CModuleSetupDlg::ApplyStatusText(const QString &strText)
{
    m_pStatus->SetText(strText);
}
