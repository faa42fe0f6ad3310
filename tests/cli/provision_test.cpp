// kestrel-cli provision and pair against simulated modules that are plugged in and pulled during
// the run: links to their pseudo-terminals appear and vanish in a folder the watch looks at.

#include "cli/Ledger.h"
#include "sim/ModuleSim.h"
#include "tests/cli/CliSupport.h"

#include <csignal>
#include <memory>
#include <vector>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int kWaitMs = kCliWaitMs;

// "0015830000A1", "0015830000A2", ...: each unit its own address (units 1 to 15).
std::string UnitAddress(int nUnit)
{
    return "0015830000A" + QString::number(nUnit, 16).toUpper().toStdString();
}

// A test rig: a folder where units' links appear (ttyUNIT1, ...), a profile and a ledger.
class CRig
{
public:
    CRig() { WriteFile(File("line.json"), R"({"params": {"baud": 19200, "role": "slave"}})"); }

    QString File(const QString &strName) const { return m_dir.filePath(strName); }
    QString Glob() const { return File("ttyUNIT*"); }
    QString Ledger() const { return File("line.jsonl"); }

    // A unit that is not plugged in yet.
    CModuleSim &Unit(int nUnit, SimOptions options = {})
    {
        options.strLinkPath = File(QStringLiteral("ttyUNIT%1").arg(nUnit)).toStdString();
        m_units.push_back(std::make_unique<CModuleSim>(options));
        SimState state;
        state.strLocalAddr = UnitAddress(nUnit);
        m_units.back()->SetState(state);
        return *m_units.back();
    }

    QString Port(const CModuleSim &sim) const
    {
        return QString::fromStdString(sim.Options().strLinkPath);
    }

    // Every whole line of the ledger as JSON; a line that does not parse fails the test.
    QList<QJsonObject> Records(const QString &strKind, bool *pAllParse = nullptr) const
    {
        QFile file(Ledger());
        file.open(QIODevice::ReadOnly);
        const QByteArray text = file.readAll();
        QList<QJsonObject> records;
        bool bAllParse = true;
        const QList<QByteArray> lines = text.left(text.lastIndexOf('\n') + 1).split('\n');
        for (const QByteArray &line : lines) {
            if (line.isEmpty())
                continue;
            const QJsonDocument doc = QJsonDocument::fromJson(line);
            bAllParse = bAllParse && doc.isObject();
            if (doc.object()["record"].toString() == strKind)
                records << doc.object();
        }
        if (pAllParse)
            *pAllParse = bAllParse;
        return records;
    }

    QJsonObject RecordOf(const CModuleSim &sim) const
    {
        for (const QJsonObject &record : Records("unit")) {
            if (record["addr"].toString().toStdString() == sim.State().strLocalAddr)
                return record;
        }
        return {};
    }

private:
    QTemporaryDir m_dir;
    std::vector<std::unique_ptr<CModuleSim>> m_units;
};

QStringList WatchArgs(const CRig &rig)
{
    return {"provision", "--from",   rig.File("line.json"), "--watch", "--watch-glob",
            rig.Glob(),  "--ledger", rig.Ledger(),          "--name",  "Sensor-{addr:-4}-{n:03}"};
}

bool HasSetCommands(const CModuleSim &sim)
{
    for (const std::string &strCommand : sim.Commands()) {
        if (strCommand.find('=') != std::string::npos)
            return true;
    }
    return false;
}

bool WaitForCommand(const CModuleSim &sim, const std::string &strPrefix)
{
    QDeadlineTimer deadline(kWaitMs);
    while (!deadline.hasExpired()) {
        const std::vector<std::string> commands = sim.Commands();
        for (const std::string &strCommand : commands) {
            if (strCommand.rfind(strPrefix, 0) == 0)
                return true;
        }
        sim.WaitForCommands(commands.size() + 1, std::chrono::milliseconds(100));
    }
    return false;
}

} // namespace

class CProvisionTest : public QObject
{
    Q_OBJECT

private slots:
    void staggeredUnitsAreEachCommissionedOnce_data();
    void staggeredUnitsAreEachCommissionedOnce();
    void unitPulledMidWriteIsRecordedFailed();
    void unitPluggedTwiceIsSkipped_data();
    void unitPluggedTwiceIsSkipped();
    void interruptLetsTheUnitsInFlightFinish();
    void counterContinuesAcrossARestart();
    void unitsFileRowsGoByAddressThenInOrder();
    void templateThatOutgrowsItsLimitFailsTheUnit();
    void killedProcessLeavesALedgerThatParses();
    void badInputExitsTwoBeforeAnythingIsSent_data();
    void badInputExitsTwoBeforeAnythingIsSent();
    void pairBindsTheMasterToTheSlave_data();
    void pairBindsTheMasterToTheSlave();
    void pairWatchPairsUnitsAsTheyArePlugged();
};

