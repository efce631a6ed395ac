// The MOBILE_DETECT mode, which has no tunnel: its bring-up (nothing to build, the connection is up as soon
// as the orchestrator chose the mode) and its link monitor, which sends intranet heartbeats and gives up on
// the link when they have failed for longer than the orchestrator allows.
#pragma once
#include <cstdint>
#include <functional>

#include "engine/ConnectContext.h"
#include "platform/Types.h"

namespace velora {

// The bring-up: nothing to build, the connection is up as soon as the orchestrator chose the mode.
void StartMobileDetect(ConnectContext& context);

// Its waits and its clock, as the product has them; a test hands in shorter waits and a clock of its own
// so that the failure limit can pass without waiting for it.
struct MobileDetectTiming {
    uint32_t settleMs = 2000;      // before the first pass
    uint32_t stopWaitMs = 2000;    // before the first pass and at the end of each, on stopMonitorEvent
    uint32_t checkWaitMs = 200;    // each pass, on the address-change notification
    std::function<int64_t()> now;  // wall-clock milliseconds; empty: the system's
};

// The failure limit floor and the margin taken off "HeartbeatTimeout", in milliseconds.
constexpr int64_t kHeartbeatFailureLimitFloorMs = 40000;
constexpr int64_t kHeartbeatTimeoutMarginMs = 20000;
int64_t HeartbeatFailureLimitMs(int64_t heartbeatTimeoutMs);

uint32_t MobileDetectMonitor(platform::WindowHandle window, const MobileDetectTiming& timing = {});

}  // namespace velora
