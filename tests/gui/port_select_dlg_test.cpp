// The port dialog against the saved profile: what it preselects, what OK and Cancel store.

#include "qt/PortSelectDlg.h"
#include "qt/ProfileQt.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QtTest>

namespace {
const QString kSimPath = QStringLiteral("/tmp/kestrel-test-port");
constexpr int kLineEditFramePx = 2; // the style's frame and inner margin on each side

QSettings Profile()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Kestrel"),
                     QStringLiteral("Kestrel"));
}

void ClearProfile()
{
    QSettings profile(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Kestrel"),
                      QStringLiteral("Kestrel"));
    profile.clear();
    profile.sync();
}

void Store(const QVariant &port, const QVariant &flow)
{
    QSettings profile(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Kestrel"),
                      QStringLiteral("Kestrel"));
    profile.clear();
    if (port.isValid())
        profile.setValue(QStringLiteral("Settings/PortNum"), port);
    if (flow.isValid())
        profile.setValue(QStringLiteral("Settings/Flow"), flow);
    profile.sync();
}
} // namespace

class CPortSelectDlgTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { ClearProfile(); }
    void storedValuesPreselect_data();
    void storedValuesPreselect();
    void indexFallbackAgainstListLength_data();
    void indexFallbackAgainstListLength();
    void flowListHoldsNoneAndHardware();
    void lineRateListAndStoredRate_data();
    void lineRateListAndStoredRate();
    void lineRateRoundTrip();
    void okStoresIndexFlowAndPath();
    void okStoresEvenWhenUnchanged();
    void savedPathWinsOverIndex();
    void byIdNameFollowsTheAdapter();
    void rawPseudoTerminalsAreNotRemembered_data();
    void rawPseudoTerminalsAreNotRemembered();
    void simulatedEntryIsMarkedAndNotRemembered();
    void typedPathOpensAsTyped_data();
    void typedPathOpensAsTyped();
    void cancelWritesNothing();
    void emptyPathIsRefused();
    void labelsReachScreenReaders();
    void fieldShowsTheStartOfTheEntry();
    void fieldHoldsLongNames_data();
    void fieldHoldsLongNames();
};

void CPortSelectDlgTest::storedValuesPreselect_data()
{
    QTest::addColumn<QVariant>("port");
    QTest::addColumn<QVariant>("flow");
    QTest::addColumn<int>("nExpectedFlow");
    QTest::newRow("first run: nothing stored") << QVariant() << QVariant() << 0;
    QTest::newRow("port 50 falls back") << QVariant(50) << QVariant(0) << 0;
    QTest::newRow("port -1 falls back") << QVariant(-1) << QVariant(1) << 1;
    QTest::newRow("flow 2 falls back") << QVariant(0) << QVariant(2) << 0;
    QTest::newRow("flow -1 falls back") << QVariant(0) << QVariant(-1) << 0;
    QTest::newRow("hardware flow kept") << QVariant(0) << QVariant(1) << 1;
    QTest::newRow("garbage reads as 0") << QVariant(QStringLiteral("x")) << QVariant("y") << 0;
}

void CPortSelectDlgTest::storedValuesPreselect()
{
    QFETCH(QVariant, port);
    QFETCH(QVariant, flow);
    QFETCH(int, nExpectedFlow);
    Store(port, flow);
    CPortSelectDlg dlg;
    if (dlg.m_pComboPort->count() > 50)
        QSKIP("more than 50 serial devices listed: index 50 would be valid");
    QCOMPARE(dlg.m_pComboPort->currentIndex(), dlg.m_pComboPort->count() > 0 ? 0 : -1);
    QCOMPARE(dlg.m_pComboFlow->currentIndex(), nExpectedFlow);
}

void CPortSelectDlgTest::indexFallbackAgainstListLength_data()
{
    // The Windows list length: fifty ports.
    QTest::addColumn<int>("nStored");
    QTest::addColumn<int>("nExpected");
    QTest::newRow("last port kept") << 49 << 49;
    QTest::newRow("one past the end") << 50 << 0;
    QTest::newRow("negative") << -1 << 0;
    QTest::newRow("most negative") << int(0x80000000) << 0;
}

