// Test controls of the host's window timers: the timers running per window and every set and kill in
// order, so a test can play the window's side of a tick.
#pragma once
#include <cstdint>
#include <vector>

#include "platform/Types.h"

namespace platform::host {

struct SimTimerCall {
    WindowHandle window;
    uintptr_t id;
    uint32_t ms;  // 0 for a kill
    bool set;
};

// Whether the timer `id` of `window` is running now.
bool SimTimerRunning(WindowHandle window, uintptr_t id);
// Every set and kill so far, oldest first; cleared by ClearSimTimerCalls.
std::vector<SimTimerCall> SimTimerCalls();
void ClearSimTimerCalls();

}  // namespace platform::host
