// Finding the customer's authentication server: the discovery servers (built-in, or replaced through
// the profile values "DiscoveryUrl" and "DiscoveryBackupUrl"), the privacy-policy version published
// beside them, and routing the servers past a tunnel through the helper service.
#pragma once
#include <functional>
#include <string>
#include <string_view>

namespace velora {

inline constexpr std::u16string_view kDefaultDiscoveryUrl =
    u"https://discovery.halvane.net/api/mobile/v1/orchinfo";
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
// authentication servers bypasses a tunnel. The call goes to the helper service's binding unless a test
// registered another router (SetGatewayRouter); the thread must be in a COM apartment.
void routeServerViaGateway(std::u16string_view url);

// `addresses`: IPv4 addresses joined by ",". Tests register a recorder; empty restores the binding.
using GatewayRouterFn = std::function<void(const std::u16string& addresses)>;
void SetGatewayRouter(GatewayRouterFn router);

}  // namespace velora
