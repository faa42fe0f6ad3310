#pragma once

#include "engine/TrafficLog.h"

#include <QDialog>

class CLinkTrace;
class QPlainTextEdit;

// The wire made visible: the traffic log's lines, newest at the bottom. Non-modal; it listens to
// the link only while it is shown, so a closed window costs nothing.
class CTrafficDlg : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kMaxLines = static_cast<int>(CTrafficLog::kMaxLines);

    CTrafficDlg(CLinkTrace &trace, QWidget *pParent = nullptr);
    ~CTrafficDlg() override;

    QString Text() const; // what the view holds, one line per entry
    void CopyToClipboard();
    bool SaveTo(const QString &strPath, QString *pstrError = nullptr);
    void Clear();

protected:
    void showEvent(QShowEvent *pEvent) override;
    void hideEvent(QHideEvent *pEvent) override;

private:
    void CreateControls();
    void OnSave();
    // On the window's thread: takes what the trace gathered since the last time.
    void TakeEntries();

    CTrafficLog m_log;
    QPlainTextEdit *m_pView = nullptr;
};
