// The link monitors' shared steps.
#include "engine/LinkMonitorSteps.h"

#include "core/WindowMessages.h"
#include "engine/EngineState.h"
#include "platform/Messenger.h"

namespace velora {
namespace {

constexpr uintptr_t kLinkLost = 2;

}  // namespace

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

}  // namespace velora