void CPortSelectDlgTest::indexFallbackAgainstListLength()
{
    QFETCH(int, nStored);
    QFETCH(int, nExpected);
    Store(nStored, 1);
    CProfileQt profile;
    const CPortSettings settings = CPortSettings::Load(profile, 50);
    QCOMPARE(settings.m_nPortNum, nExpected);
    QCOMPARE(settings.m_nFlow, 1);
}

void CPortSelectDlgTest::flowListHoldsNoneAndHardware()
{
    CPortSelectDlg dlg;
    QCOMPARE(dlg.m_pComboFlow->count(), 2);
    QCOMPARE(dlg.m_pComboFlow->itemText(0), QStringLiteral("无"));
    QCOMPARE(dlg.m_pComboFlow->itemData(0).toInt(), 0);
    QCOMPARE(dlg.m_pComboFlow->itemText(1), QStringLiteral("硬件"));
    QCOMPARE(dlg.m_pComboFlow->itemData(1).toInt(), 1);
    QCOMPARE(dlg.windowTitle(), QStringLiteral("连接串口"));
}

void CPortSelectDlgTest::lineRateListAndStoredRate_data()
{
    QTest::addColumn<QVariant>("baud");
    QTest::addColumn<QString>("strShown");
    QTest::newRow("first run: 9600") << QVariant() << "9600";
    QTest::newRow("auto") << QVariant(0) << "自动检测";
    QTest::newRow("38400 kept") << QVariant(38400) << "38400";
    QTest::newRow("highest kept") << QVariant(1382400) << "1382400";
    QTest::newRow("not a rate of the list") << QVariant(14400) << "9600";
    QTest::newRow("negative") << QVariant(-9600) << "9600";
    QTest::newRow("garbage") << QVariant(QStringLiteral("fast")) << "9600";
}

void CPortSelectDlgTest::lineRateListAndStoredRate()
{
    QFETCH(QVariant, baud);
    QFETCH(QString, strShown);
    Store(0, 0);
    if (baud.isValid()) {
        QSettings profile = Profile();
        profile.setValue(QStringLiteral("Settings/Baud"), baud);
    }
    CPortSelectDlg dlg(kSimPath);
    QStringList entries;
    for (int i = 0; i < dlg.m_pComboLineRate->count(); ++i)
        entries << dlg.m_pComboLineRate->itemText(i);
    QCOMPARE(entries, QStringList({"自动检测", "1200", "2400", "4800", "9600", "19200", "38400",
                                   "57600", "115200", "230400", "460800", "921600", "1382400"}));
    QCOMPARE(dlg.m_pComboLineRate->currentText(), strShown);
}

// What OK saves comes back at the next start, and goes to the session with the profile's DTR and
// RTS choices.
void CPortSelectDlgTest::lineRateRoundTrip()
{
    const struct
    {
        QString strPicked;
        int nSaved;
        QVariant dtr;
        QVariant rts;
        bool bDtr;
        bool bRts;
    } kCases[] = {
        {"38400", 38400, {}, {}, true, true},
        {"自动检测", 0, 0, 1, false, true},
        {"1382400", 1382400, 1, 0, true, false},
        {"9600", 9600, "junk", 0, true, false},
    };
    for (const auto &c : kCases) {
        Store(0, 0);
        {
            QSettings profile = Profile();
            if (c.dtr.isValid())
                profile.setValue(QStringLiteral("Settings/Dtr"), c.dtr);
            if (c.rts.isValid())
                profile.setValue(QStringLiteral("Settings/Rts"), c.rts);
        }
        CPortSelectDlg dlg(kSimPath);
        dlg.m_pComboLineRate->setCurrentText(c.strPicked);
        dlg.accept();
        QCOMPARE(Profile().value(QStringLiteral("Settings/Baud")).toInt(), c.nSaved);
        QCOMPARE(dlg.m_line.nRate, uint32_t(c.nSaved));
        QCOMPARE(dlg.m_line.bDtr, c.bDtr);
        QCOMPARE(dlg.m_line.bRts, c.bRts);
        CPortSelectDlg next(kSimPath);
        QCOMPARE(next.m_pComboLineRate->currentText(), c.strPicked);
    }
}

