// Identifiers of the program's resources: window templates and their controls, shared by the resource
// script and the code.
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

// Version of the program (the version resource and the version line of the login window).
#define VELORA_VERSION_MAJOR 1
#define VELORA_VERSION_MINOR 0
#define VELORA_VERSION_PATCH 0
#define VELORA_VERSION_BUILD 1
#define VELORA_VERSION_TEXT "1.0.0.1"
