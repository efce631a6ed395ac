// Identifiers of the program's resources: window templates and their controls, shared by the resource
// scripts and the code.
//
// Each window family has its resource fragment and its id range. The numbers in use are kept as they are
// (windows and tests find controls by them); a new id goes into its family's free range.
//   family                      fragment    header            ids in use                           new ids
//   login window                login.rc    resource.h        template 220; 1030-1032, 1080,       1610-1649
//                                                             1600-1601
//   main window                 main.rc     resource.h        template 102; 1040, 1602             1650-1699
//   skinned pop-ups and         Skin.rc     skin_resource.h   templates 327, 406, 484, 486, 1105,  1806-1899
//   prompts (stop, top,                                       1373; 1074, 1102-1104, 1422-1425,
//   switch account, toolbar,                                  1801-1805
//   toasts, layer)
//   skin pictures               skin_art.rc (generated)       icons and PNGs 132-468, 1092-1097    469-499
//   test host windows           tests/win   SkinTestIds.h     9000 and up
// Templates, controls and pictures are separate resource types, so a picture may share a number with a
// template (220) without a clash; controls are unique within the program.
#pragma once

// Window templates.
#define IDD_MAIN 102
#define IDD_LOGIN 220

// Login window.
#define IDC_CUSTOMER_ID 1030
#define IDC_USER_NAME 1031
#define IDC_PASSWORD 1032
#define IDC_VERSION 1080
#define IDC_LOGIN_HEADING 1600
#define IDC_LOGIN_SUBTITLE 1601

// Main window.
#define IDC_LOG_LIST 1040
#define IDC_MAIN_STATUS 1602

// Version of the program (the version resource and the version line of the login window): portable, so
// that the connect request reads the same numbers.
#include "core/Version.h"
