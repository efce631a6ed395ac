// The workers of the connection engine that the main window and the exported API run: connect, link
// monitor, disconnect, and the pieces of the tunnel tear-down and the engine's traffic counters; and the
// set of them the exported API is given.
#pragma once
#include <cstdint>

#include "engine/ConnectContext.h"
#include "engine/DisconnectJob.h"

namespace velora {

// Exit codes of MonitorThread.
constexpr uint32_t kMonitorStopped = 0;
constexpr uint32_t kMonitorLinkLost = 2;

// Connect result while the connection engine is missing from this build (ERROR_CALL_NOT_IMPLEMENTED).
constexpr int32_t kConnectNotAvailable = 120;

// Turns a signed-in user into a running connection; outcome in `context` (run synchronously by the API).
void ValidateUserAndConnectThread(ConnectContext& context);
// Watches the link of the current connection until stopMonitorEvent or link loss; the exit code says which.
uint32_t MonitorThread(uint32_t* mode);
// Tears the connection down as `job` says.
void DisconnectWorker(DisconnectJob& job);
// VCPE/DCPE: removes the routes of the traffic filter list when they were installed.
void RemoveTunnelRoutes();
// VCPE/DCPE: hangs up the dial-up connection in EngineState::rasConnection, if any, and clears it.
void HangUpTunnel();
// NATIVE: sums of the bytes sent and received of all tunnels, asked over the engine pipe; 0 or the
// pipe's error code.
uint32_t QueryEngineFlowCounters(int64_t& txBytes, int64_t& rxBytes);

// The workers the exported API runs, handed to it at ApiInit: this class itself is the built-in set (each
// method runs the function of the same name above); tests hand in a subclass. The methods carry the
// system's operation names.
class CEngineWorkers {
public:
    virtual ~CEngineWorkers() = default;
    virtual void ValidateUserAndConnectThread(ConnectContext& context);
    virtual uint32_t MonitorThread(uint32_t* mode);
    virtual void DisconnectWorker(DisconnectJob& job);
    virtual void RemoveTunnelRoutes();
    virtual void HangUpTunnel();
    virtual uint32_t QueryEngineFlowCounters(int64_t& txBytes, int64_t& rxBytes);
    // After a connect: runs "ipconfig /flushdns" hidden, so names resolve through the new connection.
    virtual void FlushResolverCache();
};

}  // namespace velora
