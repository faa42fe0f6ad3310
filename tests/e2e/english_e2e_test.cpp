// The window in English against the simulated module: the main flows read in English, every text
// fits its control, and the Chinese texts stay exactly as they were when Chinese is chosen.

#include "qt/PortSelectDlg.h"
#include "qt/ProfileQt.h"
#include "qt/UiLanguageQt.h"
#include "tests/e2e/E2eSupport.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>

using namespace e2e;

namespace {

bool HasChinese(const QString &strText)
{
    static const QRegularExpression han(QStringLiteral("\\p{Han}"));
    return strText.contains(han);
}

// Every label, button and check box shows its whole text and covers no other control; group
// boxes are frames that controls sit on, and the sliders' labels sit on their group's title.
QStringList FitProblems(const QWidget &window)
{
    QStringList problems;
    const QList<QWidget *> widgets = window.findChildren<QWidget *>();
    for (QWidget *pWidget : widgets) {
        QString strText;
        int nExtra = 0;
        if (auto *pLabel = qobject_cast<QLabel *>(pWidget))
            strText = pLabel->text();
        else if (auto *pCheck = qobject_cast<QCheckBox *>(pWidget))
            strText = pCheck->text(), nExtra = 18; // the box before the text
        else if (auto *pButton = qobject_cast<QPushButton *>(pWidget))
            strText = pButton->text(), nExtra = 4;
        if (strText.isEmpty() || !pWidget->isVisibleTo(&window))
            continue;
        const QString strShown = QString(strText).remove(QLatin1Char('&'));
        if (pWidget->fontMetrics().horizontalAdvance(strShown) + nExtra > pWidget->width())
            problems << "clipped: " + strShown;
        if (!qobject_cast<QLabel *>(pWidget))
            continue;
        for (QWidget *pOther : widgets) {
            if (pOther == pWidget || pOther->parentWidget() != pWidget->parentWidget() ||
                qobject_cast<QGroupBox *>(pOther) || qobject_cast<QSlider *>(pOther) ||
                !pOther->isVisibleTo(&window))
                continue;
            if (pWidget->geometry().intersects(pOther->geometry()))
                problems << "overlaps: " + strShown;
        }
    }
    return problems;
}

} // namespace

class CEnglishE2eTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        CModuleSetupDlg::SetTimerScaleForTesting(kQuietTimerScale);
        ApplyUiLanguage(EUiLanguage::English);
    }
    void cleanup() { ApplyUiLanguage(EUiLanguage::Chinese); }
    void portDialogReadsInEnglish();
    void queryAndSetReadInEnglish();
    void timeoutPromptAnsweredYesThenNo();
    void busyPortSaysSoInEnglish();
    void everyTextFits_data();
    void everyTextFits();
    void profileChoiceKeepsChineseUnderAnEnglishSystem();
};

void CEnglishE2eTest::portDialogReadsInEnglish()
{
    CPortSelectDlg dlg;
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Connect serial port"));
    QCOMPARE(Items(dlg.m_pComboFlow), QStringList({"None", "Hardware"}));
    for (const QAbstractButton *pButton : dlg.findChildren<QAbstractButton *>())
        QVERIFY2(!HasChinese(pButton->text()), qPrintable(pButton->text()));
    for (const QLabel *pLabel : dlg.findChildren<QLabel *>())
        QVERIFY2(!HasChinese(pLabel->text()), qPrintable(pLabel->text()));
}

