// Entry points of the engine's workers. The connect worker has its own file (ConnectWorker.cpp) and the
// traffic counters come from the engine pipe; the monitors and the tear-down are not in this build yet:
// each entry does the least its callers can rely on (the monitor ends when told, tear-down has nothing to
// undo). The exported API reaches them through CEngineWorkers, which tests subclass.
#include "engine/EngineWorkers.h"

#include "engine/EnginePipe.h"
#include "engine/EngineState.h"
#include "platform/Processes.h"
#include "platform/Types.h"

namespace velora {

uint32_t MonitorThread(uint32_t*) {
    platform::Event* stop = GetEngineState().stopMonitorEvent.get();
    if (stop) stop->Wait(platform::kInfinite);
    return kMonitorStopped;
}

void DisconnectWorker(DisconnectJob&) {}

void RemoveTunnelRoutes() {}

void HangUpTunnel() {
    GetEngineState().rasConnection.store(nullptr);
}

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
