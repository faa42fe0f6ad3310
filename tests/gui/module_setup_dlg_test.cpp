// The main window's widgets: byte limits of the fields, the slider switches, Enter and Close,
// and a start against the simulated module through the link's hand-over to the window.

#include "qt/AboutDlg.h"
#include "qt/ModuleSetupDlg.h"
#include "qt/PortSelectDlg.h"
#include "serial/SerialLink.h"
#include "sim/ModuleSim.h"

#include <functional>
#include <sys/stat.h>
#include <unistd.h>

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QtTest>

namespace {
constexpr int kStartTimeoutMs = 10000;

// Types text as a keyboard would, one character at a time, so the field's validator decides.
void TypeText(QWidget *pWidget, const QString &strText)
{
    for (const QChar ch : strText) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(pWidget, &press);
    }
}

QString Text(CModuleSetupDlg &dlg, int nId)
{
    return qobject_cast<QLineEdit *>(dlg.Control(nId))->text();
}

QStringList Fields(CModuleSetupDlg &dlg, std::initializer_list<int> ids)
{
    QStringList list;
    for (const int nId : ids)
        list << Text(dlg, nId);
    return list;
}

// The text a field takes typing in: an edit, or the edit field of an editable list.
QLineEdit *TypedField(CModuleSetupDlg &dlg, int nId)
{
    if (auto *pEdit = qobject_cast<QLineEdit *>(dlg.Control(nId)))
        return pEdit;
    return qobject_cast<QComboBox *>(dlg.Control(nId))->lineEdit();
}

QPushButton *ButtonByText(QWidget *pParent, const QString &strText)
{
    for (QPushButton *pButton : pParent->findChildren<QPushButton *>()) {
        if (pButton->text() == strText)
            return pButton;
    }
    return nullptr;
}

// Acts on the first popup or modal window of type TWidget to show, from a polling timer: a
// waiting loop of its own would sit under the modal loops it starts, and they would wait on
// each other.
template <typename TWidget> void WhenShown(std::function<void(TWidget *)> fnAct)
{
    auto *pTimer = new QTimer(qApp);
    pTimer->setInterval(10);
    QObject::connect(pTimer, &QTimer::timeout, [pTimer, fnAct] {
        auto *pWidget = qobject_cast<TWidget *>(QApplication::activePopupWidget());
        if (!pWidget)
            pWidget = qobject_cast<TWidget *>(QApplication::activeModalWidget());
        if (!pWidget)
            return;
        pTimer->stop();
        pTimer->deleteLater();
        fnAct(pWidget);
    });
    pTimer->start();
}

const std::initializer_list<int> kScanIds = {IDC_EDIT_CONN_INTERVAL, IDC_EDIT_CONN_DURATION,
                                             IDC_EDIT_INQ_INTERVAL, IDC_EDIT_INQ_DURATION};
const std::initializer_list<int> kSniffIds = {IDC_EDIT_SNIFF_MAX, IDC_EDIT_SNIFF_MIN,
                                              IDC_EDIT_SNIFF_ATTEMPT, IDC_EDIT_SNIFF_TIMEOUT};
} // namespace

class CModuleSetupDlgTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { CModuleSetupDlg::SetTimerScaleForTesting(0.1); }
    void fieldsCountGbkBytes_data();
    void fieldsCountGbkBytes();
    void sliderPresets_data();
    void sliderPresets();
    void keyboardMovesSliderWithoutPreset();
    void startQueriesSimulatedModule();
    void enterKeepsWindowOpen();
    void closeClosesPort();
    void openFailureNamesItsCause_data();
    void openFailureNamesItsCause();
    void cancelInPortDialogSendsNothing();
    void aboutBoxOpensAndCloses_data();
    void aboutBoxOpensAndCloses();
    void labelsReachScreenReaders_data();
    void labelsReachScreenReaders();
    void otherMouseButtonsApplyNoPreset();
    void reportedCheckStateIsKeptUntilClicked();
    void controlsCarrySpokenNames_data();
    void controlsCarrySpokenNames();
};

