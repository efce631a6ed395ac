// One step of the hotspot watcher that the native monitor runs: when the machine's mobile hotspot turns
// on or off, the helper service names the interface that shares the connection and the engine is told.
#pragma once
#include <cstdint>

#include "platform/Tethering.h"
#include "platform/Types.h"

namespace velora {

// What the step asks of the outside: the networking runtime's reading, the helper service's sharing
// interface, the engine. This class itself asks the real ones; tests hand in a subclass.
class CHotspotPort {
public:
    virtual ~CHotspotPort() = default;
    virtual platform::TetheringProbe Probe();
    // The helper service's sharing interface index (0 on failure).
    virtual int32_t WifiSpotHotNotify();
    // Tells the engine over its pipe; 0 or the pipe's failure code.
    virtual int32_t SetShareInterface(int32_t index);
};

// Reads the hotspot's state; on a change from `lastState` asks the helper service for the sharing
// interface and hands a non-zero index to the engine (UM_HOTSPOT 4 for a positive index, 5 for a
// negative one, once the engine took it). `lastState` takes the new state. `log`: say why a reading
// failed.
void PollHotspot(bool& lastState, platform::WindowHandle window, bool log, CHotspotPort& port);
void PollHotspot(bool& lastState, platform::WindowHandle window, bool log);

}  // namespace velora
