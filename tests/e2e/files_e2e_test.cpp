// The window's configuration files and traffic view against the simulated module: a saved form
// loads back as the same form without a byte on the wire, a bad file leaves the form alone, and
// the traffic window shows a query run as it crossed the line.

#include "qt/TrafficDlg.h"
#include "tests/e2e/E2eSupport.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

using namespace e2e;

namespace {

// The non-default module, with authentication on so that the password is saved and loaded too.
SimState ModuleState()
{
    SimState state = NonDefaultState();
    state.strName = "Bench 4";
    state.nAuth = 1;
    return state;
}

// What a file carries of a form: everything but the two values only the module reports.
QStringList Settable(SimState state)
{
    state.strVersion.clear();
    state.strLocalAddr.clear();
    return Describe(state);
}

// A form far from what was saved: blanked as a query starts, then a few fields typed over.
void ScrambleForm(CScriptedDlg &dlg)
{
    dlg.Engine().ClearForm();
    Edit(dlg, IDC_EDIT_NAME)->setText(QStringLiteral("Other"));
    Edit(dlg, IDC_EDIT_CONN_INTERVAL)->setText(QStringLiteral("100"));
    Combo(dlg, IDC_COMBO_BINDADDR)->setEditText(QString());
}

QString WriteFile(const QTemporaryDir &dir, const QByteArray &text)
{
    QFile file(dir.filePath(QStringLiteral("config.json")));
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return {};
    return file.fileName();
}

} // namespace

// Configuration files and the traffic view of the window, end to end.
class CFilesE2eTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { CModuleSetupDlg::SetTimerScaleForTesting(kQuietTimerScale); }
    void savedFormLoadsBackWithoutSending();
    void badFileLeavesTheFormAlone_data();
    void badFileLeavesTheFormAlone();
    void trafficWindowShowsTheQueryRun();
};

void CFilesE2eTest::savedFormLoadsBackWithoutSending()
{
    CModuleSim sim;
    sim.SetState(ModuleState());
    E2E_START_SIM(sim);
    CScriptedDlg dlg;
    E2E_START_AND_QUERY(dlg, sim);
    // Save takes what the form shows, not what was last read.
    Edit(dlg, IDC_EDIT_NAME)->setText(QStringLiteral("Edited 1"));
    const SimState saved = FormState(dlg);
    QTemporaryDir dir;
    const QString strPath = dir.filePath(QStringLiteral("bench.json"));
    QVERIFY(dlg.SaveConfigTo(strPath));

    QFile file(strPath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject params =
        QJsonDocument::fromJson(file.readAll()).object()["params"].toObject();
    QCOMPARE(params["name"].toString(), QStringLiteral("Edited 1"));
    QCOMPARE(params["parity"].toString(), QStringLiteral("even"));

    ScrambleForm(dlg);
    QVERIFY(Settable(FormState(dlg)) != Settable(saved));
    QVERIFY(dlg.LoadConfigFrom(strPath));
    QCOMPARE(Settable(FormState(dlg)), Settable(saved));
    QVERIFY(dlg.m_boxes.isEmpty());
    QVERIFY(Combo(dlg, IDC_COMBO_BINDADDR)->isEnabled()); // binding ticked: its field follows
    QVERIFY(!Edit(dlg, IDC_EDIT_PASSWORD)->isReadOnly());
    QTest::qWait(200);
    QCOMPARE(Wire(sim), kQueryCommands); // neither saving nor loading wrote a byte
}

void CFilesE2eTest::badFileLeavesTheFormAlone_data()
{
    QTest::addColumn<QByteArray>("text"); // empty: no file at all
    QTest::addColumn<QString>("reason");
    QTest::newRow("no file") << QByteArray() << "cannot read the file";
    QTest::newRow("not JSON") << QByteArray(R"({"params": {"name": "A",)") << "not valid JSON";
    QTest::newRow("refused value")
        << QByteArray(R"({"params": {"name": "B", "class": "12"}})") << "params.class";
    QTest::newRow("unknown key") << QByteArray(R"({"params": {"role": "master", "x": 1}})")
                                 << "params.x";
}

void CFilesE2eTest::badFileLeavesTheFormAlone()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, reason);
    CModuleSim sim;
    sim.SetState(ModuleState());
    E2E_START_SIM(sim);
    CScriptedDlg dlg;
    E2E_START_AND_QUERY(dlg, sim);
    const QStringList before = Describe(FormState(dlg));
    QTemporaryDir dir;
    const QString strPath =
        text.isEmpty() ? dir.filePath(QStringLiteral("missing.json")) : WriteFile(dir, text);

    QVERIFY(!dlg.LoadConfigFrom(strPath));
    QCOMPARE(dlg.m_boxes.size(), 1);
    QCOMPARE(dlg.m_boxes[0].strCaption, QStringLiteral("错误"));
    QVERIFY2(dlg.m_boxes[0].strText.contains(reason), qPrintable(dlg.m_boxes[0].strText));
    QCOMPARE(Describe(FormState(dlg)), before);
}

void CFilesE2eTest::trafficWindowShowsTheQueryRun()
{
    CModuleSim sim;
    sim.SetState(ModuleState());
    E2E_START_SIM(sim);
    CScriptedDlg dlg;
    E2E_START_AND_QUERY(dlg, sim); // with the traffic window never opened: nothing kept

    dlg.ShowTraffic();
    CTrafficDlg *pTraffic = dlg.TrafficDlg();
    QVERIFY(pTraffic && pTraffic->isVisible());
    QVERIFY(pTraffic->Text().isEmpty());
    Click(dlg, IDC_BUTTON_QUERY);
    QTRY_COMPARE_WITH_TIMEOUT(Status(dlg), QStringLiteral("查询完成"), kWaitMs);
    QTRY_VERIFY(pTraffic->Text().contains(QStringLiteral("RX \\r\\n+RADDR:0012AB34CD56")));

    const QStringList lines = pTraffic->Text().split('\n');
    QStringList sent;
    QString strReceived;
    for (const QString &strLine : lines) {
        if (strLine.contains(QStringLiteral(" TX ")))
            sent << strLine.section(QStringLiteral(" TX "), 1).replace("\\r\\n", "\r\n");
        else if (strLine.contains(QStringLiteral(" RX ")))
            strReceived += strLine.section(QStringLiteral(" RX "), 1);
    }
    QCOMPARE(sent, kQueryCommands);
    QVERIFY2(strReceived.contains(QStringLiteral("\\r\\n+NAME:Bench 4\\r\\n\\r\\nOK\\r\\n")),
             qPrintable(strReceived));

    QTemporaryDir dir;
    const QString strPath = dir.filePath(QStringLiteral("trace.txt"));
    QVERIFY(pTraffic->SaveTo(strPath));
    QFile file(strPath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(file.readAll()), pTraffic->Text() + "\n");

    // Closed, it records nothing; the main window works on as before.
    pTraffic->hide();
    const QString strKept = pTraffic->Text();
    Click(dlg, IDC_BUTTON_QUERY);
    QTRY_COMPARE_WITH_TIMEOUT(Wire(sim).size(), 3 * kQueryCommands.size(), kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(Status(dlg), QStringLiteral("查询完成"), kWaitMs);
    QTest::qWait(100);
    QCOMPARE(pTraffic->Text(), strKept);
    pTraffic->Clear();
    QVERIFY(pTraffic->Text().isEmpty());
}

QTEST_MAIN(CFilesE2eTest)
#include "files_e2e_test.moc"
