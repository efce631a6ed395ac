// The link monitor's entry and the engine's traffic counters, and the set of the engine's workers the
// exported API is given (connect, link monitor, disconnect, the pieces of the tunnel tear-down, the
// traffic counters); the connect and disconnect workers and the tunnel's tear-down are declared beside
// their own sources (ConnectWorker.h, Disconnect.h, TunnelBringUp.h).
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

// Watches the link of the current connection until stopMonitorEvent or link loss; the exit code says which.
uint32_t MonitorThread(uint32_t* mode);
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
