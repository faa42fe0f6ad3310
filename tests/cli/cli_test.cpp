// kestrel-cli against simulated modules on real pseudo-terminals: what it prints, what it sends,
// and the exit codes scripts rely on.

#include "cli/CliOptions.h"
#include "serial/SerialLink.h"
#include "sim/ModuleSim.h"
#include "tests/cli/CliSupport.h"

#include <memory>

#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

std::unique_ptr<CModuleSim> StartSim(SimOptions options = {})
{
    auto pSim = std::make_unique<CModuleSim>(std::move(options));
    if (!pSim->Start())
        return nullptr;
    return pSim;
}

QString Port(const CModuleSim &sim)
{
    return QString::fromStdString(sim.DevicePath());
}

// The commands of a query run, as they must reach the module.
QStringList QueryCommands()
{
    return {"AT\r\n",        "AT+NAME?\r\n",     "AT+VERSION?\r\n",  "AT+CLASS?\r\n",
            "AT+ROLE?\r\n",  "AT+BIND?\r\n",     "AT+AUTH?\r\n",     "AT+PASSWORD?\r\n",
            "AT+BAUD?\r\n",  "AT+UARTMODE?\r\n", "AT+SCANTIME?\r\n", "AT+SNIFF?\r\n",
            "AT+LADDR?\r\n", "AT+RADDR?\r\n"};
}

QStringList Commands(const CModuleSim &sim)
{
    QStringList commands;
    for (const std::string &strCommand : sim.Commands())
        commands << QString::fromStdString(strCommand);
    return commands;
}

SimState UnusualState()
{
    SimState state;
    state.strName = "Lab Rig 7";
    state.strClass = "001f00";
    state.nRole = 1;
    state.nBind = 1;
    state.nAuth = 0;
    state.nBaud = 115200;
    state.nStopBits = 1;
    state.nParity = 2;
    state.aScan[0] = 2048;
    state.aScan[1] = 18;
    state.aSniff[0] = 800;
    state.aSniff[1] = 80;
    state.strBindAddr = "0012AB34CD56";
    return state;
}

// The bytes each write carried, as --trace shows them ("AT\\r\\n").
QStringList TracedWrites(const QString &strTrace)
{
    static const QRegularExpression kWrite(R"(^ *\d+\.\d{3} (?:\S+ )?TX (.*)$)",
                                           QRegularExpression::MultilineOption);
    QStringList writes;
    for (auto it = kWrite.globalMatch(strTrace); it.hasNext();)
        writes << it.next().captured(1);
    return writes;
}

// One port's "send --json": each command's end, and its reply lines joined by "|".
void ReadSendJson(const QJsonArray &commands, QStringList &ends, QStringList &replies)
{
    for (const QJsonValue &value : commands) {
        const QJsonObject command = value.toObject();
        ends << command["end"].toString();
        QStringList lines;
        for (const QJsonValue &line : command["lines"].toArray())
            lines << line.toString();
        replies << lines.join('|');
    }
}

} // namespace

Q_DECLARE_METATYPE(SimOptions)

// Runs the real binary; every case starts its own simulated modules.
class CCliTest : public QObject
{
    Q_OBJECT

private slots:
    void queryPrintsTheModuleState();
    void queryJsonMatchesTheModuleState();
    void setSendsOnlyWhatDiffers();
    void setDryRunSendsNothing();
    void refusedValuesExitWithTheirMessage_data();
    void refusedValuesExitWithTheirMessage();
    void textsGbkCannotHoldSendNothing_data();
    void textsGbkCannotHoldSendNothing();
    void severalPortsAreWorkedInParallel();
    void portsThatCannotBeOpened();
    void moduleFailuresFollowOnError_data();
    void moduleFailuresFollowOnError();
    void lostPortEndsThatPortsWork();
    void exitCodeFollowsHowTheActionEnded_data();
    void exitCodeFollowsHowTheActionEnded();
    void searchPrintsEachDevice();
    void portsTextAndJsonAgree();
    void badArgumentsAreRefused_data();
    void badArgumentsAreRefused();
    void queryJsonClonesOneModuleOntoTwo();
    void optionsOverrideTheFile();
    void badFilesExitTwoAndSendNothing_data();
    void badFilesExitTwoAndSendNothing();
    void verifyNamesWhatTheModuleDropped_data();
    void verifyNamesWhatTheModuleDropped();
    void traceShowsTheWireInOrder_data();
    void traceShowsTheWireInOrder();
    void englishTextsAndTheEndField_data();
    void englishTextsAndTheEndField();
    void probeNamesTheRateThatAnswers_data();
    void probeNamesTheRateThatAnswers();
    void lineRateReachesAModuleAtAnotherRate_data();
    void lineRateReachesAModuleAtAnotherRate();
    void sendRunsEachCommandInTurn_data();
    void sendRunsEachCommandInTurn();
    void sendPrintsEachPortsReplies();
    void sendRefusesBeforeAnyPortOpens_data();
    void sendRefusesBeforeAnyPortOpens();
    void lateReplyNeverAnswersTheNextRun_data();
    void lateReplyNeverAnswersTheNextRun();
};

void CCliTest::queryPrintsTheModuleState()
{
    auto pSim = StartSim();
    QVERIFY(pSim);
    pSim->SetState(UnusualState());
    const CliRun run = RunCli({"query", "--port", Port(*pSim)});
    QCOMPARE(run.nExitCode, 0);
    QCOMPARE(Commands(*pSim), QueryCommands());
    for (const char *pszLine :
         {"name: Lab Rig 7", "class: 001f00", "baud: 115200", "parity: even", "stop_bits: 2",
          "role: master", "bind: true", "auth: false", "scan.conn_interval: 2048",
          "scan.conn_duration: 18", "sniff.max: 800", "sniff.min: 80", "bind_address: 0012AB34CD56",
          "local_address: 00158300A1B2"})
        QVERIFY2(run.strOut.contains(QString::fromUtf8(pszLine) + "\n"), pszLine);
}

