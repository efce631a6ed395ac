// The link monitor of the NATIVE mode: heartbeats with their orders, the engine's verdict event, the
// engine's status and counters every pass, and the hotspot watcher; it reports to the main window with
// UM_LINK_STATE and ends with the stopped (0) or link-lost (2) code.
#pragma once
#include <cstdint>

#include "platform/Types.h"

namespace velora {

// Its waits, as the product has them; a test hands in shorter ones to run many passes quickly.
struct NativeMonitorTiming {
    uint32_t settleMs = 2000;            // before the heartbeat host is resolved once
    uint32_t disconnectionWaitMs = 500;  // each pass, on the engine's disconnection event
    uint32_t stopWaitMs = 1500;          // each pass, on stopMonitorEvent
};

// Passes after which an engine that reports its tunnel down is reported as down for too long.
constexpr uint32_t kTunnelDownPasses = 31;

uint32_t NativeMonitor(platform::WindowHandle window, const NativeMonitorTiming& timing = {});

}  // namespace velora
