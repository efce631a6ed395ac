// Identifiers of the test program's host windows for the skin (ids from 9100, clear of the program's).
#pragma once

#define IDD_SKIN_HOST 9100
#define IDD_SKIN_BARE 9101
#define IDD_SKIN_WIDE 9102
#define IDC_HOST_BUTTON 9110
#define IDC_HOST_ICONS 9111
#define IDC_HOST_CHECK 9112
#define IDC_HOST_CHECK_LABEL 9113
#define IDC_HOST_EDIT 9114
#define IDC_HOST_PASSWORD 9115
#define IDC_HOST_LINK 9116
#define IDC_HOST_CHRONO 9117
#define IDC_HOST_ROTATE 9118
#define IDC_HOST_VCENTER 9119
#define IDC_HOST_LIST 9120
#define IDC_HOST_RICH 9121
#define IDC_HOST_BUSY 9122
#define IDB_TEST_BUSY 9001
#define IDI_TEST_EDIT 9011
