// Entry points of the engine's workers. The connect worker has its own file (ConnectWorker.cpp), the
// traffic counters come from the engine pipe, the link monitors are NativeMonitor, MobileDetectMonitor and
// TunnelMonitor, the tunnel's tear-down is in TunnelBringUp.cpp and the disconnect worker in Disconnect.cpp.
// The exported API reaches them through CEngineWorkers, which tests subclass.
#include "engine/EngineWorkers.h"

#include "core/Format.h"
#include "core/Log.h"
#include "engine/ConnectWorker.h"
#include "engine/Disconnect.h"
#include "engine/EnginePipe.h"
#include "engine/EngineState.h"
#include "engine/MobileDetect.h"
#include "engine/NativeMonitor.h"
#include "engine/TunnelBringUp.h"
#include "engine/TunnelMonitor.h"
#include "helper/HelperClient.h"
#include "platform/ComApartment.h"
#include "platform/Messenger.h"
#include "platform/Processes.h"
#include "platform/Types.h"
#include "res/MessageIds.h"

namespace velora {

uint32_t MonitorThread(uint32_t* mode) {
    const platform::CComApartment com;
    if (!com.Usable())
        LogFormatMessageId(kMsgComInitFailed, static_cast<uint32_t>(com.Error()),
                           HelperResultText(com.Error()));
    const uint32_t current = mode ? LoadMode(mode) : static_cast<uint32_t>(NATIVE);
    if (current == NATIVE) return NativeMonitor(platform::MainWindow());
    if (current == MOBILE_DETECT) return MobileDetectMonitor(platform::MainWindow());
    if (current == VCPE || current == DCPE) return TunnelMonitor(platform::MainWindow());
    LogDebug(FormatText(u"No link monitor for connection mode %u", current));
    return kMonitorStopped;
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