void CCliTest::queryJsonMatchesTheModuleState()
{
    auto pSim = StartSim();
    QVERIFY(pSim);
    const SimState state = pSim->State();
    const CliRun run = RunCli({"query", "--json", "--port", Port(*pSim)});
    QCOMPARE(run.nExitCode, 0);
    const QJsonObject root = QJsonDocument::fromJson(run.strOut.toUtf8()).object();
    QCOMPARE(root["ok"].toBool(), true);
    QCOMPARE(root["status"].toString(), QStringLiteral("查询完成"));
    const QJsonObject params = root["params"].toObject();
    QCOMPARE(params["name"].toString().toStdString(), state.strName);
    QCOMPARE(params["version"].toString().toStdString(), state.strVersion);
    QCOMPARE(params["password"].toString().toStdString(), state.strPassword);
    QCOMPARE(params["baud"].toInteger(), qint64(state.nBaud));
    QCOMPARE(params["auth"].toBool(), state.nAuth == 1);
    QCOMPARE(params["scan"].toObject()["inq_duration"].toInteger(), qint64(state.aScan[3]));
    QCOMPARE(params["sniff"].toObject()["timeout"].toInteger(), qint64(state.aSniff[3]));
    // Nothing bound: the module answers ERROR, which is not a failure.
    QVERIFY(params["bind_address"].isNull());
}

void CCliTest::setSendsOnlyWhatDiffers()
{
    auto pSim = StartSim();
    QVERIFY(pSim);
    const CliRun run = RunCli({"set", "--port", Port(*pSim), "--name", "  Office 1 ", "--baud",
                               "115200", "--role", "master", "--bind", "on", "--bind-addr",
                               "0012AB34CD56 Phone", "--sniff", "800,80,8,8"});
    QCOMPARE(run.nExitCode, 0);
    const QStringList expected =
        QueryCommands() + QStringList{"AT+NAME=Office 1\r\n",    "AT+BAUD=115200\r\n",
                                      "AT+ROLE=1\r\n",           "AT+BIND=1\r\n",
                                      "AT+SNIFF=800,80,8,8\r\n", "AT+RADDR=0012AB34CD56\r\n"};
    QCOMPARE(Commands(*pSim), expected);

    SimState wanted;
    wanted.strName = "Office 1";
    wanted.nBaud = 115200;
    wanted.nRole = 1;
    wanted.nBind = 1;
    wanted.aSniff[0] = 800;
    wanted.aSniff[1] = 80;
    wanted.aSniff[2] = 8;
    wanted.aSniff[3] = 8;
    wanted.strBindAddr = "0012AB34CD56";
    QVERIFY(pSim->State() == wanted);

    // A second run with the same values finds nothing to change.
    pSim->ClearLog();
    const CliRun again =
        RunCli({"set", "--port", Port(*pSim), "--name", "Office 1", "--bind", "on"});
    QCOMPARE(again.nExitCode, 0);
    QCOMPARE(Commands(*pSim), QueryCommands());
}

void CCliTest::setDryRunSendsNothing()
{
    auto pSim = StartSim();
    QVERIFY(pSim);
    const SimState before = pSim->State();
    const CliRun run =
        RunCli({"set", "--dry-run", "--port", Port(*pSim), "--parity", "even", "--stop-bits", "2"});
    QCOMPARE(run.nExitCode, 0);
    QCOMPARE(run.strOut, QStringLiteral("AT+UARTMODE=1,2\nAT+CLEARADDR\n"));
    QCOMPARE(Commands(*pSim), QueryCommands());
    QVERIFY(pSim->State() == before);
}

void CCliTest::refusedValuesExitWithTheirMessage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("class of five") << QStringList{"--class", "12345"} << "类别码长度必须为6";
    QTest::newRow("blank name") << QStringList{"--name", "   "} << "名称不能为空";
    QTest::newRow("duration over interval")
        << QStringList{"--scan", "2048,3000,1024,512"} << "连接持续时间不能大于连接间隔时间";
    QTest::newRow("sniff min over max")
        << QStringList{"--sniff", "0,80,8,8"} << "Sniff最小值不能大于最大值";
    QTest::newRow("short address")
        << QStringList{"--bind-addr", "12345"} << "绑定的蓝牙地址格式不正确";
    QTest::newRow("scan out of range")
        << QStringList{"--scan", "5000,18,2048,18"} << "请输入一个介于 0 和 4096 之间的整数。";
    QTest::newRow("name injecting a command")
        << QStringList{"--name", "A\r\nAT+RESET"} << "名称不能包含控制字符";
    QTest::newRow("unknown baud") << QStringList{"--baud", "300"} << "unsupported baud rate 300";
}

void CCliTest::refusedValuesExitWithTheirMessage()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    auto pSim = StartSim();
    QVERIFY(pSim);
    const CliRun run = RunCli(QStringList{"set", "--port", Port(*pSim)} + args);
    QCOMPARE(run.nExitCode, int(EXIT_CLI_USAGE));
    QVERIFY2(run.strErr.contains(message), qPrintable(run.strErr));
    QCOMPARE(Commands(*pSim), QueryCommands());
}

void CCliTest::textsGbkCannotHoldSendNothing_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("name") << QStringList{"--name", QStringLiteral("\U0001F600")}
                          << "--name: holds U+1F600";
    QTest::newRow("password") << QStringList{"--password", QStringLiteral("12\U0001F600")}
                              << "--password: holds U+1F600";
    QTest::newRow("bind address") << QStringList{"--bind-addr", QStringLiteral("0011223344\u20BF")}
                                  << "--bind-addr: holds U+20BF";
    QTest::newRow("second text, first one fine")
        << QStringList{"--name", QStringLiteral("蓝牙"), "--password", QStringLiteral("\u20BF")}
        << "--password: holds U+20BF";
}

// Such a text would reach the wire as "?" and be answered as a success: refused before any
// port opens.
void CCliTest::textsGbkCannotHoldSendNothing()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    auto pSim = StartSim();
    QVERIFY(pSim);
    const SimState before = pSim->State();
    const CliRun run = RunCli(QStringList{"set", "--port", Port(*pSim)} + args);
    QCOMPARE(run.nExitCode, int(EXIT_CLI_USAGE));
    QVERIFY2(run.strErr.contains(message), qPrintable(run.strErr));
    QVERIFY(Commands(*pSim).isEmpty());
    QVERIFY(pSim->State() == before);
}

