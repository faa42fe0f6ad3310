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