void CPortSelectDlgTest::okStoresIndexFlowAndPath()
{
    CPortSelectDlg dlg(kSimPath);
    QCOMPARE(dlg.m_pComboPort->currentIndex(), 0);
    QCOMPARE(dlg.m_pComboPort->itemData(0).toString(), kSimPath);
    dlg.m_pComboFlow->setCurrentIndex(1);
    dlg.accept();
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(dlg.m_nPort, 1);
    QCOMPARE(dlg.m_nFlow, 1);
    QCOMPARE(dlg.m_strPortPath, kSimPath);
    QSettings profile = Profile();
    QCOMPARE(profile.value(QStringLiteral("Settings/PortNum")).toInt(), 0);
    QCOMPARE(profile.value(QStringLiteral("Settings/Flow")).toInt(), 1);
    QCOMPARE(profile.value(QStringLiteral("Settings/PortName")).toString(), kSimPath);
}

void CPortSelectDlgTest::okStoresEvenWhenUnchanged()
{
    CPortSelectDlg unchanged(kSimPath);
    unchanged.accept();
    QCOMPARE(Profile().allKeys().size(), 4);

    // A typed path that the system does not list is taken as it is.
    CPortSelectDlg dlg;
    dlg.m_pComboPort->setEditText(QStringLiteral("/dev/ttyV0"));
    dlg.accept();
    QCOMPARE(dlg.m_strPortPath, QStringLiteral("/dev/ttyV0"));
    QCOMPARE(dlg.m_nFlow, 0);
    QSettings profile = Profile();
    QVERIFY(profile.contains(QStringLiteral("Settings/PortNum")));
    QCOMPARE(profile.value(QStringLiteral("Settings/Flow")).toInt(), 0);
    QCOMPARE(profile.value(QStringLiteral("Settings/PortName")).toString(),
             QStringLiteral("/dev/ttyV0"));
}

void CPortSelectDlgTest::rawPseudoTerminalsAreNotRemembered_data()
{
    QTest::addColumn<QString>("strTyped");
    QTest::addColumn<QString>("strOpened");
    QTest::addColumn<bool>("bRemembered");
    QTest::newRow("raw pseudo-terminal") << "/dev/pts/77"
                                         << "/dev/pts/77" << false;
    QTest::newRow("raw pseudo-terminal, spelled around") << "/dev/./pts/../pts/77"
                                                         << "/dev/./pts/../pts/77" << false;
    QTest::newRow("symbolic link to a pseudo-terminal") << "/tmp/kestrel-sim-link"
                                                        << "/tmp/kestrel-sim-link" << true;
    QTest::newRow("adapter by id") << "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0"
                                   << "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0" << true;
    QTest::newRow("listed adapter") << "/dev/ttyUSB1  FT232R"
                                    << "/dev/ttyUSB1" << true;
}

// A pseudo-terminal's number goes to the next terminal that opens: offered again at the next
// start, OK would write into a stranger's terminal.
void CPortSelectDlgTest::rawPseudoTerminalsAreNotRemembered()
{
    QFETCH(QString, strTyped);
    QFETCH(QString, strOpened);
    QFETCH(bool, bRemembered);
    CPortSelectDlg::SetPortSourceForTesting([] {
        return QList<CPortSelectDlg::CPortEntry>{{"/dev/ttyUSB0", "CP2102"},
                                                 {"/dev/ttyUSB1", "FT232R"}};
    });
    Store(0, 0);
    {
        // Chosen last time; a path that is not kept must not leave this one standing either.
        QSettings profile = Profile();
        profile.setValue(QStringLiteral("Settings/PortName"), QStringLiteral("/dev/ttyACM5"));
    }
    CPortSelectDlg dlg;
    dlg.m_pComboPort->setEditText(strTyped);
    dlg.accept();
    QCOMPARE(dlg.m_strPortPath, strOpened); // good for this run

    QCOMPARE(Profile().contains(QStringLiteral("Settings/PortName")), bRemembered);
    CPortSelectDlg next;
    const QString strNext =
        next.m_pComboPort->itemData(next.m_pComboPort->currentIndex()).toString();
    QCOMPARE(strNext, bRemembered ? strOpened : QStringLiteral("/dev/ttyUSB0"));
    CPortSelectDlg::SetPortSourceForTesting({});
}