void CEnglishE2eTest::queryAndSetReadInEnglish()
{
    CModuleSim sim;
    E2E_START_SIM(sim);
    CScriptedDlg dlg;
    QVERIFY(dlg.StartSession(QString::fromStdString(sim.DevicePath()), FLOW_NONE));
    QCOMPARE(dlg.windowTitle(),
             QStringLiteral("Embedded module parameter setting tool V4.25.20051116"));
    QTRY_COMPARE_WITH_TIMEOUT(Status(dlg), QStringLiteral("Query finished"), kWaitMs);
    QCOMPARE(dlg.m_statusTexts.mid(0, 2),
             QStringList({"Ready", "Querying the embedded module's parameters..."}));
    QCOMPARE(Items(Combo(dlg, IDC_COMBO_PARITY)), QStringList({"None", "Odd", "Even", ""}));
    QCOMPARE(Combo(dlg, IDC_COMBO_PARITY)->currentText(), QStringLiteral("None"));
    // The module's own texts are data: never translated.
    QCOMPARE(Text(dlg, IDC_EDIT_NAME), QStringLiteral("CORVA3264"));

    Edit(dlg, IDC_EDIT_NAME)->setText(QStringLiteral("Desk"));
    Combo(dlg, IDC_COMBO_PARITY)->setCurrentIndex(2);
    Click(dlg, IDC_BUTTON_SET);
    QTRY_COMPARE_WITH_TIMEOUT(Status(dlg), QStringLiteral("Setting finished"), kWaitMs);
    QVERIFY(Wire(sim).contains(QStringLiteral("AT+NAME=Desk\r\n")));
    QCOMPARE(sim.State().nParity, 2); // the list maps by index, whatever it reads
    QVERIFY(dlg.m_statusTexts.contains(QStringLiteral("Setting the parameters...")));
}

void CEnglishE2eTest::timeoutPromptAnsweredYesThenNo()
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

    QTRY_COMPARE_WITH_TIMEOUT(Status(dlg), QStringLiteral("Querying [device name] timed out"),
                              kWaitMs);
    QCOMPARE(clicker.m_texts, QStringList({"Querying [test command] timed out. Go on?",
                                           "Querying [device name] timed out. Go on?"}));
    QCOMPARE(clicker.m_captions, QStringList({"Notice", "Notice"}));
    QCOMPARE(Wire(sim), QStringList({"AT\r\n", "AT+NAME?\r\n"}));
}

void CEnglishE2eTest::busyPortSaysSoInEnglish()
{
    CModuleSim sim;
    E2E_START_SIM(sim);
    CSerialLink holder;
    QVERIFY(holder.Open(sim.DevicePath()));
    CBoxClicker clicker({QMessageBox::AcceptRole});
    CModuleSetupDlg dlg;
    QVERIFY(!dlg.StartSession(QString::fromStdString(sim.DevicePath()), FLOW_NONE));
    QCOMPARE(clicker.m_texts, QStringList({"Opening the serial port failed. Check whether another "
                                           "program is using it!"}));
    QCOMPARE(clicker.m_captions, QStringList({"Error"}));
}

void CEnglishE2eTest::everyTextFits_data()
{
    QTest::addColumn<bool>("bEnglish");
    QTest::newRow("English") << true;
    QTest::newRow("Chinese") << false;
}

void CEnglishE2eTest::everyTextFits()
{
    QFETCH(bool, bEnglish);
    ApplyUiLanguage(bEnglish ? EUiLanguage::English : EUiLanguage::Chinese);
    CModuleSetupDlg dlg;
    dlg.Engine().FillLists();
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QStringList problems = FitProblems(dlg);
    CPortSelectDlg portDlg;
    portDlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&portDlg));
    problems << FitProblems(portDlg);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QStringLiteral("; "))));
}

// A profile that names Chinese wins over an English environment, and the texts are the tool's
// own, byte for byte.
void CEnglishE2eTest::profileChoiceKeepsChineseUnderAnEnglishSystem()
{
    const QByteArray oldLanguage = qgetenv("LANGUAGE");
    qunsetenv("LANGUAGE");
    qputenv("LANG", "en_US.UTF-8");
    CProfileQt profile;
    QCOMPARE(ChooseProfileUiLanguage(profile), EUiLanguage::English);
    profile.WriteString(kLanguageSection, kLanguageKey, "zh_CN");
    profile.Flush();
    const EUiLanguage eChosen = ChooseProfileUiLanguage(profile);
    profile.Remove(kLanguageSection, kLanguageKey);
    qputenv("LANGUAGE", oldLanguage);
    QCOMPARE(eChosen, EUiLanguage::Chinese);
    ApplyUiLanguage(eChosen);
    CModuleSetupDlg dlg;
    QCOMPARE(dlg.windowTitle().toUtf8(), QByteArray("内嵌模块参数设置工具"));
    QCOMPARE(RunEndStatusText({ERunKind::Set, ERunEnd::Done}), std::string("设置完成"));
}

QTEST_MAIN(CEnglishE2eTest)
#include "english_e2e_test.moc"