void CProvisionTest::staggeredUnitsAreEachCommissionedOnce_data()
{
    QTest::addColumn<bool>("includePresent");
    QTest::newRow("present unit left alone") << false;
    QTest::newRow("present unit included") << true;
}

// Units plugged one after the other while the earlier ones are still being worked: each gets
// its own counter value and name, the profile, and one record; a unit there at the start is
// worked only when asked for.
void CProvisionTest::staggeredUnitsAreEachCommissionedOnce()
{
    QFETCH(bool, includePresent);
    CRig rig;
    SimOptions paced;
    paced.nPaceBaud = 38400; // long enough for the next unit to come while one is worked
    CModuleSim &present = rig.Unit(9, paced);
    QVERIFY(present.Start());
    QStringList args = WatchArgs(rig);
    if (includePresent)
        args << "--include-present";
    CCliProcess cli(args);
    QVERIFY2(cli.WaitForMessage("watching"), qPrintable(cli.Err()));
    std::vector<CModuleSim *> units;
    for (int nUnit = 1; nUnit <= 3; ++nUnit) {
        units.push_back(&rig.Unit(nUnit, paced));
        QVERIFY(units.back()->Start());
        QVERIFY(units.back()->WaitForCommands(1, std::chrono::milliseconds(kWaitMs)));
    }
    if (includePresent)
        units.push_back(&present);
    QTRY_COMPARE_WITH_TIMEOUT(rig.Records("unit").size(), qsizetype(units.size()), kWaitMs);
    cli.Signal(SIGINT);
    QCOMPARE(cli.Finish(), 0);
    QVERIFY2(cli.Out().contains(
                 QStringLiteral("summary: %1 passed, 0 failed, 0 skipped").arg(units.size())),
             qPrintable(cli.Out()));
    QSet<int> counters;
    for (CModuleSim *pUnit : units) {
        const QJsonObject record = rig.RecordOf(*pUnit);
        QCOMPARE(record["result"].toString(), QStringLiteral("passed"));
        QCOMPARE(record["port"].toString(), rig.Port(*pUnit));
        const int nCounter = record["counter"].toInt();
        counters << nCounter;
        const SimState state = pUnit->State();
        const std::string strName =
            "Sensor-" + state.strLocalAddr.substr(8) + "-" +
            QStringLiteral("%1").arg(nCounter, 3, 10, QChar('0')).toStdString();
        QCOMPARE(state.strName, strName);
        QCOMPARE(state.nBaud, 19200u);
        QVERIFY(cli.Out().contains(
            QString::fromStdString(state.strLocalAddr + "  \"" + strName + "\"  PASS")));
    }
    QCOMPARE(counters.size(), qsizetype(units.size()));
    QCOMPARE(*std::max_element(counters.begin(), counters.end()), int(units.size()));
    if (!includePresent)
        QVERIFY(present.Commands().empty());
}

// The cable goes while the profile is being written: the unit fails as port_lost, its counter
// value stays used, and the next unit gets the next one.
void CProvisionTest::unitPulledMidWriteIsRecordedFailed()
{
    CRig rig;
    SimOptions stalls;
    stalls.silentCommands = {"AT+BAUD="}; // the write waits there until the cable goes
    CModuleSim &pulled = rig.Unit(1, stalls);
    CCliProcess cli(WatchArgs(rig));
    QVERIFY2(cli.WaitForMessage("watching"), qPrintable(cli.Err()));
    QVERIFY(pulled.Start());
    QVERIFY(WaitForCommand(pulled, "AT+BAUD="));
    pulled.HangUp();
    QTRY_COMPARE_WITH_TIMEOUT(rig.Records("unit").size(), qsizetype(1), kWaitMs);
    CModuleSim &next = rig.Unit(2);
    QVERIFY(next.Start());
    QTRY_COMPARE_WITH_TIMEOUT(rig.Records("unit").size(), qsizetype(2), kWaitMs);
    cli.Signal(SIGTERM);
    QCOMPARE(cli.Finish(), 1);

    const QJsonObject failed = rig.RecordOf(pulled);
    QCOMPARE(failed["result"].toString(), QStringLiteral("failed"));
    QCOMPARE(failed["end"].toString(), QStringLiteral("port_lost"));
    QCOMPARE(failed["counter"].toInt(), 1);
    QCOMPARE(rig.RecordOf(next)["counter"].toInt(), 2);
    QCOMPARE(QString::fromStdString(next.State().strName), QStringLiteral("Sensor-00A2-002"));
    QVERIFY2(cli.Out().contains("FAIL  port_lost"), qPrintable(cli.Out()));
    QVERIFY2(cli.Out().contains("summary: 1 passed, 1 failed, 0 skipped"), qPrintable(cli.Out()));
}

