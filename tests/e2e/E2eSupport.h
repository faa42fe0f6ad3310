#pragma once

// Shared by the end-to-end tests: the main window with scripted message boxes and recorded status
// texts, and readers that turn the form and the last-read record into a module state, so that
// what the window shows can be compared with what the simulated module holds.

#include "qt/ModuleSetupDlg.h"
#include "serial/SerialLink.h"
#include "sim/ModuleSim.h"

#include <deque>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QSlider>
#include <QStringList>
#include <QTimer>
#include <QtTest>

namespace e2e {

// No step may time out while the module answers: generous, even on a loaded machine.
constexpr double kQuietTimerScale = 0.5;
// For the cases that wait for a timeout on purpose.
constexpr double kFastTimerScale = 0.05;
constexpr int kWaitMs = 20000;

inline const QStringList kQueryCommands = {
    "AT\r\n",           "AT+NAME?\r\n",  "AT+VERSION?\r\n",  "AT+CLASS?\r\n", "AT+ROLE?\r\n",
    "AT+BIND?\r\n",     "AT+AUTH?\r\n",  "AT+PASSWORD?\r\n", "AT+BAUD?\r\n",  "AT+UARTMODE?\r\n",
    "AT+SCANTIME?\r\n", "AT+SNIFF?\r\n", "AT+LADDR?\r\n",    "AT+RADDR?\r\n"};

// One message box as the engine asked for it.
struct CRecordedBox
{
    QString strText;
    QString strCaption;
    unsigned nType = 0;
};

// The main window whose message boxes answer from a script and whose status texts are kept, so
// that a test sees every prompt and every intermediate text, not only the last one.
class CScriptedDlg : public CModuleSetupDlg
{
public:
    int MessageBox(const std::string &strText, const std::string &strCaption,
                   unsigned nType) override
    {
        m_boxes.append(
            {QString::fromStdString(strText), QString::fromStdString(strCaption), nType});
        const bool bYesNo = (nType & 0x0F) == MB_YESNO;
        if (m_answers.empty())
            return bYesNo ? IDNO : IDOK;
        const int nAnswer = m_answers.front();
        m_answers.pop_front();
        return nAnswer;
    }

    void SetStatusText(const std::string &strText) override
    {
        m_statusTexts.append(QString::fromStdString(strText));
        CModuleSetupDlg::SetStatusText(strText);
    }

