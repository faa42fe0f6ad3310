// The program's start without a usable display: a message that says what to do and an error
// code, never Qt's abort.

#include <QFileInfo>
#include <QProcess>
#include <QtTest>

class CAppStartTest : public QObject
{
    Q_OBJECT

private slots:
    void unusableDisplayEndsWithMessage_data();
    void unusableDisplayEndsWithMessage();
};

void CAppStartTest::unusableDisplayEndsWithMessage_data()
{
    QTest::addColumn<QString>("strDisplay");
    QTest::addColumn<QString>("strPlatform");
    QTest::addColumn<QString>("strMessage");
    QTest::newRow("none named") << ""
                                << ""
                                << "kestrel: no display found";
    QTest::newRow("display that cannot be reached") << ":987"
                                                    << ""
                                                    << "kestrel: cannot open the display :987";
    QTest::newRow("platform that does not exist") << ""
                                                  << "kestrel-none"
                                                  << "kestrel: cannot open the display;";
}

void CAppStartTest::unusableDisplayEndsWithMessage()
{
    QFETCH(QString, strDisplay);
    QFETCH(QString, strPlatform);
    QFETCH(QString, strMessage);
    if (QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X987")))
        QSKIP("display :987 exists on this machine");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *pszName : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(pszName));
    if (!strDisplay.isEmpty())
        env.insert(QStringLiteral("DISPLAY"), strDisplay);
    if (!strPlatform.isEmpty())
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), strPlatform);

    QProcess app;
    app.setProcessEnvironment(env);
    app.start(QStringLiteral(KESTREL_APP_PATH), {});
    QVERIFY(app.waitForFinished(30000));
    const QString strErr = QString::fromUtf8(app.readAllStandardError());
    QCOMPARE(app.exitStatus(), QProcess::NormalExit); // no abort
    QCOMPARE(app.exitCode(), 1);
    QVERIFY2(strErr.contains(strMessage), qPrintable(strErr));
}

QTEST_GUILESS_MAIN(CAppStartTest)
#include "app_start_test.moc"
