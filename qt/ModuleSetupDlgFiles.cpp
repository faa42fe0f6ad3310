// The window's configuration files and its traffic view, beside the About entry.
#include "qt/ModuleSetupDlg.h"
#include "qt/TrafficDlg.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>


namespace {
constexpr char kFileFilter[] = QT_TRANSLATE_NOOP("MainWindow", "配置文件 (*.json);;所有文件 (*)");
} // namespace

void CModuleSetupDlg::CreateFileActions()
{
    const struct
    {
        const char *pszText;
        void (CModuleSetupDlg::*pfnHandler)();
    } aActions[] = {
        {QT_TRANSLATE_NOOP("MainWindow", "保存配置..."), &CModuleSetupDlg::OnSaveConfig},
        {QT_TRANSLATE_NOOP("MainWindow", "载入配置..."), &CModuleSetupDlg::OnLoadConfig},
        {QT_TRANSLATE_NOOP("MainWindow", "通信记录"), &CModuleSetupDlg::ShowTraffic},
    };
    for (const auto &action : aActions) {
        auto *pAction =
            new QAction(QCoreApplication::translate("MainWindow", action.pszText), this);
        connect(pAction, &QAction::triggered, this, action.pfnHandler);
        m_fileActions.append(pAction);
    }
    // Files, the traffic view and About each keep to their own part of the menu.
    for (const int nAt : {2, 4}) {
        auto *pSeparator = new QAction(this);
        pSeparator->setSeparator(true);
        m_fileActions.insert(nAt, pSeparator);
    }
    m_strConfigDir = QDir::homePath();
}

bool CModuleSetupDlg::SaveConfigTo(const QString &strPath)
{
    return m_engine.SaveConfig(strPath.toStdString());
}

bool CModuleSetupDlg::LoadConfigFrom(const QString &strPath)
{
    return m_engine.LoadConfig(strPath.toStdString());
}

void CModuleSetupDlg::OnSaveConfig()
{
    const QString strPath =
        QFileDialog::getSaveFileName(this, QCoreApplication::translate("MainWindow", "保存配置"),
                                     QDir(m_strConfigDir).filePath(QStringLiteral("kestrel.json")),
                                     QCoreApplication::translate("MainWindow", kFileFilter));
    if (strPath.isEmpty())
        return;
    m_strConfigDir = QFileInfo(strPath).absolutePath();
    SaveConfigTo(strPath);
}

void CModuleSetupDlg::OnLoadConfig()
{
    const QString strPath = QFileDialog::getOpenFileName(
        this, QCoreApplication::translate("MainWindow", "载入配置"), m_strConfigDir,
        QCoreApplication::translate("MainWindow", kFileFilter));
    if (strPath.isEmpty())
        return;
    m_strConfigDir = QFileInfo(strPath).absolutePath();
    LoadConfigFrom(strPath);
}

void CModuleSetupDlg::ShowTraffic()
{
    if (!m_pTrafficDlg) {
        m_pTrafficDlg = new CTrafficDlg(m_engine, this);
        m_pTrafficDlg->SetSendEnabled(!m_engine.IsRunWaiting());
    }
    m_pTrafficDlg->show();
    m_pTrafficDlg->raise();
    m_pTrafficDlg->activateWindow();
}
