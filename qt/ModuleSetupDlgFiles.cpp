// The window's configuration files and its traffic view, beside the About entry.
#include "engine/ConfigFile.h"
#include "engine/FormValues.h"
#include "qt/ModuleSetupDlg.h"
#include "qt/TrafficDlg.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QSaveFile>

namespace {
constexpr char kCaptionError[] = QT_TRANSLATE_NOOP("MainWindow", "错误");
constexpr char kCaptionNotice[] = QT_TRANSLATE_NOOP("MainWindow", "提示");
// A run that waits is still filling the form: a file read or written now would be half of it.
constexpr char kBusySave[] =
    QT_TRANSLATE_NOOP("MainWindow", "正在与模块通信，请在本次操作结束后再保存配置。");
constexpr char kBusyLoad[] =
    QT_TRANSLATE_NOOP("MainWindow", "正在与模块通信，请在本次操作结束后再载入配置。");
constexpr char kFileFilter[] = QT_TRANSLATE_NOOP("MainWindow", "配置文件 (*.json);;所有文件 (*)");

std::string TrText(const char *pszSource)
{
    return QCoreApplication::translate("MainWindow", pszSource).toStdString();
}
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
    if (IsRunWaiting()) {
        MessageBox(TrText(kBusySave), TrText(kCaptionNotice), MB_OK | MB_ICONINFORMATION);
        return false;
    }
    ModuleParams params;
    std::string strLocalAddr;
    if (!ReadFormValues(*this, params, strLocalAddr))
        return false; // the form's own check has told the user which field
    const QByteArray text =
        QByteArray::fromStdString(FormatConfigText(params, strLocalAddr, m_strSessionPort));
    // Written aside and renamed: a failed save never leaves half a file in place of a good one.
    QSaveFile file(strPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        MessageBox(QCoreApplication::translate("MainWindow", "无法保存配置文件 %1：%2")
                       .arg(strPath, file.errorString())
                       .toStdString(),
                   TrText(kCaptionError), MB_OK | MB_ICONHAND);
        return false;
    }
    return true;
}

bool CModuleSetupDlg::LoadConfigFrom(const QString &strPath)
{
    if (IsRunWaiting()) {
        MessageBox(TrText(kBusyLoad), TrText(kCaptionNotice), MB_OK | MB_ICONINFORMATION);
        return false;
    }
    const CConfigReadResult file = LoadConfigFile(QFile::encodeName(strPath).toStdString());
    if (!file.bOk) {
        MessageBox(QCoreApplication::translate("MainWindow", "无法载入配置文件 %1：%2")
                       .arg(strPath, QString::fromStdString(file.strError))
                       .toStdString(),
                   TrText(kCaptionError), MB_OK | MB_ICONHAND);
        return false;
    }
    ApplyValuesToForm(*this, file.values);
    // The boxes were set as a click would set them; the fields they govern follow.
    if (file.values.Has(ParamOf(&ModuleParams::Auth)))
        OnCheckAuth();
    if (file.values.Has(ParamOf(&ModuleParams::Bind)))
        OnCheckBind();
    return true;
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
    if (!m_pTrafficDlg)
        m_pTrafficDlg = new CTrafficDlg(m_sessionTrace, this);
    m_pTrafficDlg->show();
    m_pTrafficDlg->raise();
    m_pTrafficDlg->activateWindow();
}
