// One step of the hotspot watcher that the native monitor runs: when the machine's mobile hotspot turns
// on or off, the helper service names the interface that shares the connection and the engine is told.
#pragma once
#include "platform/Types.h"

namespace velora {

// Reads the hotspot's state; on a change from `lastState` asks the helper service for the sharing
// interface and hands a non-zero index to the engine (UM_HOTSPOT 4 for a positive index, 5 for a
// negative one, once the engine took it). `lastState` takes the new state. `log`: say why a reading
// failed.
void PollHotspot(bool& lastState, platform::WindowHandle window, bool log);

}  // namespace velora