void CCliTest::severalPortsAreWorkedInParallel()
{
    std::vector<std::unique_ptr<CModuleSim>> sims;
    QStringList args{"set", "--role", "master"};
    for (int i = 0; i < 4; ++i) {
        SimOptions options;
        options.replyDelay = std::chrono::milliseconds(20);
        sims.push_back(StartSim(options));
        QVERIFY(sims.back());
        args << "--port" << Port(*sims.back());
    }
    const CliRun run = RunCli(args);
    QCOMPARE(run.nExitCode, 0);
    for (const auto &pSim : sims) {
        QCOMPARE(pSim->State().nRole, 1);
        QVERIFY(run.strOut.contains(Port(*pSim) + ": AT+ROLE=1\n"));
        // Each module was driven on its own, one command after the other.
        QCOMPARE(Commands(*pSim).mid(0, 14), QueryCommands());
    }
}

// Whatever this machine has: the text's first lines and the JSON's objects name the same devices
// in the same order, each fact the JSON knows is in the text, and nothing is null but unknowns.
void CCliTest::portsTextAndJsonAgree()
{
    const CliRun text = RunCli({"ports"});
    const CliRun json = RunCli({"ports", "--json"});
    QCOMPARE(text.nExitCode, 0);
    QCOMPARE(json.nExitCode, 0);
    const QJsonDocument doc = QJsonDocument::fromJson(json.strOut.toUtf8());
    QVERIFY2(doc.isArray(), qPrintable(json.strOut));
    QStringList fromText;
    for (const QString &strLine : text.strOut.split('\n', Qt::SkipEmptyParts)) {
        if (!strLine.startsWith(' '))
            fromText << strLine.section('\t', 0, 0);
    }
    QStringList fromJson;
    for (const QJsonValue &port : doc.array()) {
        const QJsonObject object = port.toObject();
        fromJson << object["path"].toString();
        QCOMPARE(object.keys().size(), 7);
        for (const char *pszKey : {"manufacturer", "usb_id", "serial_number", "by_id", "by_path"}) {
            if (object[pszKey].isString())
                QVERIFY(text.strOut.contains(
                    QStringLiteral("  %1: %2\n").arg(pszKey, object[pszKey].toString())));
        }
    }
    QCOMPARE(fromText, fromJson);
}

void CCliTest::portsThatCannotBeOpened()
{
    const CliRun missing = RunCli({"query", "--port", "/dev/kestrel-no-such-port"});
    QCOMPARE(missing.nExitCode, int(EXIT_CLI_PORT));
    QVERIFY(missing.strErr.contains("no such device"));

    auto pSim = StartSim();
    QVERIFY(pSim);
    CSerialLink holder;
    QVERIFY(holder.Open(pSim->DevicePath()));
    const CliRun busy = RunCli({"query", "--port", Port(*pSim)});
    QCOMPARE(busy.nExitCode, int(EXIT_CLI_PORT));
    QVERIFY2(busy.strErr.contains("busy"), qPrintable(busy.strErr));
    // This test is the program that holds it, and is named so (among any other program that
    // kept a pseudo-terminal of the same number open after its other end went).
    QFile comm(QStringLiteral("/proc/self/comm"));
    QVERIFY(comm.open(QIODevice::ReadOnly));
    const QString strHolder = QStringLiteral("%1 (pid %2)")
                                  .arg(QString::fromUtf8(comm.readAll()).trimmed())
                                  .arg(QCoreApplication::applicationPid());
    QVERIFY2(busy.strErr.contains("held by ") && busy.strErr.contains(strHolder),
             qPrintable(busy.strErr));
    holder.Close();

    // One bad port among good ones: the good one is still worked, the worst code is returned.
    const CliRun mixed = RunCli({"query", "--port", Port(*pSim), "--port", "/dev/kestrel-none"});
    QCOMPARE(mixed.nExitCode, int(EXIT_CLI_PORT));
    QVERIFY(mixed.strOut.contains(Port(*pSim) + ": name: CORVA3264\n"));
}

void CCliTest::moduleFailuresFollowOnError_data()
{
    QTest::addColumn<QString>("onError");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("commandCount");
    // The name query is refused: stop ends the run there, continue reads the rest.
    QTest::newRow("stop") << "stop" << int(EXIT_CLI_MODULE) << 2;
    QTest::newRow("continue") << "continue" << int(EXIT_CLI_OK) << 14;
}

void CCliTest::moduleFailuresFollowOnError()
{
    QFETCH(QString, onError);
    QFETCH(int, exitCode);
    QFETCH(int, commandCount);
    SimOptions options;
    options.errorCommands = {"AT+NAME?"};
    auto pSim = StartSim(options);
    QVERIFY(pSim);
    const CliRun run = RunCli({"query", "--port", Port(*pSim), "--on-error", onError});
    QCOMPARE(run.nExitCode, exitCode);
    QCOMPARE(Commands(*pSim).size(), commandCount);
    QVERIFY2(run.strErr.contains("查询 [设备名称] 时失败，是否继续？"), qPrintable(run.strErr));
}

void CCliTest::lostPortEndsThatPortsWork()
{
    SimOptions options;
    options.nHangUpAfter = 3;
    auto pSim = StartSim(options);
    QVERIFY(pSim);
    const CliRun run = RunCli({"query", "--port", Port(*pSim), "--timer-scale", "0.1"});
    QCOMPARE(run.nExitCode, int(EXIT_CLI_MODULE));
    QVERIFY2(run.strErr.contains("went away") || run.strErr.contains("串口已断开"),
             qPrintable(run.strErr));
}

void CCliTest::exitCodeFollowsHowTheActionEnded_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("strError");  // commands the module refuses
    QTest::addColumn<QString>("strSilent"); // commands it leaves unanswered
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("wire");
    const QStringList reset = {"AT+RESET\r\n"};
    const QStringList clear = {"AT+CLEARADDR\r\n"};
    QTest::newRow("defaults done")
        << QStringList{"defaults"} << QString() << QString() << int(EXIT_CLI_OK) << reset;
    QTest::newRow("defaults refused")
        << QStringList{"defaults"} << "AT+RESET" << QString() << int(EXIT_CLI_MODULE) << reset;
    QTest::newRow("defaults timed out")
        << QStringList{"defaults"} << QString() << "AT+RESET" << int(EXIT_CLI_MODULE) << reset;
    QTest::newRow("clear done") << QStringList{"clear-address"} << QString() << QString()
                                << int(EXIT_CLI_OK) << clear;
    QTest::newRow("clear refused") << QStringList{"clear-address"} << "AT+CLEARADDR" << QString()
                                   << int(EXIT_CLI_MODULE) << clear;
    QTest::newRow("clear timed out") << QStringList{"clear-address"} << QString() << "AT+CLEARADDR"
                                     << int(EXIT_CLI_MODULE) << clear;
    // The set run has no failure text of its own: a refusal reads as a timeout, and still fails.
    QTest::newRow("set refused") << QStringList{"set", "--name", "Desk"} << "AT+NAME=" << QString()
                                 << int(EXIT_CLI_MODULE) << (QueryCommands() << "AT+NAME=Desk\r\n");
    // A module bound to nothing, told to stay bound: nothing differs, nothing to send.
    QTest::newRow("set nothing to send") << QStringList{"set", "--bind", "on"} << QString()
                                         << QString() << int(EXIT_CLI_OK) << QueryCommands();
}

