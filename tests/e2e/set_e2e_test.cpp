// Writing the module: the Set button end to end, from the edited form to the lines on the wire
// and the state the simulated module ends up in.

#include "tests/e2e/E2eSupport.h"

using namespace e2e;

namespace {

SimState BoundState()
{
    SimState state;
    state.nBind = 1;
    state.strBindAddr = "0012AB34CD56";
    return state;
}

// Switches the Sniff saving on as a user does: a click at the right end of the slider.
void SwitchSniffOn(CModuleSetupDlg &dlg)
{
    QSlider *pSlider = Slider(dlg, IDC_SLIDER_SNIFF);
    QTest::mouseClick(pSlider, Qt::LeftButton, {},
                      QPoint(pSlider->width() - 3, pSlider->height() / 2));
}

} // namespace

// The Set action against the simulated module: only what the user changed is written, in the
// module's order, refusals are reported, and what was never confirmed is sent again.
class CSetE2eTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { CModuleSetupDlg::SetTimerScaleForTesting(kQuietTimerScale); }
    void editedFieldsReachModule();
    void nothingEdited_data();
    void nothingEdited();
    void failedCheckWritesNothing_data();
    void failedCheckWritesNothing();
    void refusedLineIsSentAgain();
};

void CSetE2eTest::editedFieldsReachModule()
{
    CModuleSim sim;
    E2E_START_SIM(sim);
    CScriptedDlg dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    E2E_START_AND_QUERY(dlg, sim);

    Edit(dlg, IDC_EDIT_NAME)->setText(QStringLiteral("Kestrel Lab"));
    QComboBox *pBaud = Combo(dlg, IDC_COMBO_BAUD);
    pBaud->setCurrentIndex(pBaud->findText(QStringLiteral("115200")));
    Click(dlg, IDC_CHECK_ROLE);
    SwitchSniffOn(dlg);
    QTRY_COMPARE(Text(dlg, IDC_EDIT_SNIFF_MAX), QStringLiteral("800"));

    sim.ClearLog();
    Click(dlg, IDC_BUTTON_SET);
    QTRY_COMPARE_WITH_TIMEOUT(Status(dlg), QStringLiteral("设置完成"), kWaitMs);

    // Bind stays off, so the module is told to forget any address, between ROLE and SNIFF.
    QCOMPARE(Wire(sim),
             QStringList({"AT+NAME=Kestrel Lab\r\n", "AT+BAUD=115200\r\n", "AT+ROLE=1\r\n",
                          "AT+CLEARADDR\r\n", "AT+SNIFF=800,80,8,8\r\n"}));
    QVERIFY(dlg.m_boxes.isEmpty());
    QVERIFY(dlg.m_statusTexts.contains(QStringLiteral("正在设置参数...")));
    SimState expected;
    expected.strName = "Kestrel Lab";
    expected.nBaud = 115200;
    expected.nRole = 1;
    expected.aSniff[0] = 800;
    expected.aSniff[1] = 80;
    expected.aSniff[2] = 8;
    expected.aSniff[3] = 8;
    QCOMPARE(Describe(sim.State()), Describe(expected));
    QCOMPARE(Describe(FormState(dlg)), Describe(expected));

    // Read back: the module reports what was written, and the form shows it again.
    sim.ClearLog();
    Click(dlg, IDC_BUTTON_QUERY);
    QTRY_COMPARE_WITH_TIMEOUT(Status(dlg), QStringLiteral("查询完成"), kWaitMs);
    QCOMPARE(Wire(sim), kQueryCommands);
    QCOMPARE(Describe(FormState(dlg)), Describe(expected));
    QCOMPARE(Describe(LastReadState(dlg)), Describe(expected));
    QVERIFY(dlg.m_boxes.isEmpty());
}

void CSetE2eTest::nothingEdited_data()
{
    QTest::addColumn<bool>("bBound");
    QTest::addColumn<QStringList>("wire");
    QTest::addColumn<QString>("strStatus");
    QTest::newRow("bind ticked: nothing to write")
        << true << QStringList() << QStringLiteral("没有改变参数，不需要设置");
    QTest::newRow("bind cleared: the address is cleared")
        << false << QStringList{"AT+CLEARADDR\r\n"} << QStringLiteral("设置完成");
}