void CPortSelectDlgTest::simulatedEntryIsMarkedAndNotRemembered()
{
    CPortSelectDlg::SetPortSourceForTesting([] {
        return QList<CPortSelectDlg::CPortEntry>{{"/dev/ttyUSB0", "CP2102"},
                                                 {"/dev/ttyUSB1", "FT232R"}};
    });
    // An older version saved a pseudo-terminal: it is not offered, the saved index is.
    Store(1, 0);
    {
        QSettings profile = Profile();
        profile.setValue(QStringLiteral("Settings/PortName"), QStringLiteral("/dev/pts/9"));
    }
    CPortSelectDlg stale;
    QCOMPARE(stale.m_pComboPort->currentText(), QStringLiteral("/dev/ttyUSB1  FT232R"));
    QCOMPARE(stale.m_pComboPort->findData(QStringLiteral("/dev/pts/9")), -1);

    CPortSelectDlg dlg(QStringLiteral("/dev/pts/42"));
    QCOMPARE(dlg.m_pComboPort->currentIndex(), 0);
    QCOMPARE(dlg.m_pComboPort->currentText(), QStringLiteral("/dev/pts/42  模拟模块"));
    dlg.accept();
    QCOMPARE(dlg.m_strPortPath, QStringLiteral("/dev/pts/42"));
    QVERIFY(!Profile().contains(QStringLiteral("Settings/PortName")));
    CPortSelectDlg::SetPortSourceForTesting({});
}

void CPortSelectDlgTest::typedPathOpensAsTyped_data()
{
    QTest::addColumn<QString>("strTyped");
    QTest::newRow("prefix of a listed device") << "/dev/ttyFAKE1";
    QTest::newRow("listed device in other case") << "/dev/ttyfake10";
    QTest::newRow("listed device") << "/dev/ttyFAKE10";
}

// Typed as a user types, then Enter: the first Enter presses OK and opens what was typed.
void CPortSelectDlgTest::typedPathOpensAsTyped()
{
    QFETCH(QString, strTyped);
    CPortSelectDlg::SetPortSourceForTesting([] {
        return QList<CPortSelectDlg::CPortEntry>{{"/dev/ttyFAKE10", ""}};
    });
    CPortSelectDlg dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QLineEdit *pEdit = dlg.m_pComboPort->lineEdit();
    pEdit->setFocus();
    pEdit->selectAll();
    QTest::keyClick(pEdit, Qt::Key_Delete);
    QTest::keyClicks(pEdit, strTyped);
    QCOMPARE(pEdit->text(), strTyped);
    QTest::keyClick(pEdit, Qt::Key_Return);
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(dlg.m_strPortPath, strTyped);
    CPortSelectDlg::SetPortSourceForTesting({});
}

