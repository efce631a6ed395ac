// RouteHelper methods: tunnel, DNS and gateway routes added, the service's own routes removed, and the
// interface of the preferred default route. Every argument is checked before the table is read or
// changed; a refused call changes nothing and leaves one line in the service log that names the argument,
// never its text.
#include "logic/RouteHelperLogic.h"

#include <algorithm>
#include <mutex>
#include <unordered_set>

#include "contract/CorvaneContract.h"
#include "logic/ArgumentRules.h"
#include "logic/DataPath.h"
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

bool SameRoute(const RouteRecord& record, const RouteRow& row) {
    return record.destination == row.destination && record.mask == row.mask && record.nextHop == row.nextHop &&
           record.interfaceIndex == row.interfaceIndex;
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
    for (std::size_t i = 0; i < items.size(); ++i) {
        uint32_t destination = 0, mask = 0;
        if (ConvertCidrToIpAndMask(items[i], destination, mask) && IsProtectedNetwork(destination, mask)) {
            Refuse(store_, method, argument,
                   u"item " + Decimal(static_cast<int64_t>(i + 1)) +
                       u" is a default, loopback, link-local, multicast or broadcast network");
            return kE_ACCESSDENIED;
        }
    }
    return kS_OK;
}

HResult CRouteHelperLogic::CheckOwner(std::u16string_view method) {
    if (!processes_ || MayChangeEngine(store_, *processes_, caller_)) return kS_OK;
    store_.WriteLog(std::u16string(method) + u" refused: the connection belongs to another session or user");
    return kE_ACCESSDENIED;
}

RouteRecord CRouteHelperLogic::RecordOf(const RouteRow& row) const {
    return RouteRecord{row.destination, row.mask, row.nextHop, row.interfaceIndex, caller_};
}

void CRouteHelperLogic::Remember(const std::vector<RouteRecord>& added) {
    if (added.empty()) return;
    CServiceState state(store_);
    state.Load();
    state.routes.insert(state.routes.end(), added.begin(), added.end());
    (void)state.Save();
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
                                           const TunnelInterface& tunnel, std::vector<RouteRecord>& added) {
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
        if (const uint32_t error = network_.CreateRoute(row); error != 0) {
            const HResult hr = HResultFromSystemError(error);
            LogWithHResult(u"Failed to add route " + std::u16string(item) + u" to L2TP interface ", hr);
            remembered = hr;
        } else {
            added.push_back(RecordOf(row));
        }
    }
    for (const uint32_t dns : tunnel.dnsServers) {
        if (dns == 0) continue;
        row.destination = dns;
        row.mask = 0xFFFFFFFFu;
        if (IsProtectedNetwork(row.destination, row.mask)) {
            store_.WriteLog(u"A DNS server of the tunnel in a protected range: no route added for it");
            continue;
        }
        if (const uint32_t error = network_.CreateRoute(row); error != 0) {
            const HResult hr = HResultFromSystemError(error);
            LogWithHResult(u"Failed to add dns route " + DottedAddress(dns) + u" to L2TP interface ", hr);
            remembered = hr;
        } else {
            added.push_back(RecordOf(row));
        }
    }
    return remembered;
}

HResult CRouteHelperLogic::AddGatewayRoutes(const std::vector<std::u16string_view>& items,
                                            int64_t excludedIndex, std::vector<RouteRecord>& added) {
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
        const uint32_t error = network_.CreateRoute(route);
        if (error == 0) added.push_back(RecordOf(route));
        // A route that was there already is not the service's: it is neither remembered nor ever deleted.
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
    if (const HResult hr = CheckRouteList(kMethod, u"RouterToGw", routerToGw, gwItems); Failed(hr)) return hr;
    if (const HResult hr = CheckRouteList(kMethod, u"RouterToVpn", routerToVpn, vpnItems); Failed(hr))
        return hr;
    if (Failed(CheckSingleLine(l2tpInfName, kPathBufferUnits))) {
        Refuse(store_, kMethod, u"L2TPInfName", u"too long, or a line break or null character");
        return kE_INVALIDARG;
    }
    // Routes go on the client's own tunnel only, never on another adapter.
    if (l2tpInfName != kTunnelInterfaceName) {
        Refuse(store_, kMethod, u"L2TPInfName", u"not the tunnel's interface");
        return kE_ACCESSDENIED;
    }
    std::lock_guard<std::recursive_mutex> lock(ServiceStateLock());
    if (const HResult hr = CheckOwner(kMethod); Failed(hr)) return hr;
    TunnelInterface tunnel;
    if (const HResult hr = FindInterfaceByName(l2tpInfName, tunnel); Failed(hr)) return hr;
    std::vector<RouteRecord> added;
    HResult result = kS_OK;
    switch (mode) {
        case 1:
            result = AddTunnelRoutes(vpnItems, tunnel, added);
            break;
        case -1:
            result = AddGatewayRoutes(gwItems, tunnel.index, added);
            break;
        case 0: {
            const HResult tunnelResult = AddTunnelRoutes(vpnItems, tunnel, added);
            const HResult gatewayResult = AddGatewayRoutes(gwItems, tunnel.index, added);
            result = Failed(tunnelResult) ? tunnelResult : gatewayResult;
            break;
        }
        default:
            break;
    }
    Remember(added);
    return result;
}

