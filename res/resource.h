// res/resource.h
// Resource and control ids, shared by the C++ code and the resource script (plain #defines only).
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_FENDRAL_DIALOG 102
#define IDR_MAINFRAME 128
#define IDB_BACKGROUND 129

// System-menu command ids must keep their low four bits clear (WM_SYSCOMMAND uses them).
#define IDM_ABOUTBOX 0x0010

#define IDC_RADIO_SINGLE 1000
#define IDC_RADIO_BATCH 1001
#define IDC_CHECK_DELETE_SOURCE 1002
#define IDC_CHECK_SHOW_SUCCESS 1003
#define IDC_CHECK_SHOW_FAILURE 1004
#define IDC_STATIC_INPUT 1005
#define IDC_STATIC_OUTPUT 1006
#define IDC_STATIC_SAVEDIR 1007
#define IDC_STATIC_INFO 1008
#define IDC_STATIC_RESULT 1009
#define IDC_LINK_URL 1010
#define IDC_LINK_TEXT 1011

#define IDC_EDIT_INPUT 11111
#define IDC_EDIT_OUTPUT 11112
#define IDC_LIST_INFO 11113
#define IDC_BUTTON_BROWSE_OUTPUT 11114
#define IDC_BUTTON_BROWSE_INPUT 11115
#define IDC_BUTTON_START 11116
#define IDC_BUTTON_STOP 11117
#define IDC_PROGRESS 11118
#define IDC_EDIT_SAVEDIR 11119
#define IDC_BUTTON_BROWSE_SAVEDIR 11120
#define IDC_LIST_RESULT 11121
