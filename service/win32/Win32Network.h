// The route helper's network on Windows: the IPv4 routing table through IP Helper (GetIpForwardTable,
// CreateIpForwardEntry, DeleteIpForwardEntry), the adapters through GetAdaptersAddresses, and the
// physical adapters through WMI ("ROOT\StandardCimv2", MSFT_NetAdapter).
#pragma once
#include "logic/Network.h"

namespace corvane::win32 {

class CWin32Network : public CNetwork {
public:
    RouteTable ReadRouteTable() override;
    uint32_t CreateRoute(const RouteRow& row) override;
    uint32_t DeleteRoute(const RouteRow& row) override;
    AdapterList ReadAdapters() override;
    PhysicalInterfaces ReadPhysicalInterfaces() override;
};

// The one network the automation objects share; it holds no state of its own.
CNetwork& Network();

}  // namespace corvane::win32
