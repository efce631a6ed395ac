// Window messages from workers to windows. The exported API has no window: posting to nullptr does
// nothing and reports false.
#pragma once
#include <cstdint>

#include "platform/Types.h"

namespace platform {

bool PostWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
intptr_t SendWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
bool WindowExists(WindowHandle window);
bool WindowHasControl(WindowHandle window, int controlId);

// The application's main window (set by the main window while it lives; nullptr otherwise).
void SetMainWindow(WindowHandle window);
WindowHandle MainWindow();

}  // namespace platform
