// The native bring-up: checks that the firewall base, the packet driver and the helper service run, has
// the helper service write the engine's configuration and start the data-path engine, and waits for the
// engine to announce through the named events whether it reached the orchestrator. An attempt that does
// not end connected once the engine was asked to start takes it down again, as a disconnect does.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "core/ResultCodes.h"
#include "engine/ConnectAnswer.h"
#include "engine/ConnectContext.h"

namespace velora {

// How long the engine gets to reach the orchestrator: the first attempt, and a retried one.
inline constexpr uint32_t kNativeWaitMs = 30000;
inline constexpr uint32_t kNativeRetryWaitMs = 60000;

// Result codes of the native bring-up.
inline constexpr int32_t kConnectConfigNotSaved = kCodeConfigNotSaved;
inline constexpr int32_t kConnectDataPathNotStarted = kCodeDataPathNotStarted;
inline constexpr int32_t kConnectTimedOut = kCodeConnectTimedOut;
inline constexpr int32_t kConnectDriverNotRunning = kCodeDriverNotRunning;
inline constexpr int32_t kConnectTokenRefused = kCodeTokenInvalid;
inline constexpr int32_t kConnectFirewallBaseNotRunning = kCodeFirewallBaseNotRunning;
inline constexpr int32_t kConnectHelperNotRunning = kCodeHelperNotRunning;

// Services the bring-up checks, by their key names.
inline constexpr char16_t kFirewallBaseService[] = u"BFE";
inline constexpr char16_t kPacketDriverService[] = u"brxnet";
inline constexpr char16_t kHelperService[] = u"Corvane";

// Decides the outcome in the context (the worker posts it). A disconnect command that came before the
// engine's start keeps the engine from starting; once it was asked to start, every outcome but connected
// stops it again.
void StartNativeDataPath(const ConnectAnswer& answer, ConnectContext& context);
// The engine's side of a disconnect: the stop command on its pipe, then the helper service's stop of the
// data path (which also ends an engine that did not hear the command).
void StopNativeDataPath();

// The host of the "AuthUrl" setting, and ",<host>" of "HeartbeatUrl" when that parses to another host.
std::u16string OrchDomainList();

enum class ServiceCheck { kRunning, kNotRunning, kUnreadable };
// The state of a service, with the failure logged to the user log (messages 298-301).
ServiceCheck CheckServiceRunning(std::u16string_view name);

}  // namespace velora
