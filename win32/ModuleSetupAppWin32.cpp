#include "win32/ModuleSetupAppWin32.h"

#include "win32/ModuleSetupDlgWin32.h"
#include "win32/ProfileWin32.h"
#include "win32/Win32Common.h"

#include <memory>

BOOL CModuleSetupAppWin32::InitInstance(HINSTANCE hInstance)
{
    // The trackbars live in the common controls; the manifest picks version 6 of them.
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    {
        CProfileWin32 profile;
        ApplyWin32UiLanguage(profile);
    }
    auto pDlg = std::make_unique<CModuleSetupDlgWin32>(hInstance);
    pDlg->DoModal(); // OK or Cancel, the program ends either way
    pDlg.reset();
    return FALSE;
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    CModuleSetupAppWin32 theApp;
    theApp.InitInstance(hInstance);
    return 0;
}