void CSetE2eTest::nothingEdited()
{
    QFETCH(bool, bBound);
    QFETCH(QStringList, wire);
    QFETCH(QString, strStatus);
    CModuleSim sim;
    sim.SetState(bBound ? BoundState() : SimState{});
    E2E_START_SIM(sim);
    CScriptedDlg dlg;
    E2E_START_AND_QUERY(dlg, sim);
    QCOMPARE(Check(dlg, IDC_CHECK_BIND)->isChecked(), bBound);

    sim.ClearLog();
    Click(dlg, IDC_BUTTON_SET);
    QTRY_COMPARE_WITH_TIMEOUT(Status(dlg), strStatus, kWaitMs);
    if (wire.isEmpty())
        QTest::qWait(200); // a line written by mistake would have arrived by now
    else
        QVERIFY(sim.WaitForCommands(size_t(wire.size()), std::chrono::milliseconds(kWaitMs)));
    QCOMPARE(Wire(sim), wire);
    QVERIFY(dlg.m_boxes.isEmpty());
}

void CSetE2eTest::failedCheckWritesNothing_data()
{
    QTest::addColumn<int>("nId");
    QTest::addColumn<QString>("strValue");
    QTest::addColumn<QString>("strMessage");
    QTest::newRow("class of five digits") << IDC_EDIT_CLASS << "12345"
                                          << "类别码长度必须为6";
    QTest::newRow("name of blanks only") << IDC_EDIT_NAME << "   "
                                         << "名称不能为空";
    QTest::newRow("connection longer than its interval") << IDC_EDIT_CONN_DURATION << "2000"
                                                         << "连接持续时间不能大于连接间隔时间";
}

void CSetE2eTest::failedCheckWritesNothing()
{
    QFETCH(int, nId);
    QFETCH(QString, strValue);
    QFETCH(QString, strMessage);
    CModuleSim sim;
    E2E_START_SIM(sim);
    CScriptedDlg dlg;
    E2E_START_AND_QUERY(dlg, sim);

    Edit(dlg, nId)->setText(strValue);
    sim.ClearLog();
    const QStringList statusBefore = dlg.m_statusTexts;
    Click(dlg, IDC_BUTTON_SET);
    QTRY_COMPARE(dlg.m_boxes.size(), 1);

    QCOMPARE(dlg.m_boxes[0].strText, strMessage);
    QCOMPARE(dlg.m_boxes[0].strCaption, QStringLiteral("提示"));
    QCOMPARE(dlg.m_boxes[0].nType, MB_ICONHAND);
    QTest::qWait(200); // a line written by mistake would have arrived by now
    QVERIFY(sim.Commands().empty());
    QCOMPARE(dlg.m_boxes.size(), 1);
    QCOMPARE(dlg.m_statusTexts, statusBefore);
    QCOMPARE(dlg.Engine().IsSetting(), 0);
}

void CSetE2eTest::refusedLineIsSentAgain()
{
    CModuleSim sim;
    sim.SetState(BoundState());
    E2E_START_SIM(sim);
    CScriptedDlg dlg;
    E2E_START_AND_QUERY(dlg, sim);

    SimOptions options;
    options.errorCommands = {"AT+NAME="};
    sim.SetOptions(options);
    Edit(dlg, IDC_EDIT_NAME)->setText(QStringLiteral("Refused"));
    sim.ClearLog();
    dlg.m_answers = {IDNO};
    Click(dlg, IDC_BUTTON_SET);
    QTRY_COMPARE_WITH_TIMEOUT(Status(dlg), QStringLiteral("设置 [设备名称] 时超时"), kWaitMs);
    QCOMPARE(dlg.m_boxes.size(), 1);
    QCOMPARE(dlg.m_boxes[0].strText, QStringLiteral("设置 [设备名称] 时超时，是否继续？"));
    QCOMPARE(dlg.m_boxes[0].strCaption, QStringLiteral("提示"));
    QCOMPARE(dlg.m_boxes[0].nType, MB_YESNO | MB_ICONINFORMATION);
    QCOMPARE(Wire(sim), QStringList({"AT+NAME=Refused\r\n"}));
    QCOMPARE(sim.State().strName, std::string("CORVA3264"));

    // The module never confirmed the name: the next Set must send it again.
    sim.SetOptions(SimOptions{});
    sim.ClearLog();
    Click(dlg, IDC_BUTTON_SET);
    QTRY_COMPARE_WITH_TIMEOUT(Status(dlg), QStringLiteral("设置完成"), kWaitMs);
    QCOMPARE(Wire(sim), QStringList({"AT+NAME=Refused\r\n"}));
    QCOMPARE(sim.State().strName, std::string("Refused"));
    QCOMPARE(dlg.m_boxes.size(), 1);
}

QTEST_MAIN(CSetE2eTest)
#include "set_e2e_test.moc"
