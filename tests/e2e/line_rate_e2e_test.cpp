// The window and a module whose command interface answers at one line rate only: the rate picked
// in the port dialog, or found by the probe when "自动检测" was picked.

#include "tests/e2e/E2eSupport.h"

using namespace e2e;

class CLineRateE2eTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { CModuleSetupDlg::SetTimerScaleForTesting(kQuietTimerScale); }
    void pickedOrProbedRateReadsAndWrites_data();
    void pickedOrProbedRateReadsAndWrites();
    void nothingAnswersShowsTheChecklistAndKeepsThePort();
};

namespace {
CLineSettings Line(uint32_t nRate)
{
    CLineSettings line;
    line.nRate = nRate;
    return line;
}
} // namespace

void CLineRateE2eTest::pickedOrProbedRateReadsAndWrites_data()
{
    QTest::addColumn<uint32_t>("nModuleRate");
    QTest::addColumn<uint32_t>("nPicked");
    QTest::addColumn<QStringList>("probeWire"); // what the module understood of the probe
    QTest::newRow("38400 picked") << 38400u << 38400u << QStringList();
    QTest::newRow("自动检测, module at 38400") << 38400u << 0u << QStringList{"AT\r\n", "AT\r\n"};
    QTest::newRow("自动检测, module at 9600") << 9600u << 0u << QStringList{"AT\r\n"};
    QTest::newRow("自动检测, module at 1382400") << 1382400u << 0u << QStringList{"AT\r\n", "AT\r\n"};
}

void CLineRateE2eTest::pickedOrProbedRateReadsAndWrites()
{
    QFETCH(uint32_t, nModuleRate);
    QFETCH(uint32_t, nPicked);
    QFETCH(QStringList, probeWire);
    SimOptions options;
    options.nAtRate = nModuleRate;
    CModuleSim sim(options);
    sim.SetState(NonDefaultState());
    E2E_START_SIM(sim);
    CScriptedDlg dlg;
    QVERIFY(dlg.StartSession(QString::fromStdString(sim.DevicePath()), Line(nPicked)));
    QTRY_COMPARE_WITH_TIMEOUT(Status(dlg), QStringLiteral("查询完成"), kWaitMs);

    QCOMPARE(Wire(sim), probeWire + kQueryCommands);
    QCOMPARE(FormState(dlg), NonDefaultState());
    QVERIFY(dlg.m_boxes.isEmpty());
    // The rate found is on the status line before the reading starts.
    const qsizetype nQuerying = dlg.m_statusTexts.indexOf(QStringLiteral("正在查询内嵌模块参数..."));
    const qsizetype nFound =
        dlg.m_statusTexts.indexOf(QStringLiteral("检测到串口波特率：%1").arg(nModuleRate));
    QCOMPARE(nFound >= 0, nPicked == 0);
    QVERIFY(nFound < nQuerying);

    sim.ClearLog();
    Edit(dlg, IDC_EDIT_NAME)->setText(QStringLiteral("Rate Rig"));
    Click(dlg, IDC_BUTTON_SET);
    QTRY_COMPARE_WITH_TIMEOUT(Status(dlg), QStringLiteral("设置完成"), kWaitMs);
    QCOMPARE(Wire(sim), QStringList{"AT+NAME=Rate Rig\r\n"});
    QCOMPARE(sim.State().strName, std::string("Rate Rig"));
}

// Nothing answers the probe: the checklist says what to look at, no reading follows, and the
// port stays open; once the module answers, "查询(&I)" finds its rate and reads it.
void CLineRateE2eTest::nothingAnswersShowsTheChecklistAndKeepsThePort()
{
    SimOptions options;
    options.nAtRate = 1000000; // a rate the probe never tries: noise at every rate it does
    CModuleSim sim(options);
    E2E_START_SIM(sim);
    CScriptedDlg dlg;
    QVERIFY(dlg.StartSession(QString::fromStdString(sim.DevicePath()), Line(0)));
    QTRY_COMPARE_WITH_TIMEOUT(dlg.m_boxes.size(), 1, kWaitMs);
    QCOMPARE(dlg.m_boxes[0].strText,
             QString::fromStdString(CModuleSetupEngine::ProbeChecklistText(EUiLanguage::Chinese)) +
                 QStringLiteral("检查后请点击“查询”重试。"));
    QCOMPARE(dlg.m_boxes[0].strCaption, QStringLiteral("提示"));
    QCOMPARE(dlg.m_boxes[0].nType, MB_OK | MB_ICONEXCLAMATION);
    QTRY_VERIFY(dlg.Control(IDC_BUTTON_QUERY)->isEnabled());
    QCOMPARE(Status(dlg), QStringLiteral("没有检测到模块应答的串口波特率"));
    // Well past the first reading's delay: it does not come.
    QTest::qWait(int(2 * 1000 * kQuietTimerScale));
    QVERIFY(Wire(sim).isEmpty());
    QVERIFY(dlg.Engine().IsSessionOpen());

    options.nAtRate = 19200;
    sim.SetOptions(options);
    Click(dlg, IDC_BUTTON_QUERY);
    QTRY_COMPARE_WITH_TIMEOUT(Status(dlg), QStringLiteral("查询完成"), kWaitMs);
    QVERIFY(dlg.m_statusTexts.contains(QStringLiteral("检测到串口波特率：19200")));
    QCOMPARE(Wire(sim), QStringList({"AT\r\n", "AT\r\n"}) + kQueryCommands);
    QCOMPARE(dlg.m_boxes.size(), 1);
}

QTEST_MAIN(CLineRateE2eTest)
#include "line_rate_e2e_test.moc"
