#pragma once

// The one way the Windows front end includes the Windows headers. The window's own ids come
// first: windows.h then defines the same values (MB_OK, IDYES, ...) as macros. The macros that
// would rename the engine's control-surface members (GetWindowText, SetWindowText, MessageBox)
// are taken back; the code calls the wide functions by their W names.

// clang-format off
#include "engine/ControlIds.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <commctrl.h>
#include <windowsx.h>
// clang-format on

#undef GetWindowText
#undef SetWindowText
#undef MessageBox

// A message cracker for dialog procedures: the handler's result goes where the dialog manager
// looks for it (the return value for the few messages that use it, else DWLP_MSGRESULT).
#define HANDLE_DLGMSG(hwnd, message, fn)                                                           \
    case (message):                                                                                \
        return SetDlgMsgResult(hwnd, message, HANDLE_##message((hwnd), (wParam), (lParam), (fn)))