HResult CRouteHelperLogic::RemoveRoute(std::u16string_view routeToGw) {
    constexpr std::u16string_view kMethod = u"RemoveRoute";
    std::vector<std::u16string_view> items;
    if (const HResult hr = CheckRouteList(kMethod, u"RouteToGW", routeToGw, items); Failed(hr)) return hr;
    if (items.empty()) {
        Refuse(store_, kMethod, u"RouteToGW", u"an empty route list");
        return kE_INVALIDARG;
    }
    std::lock_guard<std::recursive_mutex> lock(ServiceStateLock());
    if (const HResult hr = CheckOwner(kMethod); Failed(hr)) return hr;
    HResult remembered = kS_OK;
    std::vector<std::pair<uint32_t, uint32_t>> pairs;
    for (const std::u16string_view item : items) {
        uint32_t destination = 0, mask = 0;
        if (!ConvertCidrToIpAndMask(item, destination, mask)) {
            store_.WriteLog(u"Failed to use " + std::u16string(item) + u" to call ConvertCidrToIpAndMask.");
            if (Succeeded(remembered)) remembered = kE_FAIL;
            continue;
        }
        if (std::find(pairs.begin(), pairs.end(), std::pair{destination, mask}) == pairs.end())
            pairs.emplace_back(destination, mask);
    }
    RouteTable table;
    if (const HResult hr = ReadTable(table); Failed(hr)) return hr;
    CServiceState state(store_);
    state.Load();
    bool missing = false, foreign = false, changed = false;
    for (const auto& [destination, mask] : pairs) {
        // Only a row the service added for this caller (an administrator: for anyone), found by its whole
        // key, so a route of another adapter or gateway with the same network is never touched.
        bool ours = false;
        for (auto record = state.routes.begin(); record != state.routes.end();) {
            if (record->destination != destination || record->mask != mask ||
                !MayActFor(caller_, record->owner)) {
                ++record;
                continue;
            }
            ours = true;
            const auto row = std::find_if(table.rows.begin(), table.rows.end(),
                                          [&](const RouteRow& r) { return SameRoute(*record, r); });
            if (row == table.rows.end()) {
                missing = true;  // gone with its interface: nothing left to delete
            } else if (const uint32_t error = network_.DeleteRoute(*row); error != 0) {
                const HResult hr = HResultFromSystemError(error);
                LogWithHResult(u"Failed to remove route ", hr);
                remembered = hr;
                ++record;
                continue;
            }
            record = state.routes.erase(record);
            changed = true;
        }
        if (ours) continue;
        const bool listed = std::any_of(table.rows.begin(), table.rows.end(), [&](const RouteRow& r) {
            return r.destination == destination && r.mask == mask;
        });
        if (listed) foreign = true;
        else missing = true;
    }
    if (changed) (void)state.Save();
    if (foreign) {
        store_.WriteLog(u"RemoveRoute refused: a listed route was not added by the service for this caller");
        if (Succeeded(remembered)) remembered = kE_ACCESSDENIED;
    }
    if (Failed(remembered)) return remembered;
    return missing ? kRouteMissing : kS_OK;
}

HResult CRouteHelperLogic::AddRouterToGW(std::u16string_view routerToGw) {
    constexpr std::u16string_view kMethod = u"AddRouterToGW";
    std::vector<std::u16string_view> items;
    if (const HResult hr = CheckRouteList(kMethod, u"RouterToGw", routerToGw, items); Failed(hr)) return hr;
    std::lock_guard<std::recursive_mutex> lock(ServiceStateLock());
    if (const HResult hr = CheckOwner(kMethod); Failed(hr)) return hr;
    std::vector<RouteRecord> added;
    const HResult result = AddGatewayRoutes(items, -1, added);
    Remember(added);
    return result;
}

HResult CRouteHelperLogic::FindMinMetricInfOfDefaultGW(int32_t exceptL2tpInf, int32_t exceptVirtualInf,
                                                       std::u16string_view l2tpInfName, int32_t& index) {
    index = -1;  // also for a refused call: never the value the caller passed in
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
