// IPv4 addresses of a host name, as one text for routing and logging.
#pragma once
#include <string>
#include <string_view>

namespace velora {

// On success `out` holds the host's IPv4 addresses in the resolver's order, separated by "," (empty
// when the name has only IPv6 addresses). On failure `out` holds the reason:
// "Failed to call GetAddrInfo with error code %d" or "Failed to call WSAAddressToString with error code %u".
bool ResolveHostIpv4(std::u16string_view host, std::u16string& out);

}  // namespace velora
