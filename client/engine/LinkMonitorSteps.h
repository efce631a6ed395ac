// The steps the tunnel and MOBILE_DETECT link monitors share: their clock, giving the link up, the end of
// each pass (the network-change debounce and the wait on the stop request), and the run of passes between
// the first look at the stop request and the monitor's last line. The native monitor forgets a stop
// request through the same step.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>

#include "core/Log.h"
#include "engine/NetworkChange.h"
#include "platform/Kernel.h"
#include "platform/Types.h"
#include "res/MessageIds.h"

namespace velora {

// The monitor's wall-clock milliseconds: the test's clock when one was handed in, else the system's.
int64_t LinkMonitorNow(const std::function<int64_t()>& now);

// Forgets a stop asked for now: when the monitor ends by itself, such a stop belongs to this run, not to
// the next monitor.
void ForgetStopRequest();

// Tells the window the link is lost (UM_LINK_STATE, 2), forgets a stop asked for now, and gives the
// link-lost code 2.
uint32_t GiveUpLink(platform::WindowHandle window);

// Waits up to `ms` for the stop request; true, with its line in the log, when it came.
bool StopRequested(uint32_t ms);

// The end of a pass: the network-change debounce at `nowMs`, then up to `stopWaitMs` on the stop request
// (0). No value: the monitor goes on.
std::optional<uint32_t> FinishLinkPass(CNetworkChangeDebounce& debounce, platform::WindowHandle window,
                                       int64_t nowMs, uint32_t stopWaitMs);

// Builds the pass (which arms the address-change notification and cancels it when it goes, before the
// last line), pauses `settleMs` when given, then runs passes until one gives the monitor's code, unless
// the stop request comes first (0).
template <typename Pass, typename Timing>
uint32_t RunLinkMonitor(platform::WindowHandle window, const Timing& timing,
                        std::optional<uint32_t> settleMs = std::nullopt) {
    uint32_t code = 0;
    {
        Pass pass(window, timing);
        if (settleMs) platform::Pause(*settleMs);
        if (!StopRequested(timing.stopWaitMs)) {
            for (;;) {
                if (const auto end = pass.Run()) {
                    code = *end;
                    break;
                }
            }
        }
    }
    LogMessageIdAtLevel(kMsgLinkMonitorEnded, kLogInfo);
    return code;
}

}  // namespace velora
