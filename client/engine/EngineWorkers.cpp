// Entry points of the engine's workers. The traffic counters come from the engine pipe; the connect
// request, the bring-up paths, the monitors and the tear-down are not in this build yet: each entry does the
// least its callers can rely on (connect fails with a clear code, the monitor ends when told, tear-down has
// nothing to undo), and tests can put doubles in their place.
#include "engine/EngineWorkers.h"

#include <memory>
#include <mutex>

#include "core/Settings.h"
#include "engine/EnginePipe.h"
#include "engine/EngineState.h"
#include "platform/Types.h"

namespace velora {
namespace {

std::mutex g_doublesLock;
std::shared_ptr<const EngineWorkerDoubles> g_doubles;

std::shared_ptr<const EngineWorkerDoubles> Doubles() {
    std::lock_guard l(g_doublesLock);
    return g_doubles;
}

void BuiltInConnect(ConnectContext& context) {
    if (GetSetting(u"AuthToken", u"").empty()) {
        context.message = u"2011 The token is invalid, please login again";
        context.result = 30113;
        return;
    }
    context.message = u"The connection engine is not available in this build yet";
    context.result = kConnectNotAvailable;
}

uint32_t BuiltInMonitor(uint32_t*) {
    platform::Event* stop = GetEngineState().stopMonitorEvent.get();
    if (stop) stop->Wait(platform::kInfinite);
    return kMonitorStopped;
}

}  // namespace

void ValidateUserAndConnectThread(ConnectContext& context) {
    auto doubles = Doubles();
    if (doubles && doubles->connect) return doubles->connect(context);
    BuiltInConnect(context);
}

uint32_t MonitorThread(uint32_t* mode) {
    auto doubles = Doubles();
    if (doubles && doubles->monitor) return doubles->monitor(mode);
    return BuiltInMonitor(mode);
}

void DisconnectWorker(DisconnectJob& job) {
    auto doubles = Doubles();
    if (doubles && doubles->disconnect) doubles->disconnect(job);
}

void RemoveTunnelRoutes() {
    auto doubles = Doubles();
    if (doubles && doubles->removeTunnelRoutes) doubles->removeTunnelRoutes();
}

void HangUpTunnel() {
    auto doubles = Doubles();
    if (doubles && doubles->hangUpTunnel) return doubles->hangUpTunnel();
    GetEngineState().rasConnection.store(nullptr);
}

uint32_t QueryEngineFlowCounters(int64_t& txBytes, int64_t& rxBytes) {
    auto doubles = Doubles();
    if (doubles && doubles->flowCounters) return doubles->flowCounters(txBytes, rxBytes);
    bool down = false;
    return static_cast<uint32_t>(QueryEngineStatus(txBytes, rxBytes, down));
}

void SetEngineWorkersForTest(EngineWorkerDoubles doubles) {
    std::lock_guard l(g_doublesLock);
    g_doubles = std::make_shared<const EngineWorkerDoubles>(std::move(doubles));
}

}  // namespace velora
