// Window messages of the client, counted from the first user message number (WM_USER, 1024).
#pragma once
#include <cstdint>

namespace velora {

constexpr uint32_t kWmUser = 1024;
constexpr uint32_t UM_LOG_LINE = kWmUser + 1;  // lParam: new std::u16string*, the window deletes it
constexpr uint32_t UM_CONNECT_RESULT = kWmUser + 3;
constexpr uint32_t UM_TRAY = kWmUser + 4;
constexpr uint32_t UM_LINK_STATE = kWmUser + 6;
constexpr uint32_t UM_PASSWORD_CHANGED = kWmUser + 7;
constexpr uint32_t UM_UPGRADE_RESULT = kWmUser + 9;
constexpr uint32_t UM_DISCONNECTED = kWmUser + 13;
constexpr uint32_t UM_EXIT = kWmUser + 14;
constexpr uint32_t UM_DIAGNOSIS_DONE = kWmUser + 15;
constexpr uint32_t UM_TOAST_RECONNECT = kWmUser + 16;
constexpr uint32_t UM_HOTSPOT = kWmUser + 19;

// Sign-in worker -> login window. A message that carries a text pointer in lParam is always sent.
constexpr uint32_t UM_SIGNIN_RESULT = kWmUser + 2;     // wParam result code (10001: page changed)
constexpr uint32_t UM_DISCOVERY_RESULT = kWmUser + 4;  // wParam error, status, or 10000 (newer privacy)
constexpr uint32_t UM_SMS_NEEDED = kWmUser + 10;       // sent; lParam the phone number text
constexpr uint32_t UM_OTP_STEP = kWmUser + 21;

// Control id of the main window's log list.
constexpr int kLogListControlId = 1040;

}  // namespace velora
