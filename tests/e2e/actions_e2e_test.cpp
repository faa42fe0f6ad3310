// The single-command buttons end to end: restore defaults, clear the binding, and search for
// devices, against the simulated module over a real pseudo-terminal.

#include "tests/e2e/E2eSupport.h"

using namespace e2e;

namespace {

SimState BoundState()
{
    SimState state;
    state.strName = "Kestrel Lab";
    state.nRole = 1;
    state.nBind = 1;
    state.strBindAddr = "0012AB34CD56";
    state.nAuth = 0;
    state.strPassword = "5566";
    state.nBaud = 115200;
    state.nStopBits = 1;
    state.nParity = 2;
    state.aScan[1] = 18;
    state.aSniff[0] = 800;
    state.aSniff[1] = 80;
    state.aSniff[2] = 8;
    state.aSniff[3] = 8;
    state.strLocalAddr = "00158300C3D4";
    return state;
}

} // namespace

// Restore-defaults, clear-binding and device search: their texts, their boxes, the form they
// leave and what the module did.
class CActionsE2eTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { CModuleSetupDlg::SetTimerScaleForTesting(kQuietTimerScale); }
    void defaultsFillFormAndModule();
    void clearAddress_data();
    void clearAddress();
    void searchListsDevicesThenBinds();
};

void CActionsE2eTest::defaultsFillFormAndModule()
{
    CModuleSim sim;
    sim.SetState(BoundState());
    E2E_START_SIM(sim);
    CScriptedDlg dlg;
    E2E_START_AND_QUERY(dlg, sim);
    const int nScanSlider = Slider(dlg, IDC_SLIDER_SCAN)->value();
    const int nSniffSlider = Slider(dlg, IDC_SLIDER_SNIFF)->value();

    sim.ClearLog();
    dlg.m_statusTexts.clear();
    Click(dlg, IDC_BUTTON_DEFAULT);
    QTRY_COMPARE_WITH_TIMEOUT(Status(dlg), QStringLiteral("成功恢复默认参数"), kWaitMs);

    QCOMPARE(dlg.m_statusTexts, QStringList({"正在恢复默认参数...", "成功恢复默认参数"}));
    QCOMPARE(Wire(sim), QStringList({"AT+RESET\r\n"}));
    QVERIFY(dlg.m_boxes.isEmpty());
    SimState defaults;
    defaults.strLocalAddr = BoundState().strLocalAddr; // the module's own address stays
    QCOMPARE(Describe(sim.State()), Describe(defaults));

    QCOMPARE(Text(dlg, IDC_EDIT_PASSWORD), QStringLiteral("7391"));
    QCOMPARE(Text(dlg, IDC_EDIT_NAME), QStringLiteral("CORVA3264"));
    QCOMPARE(Text(dlg, IDC_EDIT_CLASS), QStringLiteral("000000"));
    QCOMPARE(Text(dlg, IDC_EDIT_CONN_INTERVAL), QStringLiteral("1024"));
    QCOMPARE(Text(dlg, IDC_EDIT_CONN_DURATION), QStringLiteral("512"));
    QCOMPARE(Text(dlg, IDC_EDIT_INQ_INTERVAL), QStringLiteral("1024"));
    QCOMPARE(Text(dlg, IDC_EDIT_INQ_DURATION), QStringLiteral("512"));
    for (const int nId :
         {IDC_EDIT_SNIFF_MAX, IDC_EDIT_SNIFF_MIN, IDC_EDIT_SNIFF_ATTEMPT, IDC_EDIT_SNIFF_TIMEOUT})
        QCOMPARE(Text(dlg, nId), QStringLiteral("0"));
    QCOMPARE(Combo(dlg, IDC_COMBO_BAUD)->currentText(), QStringLiteral("9600"));
    QCOMPARE(Combo(dlg, IDC_COMBO_PARITY)->currentText(), QStringLiteral("无校验"));
    QCOMPARE(Combo(dlg, IDC_COMBO_STOPBITS)->currentText(), QStringLiteral("1"));
    QVERIFY(!Check(dlg, IDC_CHECK_ROLE)->isChecked());
    QVERIFY(!Check(dlg, IDC_CHECK_BIND)->isChecked());
    QVERIFY(Check(dlg, IDC_CHECK_AUTH)->isChecked());
    QVERIFY(!Edit(dlg, IDC_EDIT_PASSWORD)->isReadOnly());
    QCOMPARE(Combo(dlg, IDC_COMBO_BINDADDR)->currentText(), QString());
    QVERIFY(Combo(dlg, IDC_COMBO_BINDADDR)->isEnabled());

    // Not part of the defaults: what only the module reports, and the sliders.
    QCOMPARE(Text(dlg, IDC_EDIT_VERSION), QStringLiteral("V4.25"));
    QCOMPARE(Text(dlg, IDC_EDIT_LOCALADDR), QStringLiteral("00158300C3D4"));
    QCOMPARE(Slider(dlg, IDC_SLIDER_SCAN)->value(), nScanSlider);
    QCOMPARE(Slider(dlg, IDC_SLIDER_SNIFF)->value(), nSniffSlider);
}

