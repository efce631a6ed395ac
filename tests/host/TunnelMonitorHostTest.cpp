// The tunnel link monitor end to end: heartbeats against the cloud stand-in's orchestrator, the L2TP
// connection played by the simulated dial-up service (up, dropped, gone), the simulated interface table
// with the tunnel's row, and the address-change notification fired by the test. The monitor's waits run
// through a pause function that moves a test clock.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "core/Log.h"
#include "core/Settings.h"
#include "core/TextHelpers.h"
#include "core/WindowMessages.h"
#include "engine/DiagnosisHook.h"
#include "engine/EngineEvents.h"
#include "engine/EngineState.h"
#include "engine/TunnelMonitor.h"
#include "inprocess/SimHelperService.h"
#include "platform/Kernel.h"
#include "platform/Messenger.h"
#include "platform/host/SimAddressChange.h"
#include "platform/host/SimDevice.h"
#include "platform/host/SimDialUp.h"
#include "platform/host/SimInterfaces.h"
#include "support/LinkMonitorFixture.h"
#include "support/MonitorClock.h"

namespace velora::test {
namespace {

namespace host = platform::host;

// Pause 1 comes before the first pass, pass k ends with pause k + 1.
CMonitorClock g_monitor{CurrentTimeMillis() + 2000000000};
void AdvanceClock(uint32_t ms) {
    g_monitor.Pause(ms);
}

struct Recorded {
    std::vector<uintptr_t> posted;
    std::vector<intptr_t> postedDetail;
    std::vector<std::u16string> counters;  // UM_LINK_STATE 0 as sent
};

class TunnelMonitorHost : public LinkMonitorFixture {
protected:
    TunnelMonitorHost() : LinkMonitorFixture(u"tunnel", u"tok-tm") {}

    void SetUp() override {
        ASSERT_TRUE(sim_.Open());
        ASSERT_TRUE(CreateEngineEvents());
        EngineState& engine = GetEngineState();
        engine.stopMonitorEvent->Reset();
        engine.ignoreAuthFailure = false;
        engine.defaultGatewayIfIndex = kInterface;
        SetDiagnosisStarter([](const DiagnosisRun&) {});
        SetSettingInt(u"HeartbeatInterval", 0);  // a heartbeat in every pass
        SetSetting(u"AuthToken", u"tok-tm");
        host::ResetSimDialUp();
        host::ResetAddressChange();
        host::SetSimulatedInterfaces({{"Ethernet", 5, 6}, {"Hal-Vane", 300, 4000000000u}});
        SetAddress(Address(192, 168, 1, 20));
        // The default-route query fails: the address of the monitor's interface is what is compared.
        corvane::inprocess::SetHelperAnswer(u"FindMinMetricInfOfDefaultGW", -1);
        engine.rasConnection = host::AddSimConnection(u"Hal-Vane", true);
        g_monitor.pauses = 0;
        g_monitor.stopAfterPauses = 40;  // a safety stop for runs that should end on their own
        platform::SetPauseFunction(AdvanceClock);
        Orchestrator(u"[{\"action\":0}]");
    }
    void TearDown() override {
        // Nothing the client sent broke the protocol (a refused heartbeat would pass unseen otherwise).
        if (!tenant_.empty()) {
            EXPECT_EQ(sim_.Refusals(tenant_), "");
        }
        g_monitor.onPause = nullptr;
        platform::SetPauseFunction(nullptr);
        host::ResetSimDialUp();
        host::ResetAddressChange();
        host::ResetSimulatedInterfaces();
        host::ResetSimulatedDevice();
        corvane::inprocess::ClearHelperAnswers();
        SetDiagnosisStarter({});
        EngineState& engine = GetEngineState();
        engine.rasConnection = nullptr;
        engine.defaultGatewayIfIndex = 0;
        engine.stopMonitorEvent->Reset();
        SetSettingInt(u"HeartbeatInterval", 10);
        SetSetting(u"HeartbeatUrl", u"");
        SetSetting(u"AuthToken", u"");
    }

    uint32_t Run() {
        return TunnelMonitor(window_.Handle(),
                             TunnelMonitorTiming{2000, 0, [] { return g_monitor.now.load(); }});
    }

