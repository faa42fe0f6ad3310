// Reading the module: the window's query runs against the simulated module over a real
// pseudo-terminal, from the wire up to every control and every last-read value.

#include "tests/e2e/E2eSupport.h"

#include <QTemporaryDir>

using namespace e2e;

// Query runs end to end: what the module holds reaches the form, and its silences, refusals and
// disappearance are reported as the user must see them.
class CQueryE2eTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { CModuleSetupDlg::SetTimerScaleForTesting(kQuietTimerScale); }
    void autoQueryFillsEveryControl();
    void unboundModuleEmptiesAddress();
    void silentModulePrompts_data();
    void silentModulePrompts();
    void refusedNameQueryPrompts_data();
    void refusedNameQueryPrompts();
    void realPromptAnswersYesThenNo();
    void sameFormWhateverTheDelivery_data();
    void sameFormWhateverTheDelivery();
    void unplugEndsRunWithoutPrompt();
};

void CQueryE2eTest::autoQueryFillsEveryControl()
{
    CModuleSim sim;
    sim.SetState(NonDefaultState());
    E2E_START_SIM(sim);
    CScriptedDlg dlg;
    E2E_START_AND_QUERY(dlg, sim);

    QCOMPARE(Wire(sim), kQueryCommands);
    QVERIFY(dlg.m_boxes.isEmpty());
    QCOMPARE(dlg.m_statusTexts.last(), QStringLiteral("查询完成"));

    QCOMPARE(Text(dlg, IDC_EDIT_NAME), QStringLiteral("Kestrel Lab 7"));
    QCOMPARE(Text(dlg, IDC_EDIT_VERSION), QStringLiteral("V4.25"));
    QCOMPARE(Text(dlg, IDC_EDIT_CLASS), QStringLiteral("240404"));
    QCOMPARE(Text(dlg, IDC_EDIT_PASSWORD), QStringLiteral("5566"));
    QCOMPARE(Text(dlg, IDC_EDIT_CONN_INTERVAL), QStringLiteral("2048"));
    QCOMPARE(Text(dlg, IDC_EDIT_CONN_DURATION), QStringLiteral("18"));
    QCOMPARE(Text(dlg, IDC_EDIT_INQ_INTERVAL), QStringLiteral("1536"));
    QCOMPARE(Text(dlg, IDC_EDIT_INQ_DURATION), QStringLiteral("20"));
    QCOMPARE(Text(dlg, IDC_EDIT_SNIFF_MAX), QStringLiteral("800"));
    QCOMPARE(Text(dlg, IDC_EDIT_SNIFF_MIN), QStringLiteral("80"));
    QCOMPARE(Text(dlg, IDC_EDIT_SNIFF_ATTEMPT), QStringLiteral("7"));
    QCOMPARE(Text(dlg, IDC_EDIT_SNIFF_TIMEOUT), QStringLiteral("9"));
    QCOMPARE(Text(dlg, IDC_EDIT_LOCALADDR), QStringLiteral("00158300C3D4"));

    QCOMPARE(Combo(dlg, IDC_COMBO_BAUD)->currentText(), QStringLiteral("115200"));
    QCOMPARE(Combo(dlg, IDC_COMBO_STOPBITS)->currentText(), QStringLiteral("2"));
    QCOMPARE(Combo(dlg, IDC_COMBO_PARITY)->currentText(), QStringLiteral("偶校验"));

    QVERIFY(Check(dlg, IDC_CHECK_ROLE)->isChecked());
    QVERIFY(Check(dlg, IDC_CHECK_BIND)->isChecked());
    QVERIFY(!Check(dlg, IDC_CHECK_AUTH)->isChecked());
    // Authentication off never unlocks the password; it starts locked.
    QVERIFY(Edit(dlg, IDC_EDIT_PASSWORD)->isReadOnly());

    QComboBox *pBindAddr = Combo(dlg, IDC_COMBO_BINDADDR);
    QCOMPARE(pBindAddr->currentText(), QStringLiteral("0012AB34CD56"));
    QVERIFY(pBindAddr->isEnabled());
    QCOMPARE(pBindAddr->count(), 0);

    // A duration below 64 and a non-zero Sniff minimum are the power saving being on.
    QCOMPARE(Slider(dlg, IDC_SLIDER_SCAN)->value(), Slider(dlg, IDC_SLIDER_SCAN)->maximum());
    QCOMPARE(Slider(dlg, IDC_SLIDER_SNIFF)->value(), Slider(dlg, IDC_SLIDER_SNIFF)->maximum());

    QCOMPARE(Describe(LastReadState(dlg)), Describe(NonDefaultState()));
    QCOMPARE(QString::fromStdString(dlg.Engine().LastRead().Baud), QStringLiteral("115200"));
}