void CModuleSetupDlgTest::fieldsCountGbkBytes_data()
{
    QTest::addColumn<int>("nId");
    QTest::addColumn<QString>("strTyped");
    QTest::addColumn<QString>("strKept");
    const QString str20 = QString(20, QLatin1Char('n'));
    const QString strTen = QString(10, QChar(0x84DD)); // 蓝, two bytes in GBK
    QTest::newRow("name: 20 ASCII fit") << IDC_EDIT_NAME << str20 << str20;
    QTest::newRow("name: the 21st is refused") << IDC_EDIT_NAME << str20 + "x" << str20;
    QTest::newRow("name: 10 Chinese fit") << IDC_EDIT_NAME << strTen << strTen;
    QTest::newRow("name: the 11th Chinese is refused")
        << IDC_EDIT_NAME << strTen + QChar(0x7259) << strTen;
    QTest::newRow("name: 19 ASCII leave no room for a Chinese")
        << IDC_EDIT_NAME << QString(19, QLatin1Char('a')) + QChar(0x7259)
        << QString(19, QLatin1Char('a'));
    QTest::newRow("name: no GBK form is refused")
        << IDC_EDIT_NAME << QStringLiteral("a\U0001F600b") << QStringLiteral("ab");
    QTest::newRow("password: no GBK form is refused")
        << IDC_EDIT_PASSWORD << QStringLiteral("12\u20BF34") << QStringLiteral("1234");
    QTest::newRow("bind address: no GBK form is refused")
        << IDC_COMBO_BINDADDR << QStringLiteral("0011\U0001F600223344AA")
        << QStringLiteral("0011223344AA");
    QTest::newRow("bind address: GBK text is taken")
        << IDC_COMBO_BINDADDR << QStringLiteral("蓝牙") << QStringLiteral("蓝牙");
    QTest::newRow("class: digits only, six") << IDC_EDIT_CLASS << "12a3-45678"
                                             << "123456";
    QTest::newRow("number field: digits only") << IDC_EDIT_SNIFF_MAX << "x8 0"
                                               << "80";
}

void CModuleSetupDlgTest::fieldsCountGbkBytes()
{
    QFETCH(int, nId);
    QFETCH(QString, strTyped);
    QFETCH(QString, strKept);
    CModuleSetupDlg dlg;
    dlg.Control(nId)->setEnabled(true); // the bind-address list starts disabled
    QLineEdit *pEdit = TypedField(dlg, nId);
    pEdit->setReadOnly(false); // so does the password, read-only
    pEdit->clear();
    TypeText(pEdit, strTyped);
    QCOMPARE(pEdit->text(), strKept);
}

void CModuleSetupDlgTest::sliderPresets_data()
{
    QTest::addColumn<int>("nSliderId");
    QTest::addColumn<bool>("bDragHandle");
    QTest::addColumn<QStringList>("onValues");
    QTest::addColumn<QStringList>("offValues");
    const QStringList scanOn = {"2048", "18", "2048", "18"};
    const QStringList scanOff = {"1024", "512", "1024", "512"};
    const QStringList sniffOn = {"800", "80", "8", "8"};
    const QStringList sniffOff = {"0", "0", "0", "0"};
    QTest::newRow("scan, click in the channel") << IDC_SLIDER_SCAN << false << scanOn << scanOff;
    QTest::newRow("scan, drag the handle") << IDC_SLIDER_SCAN << true << scanOn << scanOff;
    QTest::newRow("sniff, click in the channel")
        << IDC_SLIDER_SNIFF << false << sniffOn << sniffOff;
    QTest::newRow("sniff, drag the handle") << IDC_SLIDER_SNIFF << true << sniffOn << sniffOff;
}

void CModuleSetupDlgTest::sliderPresets()
{
    QFETCH(int, nSliderId);
    QFETCH(bool, bDragHandle);
    QFETCH(QStringList, onValues);
    QFETCH(QStringList, offValues);
    CModuleSetupDlg dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    auto *pSlider = qobject_cast<QSlider *>(dlg.Control(nSliderId));
    const auto ids = nSliderId == IDC_SLIDER_SCAN ? kScanIds : kSniffIds;
    const QPoint ptLeft(3, pSlider->height() / 2);
    const QPoint ptRight(pSlider->width() - 3, pSlider->height() / 2);

    if (bDragHandle) {
        QTest::mousePress(pSlider, Qt::LeftButton, {}, ptLeft);
        QTest::mouseMove(pSlider, ptRight);
        QTest::mouseRelease(pSlider, Qt::LeftButton, {}, ptRight);
    } else {
        QTest::mouseClick(pSlider, Qt::LeftButton, {}, ptRight);
    }
    QTRY_COMPARE(pSlider->value(), 100);
    QTRY_COMPARE(Fields(dlg, ids), onValues);

    // Back to off by a click left of the handle; released anywhere left of the right end.
    QTest::mouseClick(pSlider, Qt::LeftButton, {}, ptLeft);
    QTRY_COMPARE(pSlider->value(), 0);
    QTRY_COMPARE(Fields(dlg, ids), offValues);
}

