#include "app/ModuleSetupAppWin32.h"

#include "dialog/ModuleSetupDlgWin32.h"

#include <memory>

BOOL CModuleSetupApp::InitInstance(HINSTANCE hInstance)
{
    // The trackbars live in the common controls; the manifest picks version 6 of them.
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    auto pDlg = std::make_unique<CModuleSetupDlg>(hInstance);
    pDlg->DoModal(); // OK or Cancel, the program ends either way
    pDlg.reset();
    return FALSE;
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    CModuleSetupApp theApp;
    theApp.InitInstance(hInstance);
    return 0;
}