void CProvisionTest::unitPluggedTwiceIsSkipped_data()
{
    QTest::addColumn<bool>("again");
    QTest::addColumn<QString>("secondResult");
    QTest::newRow("skipped") << false << "skipped";
    QTest::newRow("--again") << true << "passed";
}

// A unit stays plugged after its work and is not done again; pulled and plugged again, the
// ledger knows it passed: skipped without a single write, unless --again.
void CProvisionTest::unitPluggedTwiceIsSkipped()
{
    QFETCH(bool, again);
    QFETCH(QString, secondResult);
    CRig rig;
    CModuleSim &unit = rig.Unit(1);
    QStringList args = WatchArgs(rig);
    if (again)
        args << "--again";
    CCliProcess cli(args);
    QVERIFY2(cli.WaitForMessage("watching"), qPrintable(cli.Err()));
    QVERIFY(unit.Start());
    QTRY_COMPARE_WITH_TIMEOUT(rig.Records("unit").size(), qsizetype(1), kWaitMs);
    // Another unit comes and is done while the first stays: the first is not taken again.
    CModuleSim &other = rig.Unit(2);
    QVERIFY(other.Start());
    QTRY_COMPARE_WITH_TIMEOUT(rig.Records("unit").size(), qsizetype(2), kWaitMs);
    unit.ClearLog();
    QVERIFY(unit.Reconnect());
    QTRY_COMPARE_WITH_TIMEOUT(rig.Records("unit").size(), qsizetype(3), kWaitMs);
    cli.Signal(SIGINT);
    QCOMPARE(cli.Finish(), 0);
    const QJsonObject second = rig.Records("unit").last();
    QCOMPARE(second["addr"].toString().toStdString(), UnitAddress(1));
    QCOMPARE(second["result"].toString(), secondResult);
    QCOMPARE(HasSetCommands(unit), again);
    if (!again) {
        QCOMPARE(second["end"].toString(), QStringLiteral("already_passed"));
        QVERIFY(second["counter"].isNull());
        QVERIFY2(cli.Out().contains("SKIP"), qPrintable(cli.Out()));
    }
}

// Ctrl-C while a unit is being worked: it still finishes and is recorded, then the summary.
void CProvisionTest::interruptLetsTheUnitsInFlightFinish()
{
    CRig rig;
    SimOptions slow;
    slow.nPaceBaud = 9600;
    CModuleSim &unit = rig.Unit(1, slow);
    CCliProcess cli(WatchArgs(rig));
    QVERIFY2(cli.WaitForMessage("watching"), qPrintable(cli.Err()));
    QVERIFY(unit.Start());
    QVERIFY(WaitForCommand(unit, "AT+NAME?"));
    cli.Signal(SIGINT);
    QVERIFY2(cli.WaitForMessage("stopping"), qPrintable(cli.Err()));
    QCOMPARE(cli.Finish(), 0);
    QCOMPARE(rig.RecordOf(unit)["result"].toString(), QStringLiteral("passed"));
    QVERIFY(HasSetCommands(unit));
    QVERIFY2(
        QRegularExpression("summary: 1 passed, 0 failed, 0 skipped, [1-9][0-9]* units per hour\n")
            .match(cli.Out())
            .hasMatch(),
        qPrintable(cli.Out()));
}

