#pragma once

#include "engine/ModuleSetupEngine.h"
#include "engine/ModuleSetupView.h"

#include <memory>

#include <QDialog>
#include <QHash>
#include <QPointer>
#include <QString>

class CStatusLabel;
class CTrafficDlg;
class QAction;
class QComboBox;
class QSlider;
class QTimer;

// The main window: the form of every module parameter, the buttons that drive the engine, and the
// status line. Widgets live here; what they mean lives in the engine it holds, which it serves
// as its view.
class CModuleSetupDlg : public QDialog, public IModuleSetupView
{
    Q_OBJECT

public:
    // strPreferredPort is offered first in the port dialog (the simulated module's device).
    explicit CModuleSetupDlg(const QString &strPreferredPort = {}, QWidget *pParent = nullptr);
    ~CModuleSetupDlg() override;

    // Asks for the port and opens it; false when the dialog ended (cancelled, or no port).
    bool OnInitDialog();
    // Everything after the port dialog: lists, status, title, the link, the first query.
    bool StartSession(const QString &strPortPath, int nFlow);
    bool StartSession(const QString &strPortPath, const CLineSettings &line);

    void OnButtonClose();
    CModuleSetupEngine &Engine() { return m_engine; }
    void ShowAbout();
    // Keeps the language for the next start ("zh_CN" or "en") and says so.
    void ChooseLanguage(const std::string &strCode);

    // ModuleSetupDlgFiles.cpp: configuration files and the traffic window. Save writes what the
    // form shows; load only fills the controls, nothing is sent until Set. Both tell the user
    // what went wrong in a message box and return false.
    bool SaveConfigTo(const QString &strPath);
    bool LoadConfigFrom(const QString &strPath);
    void ShowTraffic();
    CTrafficDlg *TrafficDlg() const { return m_pTrafficDlg; }
    QWidget *Control(int nId) const { return m_mapControls.value(nId); }

    // Enter in a field must not end the window: that path would leave the port open.
    void accept() override;
    void reject() override;

    // Shortens every timer by this factor; for tests, which cannot wait for real timeouts.
    static void SetTimerScaleForTesting(double dScale);

    // --- The engine's view
    std::string GetWindowText(int nId) override;
    void SetWindowText(int nId, const std::string &strText) override;
    bool GetCheck(int nId) override;
    void SetCheck(int nId, bool bChecked) override;
    int GetCount(int nId) override;
    std::string GetLBText(int nId, int nIndex) override;
    int GetCurSel(int nId) override;
    void SetCurSel(int nId, int nIndex) override;
    void ResetContent(int nId) override;
    void InsertString(int nId, int nIndex, const std::string &strText) override;
    void EnableWindow(int nId, bool bEnable) override;
    void SetReadOnly(int nId, bool bReadOnly) override;
    int GetSliderPos(int nId) override;
    void SetSliderPos(int nId, int nPos) override;
    int GetSliderRangeMax(int nId) override;
    void SetFocus(int nId) override;
    void SetStatusText(const std::string &strText) override;
    void SetTimer(unsigned nIdEvent, std::chrono::milliseconds period) override;
    void KillTimer(unsigned nIdEvent) override;
    int MessageBox(const std::string &strText, const std::string &strCaption,
                   unsigned nType) override;
    void PostToViewThread(std::function<void()> fnWork) override;
    void OnRunGateChanged(bool bRunWaiting) override;

protected:
    void keyPressEvent(QKeyEvent *pEvent) override;
    void contextMenuEvent(QContextMenuEvent *pEvent) override;
    bool eventFilter(QObject *pWatched, QEvent *pEvent) override;

private:
    // ModuleSetupDlgLayout.cpp: the widgets of the form, placed by its dialog template.
    void CreateControls();

    // The engine's boxes, and the open failure's, which names its cause under the text.
    int ShowMessageBox(const QString &strText, const QString &strCaption, unsigned nType,
                       const QString &strDetail);
    void WireControls();
    void CreateFileActions();
    void OnSaveConfig();
    void OnLoadConfig();
    void ApplyStatusText(const QString &strText);
    template <typename TWidget> TWidget *Find(int nId) const
    {
        return qobject_cast<TWidget *>(m_mapControls.value(nId));
    }

    static double s_dTimerScale;

    QHash<int, QWidget *> m_mapControls;
    QHash<unsigned, QTimer *> m_mapTimers;
    CStatusLabel *m_pStatus = nullptr;
    QAction *m_pAboutAction = nullptr;
    QList<QAction *> m_fileActions; // save, load, traffic: beside About in the context menu
    CTrafficDlg *m_pTrafficDlg = nullptr; // made when first shown; listens only while shown
    QString m_strConfigDir;               // where the last configuration file was
    QString m_strPreferredPort;
    QPointer<QWidget> m_pFocusBeforeRun;  // the button that had the focus when a run began
    // Declared last: it goes first, and with it the port and its reader, while the widgets it
    // reaches through the view still stand.
    CModuleSetupEngine m_engine{*this};
};

extern CModuleSetupDlg *g_pMainDlg;
