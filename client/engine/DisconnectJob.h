// What one run of the disconnect worker is told to do: filled by the caller (the main window keeps one,
// the exported API builds one on its stack) and read by DisconnectWorker.
#pragma once
#include <cstdint>

#include "platform/Kernel.h"

namespace velora {

// Disconnect reasons, posted back with UM_DISCONNECTED.
enum DisconnectReason : uint32_t {
    kDisconnectUserStop = 0,
    kDisconnectRetry = 1,
    kDisconnectLinkLost = 2,
    kDisconnectExit = 3,
    kDisconnectCancelConnecting = 4,
    kDisconnectNoRetry = 5,
};

struct DisconnectJob {
    uint8_t removeRoutes = 0;                   // VCPE/DCPE: remove the filter-list routes
    uint8_t notifyOrchestrator = 0;             // tell the orchestrator the client has gone
    uint32_t reason = 0;                        // DisconnectReason
    uint32_t mode = 0;                          // ConnectionMode being ended
    platform::Thread* monitorThread = nullptr;  // the link monitor, or none; owned by the caller
};

}  // namespace velora