// The counter goes on from the ledger, whatever --start says, past a unit that failed.
void CProvisionTest::counterContinuesAcrossARestart()
{
    CRig rig;
    SimOptions refusesNames;
    refusesNames.errorCommands = {"AT+NAME="};
    CModuleSim &first = rig.Unit(1);
    CModuleSim &refusing = rig.Unit(2, refusesNames);
    CModuleSim &later = rig.Unit(3);
    for (CModuleSim *pUnit : {&first, &refusing, &later})
        QVERIFY(pUnit->Start());
    const QStringList args = {"provision", "--ledger", rig.Ledger(), "--name", "Unit-{n:03}"};
    CCliProcess firstRun(args + QStringList{"--start", "7", "--port", rig.Port(first), "--port",
                                            rig.Port(refusing)});
    QCOMPARE(firstRun.Finish(), 1);
    CCliProcess secondRun(args + QStringList{"--start", "1", "--port", rig.Port(later)});
    QCOMPARE(secondRun.Finish(), 0);
    QSet<int> firstCounters{rig.RecordOf(first)["counter"].toInt(),
                            rig.RecordOf(refusing)["counter"].toInt()};
    QCOMPARE(firstCounters, (QSet<int>{7, 8}));
    QCOMPARE(rig.RecordOf(refusing)["result"].toString(), QStringLiteral("failed"));
    QCOMPARE(rig.RecordOf(later)["counter"].toInt(), 9);
    QCOMPARE(QString::fromStdString(later.State().strName), QStringLiteral("Unit-009"));
}

// A row that names a unit's address is that unit's; the others go in order to the rest.
void CProvisionTest::unitsFileRowsGoByAddressThenInOrder()
{
    CRig rig;
    CModuleSim &unnamed = rig.Unit(1);
    CModuleSim &named = rig.Unit(2);
    QVERIFY(unnamed.Start());
    QVERIFY(named.Start());
    QVERIFY(!WriteFile(rig.File("units.csv"), "addr,label\n,Line-A\n" +
                                                  QByteArray::fromStdString(UnitAddress(2)) +
                                                  ",Line-B\n,Line-C\n")
                 .isEmpty());
    CCliProcess cli({"provision", "--ledger", rig.Ledger(), "--units", rig.File("units.csv"),
                     "--name", "{csv:label}", "--port", rig.Port(unnamed), "--port",
                     rig.Port(named)});
    QCOMPARE(cli.Finish(), 0);
    QCOMPARE(QString::fromStdString(unnamed.State().strName), QStringLiteral("Line-A"));
    QCOMPARE(QString::fromStdString(named.State().strName), QStringLiteral("Line-B"));
    QCOMPARE(rig.RecordOf(named)["csv_row"].toInt(), 2);
}

// A counter has no bound, so the limit can only be met per unit: the unit whose value no longer
// fits fails with the reason, and nothing is written to it. Once the next value cannot fit, the
// run is refused before any port opens.
void CProvisionTest::templateThatOutgrowsItsLimitFailsTheUnit()
{
    CRig rig;
    CModuleSim &one = rig.Unit(1);
    CModuleSim &other = rig.Unit(2);
    QVERIFY(one.Start());
    QVERIFY(other.Start());
    const QStringList args{"provision", "--ledger", rig.Ledger(), "--class", "{n:06}"};
    CCliProcess cli(args + QStringList{"--start", "999999", "--port", rig.Port(one), "--port",
                                       rig.Port(other)});
    QCOMPARE(cli.Finish(), 1);
    const bool bOneFits = rig.RecordOf(one)["result"].toString() == "passed";
    const CModuleSim &fits = bOneFits ? one : other;
    const CModuleSim &tooLong = bOneFits ? other : one;
    QCOMPARE(QString::fromStdString(fits.State().strClass), QStringLiteral("999999"));
    QCOMPARE(rig.RecordOf(tooLong)["end"].toString(), QStringLiteral("template_refused"));
    QVERIFY2(cli.Out().contains("--class: \"1000000\" is 7 bytes"), qPrintable(cli.Out()));
    QVERIFY(!HasSetCommands(tooLong));

    CModuleSim &next = rig.Unit(3);
    QVERIFY(next.Start());
    CCliProcess refused(args + QStringList{"--port", rig.Port(next)});
    QCOMPARE(refused.Finish(), 2);
    QVERIFY2(refused.Err().contains("--class: expands to at least 7 bytes"),
             qPrintable(refused.Err()));
    QVERIFY(next.Commands().empty());
}

