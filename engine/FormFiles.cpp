// The form saved to and loaded from configuration files, the same way in both windows.
#include "engine/ConfigFile.h"
#include "engine/FileText.h"
#include "engine/ModuleSetupEngine.h"
#include "engine/UiText.h"

namespace {
constexpr CUiSource kCaptionError = KESTREL_TR_NOOP("MainWindow", "错误");
constexpr CUiSource kCaptionNotice = KESTREL_TR_NOOP("MainWindow", "提示");
// A run that waits is still filling the form: a file read or written now would be half of it.
constexpr CUiSource kBusySave =
    KESTREL_TR_NOOP("MainWindow", "正在与模块通信，请在本次操作结束后再保存配置。");
constexpr CUiSource kBusyLoad =
    KESTREL_TR_NOOP("MainWindow", "正在与模块通信，请在本次操作结束后再载入配置。");
constexpr CUiSource kCannotSave = KESTREL_TR_NOOP("MainWindow", "无法保存配置文件 %1：%2");
constexpr CUiSource kCannotLoad = KESTREL_TR_NOOP("MainWindow", "无法载入配置文件 %1：%2");

std::string FileProblem(CUiSource format, const std::string &strPath, const std::string &strWhy)
{
    return FillArgs(Tr("MainWindow", format), {strPath, strWhy});
}
} // namespace

bool CModuleSetupEngine::SaveConfig(const std::string &strPath)
{
    if (IsRunWaiting()) {
        m_view.MessageBox(Tr("MainWindow", kBusySave), Tr("MainWindow", kCaptionNotice),
                          MB_OK | MB_ICONINFORMATION);
        return false;
    }
    ModuleParams params;
    std::string strLocalAddr;
    if (!ReadFormValues(params, strLocalAddr))
        return false; // the form's own check has told the user which field
    std::string strError;
    if (!WriteFileReplacing(strPath, FormatConfigText(params, strLocalAddr, SessionPort()),
                            strError)) {
        m_view.MessageBox(FileProblem(kCannotSave, strPath, strError),
                          Tr("MainWindow", kCaptionError), MB_OK | MB_ICONHAND);
        return false;
    }
    return true;
}

bool CModuleSetupEngine::LoadConfig(const std::string &strPath)
{
    if (IsRunWaiting()) {
        m_view.MessageBox(Tr("MainWindow", kBusyLoad), Tr("MainWindow", kCaptionNotice),
                          MB_OK | MB_ICONINFORMATION);
        return false;
    }
    const CConfigReadResult file = LoadConfigFile(strPath);
    if (!file.bOk) {
        m_view.MessageBox(FileProblem(kCannotLoad, strPath, file.strError),
                          Tr("MainWindow", kCaptionError), MB_OK | MB_ICONHAND);
        return false;
    }
    ApplyValues(file.values);
    return true;
}
