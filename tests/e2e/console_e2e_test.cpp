// The traffic window's console against the simulated module: any command and its reply, the form
// following what the module says, the history kept across a restart, one command at a time, what
// is refused before the wire, and a late reply that must not answer the command after it.

#include "qt/TrafficDlg.h"
#include "tests/e2e/E2eSupport.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

using namespace e2e;

namespace {

// The traffic window of a started dialog, shown.
CTrafficDlg *OpenConsole(CModuleSetupDlg &dlg)
{
    dlg.ShowTraffic();
    return dlg.TrafficDlg();
}

void Type(CTrafficDlg *pTraffic, const QString &strCommand)
{
    pTraffic->CommandField()->setText(strCommand);
}

} // namespace

class CConsoleE2eTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { CModuleSetupDlg::SetTimerScaleForTesting(kQuietTimerScale); }
    void commandsAndTheirReplies_data();
    void commandsAndTheirReplies();
    void historyIsRecalledAfterARestart();
    void oneCommandAtATime();
    void refusedTextSendsNothing_data();
    void refusedTextSendsNothing();
    void lateReplyNeverAnswersTheSetAfterIt();
};

void CConsoleE2eTest::commandsAndTheirReplies_data()
{
    QTest::addColumn<QString>("strCommand");
    QTest::addColumn<QString>("strLogged"); // a reply line the log shows
    QTest::addColumn<QString>("strStatus");
    QTest::newRow("AT") << "AT"
                        << "OK"
                        << "命令已完成";
    QTest::newRow("a query the form does not have") << "AT+STATE?"
                                                    << "+STATE:"
                                                    << "命令已完成";
    QTest::newRow("unknown") << "AT+FOO"
                             << "ERROR(1F)"
                             << "模块拒绝了命令";
}

// Each command goes out as typed with CR LF; the log shows the reply and how it ended.
void CConsoleE2eTest::commandsAndTheirReplies()
{
    QFETCH(QString, strCommand);
    QFETCH(QString, strLogged);
    QFETCH(QString, strStatus);
    CModuleSim sim;
    E2E_START_SIM(sim);
    CScriptedDlg dlg;
    E2E_START_AND_QUERY(dlg, sim);
    CTrafficDlg *pTraffic = OpenConsole(dlg);
    sim.ClearLog();
    Type(pTraffic, strCommand);
    QVERIFY(pTraffic->SendTyped());
    QTRY_COMPARE_WITH_TIMEOUT(Status(dlg), strStatus, kWaitMs);
    QCOMPARE(Wire(sim), QStringList{strCommand + "\r\n"});
    QTRY_VERIFY(pTraffic->Text().contains(strLogged));
    // The log takes what the trace gathered on the window's next turn, after the status.
    QTRY_VERIFY(pTraffic->Text().contains(QStringLiteral("!! console:")));
    QVERIFY(pTraffic->CommandField()->text().isEmpty());
}

// What was sent comes back with Up in a window opened later; the form follows a console query.
void CConsoleE2eTest::historyIsRecalledAfterARestart()
{
    CModuleSim sim;
    E2E_START_SIM(sim);
    SimState state;
    state.strName = "Typed Later";
    {
        CScriptedDlg dlg;
        E2E_START_AND_QUERY(dlg, sim);
        sim.SetState(state);
        CTrafficDlg *pTraffic = OpenConsole(dlg);
        pTraffic->EndingList()->setCurrentIndex(0);
        Type(pTraffic, QStringLiteral("AT+NAME?"));
        QVERIFY(pTraffic->SendTyped());
        QTRY_COMPARE_WITH_TIMEOUT(Text(dlg, IDC_EDIT_NAME), QStringLiteral("Typed Later"), kWaitMs);
        QTRY_COMPARE(Status(dlg), QStringLiteral("命令已完成"));
    }
    CScriptedDlg again;
    E2E_START_AND_QUERY(again, sim);
    CTrafficDlg *pTraffic = OpenConsole(again);
    QTest::keyClick(pTraffic->CommandField(), Qt::Key_Up);
    QCOMPARE(pTraffic->CommandField()->text(), QStringLiteral("AT+NAME?"));
}

