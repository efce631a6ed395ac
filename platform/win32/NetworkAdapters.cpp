// The IPv4 address table, the adapter list's addresses and the interface types from the system's IP Helper
// tables.
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include <cstring>
#include <new>
#include <vector>

#include "platform/Network.h"

namespace platform {
namespace {

// Calls `read` with a buffer of `firstBytes`, and once more with the size the call asks for when it
// answers that the buffer is too small.
template <typename Read>
DWORD ReadGrowingOnce(std::vector<unsigned char>& buffer, ULONG firstBytes, Read read) {
    buffer.assign(firstBytes, 0);
    ULONG size = firstBytes;
    DWORD error = read(buffer.data(), &size);
    if (error == ERROR_INSUFFICIENT_BUFFER) {
        buffer.assign(size, 0);
        error = read(buffer.data(), &size);
    }
    return error;
}

}  // namespace

Ipv4AddressTable ReadIpv4AddressTable() {
    Ipv4AddressTable table;
    try {
        std::vector<unsigned char> buffer;
        table.error = ReadGrowingOnce(buffer, sizeof(MIB_IPADDRTABLE), [](unsigned char* data, ULONG* size) {
            return GetIpAddrTable(reinterpret_cast<MIB_IPADDRTABLE*>(data), size, FALSE);
        });
        if (table.error != NO_ERROR) return table;
        const auto* rows = reinterpret_cast<const MIB_IPADDRTABLE*>(buffer.data());
        for (DWORD i = 0; i < rows->dwNumEntries; ++i)
            table.rows.push_back({rows->table[i].dwAddr, rows->table[i].dwMask, rows->table[i].dwIndex});
    } catch (const std::bad_alloc&) {
        table.allocationFailed = true;
        table.rows.clear();
    }
    return table;
}

AdapterAddresses ReadAdapterIpv4Addresses(int64_t interfaceIndex) {
    AdapterAddresses result;
    try {
        // The list answers a short buffer with ERROR_BUFFER_OVERFLOW, not ERROR_INSUFFICIENT_BUFFER.
        std::vector<unsigned char> buffer(sizeof(IP_ADAPTER_INFO), 0);
        ULONG size = static_cast<ULONG>(buffer.size());
        DWORD error = GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data()), &size);
        if (error == ERROR_BUFFER_OVERFLOW) {
            buffer.assign(size, 0);
            error = GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data()), &size);
        }
        result.error = error;
        if (error != NO_ERROR) return result;
        for (const auto* adapter = reinterpret_cast<const IP_ADAPTER_INFO*>(buffer.data()); adapter;
             adapter = adapter->Next) {
            if (static_cast<int64_t>(adapter->Index) != interfaceIndex) continue;
            for (const IP_ADDR_STRING* entry = &adapter->IpAddressList; entry; entry = entry->Next) {
                const char* text = entry->IpAddress.String;
                result.entries.emplace_back(text, text + strnlen(text, sizeof(entry->IpAddress.String)));
            }
            break;
        }
    } catch (const std::bad_alloc&) {
        result.allocationFailed = true;
        result.entries.clear();
    }
    return result;
}

// Room for exactly one row, as the table is first asked with.
static_assert(sizeof(MIB_IFTABLE) == 864);

InterfaceTypeList ReadInterfaceTypes() {
    InterfaceTypeList list;
    try {
        std::vector<unsigned char> buffer;
        list.error = ReadGrowingOnce(buffer, sizeof(MIB_IFTABLE), [](unsigned char* data, ULONG* size) {
            return GetIfTable(reinterpret_cast<MIB_IFTABLE*>(data), size, FALSE);
        });
        if (list.error != NO_ERROR) return list;
        const auto* rows = reinterpret_cast<const MIB_IFTABLE*>(buffer.data());
        for (DWORD i = 0; i < rows->dwNumEntries; ++i) list.types.push_back(rows->table[i].dwType);
    } catch (const std::bad_alloc&) {
        list.allocationFailed = true;
        list.types.clear();
    }
    return list;
}

}  // namespace platform
