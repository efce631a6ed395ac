// Route list texts: items separated by "," ("10.1.0.0/16,192.168.8.1"), each an IPv4 network with a prefix
// length or a bare address (a host route), turned into the routing table's destination and mask.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// The most items one route list may carry; a longer list is refused as a whole.
inline constexpr std::size_t kMaxRouteItems = 10000;
// The longest item after its leading white space: a full dotted address, "/" and a two-digit prefix.
inline constexpr std::size_t kMaxRouteItemUnits = 18;

// The non-empty items of a list, in order (empty items between commas are skipped). Stops counting
// past `limit` items: a result longer than `limit` means the list is over the limit.
std::vector<std::u16string_view> SplitRouteList(std::u16string_view list, std::size_t limit = kMaxRouteItems);

// The lenient conversion the route methods have always made: leading white space skipped, at most 18
// units, each dotted part's leading digits summed into its byte (no range check), a prefix above 32
// failing. False when the text cannot be converted.
bool ConvertCidrToIpAndMask(std::u16string_view item, uint32_t& destination, uint32_t& mask);

// What the service accepts as an item: optional blanks or tabs around four decimal parts of 0-255 (one
// to three digits each), optionally "/" and a prefix length of 0-32 (one or two digits), within 18 units
// after the leading white space.
bool IsRouteItem(std::u16string_view item);

// True when the network (destination and mask in the table's byte order) touches a range no caller may
// route: "this network" 0.0.0.0/8, loopback 127.0.0.0/8, link-local 169.254.0.0/16, multicast
// 224.0.0.0/4 and the reserved block with the broadcast address, 240.0.0.0/4. A default route (mask 0)
// and its halves (0.0.0.0/1, 128.0.0.0/1), like every other network that wide, touch one of them.
bool IsProtectedNetwork(uint32_t destination, uint32_t mask);

// The address as dotted decimal ("10.1.0.0").
std::u16string DottedAddress(uint32_t address);

}  // namespace corvane
