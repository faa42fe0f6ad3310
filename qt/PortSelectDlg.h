#pragma once

#include "serial/PortChoice.h"
#include "serial/SerialLink.h"

#include <functional>
#include <memory>

#include <QDialog>
#include <QList>
#include <QString>

class QComboBox;

// Asks for the serial device and the flow control before the main form opens; remembers the
// choice for the next start.
class CPortSelectDlg : public QDialog
{
    Q_OBJECT

public:
    // strPreferredPath, the simulated module's device, is offered first, marked as the simulated
    // module, and preselected.
    explicit CPortSelectDlg(const QString &strPreferredPath = {}, QWidget *pParent = nullptr);

    // Saves the choice and ends the dialog; refuses an empty device path.
    void accept() override;

    // A serial device as the system lists it.
    struct CPortEntry
    {
        QString strPath;
        QString strDescription;
        QString strById = {}; // its /dev/serial/by-id name, if it has one: opened and kept instead
    };
    // Where the devices come from; tests put a machine's worth of adapters here. Empty: the system.
    static void SetPortSourceForTesting(std::function<QList<CPortEntry>()> fnSource);

    int m_nFlow = 0;       // after OK: the flow mode, FLOW_NONE or FLOW_HARDWARE
    int m_nPort = 0;       // after OK: the list index plus one
    QString m_strPortPath; // after OK: the device to open (an adapter's by-id name, if it has one)
    CLineSettings m_line;  // after OK: rate and flow as chosen, DTR and RTS as the profile says

    QComboBox *m_pComboPort = nullptr; // IDC_COMBO_PORT
    QComboBox *m_pComboFlow = nullptr; // IDC_COMBO_FLOW
    // IDC_COMBO_LINERATE: "自动检测", then the rates; data: the rate
    QComboBox *m_pComboLineRate = nullptr;

private:
    void CreateControls();
    void ShowEntryStart();
    void OnInitDialog(const QString &strPreferredPath);
    static QList<CPortEntry> SystemPorts();

    static std::function<QList<CPortEntry>()> s_fnPortSource;
    std::unique_ptr<CPortChoice> m_pChoice; // what is listed, preselected and kept
};