// A console command waits for the line like any action, and holds it while it waits.
void CConsoleE2eTest::oneCommandAtATime()
{
    CModuleSim sim;
    E2E_START_SIM(sim);
    CScriptedDlg dlg;
    E2E_START_AND_QUERY(dlg, sim);
    CTrafficDlg *pTraffic = OpenConsole(dlg);
    SimOptions slow;
    slow.replyDelay = std::chrono::milliseconds(300);
    sim.SetOptions(slow);
    sim.ClearLog();
    Click(dlg, IDC_BUTTON_QUERY);
    QVERIFY(!pTraffic->SendButton()->isEnabled());
    Type(pTraffic, QStringLiteral("AT"));
    QVERIFY(!pTraffic->SendTyped());
    QTRY_COMPARE_WITH_TIMEOUT(Status(dlg), QStringLiteral("查询完成"), kWaitMs);
    QVERIFY(pTraffic->SendButton()->isEnabled());
    QCOMPARE(Wire(sim).count(QStringLiteral("AT\r\n")), 1); // the query's, not the console's

    sim.ClearLog();
    QVERIFY(pTraffic->SendTyped());
    QVERIFY(!dlg.Control(IDC_BUTTON_QUERY)->isEnabled());
    dlg.Engine().OnButtonQuery(); // pressed past the greyed button: refused
    QTRY_COMPARE_WITH_TIMEOUT(Status(dlg), QStringLiteral("命令已完成"), kWaitMs);
    QCOMPARE(Wire(sim), QStringList{"AT\r\n"});
}

void CConsoleE2eTest::refusedTextSendsNothing_data()
{
    QTest::addColumn<QString>("strTyped");
    QTest::addColumn<QString>("strSelected"); // the characters at fault, selected in the field
    QTest::newRow("a character GBK cannot hold")
        << QString::fromUtf8("AT+NAME=\xF0\x9F\x98\x80X") << QString::fromUtf8("\xF0\x9F\x98\x80");
    QTest::newRow("a bad escape") << QStringLiteral("AT\\q") << QStringLiteral("\\q");
    QTest::newRow("a raw control byte") << QStringLiteral("AT\tX") << QStringLiteral("\t");
}

// The text is refused with a message and nothing reaches the wire; an over-long command cannot
// even be typed.
void CConsoleE2eTest::refusedTextSendsNothing()
{
    QFETCH(QString, strTyped);
    QFETCH(QString, strSelected);
    CModuleSim sim;
    E2E_START_SIM(sim);
    CScriptedDlg dlg;
    E2E_START_AND_QUERY(dlg, sim);
    CTrafficDlg *pTraffic = OpenConsole(dlg);
    sim.ClearLog();
    CBoxClicker clicker({QMessageBox::AcceptRole});
    Type(pTraffic, strTyped);
    QVERIFY(!pTraffic->SendTyped());
    QCOMPARE(clicker.m_texts.size(), 1);
    QCOMPARE(pTraffic->CommandField()->selectedText(), strSelected);
    QTest::qWait(300);
    QVERIFY(Wire(sim).isEmpty());

    // 126 characters and CR LF fill the 128 bytes; one more is not taken.
    pTraffic->CommandField()->clear();
    QTest::keyClicks(pTraffic->CommandField(), QString(127, QLatin1Char('A')));
    QCOMPARE(pTraffic->CommandField()->text().size(), 126);
}

// The module answers a query step late, after its timeout; the user says No and sets a new name
// at once, which the module refuses. The late OK belongs to the query step: the name is reported
// refused, and the run does not go on to the clear-address line.
void CConsoleE2eTest::lateReplyNeverAnswersTheSetAfterIt()
{
    CModuleSim sim;
    E2E_START_SIM(sim);
    CScriptedDlg dlg;
    E2E_START_AND_QUERY(dlg, sim);
    SimOptions late;
    // 2 s steps at this scale are 1 s; the reply comes 1.75 s after the question.
    late.lateCommands = {{"AT+LADDR?", std::chrono::milliseconds(1750)}};
    late.errorCommands = {"AT+NAME="};
    sim.SetOptions(late);
    dlg.m_answers = {IDNO, IDNO};
    Click(dlg, IDC_BUTTON_QUERY);
    QTRY_COMPARE_WITH_TIMEOUT(Status(dlg), QStringLiteral("查询 [本地蓝牙地址] 时超时"), kWaitMs);
    sim.ClearLog();
    Edit(dlg, IDC_EDIT_NAME)->setText(QStringLiteral("Late Test"));
    Click(dlg, IDC_BUTTON_SET);
    QTRY_COMPARE_WITH_TIMEOUT(Status(dlg), QStringLiteral("设置 [设备名称] 时超时"), kWaitMs);
    QCOMPARE(dlg.m_boxes.last().strText, QStringLiteral("设置 [设备名称] 时超时，是否继续？"));
    QCOMPARE(Wire(sim), QStringList{"AT+NAME=Late Test\r\n"});
}

QTEST_MAIN(CConsoleE2eTest)
#include "console_e2e_test.moc"
