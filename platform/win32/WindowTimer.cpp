// Window timers on Windows: SetTimer/KillTimer on the window, never a thread timer.
#include "platform/WindowTimer.h"

#include <windows.h>

namespace platform {

bool SetWindowTimer(WindowHandle window, uintptr_t id, uint32_t ms) {
    if (!window) return false;
    return SetTimer(static_cast<HWND>(window), id, ms, nullptr) != 0;
}

bool KillWindowTimer(WindowHandle window, uintptr_t id) {
    if (!window) return false;
    return KillTimer(static_cast<HWND>(window), id) != FALSE;
}

}  // namespace platform