void CCliTest::exitCodeFollowsHowTheActionEnded()
{
    QFETCH(QStringList, args);
    QFETCH(QString, strError);
    QFETCH(QString, strSilent);
    QFETCH(int, exitCode);
    QFETCH(QStringList, wire);
    SimOptions options;
    if (!strError.isEmpty())
        options.errorCommands = {strError.toStdString()};
    if (!strSilent.isEmpty())
        options.silentCommands = {strSilent.toStdString()};
    auto pSim = StartSim(options);
    QVERIFY(pSim);
    SimState bound;
    bound.nBind = 1;
    pSim->SetState(bound);
    const CliRun run = RunCli(args + QStringList{"--port", Port(*pSim), "--timer-scale", "0.05"});
    QVERIFY2(run.nExitCode == exitCode, qPrintable(run.strErr));
    QCOMPARE(Commands(*pSim), wire);
}

void CCliTest::searchPrintsEachDevice()
{
    SimOptions options;
    options.inquiryDevices = {
        {"00AABB001122", "Headset"}, {"0011223344AA", "Phone"}, {"0011223344AA", "Phone"}};
    options.inquiryInterval = std::chrono::milliseconds(50);
    auto pSim = StartSim(options);
    QVERIFY(pSim);
    const CliRun run = RunCli({"search", "--port", Port(*pSim), "--timeout", "10"});
    QCOMPARE(run.nExitCode, 0);
    // In the order found, duplicates included.
    QCOMPARE(run.strOut, QStringLiteral("00AABB001122 Headset\n0011223344AA Phone\n"
                                        "0011223344AA Phone\n"));
    QCOMPARE(Commands(*pSim), QStringList{"AT+INQ\r\n"});
}

void CCliTest::badArgumentsAreRefused_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("no command") << QStringList{"--port", "/dev/null"};
    QTest::newRow("no port") << QStringList{"query"};
    QTest::newRow("bad parity") << QStringList{"set", "--port", "x", "--parity", "mark"};
    QTest::newRow("three scan numbers") << QStringList{"set", "--port", "x", "--scan", "1,2,3"};
    QTest::newRow("signed sniff") << QStringList{"set", "--port", "x", "--sniff", "-1,0,0,0"};
    QTest::newRow("set option on query") << QStringList{"query", "--port", "x", "--name", "A"};
    QTest::newRow("dry run on query") << QStringList{"query", "--port", "x", "--dry-run"};
    QTest::newRow("missing value") << QStringList{"query", "--port"};
    QTest::newRow("bad timeout") << QStringList{"search", "--port", "x", "--timeout", "0"};
    QTest::newRow("verify on query") << QStringList{"query", "--port", "x", "--verify"};
    QTest::newRow("verify with dry run")
        << QStringList{"set", "--port", "x", "--verify", "--dry-run"};
    QTest::newRow("from on query") << QStringList{"query", "--port", "x", "--from", "f.json"};
    QTest::newRow("line rate off the list") << QStringList{"query", "--port", "x", "--line-rate", "14400"};
    QTest::newRow("line rate not a number") << QStringList{"query", "--port", "x", "--line-rate", "fast"};
    QTest::newRow("line rate on probe") << QStringList{"probe", "--port", "x", "--line-rate", "9600"};
    QTest::newRow("rts under the handshake")
        << QStringList{"query", "--port", "x", "--flow", "hardware", "--rts", "off"};
    QTest::newRow("rts on under the handshake")
        << QStringList{"set", "--port", "x", "--rts", "on", "--flow", "hardware", "--name", "A"};
    QTest::newRow("dtr neither on nor off") << QStringList{"query", "--port", "x", "--dtr", "low"};
    QTest::newRow("send, nothing to send") << QStringList{"send", "--port", "x"};
    QTest::newRow("send, commands and a script")
        << QStringList{"send", "--port", "x", "AT", "--script", "f.txt"};
    QTest::newRow("send, unknown ending")
        << QStringList{"send", "--port", "x", "--eol", "crcr", "AT"};
    QTest::newRow("send, no wait") << QStringList{"send", "--port", "x", "--wait", "0", "AT"};
    QTest::newRow("ending on query") << QStringList{"query", "--port", "x", "--eol", "cr"};
    QTest::newRow("provision without a port") << QStringList{"provision", "--ledger", "l"};
    QTest::newRow("watch glob without watch")
        << QStringList{"provision", "--ledger", "l", "--port", "x", "--watch-glob", "/tmp/u*"};
    QTest::newRow("negative start")
        << QStringList{"provision", "--ledger", "l", "--port", "x", "--start", "-1"};
    QTest::newRow("again on set") << QStringList{"set", "--port", "x", "--again"};
    QTest::newRow("master on provision")
        << QStringList{"provision", "--ledger", "l", "--port", "x", "--master", "y"};
    QTest::newRow("pair with one module") << QStringList{"pair", "--master", "x"};
    QTest::newRow("pair with a name")
        << QStringList{"pair", "--master", "x", "--slave", "y", "--name", "A"};
}

void CCliTest::badArgumentsAreRefused()
{
    QFETCH(QStringList, args);
    std::vector<std::string> argv;
    for (const QString &arg : args)
        argv.push_back(arg.toStdString());
    QVERIFY(!ParseCliArguments(argv).bOk);
    const CliRun run = RunCli(args);
    QCOMPARE(run.nExitCode, int(EXIT_CLI_USAGE));
    QVERIFY(run.strOut.isEmpty());
}

