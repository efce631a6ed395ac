// Name resolution for the routing and diagnosis code: the platform resolver's IPv4 results joined.
#include "core/HostResolve.h"

#include "core/Format.h"
#include "platform/Network.h"

namespace velora {

bool ResolveHostIpv4(std::u16string_view host, std::u16string& out) {
    out.clear();
    const platform::Ipv4Resolution result = platform::ResolveIpv4(host);
    if (result.resolveError != 0) {
        out = FormatText(u"Failed to call GetAddrInfo with error code %d", int32_t{result.resolveError});
        return false;
    }
    if (result.toStringError != 0) {
        out = FormatText(u"Failed to call WSAAddressToString with error code %u", result.toStringError);
        return false;
    }
    for (const std::u16string& address : result.addresses) {
        if (!out.empty()) out += u',';
        out += address;
    }
    return true;
}

}  // namespace velora
