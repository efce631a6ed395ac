// What the route helper needs of the system's IPv4 routing: the routing table (read, add, delete), the
// adapters with their DNS servers, and the physical adapters that WMI reports. The Windows service uses
// IP Helper and WMI (service/win32/Win32Network); the host build and the tests on both builds use the
// simulated table in SimulatedNetwork. Addresses and masks hold the first dotted part in the lowest byte,
// as the routing table does.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "logic/HResult.h"

namespace corvane {

// One row of the IPv4 routing table, with the fields the system's forward row carries.
struct RouteRow {
    uint32_t destination = 0;
    uint32_t mask = 0;
    uint32_t policy = 0;
    uint32_t nextHop = 0;
    uint32_t interfaceIndex = 0;
    uint32_t type = 0;
    uint32_t protocol = 0;
    uint32_t age = 0;
    uint32_t nextHopAs = 0;
    uint32_t metric1 = 0;
    uint32_t metric2 = 0;
    uint32_t metric3 = 0;
    uint32_t metric4 = 0;
    uint32_t metric5 = 0;
};

struct RouteTable {
    uint32_t error = 0;             // system error code of the read; 0 on success
    bool allocationFailed = false;  // no memory for the table
    std::vector<RouteRow> rows;     // in the system's order
};

struct AdapterEntry {
    std::u16string friendlyName;
    uint32_t interfaceIndex = 0;       // IPv4 interface index; 0 when the adapter has none
    std::vector<uint32_t> dnsServers;  // IPv4 DNS servers in the adapter's order
};

struct AdapterList {
    uint32_t error = 0;             // system error code; 0 on success (also after retrying a small buffer)
    bool allocationFailed = false;  // no memory for the adapter list
    std::vector<AdapterEntry> adapters;
};

// The step of the WMI query that failed, each with its own service-log line.
enum class WmiStep {
    kNone,
    kCoInitializeEx,
    kCoInitializeSecurity,
    kCoCreateInstance,
    kConnectServer,
    kCoSetProxyBlanket,
    kExecQuery,
    kSysAllocString,
    kCount,             // counting the results
    kNoInterface,       // the query found no adapter
    kReset,             // walking the results again
    kConnectorPresent,  // reading "ConnectorPresent"
    kInterfaceIndex,    // reading "InterfaceIndex"
};

struct PhysicalInterfaces {
    WmiStep failedStep = WmiStep::kNone;
    HResult result = kS_OK;         // the failed step's HRESULT
    std::vector<uint32_t> indexes;  // interface indexes of adapters with a connector present
};

// Creation of a route that is in the table already fails with this system error code.
inline constexpr uint32_t kErrorObjectAlreadyExists = 5010;
// Deletion of a route that is not in the table.
inline constexpr uint32_t kErrorNotFound = 1168;

class CNetwork {
public:
    virtual ~CNetwork() = default;
    virtual RouteTable ReadRouteTable() = 0;
    // 0 or a system error code.
    virtual uint32_t CreateRoute(const RouteRow& row) = 0;
    virtual uint32_t DeleteRoute(const RouteRow& row) = 0;
    // IPv4 adapters without their unicast, anycast and multicast address lists.
    virtual AdapterList ReadAdapters() = 0;
    // "SELECT * FROM MSFT_NetAdapter" in "ROOT\StandardCimv2".
    virtual PhysicalInterfaces ReadPhysicalInterfaces() = 0;
};

}  // namespace corvane