// What a module holds that a configuration carries: all but its version and its own address.
SimState Settable(SimState state)
{
    state.strVersion.clear();
    state.strLocalAddr.clear();
    return state;
}

void CCliTest::queryJsonClonesOneModuleOntoTwo()
{
    auto pSource = StartSim();
    auto pFirst = StartSim();
    auto pSecond = StartSim();
    QVERIFY(pSource && pFirst && pSecond);
    pSource->SetState(UnusualState());
    const CliRun query = RunCli({"query", "--json", "--port", Port(*pSource)});
    QCOMPARE(query.nExitCode, 0);
    QTemporaryDir dir;
    const QString strFile = WriteFile(dir.filePath("f.json"), query.strOut.toUtf8());
    QVERIFY(!strFile.isEmpty());

    const CliRun set = RunCli(
        {"set", "--from", strFile, "--verify", "--port", Port(*pFirst), "--port", Port(*pSecond)});
    QCOMPARE(set.nExitCode, 0);
    for (const CModuleSim *pClone : {pFirst.get(), pSecond.get()}) {
        QVERIFY2(Settable(pClone->State()) == Settable(pSource->State()),
                 qPrintable(Port(*pClone)));
        QVERIFY(set.strOut.contains(Port(*pClone) + ": AT+NAME=Lab Rig 7\n"));
    }
}

void CCliTest::optionsOverrideTheFile()
{
    auto pSim = StartSim();
    QVERIFY(pSim);
    QTemporaryDir dir;
    const QString strFile =
        WriteFile(dir.filePath("f.json"), R"({"params": {"name": "From file", "role": "master"}})");
    const CliRun run = RunCli(
        {"set", "--dry-run", "--from", strFile, "--name", "From option", "--port", Port(*pSim)});
    QCOMPARE(run.nExitCode, 0);
    QCOMPARE(run.strOut, QStringLiteral("AT+NAME=From option\nAT+ROLE=1\nAT+CLEARADDR\n"));
}

void CCliTest::badFilesExitTwoAndSendNothing_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("named");
    QTest::newRow("malformed") << QByteArray(R"({"params": {"name": "A")") << "not valid JSON";
    QTest::newRow("refused value")
        << QByteArray(R"({"params": {"class": "12345"}})") << "params.class: 类别码长度必须为6";
    QTest::newRow("unknown key") << QByteArray(R"({"params": {"nmae": "A"}})") << "params.nmae";
    QTest::newRow("wrong type") << QByteArray(R"({"params": {"bind": "on"}})") << "params.bind";
}

void CCliTest::badFilesExitTwoAndSendNothing()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, named);
    auto pSim = StartSim();
    QVERIFY(pSim);
    QTemporaryDir dir;
    const QString strFile = WriteFile(dir.filePath("f.json"), text);
    const CliRun run = RunCli({"set", "--from", strFile, "--port", Port(*pSim)});
    QCOMPARE(run.nExitCode, int(EXIT_CLI_USAGE));
    QVERIFY2(run.strErr.contains(named), qPrintable(run.strErr));
    QVERIFY(run.strOut.isEmpty());
    QVERIFY(pSim->Commands().empty());
}

void CCliTest::verifyNamesWhatTheModuleDropped_data()
{
    QTest::addColumn<QString>("forget");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("named");
    QTest::newRow("name") << "AT+NAME=" << QStringList{"--name", "Office 1", "--role", "master"}
                          << QStringList{"name asked \"Office 1\", read \"CORVA3264\""};
    QTest::newRow("sniff") << "AT+SNIFF=" << QStringList{"--sniff", "800,80,8,8"}
                           << QStringList{"sniff.max asked 800, read 0",
                                          "sniff.timeout asked 8, read 0"};
}

void CCliTest::verifyNamesWhatTheModuleDropped()
{
    QFETCH(QString, forget);
    QFETCH(QStringList, args);
    QFETCH(QStringList, named);
    SimOptions options;
    options.forgetCommands = {forget.toStdString()};
    auto pSim = StartSim(options);
    QVERIFY(pSim);
    const CliRun run = RunCli(QStringList{"set", "--verify", "--port", Port(*pSim)} + args);
    QCOMPARE(run.nExitCode, int(EXIT_CLI_MODULE));
    for (const QString &strNamed : named)
        QVERIFY2(run.strErr.contains(strNamed), qPrintable(run.strErr));
    QVERIFY2(!run.strErr.contains("role"), qPrintable(run.strErr)); // kept, so not named
    // The set run, then the reading back.
    QCOMPARE(Commands(*pSim).mid(Commands(*pSim).size() - 14), QueryCommands());
}

void CCliTest::traceShowsTheWireInOrder_data()
{
    QTest::addColumn<int>("portCount");
    QTest::newRow("one port") << 1;
    QTest::newRow("two ports") << 2;
}

