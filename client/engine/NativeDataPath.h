// The native bring-up: checks that the firewall base, the packet driver and the helper service run, has
// the helper service write the engine's configuration and start the data-path engine, and waits for the
// engine to announce through the named events whether it reached the orchestrator.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "core/ResultCodes.h"
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

// Writes `result` and `message` of the context and posts UM_CONNECT_RESULT (nothing for a stop).
void StartNativeDataPath(std::u16string_view answer, ConnectContext& context);

// The host of the "AuthUrl" setting, and ",<host>" of "HeartbeatUrl" when that parses to another host.
std::u16string OrchDomainList();

enum class ServiceCheck { kRunning, kNotRunning, kUnreadable };
// The state of a service, with the failure logged to the user log (messages 298-301).
ServiceCheck CheckServiceRunning(std::u16string_view name);

}  // namespace velora