    Recorded Take() {
        Recorded out;
        for (RecordedMessage& m : window_.Take()) {
            if (m.message == UM_LOG_LINE) {
                delete reinterpret_cast<std::u16string*>(m.lParam);
            } else if (m.message == UM_LINK_STATE && m.sent) {
                EXPECT_EQ(m.wParam, 0u);
                out.counters.push_back(m.text);
            } else if (m.message == UM_LINK_STATE) {
                out.posted.push_back(m.wParam);
                out.postedDetail.push_back(m.lParam);
            }
        }
        return out;
    }
};

TEST_F(TunnelMonitorHost, CountersEveryPassUntilTheStopRequest) {
    g_monitor.stopAfterPauses = 4;  // three passes
    EXPECT_EQ(Run(), 0u);
    const Recorded r = Take();
    EXPECT_TRUE(r.posted.empty());
    EXPECT_EQ(r.counters, std::vector<std::u16string>(3, u"4000000000,300"))
        << "sent, then received, unsigned past 2 GiB";
    EXPECT_EQ(sim_.Last(u"/t/" + tenant_ + u"/orch/heartbeat", u"count"), "3");
    EXPECT_EQ(sim_.Last(u"/t/" + tenant_ + u"/orch/heartbeat", u"body"), "");
    const std::string log = LogText();
    EXPECT_NE(log.find("Link monitor asked to stop"), std::string::npos);
    EXPECT_NE(log.find("Link monitor ended"), std::string::npos);
    EXPECT_FALSE(GetEngineState().stopMonitorEvent->Wait(0));
    EXPECT_EQ(host::AddressChangeArms(), 1);
    EXPECT_EQ(host::AddressChangeCancels(), 1);
}

// Every way the link is lost: exit 2 with UM_LINK_STATE 2, and a stop asked for meanwhile is cleared.
TEST_F(TunnelMonitorHost, LinkLostEndsTheMonitorWithTwo) {
    struct Case {
        const char* name;
        std::function<void(int)> onPause;
        size_t counters;  // passes that reported counters
        const char* line;
    };
    const Case cases[] = {
        {"dropped while connected",
         [](int n) {
             if (n == 3) host::DropSimConnection(GetEngineState().rasConnection.load());
         },
         2, "The L2TP connection has gone"},
        {"handle no longer valid",
         [](int n) {
             if (n == 2) host::ResetSimDialUp();
         },
         1, "The L2TP connection has gone"},
        {"handle gone",
         [](int n) {
             if (n == 2) GetEngineState().rasConnection = nullptr;
         },
         1, "No L2TP connection to watch"},
        {"interface table unreadable",
         [](int n) {
             if (n == 3) host::SetSimulatedInterfaceTableResult(122, false);
         },
         2, "GetIfTable failed with error 31"},
        {"network changed for good",
         [](int n) {
             if (n == 2) {
                 SetAddress(Address(10, 0, 0, 99));
                 host::SignalAddressChange();
             }
         },
         10, "The network has changed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GetEngineState().rasConnection = host::AddSimConnection(u"Hal-Vane", true);
        host::ResetSimulatedInterfaces();
        host::SetSimulatedInterfaces({{"Hal-Vane", 300, 4000}});
        SetAddress(Address(192, 168, 1, 20));
        g_monitor.pauses = 0;
        g_monitor.onPause = c.onPause;
        EXPECT_EQ(Run(), 2u);
        g_monitor.onPause = nullptr;
        const Recorded r = Take();
        EXPECT_EQ(r.posted.back(), 2u);
        EXPECT_EQ(r.counters.size(), c.counters);
        EXPECT_NE(LogText().find(c.line), std::string::npos);
        EXPECT_LT(g_monitor.pauses.load(), 40) << "ended on its own";
        EXPECT_FALSE(GetEngineState().stopMonitorEvent->Wait(0));
    }
}

TEST_F(TunnelMonitorHost, AddressChangeThatRevertsIsOnlyANotice) {
    g_monitor.stopAfterPauses = 20;
    g_monitor.onPause = [](int n) {
        if (n == 2) {
            SetAddress(Address(10, 0, 0, 99));
            host::SignalAddressChange();
        }
        if (n == 4) SetAddress(Address(192, 168, 1, 20));
    };
    EXPECT_EQ(Run(), 0u);
    const Recorded r = Take();
    EXPECT_EQ(r.posted, std::vector<uintptr_t>{5});
    EXPECT_NE(LogText().find("changed from 192.168.1.20 to 10.0.0.99"), std::string::npos);
}

TEST_F(TunnelMonitorHost, UnreadableTableAtTheStartEndsWithZeroAndTheCode) {
    struct Case {
        uint32_t sizeQuery;
        bool allocationFails;
        intptr_t code;
    };
    for (const Case& c : {Case{50, false, 50}, Case{122, true, 122}}) {
        SCOPED_TRACE(c.code);
        host::SetSimulatedInterfaceTableResult(c.sizeQuery, true, c.allocationFails);
        EXPECT_EQ(Run(), 0u);
        const Recorded r = Take();
        EXPECT_EQ(r.posted, std::vector<uintptr_t>{2});
        EXPECT_EQ(r.postedDetail, std::vector<intptr_t>{c.code});
        EXPECT_EQ(sim_.Last(u"/t/" + tenant_ + u"/orch/heartbeat", u"count"), "0");
    }
}

TEST_F(TunnelMonitorHost, HeartbeatRefusalAndReconnectOrder) {
    struct Case {
        const char16_t* steps;
        uint32_t exitCode;
        uintptr_t posted;
    };
    for (const Case& c : {Case{u"[{\"status\":401,\"invalidReasonCode\":2}]", 0, 30106},
                          Case{u"[{\"action\":0},{\"action\":1}]", 2, 2}}) {
        Orchestrator(c.steps);
        g_monitor.pauses = 0;
        EXPECT_EQ(Run(), c.exitCode);
        EXPECT_EQ(Take().posted, std::vector<uintptr_t>{c.posted});
        GetEngineState().stopMonitorEvent->Reset();
    }
}

}  // namespace
}  // namespace velora::test