// "  12.345 [PORT] TX AT\r\n": per port, each command goes out after the reply to the one before
// has come in, the time stamps never go back, and the port is named only when there are several.
void CCliTest::traceShowsTheWireInOrder()
{
    QFETCH(int, portCount);
    std::vector<std::unique_ptr<CModuleSim>> sims;
    QStringList args{"query", "--trace"};
    for (int i = 0; i < portCount; ++i) {
        sims.push_back(StartSim());
        QVERIFY(sims.back());
        args << "--port" << Port(*sims.back());
    }
    const CliRun run = RunCli(args);
    QCOMPARE(run.nExitCode, 0);
    const QRegularExpression line(R"(^ *(\d+\.\d{3}) (?:(\S+) )?(TX|RX) (.*)$)");
    QHash<QString, QStringList> sent;
    QHash<QString, QString> lastDirection;
    double dLastMs = 0;
    for (const QString &strLine : run.strErr.split('\n', Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch match = line.match(strLine);
        QVERIFY2(match.hasMatch(), qPrintable(strLine));
        const QString strPort = match.captured(2);
        QCOMPARE(strPort.isEmpty(), portCount == 1);
        QVERIFY2(match.captured(1).toDouble() >= dLastMs, qPrintable(strLine));
        dLastMs = match.captured(1).toDouble();
        if (match.captured(3) == "TX") {
            QVERIFY2(lastDirection.value(strPort, "RX") == "RX", qPrintable(strLine));
            sent[strPort] << match.captured(4).replace("\\r\\n", "\r\n");
        }
        lastDirection[strPort] = match.captured(3);
    }
    QCOMPARE(sent.size(), portCount);
    for (const QStringList &commands : std::as_const(sent))
        QCOMPARE(commands, QueryCommands());
}

// Under an English locale the texts the engine passes on are English; the JSON's keys, its other
// values, its "end" and the exit code are the same as under the tool's own Chinese.
void CCliTest::englishTextsAndTheEndField_data()
{
    QTest::addColumn<QString>("strError");  // commands the module refuses
    QTest::addColumn<QString>("strSilent"); // commands it leaves unanswered
    QTest::addColumn<int>("nHangUpAfter");
    QTest::addColumn<QString>("strEnd");
    QTest::addColumn<QString>("strEnglish"); // the status (or, when the port failed, the error)
    QTest::addColumn<QString>("strChinese");
    QTest::newRow("done") << QString() << QString() << 0 << "done"
                          << "Query finished"
                          << "查询完成";
    QTest::newRow("refused") << "AT+NAME" << QString() << 0 << "refused"
                             << "Querying [device name] failed"
                             << "查询[设备名称]时失败";
    QTest::newRow("timed out") << QString() << "AT+NAME" << 0 << "timed_out"
                               << "Querying [device name] timed out"
                               << "查询 [设备名称] 时超时";
    QTest::newRow("port lost") << QString() << QString() << 3 << "port_lost"
                               << "The serial port was disconnected; please check the connection"
                               << "串口已断开，请检查连接";
}

void CCliTest::englishTextsAndTheEndField()
{
    QFETCH(QString, strError);
    QFETCH(QString, strSilent);
    QFETCH(int, nHangUpAfter);
    QFETCH(QString, strEnd);
    QFETCH(QString, strEnglish);
    QFETCH(QString, strChinese);
    QJsonObject reports[2];
    int exitCodes[2] = {};
    const QStringList environments[2] = {
        {"LANGUAGE=", "LC_ALL=", "LC_MESSAGES=", "LANG=en_US.UTF-8"},
        {"LANGUAGE=", "LC_ALL=", "LC_MESSAGES=", "LANG=C.UTF-8"}};
    for (int i = 0; i < 2; ++i) {
        SimOptions options;
        if (!strError.isEmpty())
            options.errorCommands = {strError.toStdString()};
        if (!strSilent.isEmpty())
            options.silentCommands = {strSilent.toStdString()};
        options.nHangUpAfter = nHangUpAfter;
        auto pSim = StartSim(options);
        QVERIFY(pSim);
        const CliRun run =
            RunCli({"query", "--json", "--port", Port(*pSim), "--timer-scale", "0.05"}, 60000,
                   environments[i]);
        exitCodes[i] = run.nExitCode;
        reports[i] = QJsonDocument::fromJson(run.strOut.toUtf8()).object();
        QCOMPARE(reports[i]["end"].toString(), strEnd);
    }
    QCOMPARE(reports[0]["status"].toString(), strEnglish);
    QCOMPARE(reports[1]["status"].toString(), strChinese);
    QCOMPARE(exitCodes[0], exitCodes[1]);
    for (QJsonObject &report : reports) {
        report.remove("status");
        report.remove("port");
        report.remove("error");
    }
    QCOMPARE(reports[0], reports[1]);
}

void CCliTest::probeNamesTheRateThatAnswers_data()
{
    QTest::addColumn<SimOptions>("options");
    QTest::addColumn<int>("nExitCode");
    QTest::addColumn<QString>("strRate"); // what --json gives; "null" when none answered
    QTest::addColumn<int>("nUnderstood");  // commands the module understood
    SimOptions at9600;
    at9600.nAtRate = 9600;
    SimOptions at38400;
    at38400.nAtRate = 38400;
    SimOptions atHighest;
    atHighest.nAtRate = 1382400;
    atHighest.split = SimSplit::ByteByByte;
    SimOptions noiseOnly; // a rate the probe never tries: noise whatever it tries
    noiseOnly.nAtRate = 1000000;
    SimOptions silent;
    silent.silentCommands = {"AT"};
    // 9600 is tried first and costs one "AT"; elsewhere the answer is asked for twice.
    QTest::newRow("9600") << at9600 << 0 << "9600" << 1;
    QTest::newRow("38400") << at38400 << 0 << "38400" << 2;
    QTest::newRow("1382400, byte by byte") << atHighest << 0 << "1382400" << 2;
    QTest::newRow("noise at every rate") << noiseOnly << 1 << "null" << 0;
    QTest::newRow("no answer at all") << silent << 1 << "null" << 0;
}

void CCliTest::probeNamesTheRateThatAnswers()
{
    QFETCH(SimOptions, options);
    QFETCH(int, nExitCode);
    QFETCH(QString, strRate);
    QFETCH(int, nUnderstood);
    auto pSim = StartSim(options);
    QVERIFY(pSim);
    const CliRun run = RunCli({"probe", "--port", Port(*pSim)}, 30000);
    QCOMPARE(run.nExitCode, nExitCode);
    QCOMPARE(run.strOut, nExitCode == 0 ? strRate + "\n" : QString());
    QCOMPARE(run.strErr.contains("module is in command mode"), nExitCode != 0);
    const int nHeard = int(pSim->Commands().size());
    if (options.silentCommands.empty())
        QCOMPARE(nHeard, nUnderstood);

    const CliRun json = RunCli({"probe", "--json", "--port", Port(*pSim)}, 30000);
    QCOMPARE(json.nExitCode, nExitCode);
    const QJsonObject object = QJsonDocument::fromJson(json.strOut.toUtf8()).object();
    QCOMPARE(object.value("port").toString(), Port(*pSim));
    QCOMPARE(QJsonDocument(QJsonArray{object.value("line_rate")}).toJson(QJsonDocument::Compact),
             ("[" + strRate + "]").toUtf8());
}

void CCliTest::lineRateReachesAModuleAtAnotherRate_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("nExitCode");
    QTest::addColumn<QString>("strErr"); // part of stderr
    QTest::addColumn<QString>("strName"); // the module's name afterwards
    QTest::newRow("query at 38400") << QStringList{"query", "--line-rate", "38400"} << 0
                                    << QString() << "CORVA3264";
    QTest::newRow("query, rate probed")
        << QStringList{"query", "--line-rate", "auto"} << 0
        << "line rate 38400 (found by the probe)" << "CORVA3264";
    QTest::newRow("set at 38400, DTR and RTS low")
        << QStringList{"set", "--line-rate", "38400", "--name", "Bench", "--dtr", "off", "--rts",
                       "off"}
        << 0 << QString() << "Bench";
    QTest::newRow("set, rate probed")
        << QStringList{"set", "--line-rate", "auto", "--name", "Bench"} << 0
        << "line rate 38400 (found by the probe)" << "Bench";
    QTest::newRow("query at the default rate") << QStringList{"query"} << 1
                                               << "try `kestrel-cli probe`" << "CORVA3264";
    QTest::newRow("set at another wrong rate")
        << QStringList{"set", "--line-rate", "115200", "--name", "Bench"} << 1
        << "try `kestrel-cli probe`" << "CORVA3264";
}