// SIGKILL while units are being worked: every whole line parses, a cut line is no record, and
// the next run goes on past every value claimed.
void CProvisionTest::killedProcessLeavesALedgerThatParses()
{
    CRig rig;
    SimOptions slow;
    slow.nPaceBaud = 9600;
    std::vector<CModuleSim *> units;
    {
        CCliProcess cli(WatchArgs(rig));
        QVERIFY2(cli.WaitForMessage("watching"), qPrintable(cli.Err()));
        for (int nUnit = 1; nUnit <= 4; ++nUnit) {
            units.push_back(&rig.Unit(nUnit, slow));
            QVERIFY(units.back()->Start());
        }
        QTRY_VERIFY_WITH_TIMEOUT(rig.Records("claim").size() >= 2, kWaitMs);
        cli.Signal(SIGKILL);
        QCOMPARE(cli.Finish(), -1);
    }
    bool bAllParse = false;
    const QList<QJsonObject> claims = rig.Records("claim", &bAllParse);
    QVERIFY(bAllParse);
    int nHighest = 0;
    for (const QJsonObject &claim : claims)
        nHighest = std::max(nHighest, claim["counter"].toInt());
    CModuleSim &after = rig.Unit(5);
    QVERIFY(after.Start());
    CCliProcess next(
        {"provision", "--ledger", rig.Ledger(), "--name", "Unit-{n}", "--port", rig.Port(after)});
    QCOMPARE(next.Finish(), 0);
    QVERIFY(rig.Records("unit", &bAllParse).size() >= 1);
    QVERIFY(bAllParse);
    QCOMPARE(rig.RecordOf(after)["counter"].toInt(), nHighest + 1);
}

void CProvisionTest::badInputExitsTwoBeforeAnythingIsSent_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    const QStringList ledger{"--ledger", "LEDGER"};
    QTest::newRow("missing profile")
        << ledger + QStringList{"--from", "nothing.json"} << "nothing.json";
    QTest::newRow("profile not JSON") << ledger + QStringList{"--from", "units.csv"} << "units.csv";
    QTest::newRow("unknown field") << ledger + QStringList{"--name", "S-{serial}"}
                                   << "--name: character 3: unknown field {serial}";
    QTest::newRow("no such column")
        << ledger + QStringList{"--units", "units.csv", "--name", "{csv:label}"}
        << "no column \"label\"";
    QTest::newRow("column without a units file")
        << ledger + QStringList{"--name", "{csv:label}"} << "give the units file with --units";
    QTest::newRow("ledger in a folder that is a file")
        << QStringList{"--ledger", "units.csv/line.jsonl"} << "cannot open the ledger";
    QTest::newRow("ledger in a missing folder")
        << QStringList{"--ledger", "none/line.jsonl"} << "cannot open the ledger";
    QTest::newRow("ledger in use")
        << QStringList{"--ledger", "locked.jsonl"} << "is in use by another Kestrel";
    QTest::newRow("watch with a port")
        << ledger + QStringList{"--watch"} << "--watch finds the ports itself";
    QTest::newRow("name that can never fit")
        << ledger + QStringList{"--name", "Sensor-{addr}-{addr}"} << "--name: expands to 32 bytes";
    QTest::newRow("no ledger") << QStringList{} << "provision needs --ledger";
}

void CProvisionTest::badInputExitsTwoBeforeAnythingIsSent()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    CRig rig;
    QVERIFY(!WriteFile(rig.File("units.csv"), "addr,serial\n,1\n").isEmpty());
    std::string strError;
    const std::unique_ptr<CLedger> pHeld =
        CLedger::Open(rig.File("locked.jsonl").toStdString(), 1, strError);
    QVERIFY(pHeld);
    CModuleSim &unit = rig.Unit(1);
    QVERIFY(unit.Start());
    for (QString &strArg : args) {
        if (strArg == "LEDGER")
            strArg = rig.Ledger();
        else if (strArg.endsWith(".json") || strArg.endsWith(".csv") || strArg.contains(".jsonl"))
            strArg = rig.File(strArg);
    }
    CCliProcess cli(QStringList{"provision", "--port", rig.Port(unit)} + args);
    QCOMPARE(cli.Finish(), 2);
    QVERIFY2(cli.Err().contains(message), qPrintable(cli.Err()));
    QVERIFY(unit.Commands().empty());
}

void CProvisionTest::pairBindsTheMasterToTheSlave_data()
{
    QTest::addColumn<QStringList>("masterErrors");
    QTest::addColumn<QStringList>("slaveErrors");
    QTest::addColumn<QString>("told"); // stdout
    QTest::newRow("paired") << QStringList{} << QStringList{}
                            << QStringLiteral(
                                   "master 0015830000A1 \u2192 slave 0015830000A2  PASS");
    QTest::newRow("master refuses the binding")
        << QStringList{"AT+BIND="} << QStringList{}
        << "the master " + QStringLiteral("%1") +
               " failed: refused: 设置 [绑定状态] 时超时\n"
               "  master %1 0015830000A1: holds role master, auth on, password 7391, bind off, "
               "bind address none (read after the failure)\n"
               "  slave %2 0015830000A2: holds role slave, auth on, password 4321, bind off, bind "
               "address none (read back)";
    QTest::newRow("slave refuses the password")
        << QStringList{} << QStringList{"AT+PASSWORD="}
        << "the slave %2 failed: refused: 设置 [密码] 时超时\n"
           "  master %1 0015830000A1: untouched\n"
           "  slave %2 0015830000A2: holds role slave, auth on, password 7391, bind off, bind "
           "address none (read after the failure)";
}

