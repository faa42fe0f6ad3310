#pragma once

#include <atomic>

#include <QDialog>

class CLinkTrace;
class QPlainTextEdit;

// The wire made visible: every command written and every chunk received, one line each with its
// time stamp, newest at the bottom, the last ten thousand kept. Non-modal; it listens to the link
// only while it is shown, so a closed window costs nothing.
class CTrafficDlg : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kMaxLines = 10000;

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

    CLinkTrace &m_trace;
    QPlainTextEdit *m_pView = nullptr;
    std::atomic<bool> m_bTakePosted{false}; // one queued take at a time, however fast bytes come
};
