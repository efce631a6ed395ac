// Finding the customer's authentication server: the discovery servers (built-in, or replaced through
// the profile values "DiscoveryUrl" and "DiscoveryBackupUrl"), the privacy-policy version published
// beside them, and routing the servers past a tunnel through the helper service.
#pragma once
#include <functional>
#include <string>
#include <string_view>

namespace velora {

inline constexpr std::u16string_view kDefaultDiscoveryUrl = u"https://discovery.halvane.net/api/mobile/v1/orchinfo";
inline constexpr std::u16string_view kDefaultDiscoveryBackupUrl =
    u"https://discovery-backup.halvane.net/api/mobile/v1/orchinfo";

// The discovery URLs in effect.
std::u16string PrimaryDiscoveryUrl();
std::u16string BackupDiscoveryUrl();

// The auth URL derived from a discovery answer (stored as "AuthUrl"); empty for an empty answer.
std::u16string authUrlFromDiscovery(std::u16string_view answer);

// The current privacy-policy version, or empty text when both servers fail.
std::u16string fetchPrivacyVersion();

// Hands the IPv4 addresses of the URL's host to the helper service (AddRouterToGW), so traffic to the
// authentication servers bypasses a tunnel. Does nothing until the helper-service binding registers
// how to reach it (SetGatewayRouter).
void routeServerViaGateway(std::u16string_view url);

// `addresses`: IPv4 addresses joined by ",". Registered by the helper-service binding; empty removes it.
using GatewayRouterFn = std::function<void(const std::u16string& addresses)>;
void SetGatewayRouter(GatewayRouterFn router);
// Whether a router is registered (the sign-in routes its servers only then).
bool HasGatewayRouter();

}  // namespace velora
