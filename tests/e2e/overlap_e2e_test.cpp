// One command on the line at a time, end to end: a second action pressed while a run waits for
// a slow module neither interleaves nor skips a command, the buttons come back after every end,
// a late reply is credited to the command it answers, and no step gives up before its period.

#include "tests/e2e/E2eSupport.h"

#include <functional>
#include <map>
#include <vector>

#include <QElapsedTimer>

using namespace e2e;

namespace {

constexpr std::chrono::milliseconds kSlowReply{100};
constexpr int kGatedButtons[] = {IDC_BUTTON_QUERY, IDC_BUTTON_SET, IDC_BUTTON_DEFAULT,
                                 IDC_BUTTON_CLEARADDR, IDC_BUTTON_SEARCH};

bool ButtonsEnabled(const CModuleSetupDlg &dlg, bool bEnabled)
{
    for (const int nId : kGatedButtons) {
        if (dlg.Control(nId)->isEnabled() != bEnabled)
            return false;
    }
    return dlg.Control(IDC_BUTTON_CLOSE)->isEnabled();
}

// What a user edits before pressing Set: a new name and the master role, with or without a
// binding to a typed address.
void EditForm(CModuleSetupDlg &dlg, bool bBound)
{
    Edit(dlg, IDC_EDIT_NAME)->setText(QStringLiteral("Desk 1"));
    Click(dlg, IDC_CHECK_ROLE);
    if (bBound) {
        Click(dlg, IDC_CHECK_BIND);
        Combo(dlg, IDC_COMBO_BINDADDR)->setEditText(QStringLiteral("0012AB34CD56"));
    }
}

const QStringList kUnboundSet = {"AT+NAME=Desk 1\r\n", "AT+ROLE=1\r\n", "AT+CLEARADDR\r\n"};
const QStringList kBoundSet = {"AT+NAME=Desk 1\r\n", "AT+ROLE=1\r\n", "AT+BIND=1\r\n",
                               "AT+RADDR=0012AB34CD56\r\n"};

// The window whose message boxes wait, as a user reading them does, until a condition holds;
// the event loop runs meanwhile, so replies keep arriving.
class CSlowReaderDlg : public CScriptedDlg
{
public:
    int MessageBox(const std::string &strText, const std::string &strCaption,
                   unsigned nType) override
    {
        if (m_fnWhileOpen)
            m_fnWhileOpen();
        if (m_fnReadUntil) {
            QElapsedTimer timer;
            timer.start();
            while (!m_fnReadUntil() && timer.elapsed() < kWaitMs)
                QTest::qWait(5);
        }
        return CScriptedDlg::MessageBox(strText, strCaption, nType);
    }

    std::function<void()> m_fnWhileOpen;
    std::function<bool()> m_fnReadUntil;
};

// The window that notes when each timer was armed and when it was first killed after that
// (which a firing timer does first thing).
class CTimedDlg : public CScriptedDlg
{
public:
    using Clock = std::chrono::steady_clock;

    void SetTimer(unsigned nIdEvent, std::chrono::milliseconds period) override
    {
        m_armed[nIdEvent] = Clock::now(); // before the timer itself reads the clock
        m_bKilled[nIdEvent] = false;
        CScriptedDlg::SetTimer(nIdEvent, period);
    }

    void KillTimer(unsigned nIdEvent) override
    {
        if (m_armed.count(nIdEvent) && !m_bKilled[nIdEvent]) {
            m_bKilled[nIdEvent] = true;
            m_steps[nIdEvent].push_back(Clock::now() - m_armed[nIdEvent]);
        }
        CScriptedDlg::KillTimer(nIdEvent);
    }

    std::map<unsigned, Clock::time_point> m_armed;
    std::map<unsigned, bool> m_bKilled;
    std::map<unsigned, std::vector<Clock::duration>> m_steps;
};

} // namespace

