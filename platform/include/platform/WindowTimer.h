// Timers of a window, set and killed by workers on the window's behalf (the window handles the tick). With
// no window (the exported API) both do nothing and report false.
#pragma once
#include <cstdint>

#include "platform/Types.h"

namespace platform {

bool SetWindowTimer(WindowHandle window, uintptr_t id, uint32_t ms);
bool KillWindowTimer(WindowHandle window, uintptr_t id);

}  // namespace platform
