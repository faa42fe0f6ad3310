#pragma once

#include "engine/ConsoleHistory.h"
#include "engine/TrafficLog.h"

#include <string>

#include <QDialog>

class CModuleSetupEngine;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// The wire made visible: the traffic log's lines, newest at the bottom, and below them the console,
// a command line for any command the module has. Non-modal; it listens to the link only while it
// is shown, so a closed window costs nothing (a command in flight ends as usual).
class CTrafficDlg : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kMaxLines = static_cast<int>(CTrafficLog::kMaxLines);

    // Shows the engine's traffic and sends the console's commands through it.
    CTrafficDlg(CModuleSetupEngine &engine, QWidget *pParent = nullptr);
    ~CTrafficDlg() override;

    QString Text() const; // what the view holds, one line per entry
    // "发送" follows the one rule of the line: greyed while any run holds it.
    void SetSendEnabled(bool bEnabled);
    // Sends what the field holds, as Enter and "发送" do; false when nothing went out (a refused
    // text: the user told, the fault selected; no port: the status line says).
    bool SendTyped();
    QLineEdit *CommandField() const { return m_pCommand; }
    QComboBox *EndingList() const { return m_pEnding; }
    QPushButton *SendButton() const { return m_pSend; }
    void CopyToClipboard();
    bool SaveTo(const QString &strPath, QString *pstrError = nullptr);
    void Clear();

protected:
    void showEvent(QShowEvent *pEvent) override;
    void hideEvent(QHideEvent *pEvent) override;
    bool eventFilter(QObject *pWatched, QEvent *pEvent) override;

private:
    void CreateControls();
    QLayout *CreateConsole();
    void OnSave();
    void Recall(bool bOlder);
    // On the window's thread: takes what the trace gathered since the last time.
    void TakeEntries();

    CTrafficLog m_log;
    QPlainTextEdit *m_pView = nullptr;
    QLineEdit *m_pCommand = nullptr;
    QComboBox *m_pEnding = nullptr;
    QPushButton *m_pSend = nullptr;
    CConsoleHistory m_history;
    CModuleSetupEngine &m_engine;
};
