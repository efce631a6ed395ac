// The route helper's Windows network read for real under Wine: the routing table (GetIpForwardTable), the
// adapters with their DNS servers (GetAdaptersAddresses) and the physical adapters (WMI, MSFT_NetAdapter),
// compared with the system's own answers; then the default-route interface and the tunnel look-up through
// the method logic. Nothing here creates or deletes a route (Wine would accept the call and change
// nothing; the route logic is tested against the simulated table in RouteHelperTest).
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "logic/FileServiceStore.h"
#include "logic/RouteHelperLogic.h"
#include "support/LogFiles.h"
#include "win32/Win32Network.h"

using namespace corvane;

namespace {

std::vector<MIB_IPFORWARDROW> SystemRoutes() {
    ULONG size = 0;
    std::vector<MIB_IPFORWARDROW> rows;
    if (GetIpForwardTable(nullptr, &size, FALSE) != ERROR_INSUFFICIENT_BUFFER) return rows;
    std::vector<BYTE> buffer(size);
    auto* table = reinterpret_cast<MIB_IPFORWARDTABLE*>(buffer.data());
    if (GetIpForwardTable(table, &size, FALSE) != NO_ERROR) return rows;
    rows.assign(table->table, table->table + table->dwNumEntries);
    return rows;
}

std::set<uint32_t> SystemInterfaceIndexes() {
    std::set<uint32_t> indexes;
    ULONG size = 0;
    if (GetIfTable(nullptr, &size, FALSE) != ERROR_INSUFFICIENT_BUFFER) return indexes;
    std::vector<BYTE> buffer(size);
    auto* table = reinterpret_cast<MIB_IFTABLE*>(buffer.data());
    if (GetIfTable(table, &size, FALSE) != NO_ERROR) return indexes;
    for (DWORD i = 0; i < table->dwNumEntries; ++i) indexes.insert(table->table[i].dwIndex);
    return indexes;
}

class RouteNetworkWin : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))); }
    void TearDown() override { CoUninitialize(); }

    velora::test::CScratchFolder folder_;
    std::vector<std::u16string> log_;
    CFileServiceStore store_{std::filesystem::path(folder_.Path()), u"Corvane.exe",
                             [this](std::u16string_view line) { log_.emplace_back(line); }};
    win32::CWin32Network network_;
    CRouteHelperLogic route_{network_, store_};
};

}  // namespace

TEST_F(RouteNetworkWin, RoutingTableIsTheSystems) {
    const RouteTable table = network_.ReadRouteTable();
    ASSERT_EQ(table.error, 0u);
    ASSERT_FALSE(table.allocationFailed);
    const std::vector<MIB_IPFORWARDROW> system = SystemRoutes();
    ASSERT_EQ(table.rows.size(), system.size());
    ASSERT_FALSE(system.empty()) << "Wine lists the host's routes";
    for (std::size_t i = 0; i < system.size(); ++i) {
        EXPECT_EQ(table.rows[i].destination, system[i].dwForwardDest) << i;
        EXPECT_EQ(table.rows[i].mask, system[i].dwForwardMask) << i;
        EXPECT_EQ(table.rows[i].nextHop, system[i].dwForwardNextHop) << i;
        EXPECT_EQ(table.rows[i].interfaceIndex, system[i].dwForwardIfIndex) << i;
        EXPECT_EQ(table.rows[i].metric1, system[i].dwForwardMetric1) << i;
    }
}

// The preferred default route's interface, computed here from the system's table.
TEST_F(RouteNetworkWin, DefaultRouteInterfaceOfTheRealTable) {
    int32_t expected = -1;
    DWORD best = 0;
    for (const MIB_IPFORWARDROW& row : SystemRoutes()) {
        if (row.dwForwardDest != 0) continue;
        if (expected == -1 || row.dwForwardMetric1 < best) {
            expected = static_cast<int32_t>(row.dwForwardIfIndex);
            best = row.dwForwardMetric1;
        }
    }
    int32_t index = 0;
    EXPECT_EQ(route_.FindMinMetricInfOfDefaultGW(0, 0, u"", index), kS_OK);
    EXPECT_EQ(index, expected);
    // With the physical filter the answer is one of the default routes' interfaces, or none.
    EXPECT_EQ(route_.FindMinMetricInfOfDefaultGW(0, 1, u"", index), kS_OK);
    if (index != -1) {
        EXPECT_TRUE(SystemInterfaceIndexes().count(static_cast<uint32_t>(index)));
    }
}

TEST_F(RouteNetworkWin, AdaptersAndTheTunnelLookUp) {
    const AdapterList list = network_.ReadAdapters();
    ASSERT_EQ(list.error, 0u);
    ASSERT_FALSE(list.allocationFailed);
    ASSERT_FALSE(list.adapters.empty());
    const std::set<uint32_t> known = SystemInterfaceIndexes();
    for (const AdapterEntry& adapter : list.adapters) {
        EXPECT_FALSE(adapter.friendlyName.empty());
        if (adapter.interfaceIndex != 0) {
            EXPECT_TRUE(known.count(adapter.interfaceIndex)) << adapter.interfaceIndex;
        }
    }
    const auto named = std::find_if(list.adapters.begin(), list.adapters.end(),
                                    [](const AdapterEntry& a) { return a.interfaceIndex != 0; });
    ASSERT_NE(named, list.adapters.end());
    TunnelInterface tunnel;
    EXPECT_EQ(route_.FindInterfaceByName(named->friendlyName, tunnel), kS_OK);
    EXPECT_EQ(tunnel.index, named->interfaceIndex);
    EXPECT_EQ(route_.FindInterfaceByName(u"Hal-Vane", tunnel), kE_FAIL);
    EXPECT_NE(std::find(log_.begin(), log_.end(), u"Can not find the Hal-Vane interface"), log_.end());
}

// WMI's MSFT_NetAdapter: either a list of real interfaces or one logged failure step; never a crash.
TEST_F(RouteNetworkWin, PhysicalAdaptersThroughWmi) {
    const PhysicalInterfaces found = network_.ReadPhysicalInterfaces();
    RecordProperty("failedStep", static_cast<int>(found.failedStep));
    RecordProperty("result", static_cast<int>(found.result));
    if (found.failedStep == WmiStep::kNone) {
        const std::set<uint32_t> known = SystemInterfaceIndexes();
        for (const uint32_t index : found.indexes) EXPECT_TRUE(known.count(index)) << index;
    } else if (found.failedStep != WmiStep::kNoInterface) {
        EXPECT_LT(found.result, 0);
    }
    std::vector<uint32_t> indexes;
    const bool used = route_.GetPyhIfIdByWMI(indexes);
    EXPECT_EQ(used, found.failedStep == WmiStep::kNone && !found.indexes.empty());
    EXPECT_EQ(log_.empty(), found.failedStep == WmiStep::kNone);
}