// A module whose command interface answers only at 38400.
void CCliTest::lineRateReachesAModuleAtAnotherRate()
{
    QFETCH(QStringList, args);
    QFETCH(int, nExitCode);
    QFETCH(QString, strErr);
    QFETCH(QString, strName);
    SimOptions options;
    options.nAtRate = 38400;
    auto pSim = StartSim(options);
    QVERIFY(pSim);
    const CliRun run = RunCli(args + QStringList{"--port", Port(*pSim), "--timer-scale", "0.1"});
    QCOMPARE(run.nExitCode, nExitCode);
    QVERIFY2(run.strErr.contains(strErr), qPrintable(run.strErr));
    QCOMPARE(QString::fromStdString(pSim->State().strName), strName);
    // The whole reading reached the module, understood, in order.
    QCOMPARE(Commands(*pSim).join("").contains(QueryCommands().join("")), nExitCode == 0);
}

void CCliTest::sendRunsEachCommandInTurn_data()
{
    using namespace std::chrono_literals;
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("script"); // when given, sent with --script
    QTest::addColumn<SimOptions>("options");
    QTest::addColumn<QStringList>("writes"); // as --trace shows them
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("ends");
    QTest::addColumn<QStringList>("replies"); // each command's lines joined by "|"; none: unchecked
    const SimOptions plain;
    SimOptions silentState;
    silentState.silentCommands = {"AT+STATE"};
    // Its reading's step is answered late, after the next command went out; the name refused.
    SimOptions lateAddress;
    lateAddress.lateCommands = {{"AT+LADDR?", 3500ms}};
    lateAddress.errorCommands = {"AT+NAME="};
    QTest::newRow("two commands") << QStringList{"AT", "AT+STATE?"} << QByteArray() << plain
                                  << QStringList{"AT\\r\\n", "AT+STATE?\\r\\n"} << 0
                                  << QStringList{"ok", "ok"}
                                  << QStringList{"OK", "+STATE:INITIALIZED|OK"};
    QTest::newRow("script, LF") << QStringList{"--eol", "lf"}
                                << QByteArray("# setup\n\nAT\n  # reading\r\nAT+VERSION?\r\n")
                                << plain << QStringList{"AT\\n", "AT+VERSION?\\n"} << 0
                                << QStringList{"ok", "ok"}
                                << QStringList{"OK", "+VERSION:V4.25|OK"};
    QTest::newRow("escapes, CR") << QStringList{"--eol", "cr", "AT+NAME=A\\x42\\\\"} << QByteArray()
                                 << plain << QStringList{"AT+NAME=AB\\\\\\r"} << 0
                                 << QStringList{"ok"} << QStringList{"OK"};
    QTest::newRow("GBK text") << QStringList{QStringLiteral("AT+NAME=蓝牙")} << QByteArray()
                              << plain << QStringList{"AT+NAME=\\xC0\\xB6\\xD1\\xC0\\r\\n"} << 0
                              << QStringList{"ok"} << QStringList{"OK"};
    QTest::newRow("refusal stops")
        << QStringList{"AT+FOO", "AT"} << QByteArray() << plain << QStringList{"AT+FOO\\r\\n"} << 1
        << QStringList{"refused"} << QStringList{"ERROR(1F)"};
    QTest::newRow("refusal, continue")
        << QStringList{"--on-error", "continue", "AT+FOO", "AT"} << QByteArray() << plain
        << QStringList{"AT+FOO\\r\\n", "AT\\r\\n"} << 1 << QStringList{"refused", "ok"}
        << QStringList{"ERROR(1F)", "OK"};
    QTest::newRow("silence stops")
        << QStringList{"--timer-scale", "0.05", "AT+STATE?", "AT"} << QByteArray() << silentState
        << QStringList{"AT+STATE?\\r\\n"} << 1 << QStringList{"timed_out"} << QStringList{""};
    QTest::newRow("no ending, never complete")
        << QStringList{"--timer-scale", "0.05", "--eol", "none", "AT"} << QByteArray() << plain
        << QStringList{"AT"} << 1 << QStringList{"timed_out"} << QStringList{""};
    // The late "OK" is the address query's, never the name's.
    QTest::newRow("late reply, continue")
        << QStringList{"--wait", "2000", "--on-error", "continue", "AT+LADDR?", "AT+NAME=NEW"}
        << QByteArray() << lateAddress << QStringList{"AT+LADDR?\\r\\n", "AT+NAME=NEW\\r\\n"} << 1
        << QStringList{"timed_out", "refused"} << QStringList();
}

void CCliTest::sendRunsEachCommandInTurn()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, script);
    QFETCH(SimOptions, options);
    QFETCH(QStringList, writes);
    QFETCH(int, exitCode);
    QFETCH(QStringList, ends);
    QFETCH(QStringList, replies);
    auto pSim = StartSim(options);
    QVERIFY(pSim);
    QTemporaryDir dir;
    if (!script.isEmpty())
        args << "--script" << WriteFile(dir.filePath("commands.txt"), script);
    const CliRun run =
        RunCli(QStringList{"send", "--json", "--trace", "--port", Port(*pSim)} + args);
    QVERIFY2(run.nExitCode == exitCode, qPrintable(run.strErr));
    QCOMPARE(TracedWrites(run.strErr), writes);
    const QJsonDocument doc = QJsonDocument::fromJson(run.strOut.toUtf8());
    QVERIFY2(doc.isArray(), qPrintable(run.strOut));
    QStringList gotEnds;
    QStringList gotReplies;
    ReadSendJson(doc.array(), gotEnds, gotReplies);
    QCOMPARE(gotEnds, ends);
    if (!replies.isEmpty())
        QCOMPARE(gotReplies, replies);
}