class COverlapE2eTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { CModuleSetupDlg::SetTimerScaleForTesting(kQuietTimerScale); }
    void secondActionWaitsForTheLine_data();
    void secondActionWaitsForTheLine();
    void buttonsComeBackAfterEveryEnd_data();
    void buttonsComeBackAfterEveryEnd();
    void lateOkIsCreditedToTheCommandThatTimedOut_data();
    void lateOkIsCreditedToTheCommandThatTimedOut();
    void noStepEndsBeforeItsPeriod_data();
    void noStepEndsBeforeItsPeriod();
    void keysDuringARunDoNotReachClose();
};

void COverlapE2eTest::secondActionWaitsForTheLine_data()
{
    QTest::addColumn<int>("nFirst");
    QTest::addColumn<int>("nSecond");
    QTest::addColumn<bool>("bBound");
    QTest::addColumn<QStringList>("firstRun");
    QTest::addColumn<QString>("strStatus");
    QTest::addColumn<QStringList>("nextSet");
    const QString strSetDone = QStringLiteral("设置完成");
    const QString strQueryDone = QStringLiteral("查询完成");
    QTest::newRow("Set then Query") << int(IDC_BUTTON_SET) << int(IDC_BUTTON_QUERY) << false
                                    << kUnboundSet << strSetDone << QStringList{"AT+CLEARADDR\r\n"};
    QTest::newRow("Query then Set")
        << int(IDC_BUTTON_QUERY) << int(IDC_BUTTON_SET) << false << kQueryCommands << strQueryDone
        << QStringList{"AT+CLEARADDR\r\n"};
    QTest::newRow("清除地址 during Set")
        << int(IDC_BUTTON_SET) << int(IDC_BUTTON_CLEARADDR) << true << kBoundSet << strSetDone
        << QStringList{"AT+RADDR=0012AB34CD56\r\n"};
    QTest::newRow("默认 during Query") << int(IDC_BUTTON_QUERY) << int(IDC_BUTTON_DEFAULT) << false
                                       << kQueryCommands << strQueryDone << QStringList();
    QTest::newRow("搜索设备 during Query")
        << int(IDC_BUTTON_QUERY) << int(IDC_BUTTON_SEARCH) << false << kQueryCommands
        << strQueryDone << QStringList();
}

// The second action is pressed at once and again all through the first run, by its button and
// straight at the engine: the module sees the first run's lines once each, in order, and nothing
// between them.
void COverlapE2eTest::secondActionWaitsForTheLine()
{
    QFETCH(int, nFirst);
    QFETCH(int, nSecond);
    QFETCH(bool, bBound);
    QFETCH(QStringList, firstRun);
    QFETCH(QString, strStatus);
    QFETCH(QStringList, nextSet);
    CModuleSim sim;
    E2E_START_SIM(sim);
    CScriptedDlg dlg;
    E2E_START_AND_QUERY(dlg, sim);
    SimOptions slow;
    slow.replyDelay = kSlowReply;
    sim.SetOptions(slow);
    if (nFirst == IDC_BUTTON_SET)
        EditForm(dlg, bBound);

    sim.ClearLog();
    dlg.m_statusTexts.clear();
    Click(dlg, nFirst);
    QVERIFY(ButtonsEnabled(dlg, false));
    int nTries = 0;
    while (Status(dlg) != strStatus && nTries < kWaitMs / 50) {
        Click(dlg, nSecond);
        dlg.Engine().OnCommand(nSecond); // pressed past the disabled button
        ++nTries;
        QTest::qWait(50);
    }
    QCOMPARE(Status(dlg), strStatus);
    QVERIFY2(nTries > 2, "the first run ended before the second action could be tried");
    QTest::qWait(3 * int(kSlowReply.count())); // anything late would show up now
    QCOMPARE(Wire(sim), firstRun);
    QCOMPARE(Status(dlg), strStatus);
    QVERIFY(dlg.m_boxes.isEmpty());
    QVERIFY(ButtonsEnabled(dlg, true));
    if (nFirst == IDC_BUTTON_SET) {
        QCOMPARE(sim.State().nRole, 1);
        QCOMPARE(sim.State().strName, std::string("Desk 1"));
    }

    // Nothing was left unconfirmed or marked confirmed by mistake: a second Set sends only the
    // rows that always go.
    if (!nextSet.isEmpty()) {
        sim.ClearLog();
        Click(dlg, IDC_BUTTON_SET);
        QTRY_COMPARE_WITH_TIMEOUT(Status(dlg), QStringLiteral("设置完成"), kWaitMs);
        QCOMPARE(Wire(sim), nextSet);
    }
}

