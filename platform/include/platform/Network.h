// Name resolution and the interface table.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct Ipv4Resolution {
    int resolveError = 0;          // GetAddrInfoW's code; 0 on success
    uint32_t toStringError = 0;    // WSAAddressToStringW's socket error; 0 on success
    std::vector<std::u16string> addresses;  // IPv4 results as text, in the resolver's order
};
Ipv4Resolution ResolveIpv4(std::u16string_view host);

struct InterfaceRow {
    std::string description;  // as the system reports it (bytes)
    uint32_t inOctets = 0;
    uint32_t outOctets = 0;
};
struct InterfaceTable {
    uint32_t sizeQueryResult = 0;  // what the size query answered (122 when a table exists)
    bool readOk = false;           // the second read succeeded
    std::vector<InterfaceRow> rows;
};
InterfaceTable ReadInterfaceTable();

}  // namespace platform
