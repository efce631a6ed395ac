// What the methods of the RouteHelper class do, in plain C++ (see CControlHelperLogic for the conventions):
// routing-table changes for the L2TP tunnel over the network the host gives (IP Helper and WMI on Windows,
// the simulated table elsewhere), with their lines in the service log of the store. Only what the client
// needs is allowed: routes on the tunnel interface and copies of the default route toward the gateway,
// never for a protected network (IsProtectedNetwork); every route the service adds is remembered in its
// state with the caller it was added for, and only those routes are ever deleted, for that caller.
#pragma once
#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "logic/CallerIdentity.h"
#include "logic/HResult.h"
#include "logic/Network.h"
#include "logic/ProcessControl.h"
#include "logic/ServiceState.h"
#include "logic/ServiceStore.h"

namespace corvane {

// The tunnel interface as FindInterfaceByName finds it.
struct TunnelInterface {
    uint32_t index = 0;
    std::array<uint32_t, 2> dnsServers{};  // 0 for a missing one
};

class CRouteHelperLogic {
public:
    // `processes` finds the engine whose owner the changing methods are bound to; none: no binding.
    CRouteHelperLogic(CNetwork& network, CServiceStore& store, CallerIdentity caller = {},
                      CProcessControl* processes = nullptr)
        : network_(network), store_(store), caller_(std::move(caller)), processes_(processes) {}

    HResult AddRoute(std::u16string_view routerToGw, std::u16string_view routerToVpn,
                     std::u16string_view l2tpInfName, int32_t mode);
    HResult RemoveRoute(std::u16string_view routeToGw);
    HResult AddRouterToGW(std::u16string_view routerToGw);
    HResult FindMinMetricInfOfDefaultGW(int32_t exceptL2tpInf, int32_t exceptVirtualInf,
                                        std::u16string_view l2tpInfName, int32_t& index);

    // The steps the methods share, open for tests.
    HResult FindInterfaceByName(std::u16string_view l2tpInfName, TunnelInterface& tunnel);
    // The physical interfaces (at most 256); false when WMI failed or found none (each failure logged).
    bool GetPyhIfIdByWMI(std::vector<uint32_t>& indexes);

private:
    HResult AddTunnelRoutes(const std::vector<std::u16string_view>& items, const TunnelInterface& tunnel,
                            std::vector<RouteRecord>& added);
    HResult AddGatewayRoutes(const std::vector<std::u16string_view>& items, int64_t excludedIndex,
                             std::vector<RouteRecord>& added);
    HResult CheckOwner(std::u16string_view method);
    void Remember(const std::vector<RouteRecord>& added);
    RouteRecord RecordOf(const RouteRow& row) const;
    HResult ReadTable(RouteTable& table);
    HResult CheckRouteList(std::u16string_view method, std::u16string_view argument, std::u16string_view list,
                           std::vector<std::u16string_view>& items);
    void LogWithHResult(std::u16string_view lead, HResult hr);

    CNetwork& network_;
    CServiceStore& store_;
    CallerIdentity caller_;
    CProcessControl* processes_;
};

}  // namespace corvane
