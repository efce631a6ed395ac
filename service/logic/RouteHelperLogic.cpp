// RouteHelper methods: tunnel, DNS and gateway routes added, listed routes removed, and the interface of
// the preferred default route. Every argument is checked before the table is read or changed; a refused
// call changes nothing and leaves one line in the service log that names the argument, never its text.
#include "logic/RouteHelperLogic.h"

#include <unordered_set>

#include "logic/ArgumentRules.h"
#include "logic/RouteText.h"

namespace corvane {

namespace {

// Interface lists WMI may yield are cut at this many entries.
constexpr std::size_t kMaxPhysicalInterfaces = 256;
// Routes the service creates on the tunnel are marked as made by network management.
constexpr uint32_t kProtocolNetMgmt = 3;

void Refuse(CServiceStore& store, std::u16string_view method, std::u16string_view argument,
            std::u16string_view why) {
    std::u16string message(method);
    message += u": argument ";
    message += argument;
    message += u" refused (";
    message += why;
    message += u")";
    store.WriteLog(message);
}

// A default route (mask 0) would send every destination to the gateway or into the tunnel.
bool IsDefaultRoute(uint32_t mask) {
    return mask == 0;
}

uint64_t PairKey(uint32_t destination, uint32_t mask) {
    return (static_cast<uint64_t>(destination) << 32) | mask;
}

}  // namespace

void CRouteHelperLogic::LogWithHResult(std::u16string_view lead, HResult hr) {
    store_.WriteLog(std::u16string(lead) + HresultSuffix(hr, store_.DescribeHResult(hr)));
}

HResult CRouteHelperLogic::CheckRouteList(std::u16string_view method, std::u16string_view argument,
                                          std::u16string_view list, std::vector<std::u16string_view>& items) {
    if (!IsSingleLineText(list)) {
        Refuse(store_, method, argument, u"a line break or null character");
        return kE_INVALIDARG;
    }
    items = SplitRouteList(list);
    if (items.size() > kMaxRouteItems) {
        Refuse(store_, method, argument, u"more than " + Decimal(kMaxRouteItems) + u" items");
        return kE_INVALIDARG;
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (!IsRouteItem(items[i])) {
            Refuse(store_, method, argument,
                   u"item " + Decimal(static_cast<int64_t>(i + 1)) +
                       u" is not a dotted IPv4 address with an optional prefix length of 0-32");
            return kE_INVALIDARG;
        }
    }
    return kS_OK;
}

HResult CRouteHelperLogic::ReadTable(RouteTable& table) {
    table = network_.ReadRouteTable();
    if (table.allocationFailed) {
        store_.WriteLog(u"Failed to assign memory to call GetIpForwardTable.");
        return kE_OUTOFMEMORY;
    }
    if (table.error != 0) {
        const HResult hr = HResultFromSystemError(table.error);
        LogWithHResult(u"Failed to call GetIpForwardTable ", hr);
        return hr;
    }
    return kS_OK;
}

HResult CRouteHelperLogic::FindInterfaceByName(std::u16string_view l2tpInfName, TunnelInterface& tunnel) {
    const AdapterList list = network_.ReadAdapters();
    if (list.allocationFailed) {
        store_.WriteLog(u"Failed to assign memory to call GetAdaptersAddresses");
        return kE_FAIL;
    }
    if (list.error != 0) {
        const HResult hr = HResultFromSystemError(list.error);
        LogWithHResult(u"Failed to call GetAdaptersAddresses ", hr);
        return hr;
    }
    for (const AdapterEntry& adapter : list.adapters) {
        if (adapter.friendlyName != l2tpInfName) continue;
        if (adapter.interfaceIndex == 0) break;
        tunnel.index = adapter.interfaceIndex;
        tunnel.dnsServers = {};
        for (std::size_t i = 0; i < adapter.dnsServers.size() && i < tunnel.dnsServers.size(); ++i)
            tunnel.dnsServers[i] = adapter.dnsServers[i];
        return kS_OK;
    }
    store_.WriteLog(u"Can not find the " + std::u16string(l2tpInfName) + u" interface");
    return kE_FAIL;
}

bool CRouteHelperLogic::GetPyhIfIdByWMI(std::vector<uint32_t>& indexes) {
    PhysicalInterfaces found = network_.ReadPhysicalInterfaces();
    const HResult hr = found.result;
    switch (found.failedStep) {
        case WmiStep::kNone:
            break;
        case WmiStep::kCoInitializeEx:
            LogWithHResult(u"Failed to call CoInitializeEx ", hr);
            return false;
        case WmiStep::kCoInitializeSecurity:
            LogWithHResult(u"Failed to call CoInitializeSecurity ", hr);
            return false;
        case WmiStep::kCoCreateInstance:
            LogWithHResult(u"Failed to call CoCreateInstance ", hr);
            return false;
        case WmiStep::kConnectServer:
            LogWithHResult(u"Failed to call ConnectServer ", hr);
            return false;
        case WmiStep::kCoSetProxyBlanket:
            LogWithHResult(u"Failed to call CoSetProxyBlanket ", hr);
            return false;
        case WmiStep::kExecQuery:
            LogWithHResult(u"Failed to call ExecQuery ", hr);
            return false;
        case WmiStep::kSysAllocString:
            store_.WriteLog(u"Failed to assign memory to call SysAllocString.");
            return false;
        case WmiStep::kCount:
            LogWithHResult(u"Failed to enum interface number", hr);
            store_.WriteLog(u"Failed to call GetIfNumByWMI");
            return false;
        case WmiStep::kNoInterface:
            store_.WriteLog(u"Not found any interface");
            return false;
        case WmiStep::kReset:
            LogWithHResult(u"ExecQuery failed", hr);
            store_.WriteLog(u"GetPyhIfIdByWMI failed");
            return false;
        case WmiStep::kConnectorPresent:
            LogWithHResult(u"Get ConnectorPresent failed", hr);
            store_.WriteLog(u"GetPyhIfIdByWMI failed");
            return false;
        case WmiStep::kInterfaceIndex:
            LogWithHResult(u"Get InterfaceIndex failed", hr);
            store_.WriteLog(u"GetPyhIfIdByWMI failed");
            return false;
    }
    if (found.indexes.size() > kMaxPhysicalInterfaces) found.indexes.resize(kMaxPhysicalInterfaces);
    indexes = std::move(found.indexes);
    return !indexes.empty();
}

HResult CRouteHelperLogic::AddTunnelRoutes(const std::vector<std::u16string_view>& items,
                                           const TunnelInterface& tunnel) {
    if (tunnel.index == 0 || items.empty()) return kE_INVALIDARG;
    HResult remembered = kS_OK;
    RouteRow row;
    row.interfaceIndex = tunnel.index;
    row.protocol = kProtocolNetMgmt;
    row.metric1 = 1;
    for (const std::u16string_view item : items) {
        if (!ConvertCidrToIpAndMask(item, row.destination, row.mask)) {
            store_.WriteLog(u"Failed to use " + std::u16string(item) + u" to call ConvertCidrToIpAndMask.");
            if (Succeeded(remembered)) remembered = kE_FAIL;
            continue;
        }
        if (IsDefaultRoute(row.mask)) {
            store_.WriteLog(u"Default route in the tunnel list skipped: the service never adds one");
            continue;
        }
        if (const uint32_t error = network_.CreateRoute(row); error != 0) {
            const HResult hr = HResultFromSystemError(error);
            LogWithHResult(u"Failed to add route " + std::u16string(item) + u" to L2TP interface ", hr);
            remembered = hr;
        }
    }
    for (const uint32_t dns : tunnel.dnsServers) {
        if (dns == 0) continue;
        row.destination = dns;
        row.mask = 0xFFFFFFFFu;
        if (const uint32_t error = network_.CreateRoute(row); error != 0) {
            const HResult hr = HResultFromSystemError(error);
            LogWithHResult(u"Failed to add dns route " + DottedAddress(dns) + u" to L2TP interface ", hr);
            remembered = hr;
        }
    }
    return remembered;
}

HResult CRouteHelperLogic::AddGatewayRoutes(const std::vector<std::u16string_view>& items,
                                            int64_t excludedIndex) {
    RouteTable table;
    if (const HResult hr = ReadTable(table); Failed(hr)) return hr;
    // The first default route is taken whatever its interface; a later one replaces it only with a
    // strictly higher first metric and off the excluded interface.
    const RouteRow* chosen = nullptr;
    for (const RouteRow& row : table.rows) {
        if (row.destination != 0) continue;
        if (!chosen || (row.metric1 > chosen->metric1 && row.interfaceIndex != excludedIndex)) chosen = &row;
    }
    if (!chosen) {
        store_.WriteLog(u"No default gateway found");
        return kE_NOTIMPL;
    }
    RouteRow route = *chosen;
    HResult remembered = kS_OK;
    for (const std::u16string_view item : items) {
        if (!ConvertCidrToIpAndMask(item, route.destination, route.mask)) {
            store_.WriteLog(u"Failed to use " + std::u16string(item) + u" to call ConvertCidrToIpAndMask.");
            if (Succeeded(remembered)) remembered = kE_FAIL;
            continue;
        }
        if (IsDefaultRoute(route.mask)) {
            store_.WriteLog(u"Default route in the gateway list skipped: the service never adds one");
            continue;
        }
        const uint32_t error = network_.CreateRoute(route);
        if (error == 0 || error == kErrorObjectAlreadyExists) continue;
        const HResult hr = HResultFromSystemError(error);
        LogWithHResult(u"Failed to add route to gateway ", hr);
        remembered = hr;
    }
    return remembered;
}

HResult CRouteHelperLogic::AddRoute(std::u16string_view routerToGw, std::u16string_view routerToVpn,
                                    std::u16string_view l2tpInfName, int32_t mode) {
    constexpr std::u16string_view kMethod = u"AddRoute";
    std::vector<std::u16string_view> gwItems, vpnItems;
    if (Failed(CheckRouteList(kMethod, u"RouterToGw", routerToGw, gwItems)) ||
        Failed(CheckRouteList(kMethod, u"RouterToVpn", routerToVpn, vpnItems)))
        return kE_INVALIDARG;
    if (Failed(CheckSingleLine(l2tpInfName, kPathBufferUnits))) {
        Refuse(store_, kMethod, u"L2TPInfName", u"too long, or a line break or null character");
        return kE_INVALIDARG;
    }
    TunnelInterface tunnel;
    if (const HResult hr = FindInterfaceByName(l2tpInfName, tunnel); Failed(hr)) return hr;
    switch (mode) {
        case 1:
            return AddTunnelRoutes(vpnItems, tunnel);
        case -1:
            return AddGatewayRoutes(gwItems, tunnel.index);
        case 0: {
            const HResult tunnelResult = AddTunnelRoutes(vpnItems, tunnel);
            const HResult gatewayResult = AddGatewayRoutes(gwItems, tunnel.index);
            return Failed(tunnelResult) ? tunnelResult : gatewayResult;
        }
        default:
            return kS_OK;
    }
}

HResult CRouteHelperLogic::RemoveRoute(std::u16string_view routeToGw) {
    std::vector<std::u16string_view> items;
    if (Failed(CheckRouteList(u"RemoveRoute", u"RouteToGW", routeToGw, items))) return kE_INVALIDARG;
    if (items.empty()) {
        Refuse(store_, u"RemoveRoute", u"RouteToGW", u"an empty route list");
        return kE_INVALIDARG;
    }
    HResult remembered = kS_OK;
    std::unordered_set<uint64_t> pending;
    pending.reserve(items.size());
    for (const std::u16string_view item : items) {
        uint32_t destination = 0, mask = 0;
        if (!ConvertCidrToIpAndMask(item, destination, mask)) {
            store_.WriteLog(u"Failed to use " + std::u16string(item) + u" to call ConvertCidrToIpAndMask.");
            if (Succeeded(remembered)) remembered = kE_FAIL;
            continue;
        }
        // "0.0.0.0/0" in any spelling ("0.0.0.0/00", " 0.0.0.0/0"): the default routes are never the
        // client's to delete. Another mask-0 item ("1.2.3.4/0") names no default route (those have
        // destination 0): it stays in the set and, absent from the table, makes the call report it.
        if (destination == 0 && IsDefaultRoute(mask)) continue;
        pending.insert(PairKey(destination, mask));
    }
    RouteTable table;
    if (const HResult hr = ReadTable(table); Failed(hr)) return hr;
    for (const RouteRow& row : table.rows) {
        if (pending.empty()) break;
        const auto it = pending.find(PairKey(row.destination, row.mask));
        if (it == pending.end()) continue;
        pending.erase(it);
        if (const uint32_t error = network_.DeleteRoute(row); error != 0) {
            const HResult hr = HResultFromSystemError(error);
            LogWithHResult(u"Failed to remove route ", hr);
            remembered = hr;
        }
    }
    if (!pending.empty()) return kRouteMissing;
    return remembered;
}

HResult CRouteHelperLogic::AddRouterToGW(std::u16string_view routerToGw) {
    std::vector<std::u16string_view> items;
    if (Failed(CheckRouteList(u"AddRouterToGW", u"RouterToGw", routerToGw, items))) return kE_INVALIDARG;
    return AddGatewayRoutes(items, -1);
}

HResult CRouteHelperLogic::FindMinMetricInfOfDefaultGW(int32_t exceptL2tpInf, int32_t exceptVirtualInf,
                                                       std::u16string_view l2tpInfName, int32_t& index) {
    if (Failed(CheckSingleLine(l2tpInfName, kPathBufferUnits))) {
        Refuse(store_, u"FindMinMetricInfOfDefaultGW", u"L2TPInfName",
               u"too long, or a line break or null character");
        return kE_INVALIDARG;
    }
    index = -1;
    TunnelInterface tunnel;
    if (exceptL2tpInf != 0) {
        if (const HResult hr = FindInterfaceByName(l2tpInfName, tunnel); Failed(hr)) return hr;
    }
    RouteTable table;
    if (const HResult hr = ReadTable(table); Failed(hr)) return hr;
    if (table.rows.empty()) return kS_OK;
    std::vector<uint32_t> physical;
    const bool usePhysical = exceptVirtualInf != 0 && GetPyhIfIdByWMI(physical);
    const std::unordered_set<uint32_t> physicalSet(physical.begin(), physical.end());
    const RouteRow* best = nullptr;
    for (const RouteRow& row : table.rows) {
        if (row.destination != 0) continue;
        if (exceptL2tpInf != 0 && row.interfaceIndex == tunnel.index) continue;
        if (usePhysical && physicalSet.count(row.interfaceIndex) == 0) continue;
        if (!best || row.metric1 < best->metric1) best = &row;
    }
    if (best) index = static_cast<int32_t>(best->interfaceIndex);
    return kS_OK;
}

}  // namespace corvane