    std::deque<int> m_answers; // taken in order; when none is left Yes/No prompts get No
    QList<CRecordedBox> m_boxes;
    QStringList m_statusTexts;
};

inline QLineEdit *Edit(const CModuleSetupDlg &dlg, int nId)
{
    return qobject_cast<QLineEdit *>(dlg.Control(nId));
}

inline QComboBox *Combo(const CModuleSetupDlg &dlg, int nId)
{
    return qobject_cast<QComboBox *>(dlg.Control(nId));
}

inline QCheckBox *Check(const CModuleSetupDlg &dlg, int nId)
{
    return qobject_cast<QCheckBox *>(dlg.Control(nId));
}

inline QSlider *Slider(const CModuleSetupDlg &dlg, int nId)
{
    return qobject_cast<QSlider *>(dlg.Control(nId));
}

inline QString Text(const CModuleSetupDlg &dlg, int nId)
{
    return Edit(dlg, nId)->text();
}

// What the status line shows now.
inline QString Status(const CModuleSetupDlg &dlg)
{
    return dlg.Control(IDC_STATUS)->accessibleDescription();
}

inline void Click(const CModuleSetupDlg &dlg, int nId)
{
    qobject_cast<QAbstractButton *>(dlg.Control(nId))->click();
}

inline QStringList Wire(const CModuleSim &sim)
{
    QStringList list;
    for (const std::string &strCommand : sim.Commands())
        list << QString::fromStdString(strCommand);
    return list;
}

inline QStringList Items(const QComboBox *pCombo)
{
    QStringList list;
    for (int i = 0; i < pCombo->count(); ++i)
        list << pCombo->itemText(i);
    return list;
}

inline uint32_t ToUInt(const QString &strText)
{
    return strText.toUInt();
}

inline uint32_t ToUInt(const std::string &strText)
{
    return QString::fromStdString(strText).toUInt();
}

// What the form shows, in the simulator's terms; lists give their selected index or entry.
inline SimState FormState(const CModuleSetupDlg &dlg)
{
    SimState state;
    state.strName = Text(dlg, IDC_EDIT_NAME).toStdString();
    state.strVersion = Text(dlg, IDC_EDIT_VERSION).toStdString();
    state.strClass = Text(dlg, IDC_EDIT_CLASS).toStdString();
    state.strPassword = Text(dlg, IDC_EDIT_PASSWORD).toStdString();
    state.nRole = Check(dlg, IDC_CHECK_ROLE)->isChecked() ? 1 : 0;
    state.nBind = Check(dlg, IDC_CHECK_BIND)->isChecked() ? 1 : 0;
    state.nAuth = Check(dlg, IDC_CHECK_AUTH)->isChecked() ? 1 : 0;
    state.nBaud = ToUInt(Combo(dlg, IDC_COMBO_BAUD)->currentText());
    state.nStopBits = Combo(dlg, IDC_COMBO_STOPBITS)->currentIndex();
    state.nParity = Combo(dlg, IDC_COMBO_PARITY)->currentIndex();
    const int aScanIds[] = {IDC_EDIT_CONN_INTERVAL, IDC_EDIT_CONN_DURATION, IDC_EDIT_INQ_INTERVAL,
                            IDC_EDIT_INQ_DURATION};
    const int aSniffIds[] = {IDC_EDIT_SNIFF_MAX, IDC_EDIT_SNIFF_MIN, IDC_EDIT_SNIFF_ATTEMPT,
                             IDC_EDIT_SNIFF_TIMEOUT};
    for (int i = 0; i < 4; ++i) {
        state.aScan[i] = ToUInt(Text(dlg, aScanIds[i]));
        state.aSniff[i] = ToUInt(Text(dlg, aSniffIds[i]));
    }
    state.strLocalAddr = Text(dlg, IDC_EDIT_LOCALADDR).toStdString();
    state.strBindAddr = Combo(dlg, IDC_COMBO_BINDADDR)->currentText().left(12).toStdString();
    return state;
}

// The last-read record (and the local address, which has no last-read member) as a state.
inline SimState LastReadState(CModuleSetupDlg &dlg)
{
    const ModuleParams &read = dlg.Engine().LastRead();
    SimState state;
    state.strName = read.Name;
    state.strVersion = read.Version;
    state.strClass = read.Class;
    state.strPassword = read.Password;
    state.nRole = read.Role;
    state.nBind = read.Bind;
    state.nAuth = read.Auth;
    state.nBaud = ToUInt(read.Baud);
    state.nStopBits = read.StopBits;
    state.nParity = read.Parity;
    const std::string *aScan[] = {&read.ConnInterval, &read.ConnDuration, &read.InqInterval,
                                  &read.InqDuration};
    const std::string *aSniff[] = {&read.SniffMax, &read.SniffMin, &read.SniffAttempt,
                                   &read.SniffTimeout};
    for (int i = 0; i < 4; ++i) {
        state.aScan[i] = ToUInt(*aScan[i]);
        state.aSniff[i] = ToUInt(*aSniff[i]);
    }
    state.strLocalAddr = dlg.Engine().FormMembers().m_strLocalAddr;
    state.strBindAddr = read.BindAddr;
    return state;
}

// Field by field, so that a failed comparison names the field that differs.
inline QStringList Describe(const SimState &state)
{
    const auto four = [](const uint32_t *p) {
        return QStringLiteral("%1,%2,%3,%4").arg(p[0]).arg(p[1]).arg(p[2]).arg(p[3]);
    };
    return {"name=" + QString::fromStdString(state.strName),
            "version=" + QString::fromStdString(state.strVersion),
            "class=" + QString::fromStdString(state.strClass),
            "password=" + QString::fromStdString(state.strPassword),
            "role=" + QString::number(state.nRole),
            "bind=" + QString::number(state.nBind),
            "auth=" + QString::number(state.nAuth),
            "baud=" + QString::number(state.nBaud),
            "stopbits=" + QString::number(state.nStopBits),
            "parity=" + QString::number(state.nParity),
            "scan=" + four(state.aScan),
            "sniff=" + four(state.aSniff),
            "local=" + QString::fromStdString(state.strLocalAddr),
            "bound=" + QString::fromStdString(state.strBindAddr)};
}

// A module on a pseudo-terminal, or a skip with the reason when the machine has none.
#define E2E_START_SIM(sim)                                                                         \
    do {                                                                                           \
        if (!(sim).Start())                                                                        \
            QSKIP("no pseudo-terminal for the simulated module");                                  \
    } while (false)

// Opens the simulated module's device as the port dialog would and waits until the automatic
// query run has finished.
#define E2E_START_AND_QUERY(dlg, sim)                                                              \
    do {                                                                                           \
        QVERIFY((dlg).StartSession(QString::fromStdString((sim).DevicePath()), FLOW_NONE));        \
        QTRY_COMPARE_WITH_TIMEOUT(e2e::Status(dlg), QStringLiteral("查询完成"), e2e::kWaitMs);     \
    } while (false)

// Answers real message boxes as a user would: each new modal box is recorded and the button of
// the next scripted role is clicked. Lives as long as the test needs it.
class CBoxClicker : public QObject
{
public:
    explicit CBoxClicker(std::deque<QMessageBox::ButtonRole> roles) : m_roles(std::move(roles))
    {
        connect(&m_timer, &QTimer::timeout, this, [this] { Poll(); });
        m_timer.start(20);
    }

    QStringList m_texts;
    QStringList m_captions;
    QList<QMessageBox::Icon> m_icons;

private:
    void Poll()
    {
        auto *pBox = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (pBox == nullptr || pBox == m_pLastBox || m_roles.empty())
            return;
        m_pLastBox = pBox;
        m_texts << pBox->text();
        m_captions << pBox->windowTitle();
        m_icons << pBox->icon();
        const QMessageBox::ButtonRole role = m_roles.front();
        m_roles.pop_front();
        for (QAbstractButton *pButton : pBox->buttons()) {
            if (pBox->buttonRole(pButton) == role) {
                pButton->click();
                return;
            }
        }
    }

    std::deque<QMessageBox::ButtonRole> m_roles;
    QPointer<QMessageBox> m_pLastBox;
    QTimer m_timer;
};

// Every field away from the factory defaults, and no two numbers of a group alike, so that a
// value put into the wrong control or member shows.
inline SimState NonDefaultState()
{
    SimState state;
    state.strName = "Kestrel Lab 7";
    state.strClass = "240404";
    state.strPassword = "5566";
    state.nRole = 1;
    state.nBind = 1;
    state.strBindAddr = "0012AB34CD56";
    state.nAuth = 0;
    state.nBaud = 115200;
    state.nStopBits = 1;
    state.nParity = 2;
    state.aScan[0] = 2048;
    state.aScan[1] = 18;
    state.aScan[2] = 1536;
    state.aScan[3] = 20;
    state.aSniff[0] = 800;
    state.aSniff[1] = 80;
    state.aSniff[2] = 7;
    state.aSniff[3] = 9;
    state.strLocalAddr = "00158300C3D4";
    return state;
}

} // namespace e2e