void CQueryE2eTest::unboundModuleEmptiesAddress()
{
    CModuleSim sim;
    sim.SetState(NonDefaultState());
    E2E_START_SIM(sim);
    CScriptedDlg dlg;
    E2E_START_AND_QUERY(dlg, sim);
    QCOMPARE(QString::fromStdString(dlg.Engine().LastRead().BindAddr), QStringLiteral("0012AB34CD56"));

    SimState unbound = NonDefaultState();
    unbound.nBind = 0;
    unbound.strBindAddr.clear();
    sim.SetState(unbound);
    sim.ClearLog();
    Click(dlg, IDC_BUTTON_QUERY);
    QTRY_COMPARE_WITH_TIMEOUT(Status(dlg), QStringLiteral("查询完成"), kWaitMs);

    QCOMPARE(Wire(sim), kQueryCommands);
    QVERIFY(dlg.m_boxes.isEmpty());
    QVERIFY(dlg.Engine().LastRead().BindAddr.empty());
    QCOMPARE(Combo(dlg, IDC_COMBO_BINDADDR)->currentText(), QString());
    QVERIFY(!Combo(dlg, IDC_COMBO_BINDADDR)->isEnabled());
    QCOMPARE(Describe(LastReadState(dlg)), Describe(unbound));
}

void CQueryE2eTest::silentModulePrompts_data()
{
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<QStringList>("prompts");
    QTest::addColumn<QStringList>("wire");
    QTest::addColumn<QString>("strStatus");
    QTest::newRow("No at the test command")
        << QList<int>{IDNO} << QStringList{"查询 [测试命令] 时超时，是否继续？"}
        << QStringList{"AT\r\n"} << QStringLiteral("查询 [测试命令] 时超时");
    QTest::newRow("Yes, then No at the name")
        << QList<int>{IDYES, IDNO}
        << QStringList{"查询 [测试命令] 时超时，是否继续？", "查询 [设备名称] 时超时，是否继续？"}
        << QStringList{"AT\r\n", "AT+NAME?\r\n"} << QStringLiteral("查询 [设备名称] 时超时");
}

void CQueryE2eTest::silentModulePrompts()
{
    QFETCH(QList<int>, answers);
    QFETCH(QStringList, prompts);
    QFETCH(QStringList, wire);
    QFETCH(QString, strStatus);
    CModuleSetupDlg::SetTimerScaleForTesting(kFastTimerScale);
    SimOptions options;
    options.silentCommands = {"AT"}; // a prefix of every command: nothing is answered
    CModuleSim sim(options);
    E2E_START_SIM(sim);
    CScriptedDlg dlg;
    dlg.m_answers.assign(answers.begin(), answers.end());
    QVERIFY(dlg.StartSession(QString::fromStdString(sim.DevicePath()), FLOW_NONE));

    QTRY_COMPARE_WITH_TIMEOUT(Status(dlg), strStatus, kWaitMs);
    // Well past another step timeout: a run that was told No writes and asks nothing more.
    QTest::qWait(10 * int(2000 * kFastTimerScale));
    QCOMPARE(Wire(sim), wire);
    QCOMPARE(dlg.m_boxes.size(), prompts.size());
    for (int i = 0; i < prompts.size(); ++i) {
        QCOMPARE(dlg.m_boxes[i].strText, prompts[i]);
        QCOMPARE(dlg.m_boxes[i].strCaption, QStringLiteral("提示"));
        QCOMPARE(dlg.m_boxes[i].nType, MB_YESNO | MB_ICONINFORMATION);
    }
    QCOMPARE(Status(dlg), strStatus);
}

void CQueryE2eTest::refusedNameQueryPrompts_data()
{
    QTest::addColumn<int>("nAnswer");
    QTest::addColumn<QString>("strStatus");
    QTest::addColumn<int>("nCommands");
    QTest::newRow("No stops at the name")
        << int(IDNO) << QStringLiteral("查询[设备名称]时失败") << 2;
    QTest::newRow("Yes reads on") << int(IDYES) << QStringLiteral("查询完成") << 14;
}

void CQueryE2eTest::refusedNameQueryPrompts()
{
    QFETCH(int, nAnswer);
    QFETCH(QString, strStatus);
    QFETCH(int, nCommands);
    CModuleSim sim;
    E2E_START_SIM(sim);
    CScriptedDlg dlg;
    E2E_START_AND_QUERY(dlg, sim);

    SimState renamed;
    renamed.strName = "Renamed";
    sim.SetState(renamed);
    SimOptions options;
    options.errorCommands = {"AT+NAME?"};
    sim.SetOptions(options);
    sim.ClearLog();
    dlg.m_answers = {nAnswer};
    Click(dlg, IDC_BUTTON_QUERY);
    QTRY_COMPARE_WITH_TIMEOUT(Status(dlg), strStatus, kWaitMs);

    QCOMPARE(dlg.m_boxes.size(), 1);
    QCOMPARE(dlg.m_boxes[0].strText, QStringLiteral("查询 [设备名称] 时失败，是否继续？"));
    QCOMPARE(dlg.m_boxes[0].strCaption, QStringLiteral("提示"));
    QCOMPARE(dlg.m_boxes[0].nType, MB_YESNO | MB_ICONINFORMATION);
    QCOMPARE(Wire(sim), kQueryCommands.mid(0, nCommands));
    // The refused field stays as the run blanked it; its last-read value is the earlier reading.
    QCOMPARE(Text(dlg, IDC_EDIT_NAME), QString());
    QCOMPARE(QString::fromStdString(dlg.Engine().LastRead().Name), QStringLiteral("CORVA3264"));
}