// Text: each port's lines in order, prefixed when there are several; --json: {"ports": [...]}.
void CCliTest::sendPrintsEachPortsReplies()
{
    auto pFirst = StartSim();
    auto pSecond = StartSim();
    QVERIFY(pFirst && pSecond);
    const QStringList args{"send",        "AT",     "AT+STATE?",   "--port",
                           Port(*pFirst), "--port", Port(*pSecond)};
    const CliRun text = RunCli(args);
    QCOMPARE(text.nExitCode, 0);
    const CliRun json = RunCli(args + QStringList{"--json"});
    QCOMPARE(json.nExitCode, 0);
    const QJsonArray ports = QJsonDocument::fromJson(json.strOut.toUtf8())["ports"].toArray();
    QCOMPARE(ports.size(), 2);
    for (const CModuleSim *pSim : {pFirst.get(), pSecond.get()}) {
        const QString strPrefix = Port(*pSim) + ": ";
        QStringList lines;
        for (const QString &strLine : text.strOut.split('\n')) {
            if (strLine.startsWith(strPrefix))
                lines << strLine.mid(strPrefix.size());
        }
        QCOMPARE(lines, (QStringList{"> AT", "OK", "[ok]", "> AT+STATE?", "+STATE:INITIALIZED",
                                     "OK", "[ok]"}));
        const QJsonObject port = ports[pSim == pFirst.get() ? 0 : 1].toObject();
        QCOMPARE(port["port"].toString(), Port(*pSim));
        QCOMPARE(port["commands"][1]["port"].toString(), Port(*pSim));
        QStringList ends;
        QStringList replies;
        ReadSendJson(port["commands"].toArray(), ends, replies);
        QCOMPARE(replies, (QStringList{"OK", "+STATE:INITIALIZED|OK"}));
    }
}

void CCliTest::sendRefusesBeforeAnyPortOpens_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("script"); // when given, sent with --script
    QTest::addColumn<QString>("message");
    QTest::newRow("not GBK") << QStringList{"AT", QStringLiteral("AT+NAME=\U0001F600")}
                             << QByteArray() << QStringLiteral("无法用 GBK 编码");
    QTest::newRow("bad escape") << QStringList{"AT", "AT\\q"} << QByteArray() << "无效的转义 \\q";
    QTest::newRow("over-long") << QStringList{"AT", "AT+NAME=" + QString(119, 'x')} << QByteArray()
                               << "命令太长";
    QTest::newRow("control byte on line 3")
        << QStringList() << QByteArray("AT\n# tab below\nAT+NAME=a\tb\n") << "line 3: ";
    QTest::newRow("only comments")
        << QStringList() << QByteArray("# nothing\n\n") << "no command in it";
    QTest::newRow("larger than a configuration file")
        << QStringList() << QByteArray(1024 * 1024 + 1, 'A') << "not a command script";
}

// A command the module cannot be sent refuses the whole run: no port hears anything.
void CCliTest::sendRefusesBeforeAnyPortOpens()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, script);
    QFETCH(QString, message);
    auto pFirst = StartSim();
    auto pSecond = StartSim();
    QVERIFY(pFirst && pSecond);
    QTemporaryDir dir;
    if (!script.isEmpty())
        args << "--script" << WriteFile(dir.filePath("commands.txt"), script);
    const CliRun run = RunCli(
        QStringList{"send", "--port", Port(*pFirst), "--port", Port(*pSecond), "--trace"} + args);
    QCOMPARE(run.nExitCode, int(EXIT_CLI_USAGE));
    QVERIFY2(run.strErr.contains(message) && run.strErr.contains("nothing was sent"),
             qPrintable(run.strErr));
    QVERIFY(run.strOut.isEmpty());
    QVERIFY(TracedWrites(run.strErr).isEmpty());
    QVERIFY(pFirst->Commands().empty() && pSecond->Commands().empty());
}

void CCliTest::lateReplyNeverAnswersTheNextRun_data()
{
    QTest::addColumn<QStringList>("first");
    QTest::addColumn<QStringList>("second");
    QTest::addColumn<QString>("told"); // part of the second run's output
    QTest::newRow("query, then set")
        << QStringList{"query", "--on-error", "stop"} << QStringList{"set", "--name", "NEWNAME"}
        << QStringLiteral("设置 [设备名称]");
    QTest::newRow("send, then send")
        << QStringList{"send", "--wait", "2000", "--on-error", "stop", "AT+LADDR?"}
        << QStringList{"send", "--json", "AT+NAME=NEWNAME"} << "\"end\": \"refused\"";
}

// The module answers a step 3.5 s late, after its 2 s; the run stops there (No) and the next
// run, started at once, sets a name the module refuses: the late "OK" must not answer it.
void CCliTest::lateReplyNeverAnswersTheNextRun()
{
    using namespace std::chrono_literals;
    QFETCH(QStringList, first);
    QFETCH(QStringList, second);
    QFETCH(QString, told);
    SimOptions options;
    options.lateCommands = {{"AT+LADDR?", 3500ms}};
    options.errorCommands = {"AT+NAME="};
    auto pSim = StartSim(options);
    QVERIFY(pSim);
    SimState bound; // the address query answers "OK", as the late line does
    bound.nBind = 1;
    bound.strBindAddr = "0012AB34CD56";
    pSim->SetState(bound);
    const CliRun stopped = RunCli(first + QStringList{"--port", Port(*pSim)});
    QCOMPARE(stopped.nExitCode, int(EXIT_CLI_MODULE));
    options.lateCommands.clear(); // only that one reply was late
    pSim->SetOptions(options);
    const CliRun run = RunCli(second + QStringList{"--port", Port(*pSim)});
    QVERIFY2(run.nExitCode == EXIT_CLI_MODULE, qPrintable(run.strErr));
    QVERIFY2((run.strOut + run.strErr).contains(told), qPrintable(run.strOut + run.strErr));
    QCOMPARE(pSim->State().strName, bound.strName);
}

QTEST_GUILESS_MAIN(CCliTest)
#include "cli_test.moc"
