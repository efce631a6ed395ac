// The IP status codes an ICMP echo reports (IP_SUCCESS, IP_REQ_TIMED_OUT, ...) and their texts, held here
// rather than asked of the system: IP Helper's GetIpErrorString is not there everywhere (Wine leaves it
// unimplemented, and calling it ends the process).
#pragma once
#include <cstdint>
#include <string_view>

namespace platform {

struct IpStatusEntry {
    uint32_t status;
    std::u16string_view text;
};

inline constexpr IpStatusEntry kIpStatusTexts[] = {
    {0, u"Success."},                                          // IP_SUCCESS
    {11001, u"Reply buffer too small."},                       // IP_BUF_TOO_SMALL
    {11002, u"Destination net unreachable."},                  // IP_DEST_NET_UNREACHABLE
    {11003, u"Destination host unreachable."},                 // IP_DEST_HOST_UNREACHABLE
    {11004, u"Destination protocol unreachable."},             // IP_DEST_PROT_UNREACHABLE
    {11005, u"Destination port unreachable."},                 // IP_DEST_PORT_UNREACHABLE
    {11006, u"No resources."},                                 // IP_NO_RESOURCES
    {11007, u"Bad option."},                                   // IP_BAD_OPTION
    {11008, u"Hardware error."},                               // IP_HW_ERROR
    {11009, u"Packet too big."},                               // IP_PACKET_TOO_BIG
    {11010, u"Request timed out."},                            // IP_REQ_TIMED_OUT
    {11011, u"Bad request."},                                  // IP_BAD_REQ
    {11012, u"Bad route."},                                    // IP_BAD_ROUTE
    {11013, u"TTL expired in transit."},                       // IP_TTL_EXPIRED_TRANSIT
    {11014, u"TTL expired during reassembly."},                // IP_TTL_EXPIRED_REASSEM
    {11015, u"Parameter problem."},                            // IP_PARAM_PROBLEM
    {11016, u"Source quench received."},                       // IP_SOURCE_QUENCH
    {11017, u"Option too big."},                               // IP_OPTION_TOO_BIG
    {11018, u"Bad destination."},                              // IP_BAD_DESTINATION
    {11040, u"Destination unreachable."},                      // IP_DEST_UNREACHABLE
    {11041, u"Time exceeded."},                                // IP_TIME_EXCEEDED
    {11042, u"Bad header."},                                   // IP_BAD_HEADER
    {11043, u"Unrecognized next header."},                     // IP_UNRECOGNIZED_NEXT_HEADER
    {11044, u"ICMP error."},                                   // IP_ICMP_ERROR
    {11045, u"Destination scope mismatch."},                   // IP_DEST_SCOPE_MISMATCH
    {11050, u"General failure."},                              // IP_GENERAL_FAILURE
};

// The text of an IP status; empty when the status is not one of the table.
constexpr std::u16string_view IpStatusText(uint32_t status) {
    for (const IpStatusEntry& entry : kIpStatusTexts) {
        if (entry.status == status) return entry.text;
    }
    return {};
}

}  // namespace platform
