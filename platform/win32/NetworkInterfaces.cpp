// The interface table through GetIfTable: a size query first, then the read into a buffer of that size.
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include <cstring>
#include <new>
#include <vector>

#include "platform/Network.h"

namespace platform {

InterfaceTable ReadInterfaceTable() {
    InterfaceTable table;
    ULONG size = 0;
    table.sizeQueryResult = GetIfTable(nullptr, &size, FALSE);
    if (table.sizeQueryResult != ERROR_INSUFFICIENT_BUFFER || size < sizeof(MIB_IFTABLE)) return table;
    std::vector<unsigned char> buffer;
    try {
        buffer.resize(size);
    } catch (const std::bad_alloc&) {
        table.allocationFailed = true;
        return table;
    }
    auto* ifTable = reinterpret_cast<MIB_IFTABLE*>(buffer.data());
    if (GetIfTable(ifTable, &size, FALSE) != NO_ERROR) return table;
    table.readOk = true;
    // The count comes from the system, but a table that grew between the two calls must not lead the
    // walk past the end of the buffer.
    const std::size_t fit = (buffer.size() - offsetof(MIB_IFTABLE, table)) / sizeof(MIB_IFROW);
    const std::size_t count = ifTable->dwNumEntries < fit ? ifTable->dwNumEntries : fit;
    table.rows.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const MIB_IFROW& row = ifTable->table[i];
        std::size_t length = row.dwDescrLen < MAXLEN_IFDESCR ? row.dwDescrLen : MAXLEN_IFDESCR;
        const void* nul = std::memchr(row.bDescr, 0, length);
        if (nul) length = static_cast<std::size_t>(static_cast<const BYTE*>(nul) - row.bDescr);
        table.rows.push_back(InterfaceRow{std::string(reinterpret_cast<const char*>(row.bDescr), length),
                                          row.dwInOctets, row.dwOutOctets});
    }
    return table;
}

}  // namespace platform
