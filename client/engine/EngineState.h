// The process-wide state of the connection engine, shared by its workers, the main window and the
// exported API. No lock guards it: each field has one writer at a time by the order of the steps. Flags
// and numbers are atomic so that a reader on another thread never races the writer.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/Kernel.h"

namespace velora {

// A dial-up connection of the platform's remote-access layer (opaque here).
using RasConnectionHandle = void*;

struct EngineState {
    std::atomic<bool> firstAttempt{true};
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> connectPopFailed{false};
    std::atomic<bool> useClientSpecifyMode{false};
    std::atomic<uint32_t> retryCount{0};
    std::atomic<bool> enableHotspot{false};
    std::atomic<bool> popIpsEnable{false};
    std::atomic<bool> allowClientSpecifyMode{false};
    std::u16string remoteIps;
    std::u16string lanAssignIp;
    std::u16string internalIp;
    std::atomic<int64_t> defaultGatewayIfIndex{0};
    std::atomic<int32_t> ipSetMode{99};
    std::u16string whiteIpSet;
    std::u16string blackIpSet;
    std::u16string filterText;
    std::atomic<bool> outerAuth{false};
    std::atomic<bool> nativeTimedOut{false};
    std::atomic<bool> icsEnabled{false};
    std::atomic<RasConnectionHandle> rasConnection{nullptr};
    std::atomic<bool> dialTimedOut{false};
    std::atomic<bool> ignoreAuthFailure{false};
    std::atomic<bool> hasWirelessAdapter{false};

    // Created once by CreateEngineEvents and kept for the life of the process.
    std::unique_ptr<platform::Event> connectionEvent;     // "Global\ORCH_CONNECTION_EVENT"
    std::unique_ptr<platform::Event> disconnectionEvent;  // "Global\ORCH_DISCONNECTION_EVENT"
    std::unique_ptr<platform::Event> stopConnectEvent;
    std::unique_ptr<platform::Event> stopMonitorEvent;
    std::unique_ptr<platform::Event> stopProcessCheckEvent;
};

EngineState& GetEngineState();

}  // namespace velora