void CQueryE2eTest::realPromptAnswersYesThenNo()
{
    CModuleSetupDlg::SetTimerScaleForTesting(kFastTimerScale);
    SimOptions options;
    options.silentCommands = {"AT"};
    CModuleSim sim(options);
    E2E_START_SIM(sim);
    CModuleSetupDlg dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    CBoxClicker clicker({QMessageBox::YesRole, QMessageBox::NoRole});
    QVERIFY(dlg.StartSession(QString::fromStdString(sim.DevicePath()), FLOW_NONE));

    QTRY_COMPARE_WITH_TIMEOUT(Status(dlg), QStringLiteral("查询 [设备名称] 时超时"), kWaitMs);
    QCOMPARE(clicker.m_texts, QStringList({"查询 [测试命令] 时超时，是否继续？",
                                           "查询 [设备名称] 时超时，是否继续？"}));
    QCOMPARE(clicker.m_captions, QStringList({"提示", "提示"}));
    QCOMPARE(clicker.m_icons,
             QList<QMessageBox::Icon>({QMessageBox::Information, QMessageBox::Information}));
    QCOMPARE(Wire(sim), QStringList({"AT\r\n", "AT+NAME?\r\n"}));
    QVERIFY(QApplication::activeModalWidget() == nullptr);
}

void CQueryE2eTest::sameFormWhateverTheDelivery_data()
{
    QTest::addColumn<int>("nSplit");
    QTest::addColumn<bool>("bEcho");
    QTest::addColumn<bool>("bLowerCase");
    QTest::newRow("whole replies") << int(SimSplit::Whole) << false << false;
    QTest::newRow("byte by byte") << int(SimSplit::ByteByByte) << false << false;
    QTest::newRow("random pieces") << int(SimSplit::Random) << false << false;
    QTest::newRow("commands echoed") << int(SimSplit::Whole) << true << false;
    QTest::newRow("keywords in lower case") << int(SimSplit::Whole) << false << true;
    QTest::newRow("echoed, lower case, random pieces") << int(SimSplit::Random) << true << true;
}

void CQueryE2eTest::sameFormWhateverTheDelivery()
{
    QFETCH(int, nSplit);
    QFETCH(bool, bEcho);
    QFETCH(bool, bLowerCase);
    SimOptions options;
    options.split = static_cast<SimSplit>(nSplit);
    options.bEcho = bEcho;
    options.bLowerCase = bLowerCase;
    CModuleSim sim(options);
    sim.SetState(NonDefaultState());
    E2E_START_SIM(sim);
    CScriptedDlg dlg;
    E2E_START_AND_QUERY(dlg, sim);

    QCOMPARE(Wire(sim), kQueryCommands);
    QVERIFY(dlg.m_boxes.isEmpty());
    QCOMPARE(Describe(FormState(dlg)), Describe(NonDefaultState()));
    QCOMPARE(Describe(LastReadState(dlg)), Describe(NonDefaultState()));
}

void CQueryE2eTest::unplugEndsRunWithoutPrompt()
{
    // Through a link of its own, which goes with the line as a pulled adapter's node does: the
    // pty's number is soon reused by other processes and must not look like the module's return.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    SimOptions options;
    options.strLinkPath = dir.filePath("module").toStdString();
    options.nHangUpAfter = 5;
    CModuleSim sim(options);
    E2E_START_SIM(sim);
    CScriptedDlg dlg;
    QVERIFY(dlg.StartSession(QString::fromStdString(sim.DevicePath()), FLOW_NONE));

    QTRY_COMPARE_WITH_TIMEOUT(Status(dlg), QStringLiteral("串口已断开，请检查连接"), kWaitMs);
    QCOMPARE(Wire(sim), kQueryCommands.mid(0, 5));
    // Past the step timeout: the lost run must not come back as a prompt or another text.
    QTest::qWait(3 * int(2000 * kQuietTimerScale));
    QVERIFY(dlg.m_boxes.isEmpty());
    QCOMPARE(Status(dlg), QStringLiteral("串口已断开，请检查连接"));
    QCOMPARE(dlg.m_statusTexts.last(), QStringLiteral("串口已断开，请检查连接"));

    Click(dlg, IDC_BUTTON_QUERY);
    QCOMPARE(Status(dlg), QStringLiteral("请先打开串口"));
    QVERIFY(dlg.m_boxes.isEmpty());
}

QTEST_MAIN(CQueryE2eTest)
#include "query_e2e_test.moc"
