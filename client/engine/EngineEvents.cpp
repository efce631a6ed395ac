// Creation of the engine's events. An event that exists already is kept, so a second call (Init after a
// failed Init) only fills the gaps and never swaps an event that a worker may be waiting on.
#include "engine/EngineEvents.h"

#include "core/Log.h"
#include "engine/EngineState.h"
#include "res/MessageIds.h"

namespace velora {
namespace {

bool CreateOne(std::unique_ptr<platform::Event>& slot, std::u16string_view name, bool manualReset) {
    if (slot) return true;
    platform::EventCreation created = platform::OpenOrCreateEvent(name, manualReset, false);
    if (!created.event) {
        LogFormatMessageIdAtLevel(kLogError, kMsgEventCreationFailed, static_cast<int32_t>(created.error));
        return false;
    }
    slot = std::move(created.event);
    return true;
}

}  // namespace

bool CreateEngineEvents() {
    EngineState& state = GetEngineState();
    bool ok = true;
    ok = CreateOne(state.connectionEvent, kConnectionEventName, true) && ok;
    ok = CreateOne(state.disconnectionEvent, kDisconnectionEventName, true) && ok;
    ok = CreateOne(state.stopConnectEvent, u"", false) && ok;
    ok = CreateOne(state.stopMonitorEvent, u"", false) && ok;
    ok = CreateOne(state.stopProcessCheckEvent, u"", false) && ok;
    return ok;
}

}  // namespace velora
