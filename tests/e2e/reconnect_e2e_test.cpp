// A pulled adapter: the window notices the line going away, keeps what the user typed, reopens
// the same device path when it comes back, and works again without querying by itself.

#include "qt/PortSelectDlg.h"
#include "tests/e2e/E2eSupport.h"

#include <QTemporaryDir>

using namespace e2e;

// The simulated module hangs up and returns on the same symbolic link, as a USB adapter that is
// pulled and plugged in again comes back under the same by-id name (at whatever node).
class CReconnectE2eTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { CModuleSetupDlg::SetTimerScaleForTesting(kQuietTimerScale); }
    void portComesBackWithTheFormKept();
    void closingWhileAwayDoesNotReopen();
    void rawPseudoTerminalIsNotReopened();
};

void CReconnectE2eTest::portComesBackWithTheFormKept()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    SimOptions options;
    options.strLinkPath = dir.filePath("module").toStdString();
    CModuleSim sim(options);
    QVERIFY(sim.Start());

    // Chosen in the port dialog, where the adapter stands at its node with the link as its
    // by-id name: the link is what opens, so the reopen follows it.
    const QString strById = QString::fromStdString(options.strLinkPath);
    CPortSelectDlg::SetPortSourceForTesting([&] {
        return QList<CPortSelectDlg::CPortEntry>{
            {QString::fromStdString(sim.PtyPath()), QStringLiteral("CP2102"), strById}};
    });
    CPortSelectDlg portDlg;
    CPortSelectDlg::SetPortSourceForTesting({});
    const int nEntry = portDlg.m_pComboPort->findData(strById); // not what an earlier run kept
    QVERIFY(nEntry >= 0);
    portDlg.m_pComboPort->setCurrentIndex(nEntry);
    portDlg.accept();
    QCOMPARE(portDlg.m_strPortPath, strById);
    CScriptedDlg dlg;
    QVERIFY(dlg.StartSession(portDlg.m_strPortPath, 0));
    QTRY_COMPARE_WITH_TIMEOUT(Status(dlg), QStringLiteral("查询完成"), kWaitMs);

    // The user types, then the adapter is pulled.
    Edit(dlg, IDC_EDIT_NAME)->setText(QStringLiteral("Typed Name"));
    sim.HangUp();
    QTRY_COMPARE_WITH_TIMEOUT(Status(dlg), QStringLiteral("串口已断开，请检查连接"), kWaitMs);
    QVERIFY(!dlg.Engine().IsSessionOpen());
    Click(dlg, IDC_BUTTON_QUERY);
    QCOMPARE(Status(dlg), QStringLiteral("请先打开串口"));

    // Plugged in again: reopened with the same settings, the typed name still there, nothing
    // sent until the user asks.
    sim.ClearLog();
    QVERIFY(sim.Reconnect());
    QTRY_COMPARE_WITH_TIMEOUT(Status(dlg), QStringLiteral("串口已重新连接"), kWaitMs);
    QVERIFY(dlg.Engine().IsSessionOpen());
    QCOMPARE(Text(dlg, IDC_EDIT_NAME), QStringLiteral("Typed Name"));
    QTest::qWait(300);
    QVERIFY(Wire(sim).isEmpty());
    QVERIFY(dlg.m_boxes.isEmpty());

    Click(dlg, IDC_BUTTON_QUERY);
    QTRY_COMPARE_WITH_TIMEOUT(Status(dlg), QStringLiteral("查询完成"), kWaitMs);
    QCOMPARE(Wire(sim), kQueryCommands);
    QCOMPARE(Text(dlg, IDC_EDIT_NAME), QString::fromStdString(sim.State().strName));
}

void CReconnectE2eTest::closingWhileAwayDoesNotReopen()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    SimOptions options;
    options.strLinkPath = dir.filePath("module").toStdString();
    CModuleSim sim(options);
    QVERIFY(sim.Start());

    auto *pDlg = new CScriptedDlg;
    QVERIFY(pDlg->StartSession(QString::fromStdString(options.strLinkPath), 0));
    QTRY_COMPARE_WITH_TIMEOUT(Status(*pDlg), QStringLiteral("查询完成"), kWaitMs);
    sim.HangUp();
    QTRY_COMPARE_WITH_TIMEOUT(Status(*pDlg), QStringLiteral("串口已断开，请检查连接"), kWaitMs);
    pDlg->reject();
    QVERIFY(sim.Reconnect());
    QTest::qWait(1500); // three reopen polls
    QVERIFY(!pDlg->Engine().IsSessionOpen());
    delete pDlg;

    // The device is free for others: nobody kept it.
    CSerialLink other;
    QVERIFY(other.Open(options.strLinkPath));
}

// A pty's number goes to whoever opens the next one: after a hang-up the same /dev/pts path is
// another line (here the module's own new pty, which may well get the same number).
void CReconnectE2eTest::rawPseudoTerminalIsNotReopened()
{
    CModuleSim sim;
    QVERIFY(sim.Start());
    const QString strPty = QString::fromStdString(sim.PtyPath());
    QVERIFY(strPty.startsWith("/dev/pts/"));
    CScriptedDlg dlg;
    QVERIFY(dlg.StartSession(strPty, 0));
    QTRY_COMPARE_WITH_TIMEOUT(Status(dlg), QStringLiteral("查询完成"), kWaitMs);
    sim.HangUp();
    QTRY_COMPARE_WITH_TIMEOUT(Status(dlg), QStringLiteral("串口已断开，请检查连接"), kWaitMs);
    QVERIFY(sim.Reconnect());
    QTest::qWait(1500); // three reopen polls
    QVERIFY(!dlg.Engine().IsSessionOpen());
    QCOMPARE(Status(dlg), QStringLiteral("串口已断开，请检查连接"));
}

QTEST_MAIN(CReconnectE2eTest)
#include "reconnect_e2e_test.moc"