void CActionsE2eTest::clearAddress_data()
{
    QTest::addColumn<QString>("strMisbehaviour");
    QTest::addColumn<QString>("strStatus");
    QTest::addColumn<bool>("bCleared");
    QTest::newRow("answered OK") << QString() << QStringLiteral("成功清除邦定的蓝牙地址") << true;
    QTest::newRow("refused") << QStringLiteral("error") << QStringLiteral("清除蓝牙地址失败")
                             << false;
    QTest::newRow("no answer") << QStringLiteral("silent") << QStringLiteral("清除蓝牙地址超时")
                               << false;
}

void CActionsE2eTest::clearAddress()
{
    QFETCH(QString, strMisbehaviour);
    QFETCH(QString, strStatus);
    QFETCH(bool, bCleared);
    CModuleSim sim;
    sim.SetState(BoundState());
    E2E_START_SIM(sim);
    CScriptedDlg dlg;
    E2E_START_AND_QUERY(dlg, sim);

    SimOptions options;
    if (strMisbehaviour == "error")
        options.errorCommands = {"AT+CLEARADDR"};
    else if (strMisbehaviour == "silent")
        options.silentCommands = {"AT+CLEARADDR"};
    sim.SetOptions(options);
    CModuleSetupDlg::SetTimerScaleForTesting(kFastTimerScale);
    sim.ClearLog();
    dlg.m_statusTexts.clear();
    Click(dlg, IDC_BUTTON_CLEARADDR);
    QTRY_COMPARE_WITH_TIMEOUT(Status(dlg), strStatus, kWaitMs);
    // Long past the clear timeout: a timeout is reported once, an answer never.
    QTest::qWait(5 * int(4000 * kFastTimerScale));

    QCOMPARE(dlg.m_statusTexts, QStringList({"正在清除邦定的蓝牙地址...", strStatus}));
    QCOMPARE(Wire(sim), QStringList({"AT+CLEARADDR\r\n"}));
    if (strMisbehaviour == "silent") {
        QCOMPARE(dlg.m_boxes.size(), 1);
        QCOMPARE(dlg.m_boxes[0].strText, QStringLiteral("清除蓝牙地址超时"));
        QCOMPARE(dlg.m_boxes[0].strCaption, QStringLiteral("提示"));
        QCOMPARE(dlg.m_boxes[0].nType, MB_ICONHAND);
    } else {
        QVERIFY(dlg.m_boxes.isEmpty());
    }
    QCOMPARE(sim.State().strBindAddr.empty(), bCleared);
    // Clearing reports only; the form and the last-read address wait for the next query.
    QCOMPARE(Combo(dlg, IDC_COMBO_BINDADDR)->currentText(), QStringLiteral("0012AB34CD56"));
    QCOMPARE(QString::fromStdString(dlg.Engine().LastRead().BindAddr), QStringLiteral("0012AB34CD56"));
}

void CActionsE2eTest::searchListsDevicesThenBinds()
{
    SimOptions options;
    // Sorted without regard to case the lower-case address comes first; by byte value it would
    // come last. The first device is reported twice.
    options.inquiryDevices = {
        {"00BB11223344", "Headset"}, {"00aa55667788", "Phone"}, {"00BB11223344", "Headset"}};
    options.inquiryInterval = std::chrono::milliseconds(50);
    CModuleSim sim(options);
    E2E_START_SIM(sim);
    CScriptedDlg dlg;
    E2E_START_AND_QUERY(dlg, sim);
    QVERIFY(!Combo(dlg, IDC_COMBO_BINDADDR)->isEnabled());

    sim.ClearLog();
    dlg.m_statusTexts.clear();
    Click(dlg, IDC_BUTTON_SEARCH);
    QTRY_COMPARE_WITH_TIMEOUT(Status(dlg), QStringLiteral("查询完成"), kWaitMs);

    QCOMPARE(Wire(sim), QStringList({"AT+INQ\r\n"}));
    QCOMPARE(dlg.m_statusTexts,
             QStringList({"正在查询设备......", "查询到设备 00BB11223344",
                          "查询到设备 00aa55667788", "查询到设备 00BB11223344", "查询完成"}));
    QComboBox *pBindAddr = Combo(dlg, IDC_COMBO_BINDADDR);
    QCOMPARE(Items(pBindAddr),
             QStringList({"00aa55667788 Phone", "00BB11223344 Headset", "00BB11223344 Headset"}));
    QCOMPARE(pBindAddr->currentText(), QStringLiteral("00BB11223344 Headset"));
    QVERIFY(pBindAddr->isEnabled());
    QVERIFY(!Check(dlg, IDC_CHECK_BIND)->isChecked());

    // The user picks the phone and binds to it: the address goes out without the name.
    pBindAddr->setCurrentIndex(0);
    QCOMPARE(pBindAddr->currentText(), QStringLiteral("00aa55667788 Phone"));
    Click(dlg, IDC_CHECK_BIND);
    QVERIFY(pBindAddr->isEnabled());
    sim.ClearLog();
    Click(dlg, IDC_BUTTON_SET);
    QTRY_COMPARE_WITH_TIMEOUT(Status(dlg), QStringLiteral("设置完成"), kWaitMs);
    QCOMPARE(Wire(sim), QStringList({"AT+BIND=1\r\n", "AT+RADDR=00aa55667788\r\n"}));
    QCOMPARE(sim.State().nBind, 1);
    QCOMPARE(sim.State().strBindAddr, std::string("00aa55667788"));
    QVERIFY(dlg.m_boxes.isEmpty());
}

QTEST_MAIN(CActionsE2eTest)
#include "actions_e2e_test.moc"