void CPortSelectDlgTest::savedPathWinsOverIndex()
{
    // The adapter saved last time now comes second: it is found by its path, not its old index.
    CPortSelectDlg::SetPortSourceForTesting([] {
        return QList<CPortSelectDlg::CPortEntry>{{"/dev/ttyUSB0", "CP2102"},
                                                 {"/dev/ttyUSB1", "FT232R"}};
    });
    Store(0, 0);
    {
        QSettings profile = Profile();
        profile.setValue(QStringLiteral("Settings/PortName"), QStringLiteral("/dev/ttyUSB1"));
    }
    CPortSelectDlg dlg;
    QCOMPARE(dlg.m_pComboPort->currentIndex(), 1);
    QCOMPARE(dlg.m_pComboPort->currentText(), QStringLiteral("/dev/ttyUSB1  FT232R"));
    dlg.accept();
    QCOMPARE(dlg.m_nPort, 2);
    QCOMPARE(dlg.m_strPortPath, QStringLiteral("/dev/ttyUSB1"));
    QCOMPARE(Profile().value(QStringLiteral("Settings/PortNum")).toInt(), 1);

    // Not listed now (unplugged, or a path that was typed): the same port is offered again, not
    // whatever stands at the saved index.
    CPortSelectDlg::SetPortSourceForTesting([] {
        return QList<CPortSelectDlg::CPortEntry>{{"/dev/ttyUSB0", "CP2102"}, {"/dev/ttyACM0", ""}};
    });
    CPortSelectDlg other;
    QCOMPARE(other.m_pComboPort->currentText(), QStringLiteral("/dev/ttyUSB1"));
    other.accept();
    QCOMPARE(other.m_strPortPath, QStringLiteral("/dev/ttyUSB1"));

    // Nothing saved by name (an older profile): the saved index is used.
    {
        QSettings profile = Profile();
        profile.remove(QStringLiteral("Settings/PortName"));
        profile.setValue(QStringLiteral("Settings/PortNum"), 1);
    }
    CPortSelectDlg byIndex;
    QCOMPARE(byIndex.m_pComboPort->currentText(), QStringLiteral("/dev/ttyACM0"));
    CPortSelectDlg::SetPortSourceForTesting({});
}

// An adapter with a by-id name is opened and kept by that name: replugged at another node, the
// next start finds it there; a profile that kept its node finds it too.
void CPortSelectDlgTest::byIdNameFollowsTheAdapter()
{
    const QString strById =
        QStringLiteral("/dev/serial/by-id/usb-Silicon_Labs_CP2102_0001-if00-port0");
    CPortSelectDlg::SetPortSourceForTesting([&] {
        return QList<CPortSelectDlg::CPortEntry>{{"/dev/ttyS0", ""},
                                                 {"/dev/ttyUSB0", "CP2102", strById}};
    });
    Store(1, 0);
    CPortSelectDlg dlg;
    QCOMPARE(dlg.m_pComboPort->currentText(), QStringLiteral("/dev/ttyUSB0  CP2102"));
    dlg.accept();
    QCOMPARE(dlg.m_strPortPath, strById);
    QCOMPARE(Profile().value(QStringLiteral("Settings/PortName")).toString(), strById);

    // Replugged: now /dev/ttyUSB1, after another adapter that took its old node and index.
    CPortSelectDlg::SetPortSourceForTesting([&] {
        return QList<CPortSelectDlg::CPortEntry>{
            {"/dev/ttyS0", ""},
            {"/dev/ttyUSB0", "FT232R", "/dev/serial/by-id/usb-FTDI"},
            {"/dev/ttyUSB1", "CP2102", strById}};
    });
    CPortSelectDlg next;
    QCOMPARE(next.m_pComboPort->currentText(), QStringLiteral("/dev/ttyUSB1  CP2102"));
    next.accept();
    QCOMPARE(next.m_strPortPath, strById);

    // A profile that kept the node, before by-id names were kept: the device at that node.
    {
        QSettings profile = Profile();
        profile.setValue(QStringLiteral("Settings/PortName"), QStringLiteral("/dev/ttyUSB1"));
    }
    CPortSelectDlg older;
    QCOMPARE(older.m_pComboPort->currentIndex(), 2);
    older.accept();
    QCOMPARE(older.m_strPortPath, strById);
    CPortSelectDlg::SetPortSourceForTesting({});
}

void CPortSelectDlgTest::cancelWritesNothing()
{
    Store(QVariant(), QVariant());
    CPortSelectDlg dlg(kSimPath);
    dlg.m_pComboFlow->setCurrentIndex(1);
    QPushButton *pCancel = nullptr;
    for (QPushButton *pButton : dlg.findChildren<QPushButton *>()) {
        if (pButton->text() == QStringLiteral("取消(&C)"))
            pCancel = pButton;
    }
    QVERIFY(pCancel);
    pCancel->click();
    QCOMPARE(dlg.result(), int(QDialog::Rejected));
    QVERIFY(Profile().allKeys().isEmpty());
}

