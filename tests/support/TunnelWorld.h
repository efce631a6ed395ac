// The tunnel bring-up's surroundings in the host tests: the in-process helper service with its simulated
// routing table (an Ethernet adapter and the tunnel's), the signed-in user's settings the dial reads, a
// connect answer from the cloud stand-in's orchestrator, and the routes on the tunnel's interface.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/HttpClient.h"
#include "core/Settings.h"
#include "inprocess/SimHelperService.h"
#include "core/TextHelpers.h"
#include "engine/ConnectAnswer.h"

namespace velora::test {

inline constexpr uint32_t kTunnelIndex = 30;
inline constexpr uint32_t kEthernetIndex = 5;

// The helper service answers every method for real, from `folder`.
inline void UseSimulatedHelperService(const std::filesystem::path& folder) {
    corvane::inprocess::ClearHelperAnswers();
    corvane::inprocess::SetHelperServiceReachable(true);
    corvane::inprocess::SetHelperServiceFolder(folder);
}

// The routing table emptied, with the Ethernet adapter and the tunnel's.
inline corvane::CSimulatedNetwork& ResetTunnelNetwork() {
    corvane::CSimulatedNetwork& network = corvane::inprocess::SimulatedNetwork();
    network.Clear();
    network.SetAdapters({{u"Ethernet", kEthernetIndex, {}}, {u"Hal-Vane", kTunnelIndex, {}}});
    return network;
}

// The default route's row on the Ethernet adapter, through `nextHop`.
inline void AppendGatewayRow(corvane::CSimulatedNetwork& network, uint32_t nextHop) {
    corvane::RouteRow gateway;
    gateway.interfaceIndex = kEthernetIndex;
    gateway.nextHop = nextHop;
    gateway.metric1 = 25;
    network.AppendRow(gateway);
}

// What the sign-in leaves for the dial; no gateway address from an earlier connect.
inline void SetSignedInUser() {
    SetSetting(u"Username", u"alice");
    SetSetting(u"CustomerId", u"10086");
    SetSetting(u"Serial", u"ABCDEFGHIJKLMNOP");
    SetSetting(u"GatewayIp", u"");
}

// The connect answer of the orchestrator at `tenantBase` (its token "tok-1") as the connect worker hands
// it on.
inline std::u16string PostConnect(const std::u16string& tenantBase) {
    CHttpClient client;
    std::string answer;
    uint32_t status = 0;
    // The request as the client makes it: its usual body for the serial of the sn: line.
    EXPECT_EQ(client.PostText(tenantBase + u"/api/mobile/v2/connect",
                              ConnectBody(false, false, u"None", u"1.0.0.1", u"SN", false), answer, status, 1,
                              u"X-KX-AUTH-HEADER:tok-1", u"sn:SN", u"type:windows"),
              0u);
    EXPECT_EQ(status, 200u) << answer;
    return Utf8ToUtf16(answer);
}

// The rows on the tunnel's interface.
inline std::vector<corvane::RouteRow> TunnelRoutes() {
    std::vector<corvane::RouteRow> rows;
    for (const corvane::RouteRow& row : corvane::inprocess::SimulatedNetwork().Rows())
        if (row.interfaceIndex == kTunnelIndex) rows.push_back(row);
    return rows;
}

}  // namespace velora::test