// The slave's address becomes the master's binding; both get the password. When one fails, the
// message says which and what each holds, and nothing is reported paired.
void CProvisionTest::pairBindsTheMasterToTheSlave()
{
    QFETCH(QStringList, masterErrors);
    QFETCH(QStringList, slaveErrors);
    QFETCH(QString, told);
    CRig rig;
    SimOptions masterOptions, slaveOptions;
    for (const QString &strCommand : masterErrors)
        masterOptions.errorCommands.push_back(strCommand.toStdString());
    for (const QString &strCommand : slaveErrors)
        slaveOptions.errorCommands.push_back(strCommand.toStdString());
    CModuleSim &master = rig.Unit(1, masterOptions);
    CModuleSim &slave = rig.Unit(2, slaveOptions);
    QVERIFY(master.Start());
    QVERIFY(slave.Start());
    CCliProcess cli({"pair", "--master", rig.Port(master), "--slave", rig.Port(slave), "--password",
                     "4321", "--ledger", rig.Ledger()});
    const bool bPaired = masterErrors.isEmpty() && slaveErrors.isEmpty();
    QCOMPARE(cli.Finish(), bPaired ? 0 : 1);
    QVERIFY2(
        cli.Out().contains(told.replace("%1", rig.Port(master)).replace("%2", rig.Port(slave))),
        qPrintable(cli.Out()));
    const QList<QJsonObject> pairs = rig.Records("pair");
    QCOMPARE(pairs.size(), 1);
    QCOMPARE(pairs[0]["result"].toString(), bPaired ? "passed" : "failed");
    if (!bPaired)
        return;
    const SimState masterState = master.State();
    const SimState slaveState = slave.State();
    QCOMPARE(masterState.nRole, 1);
    QCOMPARE(slaveState.nRole, 0);
    QCOMPARE(masterState.nBind, 1);
    QCOMPARE(masterState.strBindAddr, slaveState.strLocalAddr);
    QCOMPARE(masterState.strPassword, std::string("4321"));
    QCOMPARE(slaveState.strPassword, std::string("4321"));
    QCOMPARE(masterState.nAuth, 1);
    QCOMPARE(slaveState.nAuth, 1);
}

// With --watch the first unit plugged is the master, the next its slave; each pair is recorded.
void CProvisionTest::pairWatchPairsUnitsAsTheyArePlugged()
{
    CRig rig;
    CCliProcess cli({"pair", "--watch", "--watch-glob", rig.Glob(), "--ledger", rig.Ledger()});
    QVERIFY2(cli.WaitForMessage("watching"), qPrintable(cli.Err()));
    std::vector<CModuleSim *> units;
    for (int nUnit = 1; nUnit <= 4; ++nUnit) {
        units.push_back(&rig.Unit(nUnit));
        QVERIFY(units.back()->Start());
        if (nUnit % 2 == 1)
            QVERIFY2(cli.WaitForMessage(rig.Port(*units.back()) + ": plug in its slave"),
                     qPrintable(cli.Err()));
    }
    QTRY_COMPARE_WITH_TIMEOUT(rig.Records("pair").size(), qsizetype(2), kWaitMs);
    cli.Signal(SIGINT);
    QCOMPARE(cli.Finish(), 0);
    QVERIFY2(cli.Out().contains("summary: 2 passed, 0 failed, 0 skipped"), qPrintable(cli.Out()));
    for (size_t i = 0; i < units.size(); i += 2) {
        QCOMPARE(units[i]->State().nRole, 1);
        QCOMPARE(units[i]->State().strBindAddr, units[i + 1]->State().strLocalAddr);
        QCOMPARE(units[i]->State().strPassword, units[i + 1]->State().strPassword);
        QCOMPARE(units[i + 1]->State().nRole, 0);
    }
}

QTEST_GUILESS_MAIN(CProvisionTest)
#include "provision_test.moc"