void COverlapE2eTest::buttonsComeBackAfterEveryEnd_data()
{
    QTest::addColumn<int>("nButton");
    QTest::addColumn<QString>("strSilent"); // commands left unanswered
    QTest::addColumn<QString>("strError");  // commands answered ERROR
    QTest::addColumn<QString>("strEnd");    // "", "hangup" or "close": how the test ends it
    QTest::addColumn<QString>("strStatus");
    // Rows that end by a timer (or wait past one) run with short timers.
    QTest::newRow("last OK") << int(IDC_BUTTON_QUERY) << QString() << QString() << QString()
                             << QStringLiteral("查询完成");
    QTest::newRow("No to a prompt") << int(IDC_BUTTON_SET) << "AT+NAME" << QString() << QString()
                                    << QStringLiteral("设置 [设备名称] 时超时");
    QTest::newRow("ERROR") << int(IDC_BUTTON_CLEARADDR) << QString() << "AT+CLEARADDR" << QString()
                           << QStringLiteral("清除蓝牙地址失败");
    QTest::newRow("timer and notice") << int(IDC_BUTTON_CLEARADDR) << "AT+CLEARADDR" << QString()
                                      << QString() << QStringLiteral("清除蓝牙地址超时");
    QTest::newRow("timer") << int(IDC_BUTTON_DEFAULT) << "AT+RESET" << QString() << QString()
                           << QStringLiteral("恢复默认参数超时，请手动点击“设置”按钮");
    QTest::newRow("lost port") << int(IDC_BUTTON_QUERY) << "AT+NAME" << QString() << "hangup"
                               << QStringLiteral("串口已断开，请检查连接");
    QTest::newRow("Close") << int(IDC_BUTTON_SET) << "AT+NAME" << QString() << "close" << QString();
}

