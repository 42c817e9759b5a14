#pragma once
// Identifiers of the image manager window's resources.
#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_TOVIIMGMGR_DIALOG 102
#define IDR_MAINFRAME 128

#define IDC_BTN_SELECT_IMG 1004
#define IDC_EDIT_STATUS 1005
#define IDC_LIST_SELECTED 1012
#define IDC_LIST_MODEM 1014
#define IDC_LIST_PRI 1015
#define IDC_BTN_CLEAR 1017
#define IDC_BTN_DELETE 1018

// System menu command of the About entry; the low four bits are the system's.
#define IDM_ABOUTBOX 0x0010

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
