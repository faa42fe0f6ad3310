#pragma once

// Control, command and timer ids of the window, as its resources number them. The resource
// script includes this file too (windres runs the C preprocessor, with RC_INVOKED defined): the
// control ids are plain macros it can read; the rest is C++ and hidden from it, the more so as
// windows.h, included there first, has IDOK and the MB_ values as macros of its own.

// Main dialog
#define IDC_EDIT_VERSION 1010
#define IDC_CHECK_AUTH 1011
#define IDC_EDIT_PASSWORD 1013
#define IDC_CHECK_ROLE 1014
#define IDC_CHECK_BIND 1015
#define IDC_COMBO_BAUD 1017
#define IDC_EDIT_NAME 1021
#define IDC_EDIT_CLASS 1023
#define IDC_EDIT_CONN_INTERVAL 1025
#define IDC_EDIT_CONN_DURATION 1026
#define IDC_EDIT_INQ_INTERVAL 1029
#define IDC_EDIT_INQ_DURATION 1031
#define IDC_EDIT_SNIFF_MAX 1033
#define IDC_EDIT_SNIFF_MIN 1035
#define IDC_EDIT_SNIFF_ATTEMPT 1037
#define IDC_EDIT_SNIFF_TIMEOUT 1039
#define IDC_BUTTON_QUERY 1041
#define IDC_BUTTON_SET 1042
#define IDC_BUTTON_DEFAULT 1043
#define IDC_BUTTON_CLEARADDR 1044
#define IDC_SLIDER_SNIFF 1049
#define IDC_SLIDER_SCAN 1050
#define IDC_COMBO_BINDADDR 1051
#define IDC_BUTTON_SEARCH 1052
#define IDC_STATUS 1054
#define IDC_EDIT_LOCALADDR 1056
#define IDC_COMBO_PARITY 1059
#define IDC_COMBO_STOPBITS 1060
#define IDC_BUTTON_CLOSE 8

// The console's "发送" in the traffic window: one of the actions that write a command
#define IDC_BUTTON_CONSOLE_SEND 1081

// Port dialog
#define IDC_COMBO_PORT 1002
#define IDC_COMBO_FLOW 1004
#define IDC_COMBO_LINERATE 1005

#ifndef RC_INVOKED
constexpr int IDM_ABOUTBOX = 0x10;

// One-shot timers of the main dialog
constexpr unsigned TIMER_QUERY = 1001;
constexpr unsigned TIMER_CLEARADDR = 1002;
constexpr unsigned TIMER_SET = 1003;
constexpr unsigned TIMER_DEFAULT = 1004;
constexpr unsigned TIMER_AUTOQUERY = 1005;
constexpr unsigned TIMER_PROBE = 1006; // the wait for "OK" at one rate of the line-rate probe
constexpr unsigned TIMER_REOPEN = 1007; // the next look for a pulled adapter
constexpr unsigned TIMER_LATE = 1008;   // how long a reply no run waits for may still come
constexpr unsigned TIMER_CONSOLE = 1009; // a console command's quiet wait, restarted by each byte
constexpr unsigned TIMER_CONSOLE_MAX = 1010; // a console command's whole wait

// Message box types and results, with the values the dialog's behaviour was defined in.
constexpr unsigned MB_OK = 0x00;
constexpr unsigned MB_YESNO = 0x04;
constexpr unsigned MB_ICONHAND = 0x10;
constexpr unsigned MB_ICONEXCLAMATION = 0x30;
constexpr unsigned MB_ICONINFORMATION = 0x40;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;
#endif
