// Entry points of the engine's workers. The traffic counters come from the engine pipe; the connect
// request, the bring-up paths, the monitors and the tear-down are not in this build yet: each entry does the
// least its callers can rely on (connect fails with a clear code, the monitor ends when told, tear-down has
// nothing to undo). The exported API reaches them through CEngineWorkers, which tests subclass.
#include "engine/EngineWorkers.h"

#include "core/Settings.h"
#include "engine/EnginePipe.h"
#include "engine/EngineState.h"
#include "platform/Processes.h"
#include "platform/Types.h"

namespace velora {

void ValidateUserAndConnectThread(ConnectContext& context) {
    if (GetSetting(u"AuthToken", u"").empty()) {
        context.message = u"2011 The token is invalid, please login again";
        context.result = 30113;
        return;
    }
    context.message = u"The connection engine is not available in this build yet";
    context.result = kConnectNotAvailable;
}

uint32_t MonitorThread(uint32_t*) {
    platform::Event* stop = GetEngineState().stopMonitorEvent.get();
    if (stop) stop->Wait(platform::kInfinite);
    return kMonitorStopped;
}

void DisconnectWorker(DisconnectJob&) {}

uint32_t QueryEngineFlowCounters(int64_t& txBytes, int64_t& rxBytes) {
    bool down = false;
    return static_cast<uint32_t>(QueryEngineStatus(txBytes, rxBytes, down));
}

void CEngineWorkers::ValidateUserAndConnectThread(ConnectContext& context) {
    velora::ValidateUserAndConnectThread(context);
}
uint32_t CEngineWorkers::MonitorThread(uint32_t* mode) {
    return velora::MonitorThread(mode);
}
void CEngineWorkers::DisconnectWorker(DisconnectJob& job) {
    velora::DisconnectWorker(job);
}
void CEngineWorkers::RemoveTunnelRoutes() {
    velora::RemoveTunnelRoutes();
}
void CEngineWorkers::HangUpTunnel() {
    velora::HangUpTunnel();
}
uint32_t CEngineWorkers::QueryEngineFlowCounters(int64_t& txBytes, int64_t& rxBytes) {
    return velora::QueryEngineFlowCounters(txBytes, rxBytes);
}
void CEngineWorkers::FlushResolverCache() {
    platform::ShellExecuteHidden(u"open", u"ipconfig", u"/flushdns");
}

}  // namespace velora
