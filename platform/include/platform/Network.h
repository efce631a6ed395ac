// Name resolution and the interface table.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct Ipv4Resolution {
    int resolveError = 0;                   // GetAddrInfoW's code; 0 on success
    uint32_t toStringError = 0;             // WSAAddressToStringW's socket error; 0 on success
    std::vector<std::u16string> addresses;  // IPv4 results as text, in the resolver's order
};
Ipv4Resolution ResolveIpv4(std::u16string_view host);

struct InterfaceRow {
    std::string description;  // as the system reports it (bytes)
    uint32_t inOctets = 0;
    uint32_t outOctets = 0;
};
struct InterfaceTable {
    uint32_t sizeQueryResult = 0;   // what the size query answered (122 when a table exists)
    bool allocationFailed = false;  // no memory for a table of the announced size
    bool readOk = false;            // the second read succeeded
    std::vector<InterfaceRow> rows;
};
InterfaceTable ReadInterfaceTable();

}  // namespace platform

namespace platform {

// One row of the system's IPv4 address table. Address and mask hold the first octet in the lowest byte.
struct Ipv4AddressRow {
    uint32_t address = 0;
    uint32_t mask = 0;
    uint32_t interfaceIndex = 0;
};
struct Ipv4AddressTable {
    uint32_t error = 0;                // the table call's error (after growing the buffer once on 122)
    bool allocationFailed = false;     // no memory for the table
    std::vector<Ipv4AddressRow> rows;  // in the system's order (unsorted)
};
Ipv4AddressTable ReadIpv4AddressTable();

// The IPv4 address entries of one adapter in the system's adapter list (GetAdaptersInfo), as texts: the
// list is first asked with room for one adapter record and grown once to the size the system asks for.
struct AdapterAddresses {
    uint32_t error = 0;                   // the listing's error; 0 on success
    bool allocationFailed = false;        // no memory for the list
    std::vector<std::u16string> entries;  // the adapter's address entries in order; none when it is missing
};
AdapterAddresses ReadAdapterIpv4Addresses(int64_t interfaceIndex);

// The interface types (IANA ifType: 6 Ethernet, 71 IEEE 802.11, ...) of the interface table's rows; the
// first read uses room for one row and grows once on 122.
struct InterfaceTypeList {
    uint32_t error = 0;
    bool allocationFailed = false;
    std::vector<uint32_t> types;
};
InterfaceTypeList ReadInterfaceTypes();

}  // namespace platform
