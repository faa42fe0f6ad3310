#pragma once

// Resource ids of the Windows build, shared by the resource script and the code (both windows':
// the Qt window finds its dialog templates by these ids). Control ids are the window's own
// (engine/ControlIds.h), which the script includes as well.

#define IDD_ABOUTBOX 100
#define IDD_MODULESETUP_DIALOG 102
#define IDD_PORTSELECT 131
#define IDR_MAINFRAME 128
#define IDB_PLUG 134
#define IDS_ABOUTBOX 101
#define IDS_TITLE 102

// The traffic window: its template and controls ("关闭" is IDCANCEL, so Escape closes it too).
#define IDD_TRAFFIC 140
#define IDC_TRAFFIC_TEXT 1101
#define IDC_TRAFFIC_COPY 1102
#define IDC_TRAFFIC_SAVE 1103
#define IDC_TRAFFIC_CLEAR 1104
// Its console row: the command typed, the line ending; "发送" is the engine's
// IDC_BUTTON_CONSOLE_SEND (1081), one of the actions that write a command.
#define IDC_CONSOLE_COMMAND 1105
#define IDC_CONSOLE_EOL 1106

// Menu commands of the main window (the system menu's are multiples of 16, as it requires;
// IDM_ABOUTBOX is the window's own, engine/ControlIds.h).
#define IDM_LANGUAGE_ZH 0x0020
#define IDM_LANGUAGE_EN 0x0030
#define IDM_SAVECONFIG 0x0040
#define IDM_LOADCONFIG 0x0050
#define IDM_TRAFFIC 0x0060
