#pragma once

#include "win32/Win32Api.h"

// Starts the program: runs the main dialog modally until it closes; there is no message loop
// after it.
class CModuleSetupAppWin32
{
public:
    // Like the framework's start-up hook it reports FALSE: the program ends with the dialog.
    BOOL InitInstance(HINSTANCE hInstance);
};
