#include "qt/ModuleSetupDlg.h"

#include "qt/AboutDlg.h"
#include "qt/GuiCommon.h"
#include "qt/PortSelectDlg.h"
#include "qt/ProfileQt.h"
#include "qt/StatusLabel.h"
#include "qt/TrafficDlg.h"
#include "qt/UiLanguageQt.h"
#include "serial/SerialLink.h"

#include <cmath>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

CModuleSetupDlg *g_pMainDlg = nullptr;
double CModuleSetupDlg::s_dTimerScale = 1.0;

namespace {
constexpr std::chrono::seconds kAutoAcceptUnit{1};
const char *const kAutoAcceptVariable = "KESTREL_AUTO_ACCEPT_PORT";
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
    m_engine.InitForm();
}

CModuleSetupDlg::~CModuleSetupDlg()
{
    // The reader must be gone before the window it posts to.
    m_engine.CloseSession();
    delete m_pTrafficDlg; // it listens to the session's trace, which goes with the engine
    m_pTrafficDlg = nullptr;
    if (g_pMainDlg == this)
        g_pMainDlg = nullptr;
}

void CModuleSetupDlg::WireControls()
{
    // Every button and check box tells the engine; it knows which of them mean something.
    for (auto it = m_mapControls.cbegin(); it != m_mapControls.cend(); ++it) {
        auto *pButton = qobject_cast<QAbstractButton *>(it.value());
        if (pButton == nullptr || it.key() == IDC_BUTTON_CLOSE || it.key() == IDC_STATUS)
            continue;
        connect(pButton, &QAbstractButton::clicked, this,
                [this, nId = it.key()] { m_engine.OnCommand(nId); });
    }
    connect(Find<QAbstractButton>(IDC_BUTTON_CLOSE), &QAbstractButton::clicked, this,
            &CModuleSetupDlg::OnButtonClose);
    for (const int nId : {IDC_SLIDER_SCAN, IDC_SLIDER_SNIFF}) {
        auto *pSlider = Find<QSlider>(nId);
        connect(pSlider, &QSlider::sliderReleased, this,
                [this, nId] { m_engine.OnSliderReleased(nId); });
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
                this, [this, nId] { m_engine.OnSliderReleased(nId); }, Qt::QueuedConnection);
        }
    }
    return QDialog::eventFilter(pWatched, pEvent);
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
    SetStatusText(QCoreApplication::translate("MainWindow", "准备就绪").toStdString());
    setWindowTitle(
        QCoreApplication::translate("MainWindow", "内嵌模块参数设置工具 V4.25.20051116"));
    g_pMainDlg = this;

    const std::string strPath = strPortPath.toStdString();
    if (!m_engine.StartSession(strPath, line)) {
        ShowMessageBox(QString::fromStdString(OpenFailureBoxText()),
                       QString::fromStdString(OpenFailureBoxCaption()), MB_OK | MB_ICONHAND,
                       QString::fromStdString(
                           DescribeOpenFailure(strPath, m_engine.LastOpenFailure(), UiLanguage())));
        return false;
    }
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
    m_engine.CloseSession();
    QDialog::reject();
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
        connect(pTimer, &QTimer::timeout, this, [this, nIdEvent] { m_engine.OnTimer(nIdEvent); });
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
    if (!bRunWaiting && m_pFocusBeforeRun) {
        if (!focusWidget())
            m_pFocusBeforeRun->setFocus(Qt::OtherFocusReason);
        m_pFocusBeforeRun = nullptr;
    }
}

void CModuleSetupDlg::PostToViewThread(std::function<void()> fnWork)
{
    // The window is the context: what is still queued when it goes is dropped with it.
    QMetaObject::invokeMethod(this, std::move(fnWork), Qt::QueuedConnection);
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

bool CModuleSetupDlg::GetCheck(int nId)
{
    auto *pCheck = Find<QCheckBox>(nId);
    return pCheck && pCheck->isChecked();
}

void CModuleSetupDlg::SetCheck(int nId, bool bChecked)
{
    if (auto *pCheck = Find<QCheckBox>(nId))
        pCheck->setChecked(bChecked);
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
    if (nId == IDC_BUTTON_CONSOLE_SEND) {
        if (m_pTrafficDlg)
            m_pTrafficDlg->SetSendEnabled(bEnable);
        return;
    }
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

void CModuleSetupDlg::SetStatusText(const std::string &strText)
{
    ApplyStatusText(QString::fromStdString(strText));
}

void CModuleSetupDlg::ApplyStatusText(const QString &strText)
{
    m_pStatus->SetText(strText);
}
