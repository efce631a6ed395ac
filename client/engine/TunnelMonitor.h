// The link monitor of the VCPE and DCPE modes: heartbeats with their orders, the dial-up connection's
// state, the tunnel interface's counters and the network-change debounce each pass; it reports to the main
// window with UM_LINK_STATE and ends with the stopped (0) or link-lost (2) code.
#pragma once
#include <cstdint>
#include <functional>

#include "platform/Types.h"

namespace velora {

// Its waits and its clock, as the product has them; a test hands in shorter waits and its own clock.
struct TunnelMonitorTiming {
    uint32_t stopWaitMs = 2000;    // before the first pass and at the end of each, on stopMonitorEvent
    uint32_t checkWaitMs = 200;    // each pass, on the address-change notification
    std::function<int64_t()> now;  // wall-clock milliseconds; empty: the system's
};

uint32_t TunnelMonitor(platform::WindowHandle window, const TunnelMonitorTiming& timing = {});

}  // namespace velora
