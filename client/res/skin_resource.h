// Identifiers of the skinned pop-ups and dialogs: templates and controls shared by Skin.rc and the code.
#pragma once

// Templates.
#define IDD_STOP_PROMPT 327
#define IDD_TOP_PROMPT 406
#define IDD_SWITCH_ACCOUNT 484
#define IDD_CHANGE_PASS_SURE 486
#define IDD_TOOLBAR 1105
#define IDD_LAYER 1373

// Top prompt.
#define IDC_PROMPT_ICON 1801
#define IDC_PROMPT_TEXT 1802
// Switch account and password changed.
#define IDC_SWITCH_TITLE 1803
#define IDC_SWITCH_TEXT 1804
#define IDC_PASS_SURE_TEXT 1805
// Stop prompt.
#define IDC_STOP_QUESTION 1074
// Toast.
#define IDC_TOAST_TEXT1 1102
#define IDC_TOAST_TEXT2 1103
#define IDC_TOAST_TEXT3 1104
#define IDC_TOAST_RETRY 1422
#define IDC_TOAST_PICTURE 1423
#define IDC_TOAST_BRAND 1424
#define IDC_TOAST_TITLE 1425
