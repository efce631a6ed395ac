// The link monitors' shared steps.
#include "engine/LinkMonitorSteps.h"

#include "core/TextHelpers.h"
#include "core/WindowMessages.h"
#include "engine/EngineState.h"
#include "platform/Messenger.h"

namespace velora {
namespace {

constexpr uintptr_t kLinkLost = 2;

}  // namespace

int64_t LinkMonitorNow(const std::function<int64_t()>& now) {
    return now ? now() : CurrentTimeMillis();
}

void ForgetStopRequest() {
    if (EngineState& engine = GetEngineState(); engine.stopMonitorEvent) engine.stopMonitorEvent->Reset();
}

uint32_t GiveUpLink(platform::WindowHandle window) {
    platform::PostWindowMessage(window, UM_LINK_STATE, kLinkLost, 0);
    ForgetStopRequest();
    return 2;
}

bool StopRequested(uint32_t ms) {
    EngineState& engine = GetEngineState();
    if (!engine.stopMonitorEvent || !platform::PauseUntilSignalled(*engine.stopMonitorEvent, ms))
        return false;
    LogMessageId(kMsgLinkMonitorStopRequested);
    return true;
}

std::optional<uint32_t> FinishLinkPass(CNetworkChangeDebounce& debounce, platform::WindowHandle window,
                                       int64_t nowMs, uint32_t stopWaitMs) {
    if (const auto end = debounce.Pass(window, nowMs)) return end;
    if (StopRequested(stopWaitMs)) return 0u;
    return std::nullopt;
}

}  // namespace velora