void CPortSelectDlgTest::emptyPathIsRefused()
{
    CPortSelectDlg dlg;
    dlg.m_pComboPort->setEditText(QStringLiteral("   "));
    dlg.accept();
    QVERIFY(dlg.result() != int(QDialog::Accepted));
    QVERIFY(Profile().allKeys().isEmpty());
}

// A combo box is announced by its current text; its label comes through the relation.
void CPortSelectDlgTest::labelsReachScreenReaders()
{
    CPortSelectDlg dlg;
    const std::pair<QWidget *, QString> kControls[] = {{dlg.m_pComboPort, "通讯口"},
                                                       {dlg.m_pComboFlow, "数据流控制"},
                                                       {dlg.m_pComboLineRate, "波特率"}};
    for (const auto &[pControl, strLabel] : kControls) {
        QStringList found;
        for (const auto &[pLabel, relation] :
             QAccessible::queryAccessibleInterface(pControl)->relations(QAccessible::Label))
            found << pLabel->text(QAccessible::Name);
        QCOMPARE(found, QStringList{strLabel});
    }
}

// A long entry shows where it starts, which tells the ports apart: as preselected, and when
// another entry is picked from the list or with the keyboard.
void CPortSelectDlgTest::fieldShowsTheStartOfTheEntry()
{
    const QString strLong = QStringLiteral("/dev/serial/by-id/usb-1a86_USB2.0-Serial-if00-port0");
    CPortSelectDlg::SetPortSourceForTesting([&] {
        return QList<CPortSelectDlg::CPortEntry>{{"/dev/ttyUSB0", "USB-SERIAL CH340", strLong},
                                                 {"/dev/ttyUSB1", "CP2102 USB to UART Bridge"}};
    });
    CPortSelectDlg dlg(kSimPath);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QLineEdit *pField = dlg.m_pComboPort->lineEdit();
    QCOMPARE(pField->cursorPosition(), 0);
    QTest::keyClick(dlg.m_pComboPort, Qt::Key_Down);
    QCOMPARE(dlg.m_pComboPort->currentIndex(), 1);
    QCOMPARE(pField->cursorPosition(), 0);
    dlg.m_pComboPort->setEditText(strLong); // typed over, then the entry picked again
    dlg.m_pComboPort->showPopup();
    QAbstractItemView *pList = dlg.m_pComboPort->view();
    QTRY_VERIFY(pList->isVisible());
    QTest::keyClick(pList, Qt::Key_Return);
    QTRY_VERIFY(!pList->isVisible());
    QCOMPARE(dlg.m_pComboPort->currentText(), dlg.m_pComboPort->itemText(1));
    QCOMPARE(pField->cursorPosition(), 0);
    CPortSelectDlg::SetPortSourceForTesting({});
}

void CPortSelectDlgTest::fieldHoldsLongNames_data()
{
    QTest::addColumn<QString>("strName");
    QTest::newRow("friendly name") << QStringLiteral("USB-SERIAL CH340 (COM7)");
    QTest::newRow("by-id name up to the adapter")
        << QStringLiteral("/dev/serial/by-id/usb-1a86_USB2.0");
    QTest::newRow("simulated module") << QStringLiteral("/dev/pts/10  模拟模块");
}

void CPortSelectDlgTest::fieldHoldsLongNames()
{
    QFETCH(QString, strName);
    CPortSelectDlg dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    const QLineEdit *pField = dlg.m_pComboPort->lineEdit();
    const int nTextWidthPx = pField->width() - pField->textMargins().left() -
                             pField->textMargins().right() - 2 * kLineEditFramePx;
    QVERIFY2(pField->fontMetrics().horizontalAdvance(strName) <= nTextWidthPx,
             qPrintable(QString::number(nTextWidthPx)));
}

QTEST_MAIN(CPortSelectDlgTest)
#include "port_select_dlg_test.moc"