void CModuleSetupDlgTest::keyboardMovesSliderWithoutPreset()
{
    CModuleSetupDlg dlg;
    auto *pSlider = qobject_cast<QSlider *>(dlg.Control(IDC_SLIDER_SCAN));
    QTest::keyClick(pSlider, Qt::Key_End);
    QCOMPARE(pSlider->value(), 100);
    QTest::qWait(50);
    QCOMPARE(Fields(dlg, kScanIds), QStringList({"0", "0", "0", "0"}));
}

void CModuleSetupDlgTest::startQueriesSimulatedModule()
{
    CModuleSim sim;
    if (!sim.Start())
        QSKIP("no pseudo-terminal for the simulated module");
    CModuleSetupDlg dlg;
    QVERIFY(dlg.StartSession(QString::fromStdString(sim.DevicePath()), FLOW_NONE));
    QCOMPARE(g_pMainDlg, &dlg);
    QCOMPARE(dlg.windowTitle(), QStringLiteral("内嵌模块参数设置工具 V4.25.20051116"));
    // The replies come in on the reader thread and must reach the form on this one.
    QTRY_COMPARE_WITH_TIMEOUT(Text(dlg, IDC_EDIT_NAME), QStringLiteral("CORVA3264"),
                              kStartTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(Text(dlg, IDC_EDIT_LOCALADDR), QStringLiteral("00158300A1B2"),
                              kStartTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(dlg.Control(IDC_STATUS)->accessibleDescription(),
                              QStringLiteral("查询完成"), kStartTimeoutMs);
}

void CModuleSetupDlgTest::enterKeepsWindowOpen()
{
    CModuleSim sim;
    if (!sim.Start())
        QSKIP("no pseudo-terminal for the simulated module");
    CModuleSetupDlg dlg;
    QVERIFY(dlg.StartSession(QString::fromStdString(sim.DevicePath()), FLOW_NONE));
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    for (const int nId : {IDC_EDIT_NAME, IDC_EDIT_SNIFF_MAX, IDC_STATUS}) {
        QWidget *pWidget = dlg.Control(nId);
        pWidget->setFocus();
        QTest::keyClick(pWidget, Qt::Key_Return);
        QTest::keyClick(pWidget, Qt::Key_Enter);
        QVERIFY(dlg.isVisible());
        QVERIFY(dlg.Engine().IsSessionOpen());
    }
}

void CModuleSetupDlgTest::closeClosesPort()
{
    CModuleSim sim;
    if (!sim.Start())
        QSKIP("no pseudo-terminal for the simulated module");
    CModuleSetupDlg dlg;
    QVERIFY(dlg.StartSession(QString::fromStdString(sim.DevicePath()), FLOW_NONE));
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QVERIFY(dlg.Engine().IsSessionOpen());
    qobject_cast<QPushButton *>(dlg.Control(IDC_BUTTON_CLOSE))->click();
    QVERIFY(!dlg.isVisible());
    QCOMPARE(dlg.result(), int(QDialog::Rejected));
    QVERIFY(!dlg.Engine().IsSessionOpen());
    // The automatic query was armed; with the window closed it must not write anything.
    sim.ClearLog();
    QTest::qWait(300);
    QVERIFY(sim.Commands().empty());
}

void CModuleSetupDlgTest::openFailureNamesItsCause_data()
{
    QTest::addColumn<QString>("strKind");
    QTest::addColumn<QString>("strCause");
    QTest::newRow("no such device") << "missing"
                                    << "没有找到设备";
    QTest::newRow("held by another program") << "busy"
                                             << "正被其他程序占用";
    QTest::newRow("held by a named program") << "held"
                                             << "flock (pid %1)";
    QTest::newRow("no permission") << "denied"
                                   << "dialout";
    QTest::newRow("not a serial device") << "file"
                                         << "无法打开";
}

// The box keeps its text, caption and icon exactly and says underneath what went wrong; the
// window then ends.
void CModuleSetupDlgTest::openFailureNamesItsCause()
{
    QFETCH(QString, strKind);
    QFETCH(QString, strCause);
    QTemporaryDir dir;
    QString strPath = dir.filePath(QStringLiteral("kestrel-port"));
    CModuleSim sim;
    CSerialLink holder;
    QProcess helper; // another program that holds the port, as a terminal left open does
    if (strKind == "busy" || strKind == "held") {
        if (!sim.Start())
            QSKIP("no pseudo-terminal for the simulated module");
        strPath = QString::fromStdString(sim.DevicePath());
    }
    if (strKind == "busy") {
        QVERIFY(holder.Open(sim.DevicePath()));
    } else if (strKind == "held") {
        // flock(1) takes the same lock the link takes and keeps it while its child, cat, waits
        // for the end of its input.
        helper.start(QStringLiteral("flock"),
                     {QStringLiteral("-o"), strPath, QStringLiteral("cat")});
        if (!helper.waitForStarted())
            QSKIP("no flock(1) here");
        QTRY_VERIFY_WITH_TIMEOUT(!holder.Open(sim.DevicePath()) || (holder.Close(), false), 5000);
        strCause = strCause.arg(helper.processId());
    } else if (strKind != "missing") {
        QFile file(strPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        if (strKind == "denied") {
            if (geteuid() == 0)
                QSKIP("root opens any file");
            QVERIFY(chmod(qPrintable(strPath), 0) == 0);
        }
    }
    struct
    {
        QString strText, strCaption, strDetail;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QStringList buttons;
    } seen;
    CModuleSetupDlg dlg;
    WhenShown<QMessageBox>([&seen](QMessageBox *pBox) {
        seen = {pBox->text(), pBox->windowTitle(), pBox->informativeText(), pBox->icon(), {}};
        for (QAbstractButton *pButton : pBox->buttons())
            seen.buttons << pButton->text();
        pBox->buttons().first()->click();
    });
    QVERIFY(!dlg.StartSession(strPath, FLOW_NONE));
    QVERIFY(!dlg.Engine().IsSessionOpen()); // not even one that refused its settings
    QCOMPARE(seen.strText, QStringLiteral("打开串口失败，请确认是否有其他程序在使用！"));
    QCOMPARE(seen.strCaption, QStringLiteral("错误"));
    QCOMPARE(seen.icon, QMessageBox::Critical);
    QCOMPARE(seen.buttons, QStringList{QStringLiteral("确定")});
    QVERIFY2(seen.strDetail.contains(strCause), qPrintable(seen.strDetail));
    QVERIFY2(seen.strDetail.contains(strPath), qPrintable(seen.strDetail));
    helper.closeWriteChannel();
    helper.waitForFinished();
}

// Cancel in the port dialog: no port is opened, the window never shows, and no byte reaches
// the module, not even the automatic query a second later.
void CModuleSetupDlgTest::cancelInPortDialogSendsNothing()
{
    CModuleSim sim;
    if (!sim.Start())
        QSKIP("no pseudo-terminal for the simulated module");
    CModuleSetupDlg dlg(QString::fromStdString(sim.DevicePath()));
    bool bCancelled = false;
    WhenShown<CPortSelectDlg>([&bCancelled](CPortSelectDlg *pPortDlg) {
        if (QPushButton *pCancel = ButtonByText(pPortDlg, QStringLiteral("取消(&C)"))) {
            pCancel->click();
            bCancelled = true;
        }
    });
    QVERIFY(!dlg.OnInitDialog());
    QVERIFY(bCancelled);
    QVERIFY(!dlg.isVisible());
    QVERIFY(!dlg.Engine().IsSessionOpen());
    QCOMPARE(dlg.windowTitle(), QStringLiteral("内嵌模块参数设置工具"));
    QTest::qWait(300); // three times the shortened automatic-query delay
    QVERIFY(sim.Commands().empty());
}

void CModuleSetupDlgTest::aboutBoxOpensAndCloses_data()
{
    QTest::addColumn<bool>("bByMenu");
    QTest::addColumn<bool>("bByOk");
    QTest::newRow("context menu, OK") << true << true;
    QTest::newRow("context menu, Escape") << true << false;
    QTest::newRow("F1, OK") << false << true;
    QTest::newRow("F1, Escape") << false << false;
}

// Opened from the context menu or with F1; OK and Escape both close it and the form keeps what
// it held.
void CModuleSetupDlgTest::aboutBoxOpensAndCloses()
{
    QFETCH(bool, bByMenu);
    QFETCH(bool, bByOk);
    CModuleSetupDlg dlg;
    dlg.show();
    dlg.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    TypedField(dlg, IDC_EDIT_NAME)->setText(QStringLiteral("Office 1"));

    QString strTitle;
    QStringList labels;
    QStringList menuEntries;
    WhenShown<CAboutDlg>([&, bByOk](CAboutDlg *pAbout) {
        strTitle = pAbout->windowTitle();
        for (const QLabel *pLabel : pAbout->findChildren<QLabel *>())
            if (!pLabel->text().isEmpty())
                labels << pLabel->text();
        if (bByOk)
            ButtonByText(pAbout, QStringLiteral("确定"))->click();
        else
            QTest::keyClick(pAbout, Qt::Key_Escape);
    });
    if (bByMenu) {
        WhenShown<QMenu>([&menuEntries](QMenu *pMenu) {
            QAction *pAbout = nullptr;
            for (QAction *pAction : pMenu->actions()) {
                menuEntries << pAction->text();
                if (pAction->text() == QStringLiteral("关于 Kestrel(&A)..."))
                    pAbout = pAction;
            }
            QVERIFY(pAbout);
            pMenu->setActiveAction(pAbout);
            QTest::keyClick(pMenu, Qt::Key_Return);
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                                dlg.mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(&dlg, &event);
    } else {
        QTest::keyClick(&dlg, Qt::Key_F1);
    }
    QTRY_COMPARE(strTitle, QStringLiteral("关于 Kestrel"));
    QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
    if (bByMenu)
        QVERIFY(menuEntries.contains(QStringLiteral("关于 Kestrel(&A)...")));
    QCOMPARE(labels, QStringList({QStringLiteral("内嵌模块v3.0_20040210设置工具"),
                                  QStringLiteral("CORVA科技 蓝牙技术研究所")}));
    QVERIFY(dlg.isVisible());
    QCOMPARE(Text(dlg, IDC_EDIT_NAME), QStringLiteral("Office 1"));
}

void CModuleSetupDlgTest::labelsReachScreenReaders_data()
{
    QTest::addColumn<int>("nId");
    QTest::addColumn<QStringList>("labels");
    const std::pair<int, QStringList> kLabels[] = {
        {IDC_EDIT_NAME, {"设备名称："}},
        {IDC_EDIT_CLASS, {"类别码："}},
        {IDC_EDIT_VERSION, {"固件版本号："}},
        {IDC_EDIT_PASSWORD, {"密码："}},
        {IDC_COMBO_BAUD, {"波特率："}},
        {IDC_COMBO_PARITY, {"校验位："}},
        {IDC_COMBO_STOPBITS, {"停止位："}},
        {IDC_SLIDER_SCAN, {"《关", "开》"}},
        {IDC_EDIT_CONN_INTERVAL, {"连接间隔："}},
        {IDC_EDIT_CONN_DURATION, {"连接持续："}},
        {IDC_EDIT_INQ_INTERVAL, {"查询间隔："}},
        {IDC_EDIT_INQ_DURATION, {"查询持续："}},
        {IDC_SLIDER_SNIFF, {"《关", "开》"}},
        {IDC_EDIT_SNIFF_MAX, {"最大："}},
        {IDC_EDIT_SNIFF_MIN, {"最小："}},
        {IDC_EDIT_SNIFF_ATTEMPT, {"尝试："}},
        {IDC_EDIT_SNIFF_TIMEOUT, {"超时："}},
        {IDC_COMBO_BINDADDR, {"绑定的蓝牙地址"}},
        {IDC_EDIT_LOCALADDR, {"本地蓝牙地址"}},
        // The check boxes carry their own text; no label stands beside them.
        {IDC_CHECK_ROLE, {}},
        {IDC_CHECK_BIND, {}},
        {IDC_CHECK_AUTH, {}},
    };
    for (const auto &[nId, labels] : kLabels)
        QTest::newRow(qPrintable(QString::number(nId))) << nId << labels;
}

// What the accessibility bus shows as "labelled by": a combo box is named after its current
// text, so without the relation a screen reader never hears "波特率".
void CModuleSetupDlgTest::labelsReachScreenReaders()
{
    QFETCH(int, nId);
    QFETCH(QStringList, labels);
    CModuleSetupDlg dlg;
    QAccessibleInterface *pControl = QAccessible::queryAccessibleInterface(dlg.Control(nId));
    QVERIFY(pControl);
    QStringList found;
    for (const auto &[pLabel, relation] : pControl->relations(QAccessible::Label)) {
        QCOMPARE(relation, QAccessible::Label);
        found << pLabel->text(QAccessible::Name);
    }
    QCOMPARE(found, labels);
}

void CModuleSetupDlgTest::controlsCarrySpokenNames_data()
{
    QTest::addColumn<int>("nId");
    QTest::addColumn<QString>("strName");
    const std::pair<int, const char *> kNames[] = {
        {IDC_EDIT_NAME, "设备名称"},
        {IDC_EDIT_CLASS, "类别码"},
        {IDC_EDIT_VERSION, "固件版本号"},
        {IDC_CHECK_ROLE, "主设备"},
        {IDC_CHECK_BIND, "绑定地址"},
        {IDC_CHECK_AUTH, "是否加密"},
        {IDC_EDIT_PASSWORD, "密码"},
        {IDC_COMBO_BAUD, "波特率"},
        {IDC_COMBO_PARITY, "校验位"},
        {IDC_COMBO_STOPBITS, "停止位"},
        {IDC_SLIDER_SCAN, "节能参数（待机状态）"},
        {IDC_EDIT_CONN_INTERVAL, "连接间隔"},
        {IDC_EDIT_CONN_DURATION, "连接持续"},
        {IDC_EDIT_INQ_INTERVAL, "查询间隔"},
        {IDC_EDIT_INQ_DURATION, "查询持续"},
        {IDC_SLIDER_SNIFF, "Sniff节能参数（连接参数）"},
        {IDC_EDIT_SNIFF_MAX, "最大"},
        {IDC_EDIT_SNIFF_MIN, "最小"},
        {IDC_EDIT_SNIFF_ATTEMPT, "尝试"},
        {IDC_EDIT_SNIFF_TIMEOUT, "超时"},
        {IDC_COMBO_BINDADDR, "绑定的蓝牙地址"},
        {IDC_EDIT_LOCALADDR, "本地蓝牙地址"},
        {IDC_STATUS, "状态"},
        {IDC_BUTTON_SEARCH, "搜索设备"},
    };
    for (const auto &[nId, pszName] : kNames)
        QTest::newRow(pszName) << nId << QString::fromUtf8(pszName);
}

// A screen reader speaks each control by its label, without the trailing colon or blanks.
void CModuleSetupDlgTest::controlsCarrySpokenNames()
{
    QFETCH(int, nId);
    QFETCH(QString, strName);
    CModuleSetupDlg dlg;
    QWidget *pControl = dlg.Control(nId);
    QVERIFY(pControl);
    const QString strSpoken = pControl->accessibleName().isEmpty()
                                  ? qobject_cast<QPushButton *>(pControl)->text()
                                  : pControl->accessibleName();
    QCOMPARE(strSpoken, strName);
}

// A right click (the context menu's button) neither moves the switch nor overwrites the fields.
void CModuleSetupDlgTest::otherMouseButtonsApplyNoPreset()
{
    CModuleSetupDlg dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    auto *pSlider = qobject_cast<QSlider *>(dlg.Control(IDC_SLIDER_SCAN));
    qobject_cast<QLineEdit *>(dlg.Control(IDC_EDIT_CONN_INTERVAL))->setText("300");
    const QPoint ptRight(pSlider->width() - 3, pSlider->height() / 2);
    QTest::mouseClick(pSlider, Qt::RightButton, {}, ptRight);
    QTest::qWait(50);
    QCOMPARE(pSlider->value(), 0);
    QCOMPARE(Text(dlg, IDC_EDIT_CONN_INTERVAL), QStringLiteral("300"));
}

// The module may report a state other than 0 or 1: the box keeps it, so an unedited form does not
// count as a change; once the user clicks the box, its own state counts.
void CModuleSetupDlgTest::reportedCheckStateIsKeptUntilClicked()
{
    CModuleSetupDlg dlg;
    ResponseFields fields{};
    fields.n0 = 2;
    dlg.Engine().OnResponseRole(fields);
    auto *pCheck = qobject_cast<QCheckBox *>(dlg.Control(IDC_CHECK_ROLE));
    QVERIFY(pCheck->isChecked());
    ModuleParams params;
    std::string strLocalAddr;
    QVERIFY(dlg.Engine().ReadFormValues(params, strLocalAddr));
    QCOMPARE(params.Role, 2);
    pCheck->click();
    pCheck->click();
    QVERIFY(dlg.Engine().ReadFormValues(params, strLocalAddr));
    QCOMPARE(params.Role, 1);
    fields.n0 = 0;
    dlg.Engine().OnResponseRole(fields);
    QVERIFY(!pCheck->isChecked());
}

QTEST_MAIN(CModuleSetupDlgTest)
#include "module_setup_dlg_test.moc"