void COverlapE2eTest::buttonsComeBackAfterEveryEnd()
{
    QFETCH(int, nButton);
    QFETCH(QString, strSilent);
    QFETCH(QString, strError);
    QFETCH(QString, strEnd);
    QFETCH(QString, strStatus);
    CModuleSim sim;
    E2E_START_SIM(sim);
    CScriptedDlg dlg;
    dlg.show();
    E2E_START_AND_QUERY(dlg, sim);
    SimOptions options;
    options.replyDelay = kSlowReply;
    if (!strSilent.isEmpty())
        options.silentCommands = {strSilent.toStdString()};
    if (!strError.isEmpty())
        options.errorCommands = {strError.toStdString()};
    sim.SetOptions(options);
    if (!strSilent.isEmpty() && strEnd != "hangup")
        CModuleSetupDlg::SetTimerScaleForTesting(kFastTimerScale);
    if (nButton == IDC_BUTTON_SET)
        EditForm(dlg, false);

    sim.ClearLog();
    Click(dlg, nButton);
    QVERIFY(ButtonsEnabled(dlg, false));
    QVERIFY(sim.WaitForCommands(1, std::chrono::milliseconds(kWaitMs)));
    if (strEnd == "hangup")
        sim.HangUp();
    if (strEnd == "close") {
        Click(dlg, IDC_BUTTON_CLOSE);
        QVERIFY(!dlg.isVisible());
        QVERIFY(!dlg.Engine().IsRunWaiting());
        QTest::qWait(3 * int(4000 * kFastTimerScale)); // past the step's period: nothing fires
        QVERIFY(dlg.m_boxes.isEmpty());
        QCOMPARE(Wire(sim), QStringList{kUnboundSet[0]});
        return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(Status(dlg), strStatus, kWaitMs);
    QVERIFY(ButtonsEnabled(dlg, true));
    QVERIFY(!dlg.Engine().IsRunWaiting());
}

void COverlapE2eTest::lateOkIsCreditedToTheCommandThatTimedOut_data()
{
    QTest::addColumn<int>("nAnswer");
    QTest::addColumn<QStringList>("firstRun");
    QTest::addColumn<QString>("strStatus");
    QTest::addColumn<QStringList>("nextSet");
    // Yes after the late "OK" moved the run on: nothing is skipped, the run goes on to its end.
    QTest::newRow("Yes") << int(IDYES) << kUnboundSet << QStringLiteral("设置完成")
                         << QStringList{"AT+CLEARADDR\r\n"};
    // No: the run stops with the role line out but unconfirmed; the name was confirmed.
    QTest::newRow("No") << int(IDNO) << QStringList{kUnboundSet[0], kUnboundSet[1]}
                        << QStringLiteral("设置 [设备名称] 时超时")
                        << QStringList{"AT+ROLE=1\r\n", "AT+CLEARADDR\r\n"};
}

// The module answers the name line after its step gave up: the "OK" arrives while the prompt is
// open, confirms the name and sends the role line.
void COverlapE2eTest::lateOkIsCreditedToTheCommandThatTimedOut()
{
    QFETCH(int, nAnswer);
    QFETCH(QStringList, firstRun);
    QFETCH(QString, strStatus);
    QFETCH(QStringList, nextSet);
    CModuleSim sim;
    E2E_START_SIM(sim);
    CSlowReaderDlg dlg;
    E2E_START_AND_QUERY(dlg, sim);
    CModuleSetupDlg::SetTimerScaleForTesting(kFastTimerScale); // a set step is 200 ms
    SimOptions late;
    late.replyDelay = std::chrono::milliseconds(500); // well past the step, even on a busy machine
    sim.SetOptions(late);
    EditForm(dlg, false);
    dlg.m_answers = {nAnswer};
    // With Yes the rest of the run answers in time; with No the role line's "OK" comes after
    // the answer.
    if (nAnswer == IDYES)
        dlg.m_fnWhileOpen = [&sim] { sim.SetOptions({}); };
    dlg.m_fnReadUntil = [&sim] { return sim.Commands().size() >= 2; };

    sim.ClearLog();
    Click(dlg, IDC_BUTTON_SET);
    QTRY_COMPARE_WITH_TIMEOUT(Status(dlg), strStatus, kWaitMs);
    QTest::qWait(900); // the stopped run's last reply comes and is taken by nothing
    QCOMPARE(Wire(sim), firstRun);
    QCOMPARE(dlg.m_boxes.size(), 1);
    QCOMPARE(dlg.m_boxes[0].strText, QStringLiteral("设置 [设备名称] 时超时，是否继续？"));
    QCOMPARE(QString::fromStdString(dlg.Engine().LastRead().Name), QStringLiteral("Desk 1"));

    dlg.m_fnReadUntil = nullptr;
    dlg.m_fnWhileOpen = nullptr;
    sim.SetOptions({});
    CModuleSetupDlg::SetTimerScaleForTesting(kQuietTimerScale);
    sim.ClearLog();
    Click(dlg, IDC_BUTTON_SET);
    QTRY_COMPARE_WITH_TIMEOUT(Status(dlg), QStringLiteral("设置完成"), kWaitMs);
    QCOMPARE(Wire(sim), nextSet);
}

void COverlapE2eTest::noStepEndsBeforeItsPeriod_data()
{
    QTest::addColumn<unsigned>("nTimer");
    QTest::addColumn<int>("nButton"); // 0: the automatic first query
    QTest::addColumn<QString>("strSilent");
    QTest::addColumn<int>("nSteps");
    QTest::addColumn<int>("nPeriodMs");
    QTest::newRow("TIMER_QUERY") << unsigned(TIMER_QUERY) << int(IDC_BUTTON_QUERY) << "AT" << 14
                                 << 2000;
    QTest::newRow("TIMER_SET") << unsigned(TIMER_SET) << int(IDC_BUTTON_SET) << "AT+" << 3 << 4000;
    QTest::newRow("TIMER_CLEARADDR")
        << unsigned(TIMER_CLEARADDR) << int(IDC_BUTTON_CLEARADDR) << "AT+CLEARADDR" << 1 << 4000;
    QTest::newRow("TIMER_DEFAULT")
        << unsigned(TIMER_DEFAULT) << int(IDC_BUTTON_DEFAULT) << "AT+RESET" << 1 << 4000;
    QTest::newRow("TIMER_AUTOQUERY") << unsigned(TIMER_AUTOQUERY) << 0 << QString() << 1 << 1000;
}

// A silent module, each step given up with Yes: from arming to firing, never less than the
// step's period (a coarse timer may fire up to 5 % early).
void COverlapE2eTest::noStepEndsBeforeItsPeriod()
{
    QFETCH(unsigned, nTimer);
    QFETCH(int, nButton);
    QFETCH(QString, strSilent);
    QFETCH(int, nSteps);
    QFETCH(int, nPeriodMs);
    constexpr double kScale = 0.05;
    CModuleSim sim;
    E2E_START_SIM(sim);
    CTimedDlg dlg;
    E2E_START_AND_QUERY(dlg, sim);
    if (nButton == IDC_BUTTON_SET)
        EditForm(dlg, false);
    SimOptions silent;
    if (!strSilent.isEmpty())
        silent.silentCommands = {strSilent.toStdString()};
    sim.SetOptions(silent);
    CModuleSetupDlg::SetTimerScaleForTesting(kScale);
    dlg.m_answers = std::deque<int>(size_t(nSteps), IDYES);
    dlg.m_steps.clear();

    if (nButton != 0)
        Click(dlg, nButton);
    else
        dlg.Engine().StartAutoQuery();
    QTRY_VERIFY_WITH_TIMEOUT(int(dlg.m_steps[nTimer].size()) >= nSteps, kWaitMs);
    const auto period = std::chrono::milliseconds(std::lround(nPeriodMs * kScale));
    for (const auto &step : dlg.m_steps[nTimer]) {
        QVERIFY2(
            step >= period,
            qPrintable(QStringLiteral("%1 us < %2 ms")
                           .arg(std::chrono::duration_cast<std::chrono::microseconds>(step).count())
                           .arg(period.count())));
    }
    QTRY_VERIFY_WITH_TIMEOUT(!dlg.Engine().IsRunWaiting(), kWaitMs);
}

// The pressed button is disabled under the user's hands; its focus must not pass to "关闭", where
// the next Enter or Space would close the window. It comes back when the run has ended.
void COverlapE2eTest::keysDuringARunDoNotReachClose()
{
    CModuleSim sim;
    E2E_START_SIM(sim);
    CScriptedDlg dlg;
    dlg.show();
    dlg.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    E2E_START_AND_QUERY(dlg, sim);
    SimOptions slow;
    slow.replyDelay = kSlowReply;
    sim.SetOptions(slow);
    EditForm(dlg, false);
    QWidget *pSet = dlg.Control(IDC_BUTTON_SET);
    pSet->setFocus();
    QTRY_VERIFY(pSet->hasFocus());

    sim.ClearLog();
    Click(dlg, IDC_BUTTON_SET);
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Space}) {
        QWidget *pFocus = QApplication::focusWidget();
        QVERIFY(pFocus != dlg.Control(IDC_BUTTON_CLOSE));
        QTest::keyClick(pFocus ? pFocus : &dlg, key);
    }
    QTRY_COMPARE_WITH_TIMEOUT(Status(dlg), QStringLiteral("设置完成"), kWaitMs);
    QVERIFY(dlg.isVisible());
    QCOMPARE(Wire(sim), kUnboundSet);
    QTRY_VERIFY(pSet->hasFocus());
}

QTEST_MAIN(COverlapE2eTest)
#include "overlap_e2e_test.moc"
