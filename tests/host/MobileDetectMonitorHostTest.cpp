// The mobile-detect link monitor end to end: intranet heartbeats against the cloud stand-in's orchestrator
// (orders, refusals, the stop request) and a heartbeat address nobody listens on for the failure series.
// The monitor's waits run through a pause function that moves a test clock, so the failure limit passes
// without waiting for it.
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
#include "engine/MobileDetect.h"
#include "platform/Kernel.h"
#include "platform/Messenger.h"
#include "inprocess/SimHelperService.h"
#include "platform/host/SimAddressChange.h"
#include "platform/host/SimDevice.h"
#include "support/LinkMonitorFixture.h"
#include "support/MonitorClock.h"

namespace velora::test {
namespace {

// Ahead of any heartbeat time the process has recorded, so the first pass always sends one.
CMonitorClock g_monitor{CurrentTimeMillis() + 1000000000};
void AdvanceClock(uint32_t ms) {
    g_monitor.Pause(ms);
}

class MobileDetectMonitorHost : public LinkMonitorFixture {
protected:
    MobileDetectMonitorHost() : LinkMonitorFixture(u"mobile", u"tok-md") {}

    void SetUp() override {
        ASSERT_TRUE(sim_.Open());
        ASSERT_TRUE(CreateEngineEvents());
        GetEngineState().stopMonitorEvent->Reset();
        GetEngineState().ignoreAuthFailure = false;
        SetDiagnosisStarter([](const DiagnosisRun&) {});
        SetSettingInt(u"HeartbeatInterval", 0);  // a heartbeat in every pass
        SetSetting(u"AuthToken", u"tok-md");
        g_monitor.pauses = 0;
        g_monitor.stopAfterPauses = 0;
        platform::SetPauseFunction(AdvanceClock);
        platform::host::ResetAddressChange();
        // The monitor's interface keeps its address unless a test changes it; the default-route query
        // fails, so the address of that interface is what is compared.
        GetEngineState().defaultGatewayIfIndex = kInterface;
        GetEngineState().internalIp = u"192.168.1.20";
        SetAddress(Address(192, 168, 1, 20));
        corvane::inprocess::SetHelperAnswer(u"FindMinMetricInfOfDefaultGW", -1);
    }
    void TearDown() override {
        // Nothing the client sent broke the protocol (a refused heartbeat would pass unseen otherwise).
        if (!tenant_.empty()) {
            EXPECT_EQ(sim_.Refusals(tenant_), "");
        }
        g_monitor.onPause = nullptr;
        platform::SetPauseFunction(nullptr);
        platform::host::ResetAddressChange();
        platform::host::ResetSimulatedDevice();
        corvane::inprocess::ClearHelperAnswers();
        GetEngineState().internalIp.clear();
        SetDiagnosisStarter({});
        GetEngineState().stopMonitorEvent->Reset();
        SetSettingInt(u"HeartbeatInterval", 10);
        SetSettingInt(u"HeartbeatTimeout", 120000);
        SetSetting(u"HeartbeatUrl", u"");
        SetSetting(u"AuthToken", u"");
    }

    uint32_t Run() {
        return MobileDetectMonitor(window_.Handle(),
                                   MobileDetectTiming{2000, 2000, 0, [] { return g_monitor.now.load(); }});
    }

    std::vector<uintptr_t> Posted() {
        std::vector<uintptr_t> out;
        for (RecordedMessage& m : window_.Take()) {
            if (m.message == UM_LOG_LINE) {
                delete reinterpret_cast<std::u16string*>(m.lParam);
            } else if (m.message == UM_LINK_STATE && !m.sent) {
                out.push_back(m.wParam);
            }
        }
        return out;
    }
};

TEST_F(MobileDetectMonitorHost, AcceptedHeartbeatsCarryTheIntranetBodyUntilTheStopRequest) {
    Orchestrator(u"[{\"action\":0}]");
    g_monitor.stopAfterPauses = 5;  // the settling pause, the first stop wait and three passes
    EXPECT_EQ(Run(), 0u);
    EXPECT_TRUE(Posted().empty());
    EXPECT_EQ(sim_.Last(HeartbeatPath(), u"count"), "3");
    EXPECT_EQ(sim_.Last(HeartbeatPath(), u"body"), "{\"intranetMode\":true}");
    const std::string log = LogText();
    EXPECT_NE(log.find("Link monitor asked to stop"), std::string::npos);
    EXPECT_NE(log.find("Link monitor ended"), std::string::npos);
}

TEST_F(MobileDetectMonitorHost, StopBeforeTheFirstPassSendsNothing) {
    Orchestrator(u"[{\"action\":0}]");
    GetEngineState().stopMonitorEvent->Set();
    EXPECT_EQ(Run(), 0u);
    EXPECT_EQ(sim_.Last(HeartbeatPath(), u"count"), "0");
}

TEST_F(MobileDetectMonitorHost, OrdersAndRefusalsOfTheOrchestrator) {
    struct Case {
        const char* name;
        const char16_t* steps;
        uint32_t exitCode;
        uintptr_t posted;
    };
    const Case cases[] = {
        {"reconnect", u"[{\"action\":0},{\"action\":1}]", 2, 2},
        {"sign out", u"[{\"status\":401,\"invalidReasonCode\":2}]", 0, 30106},
        {"password change", u"[{\"status\":401,\"invalidReasonCode\":1}]", 0, 30117},
        {"a failing answer waits for the next", u"[{\"status\":503},{\"action\":1}]", 2, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Orchestrator(c.steps);
        g_monitor.pauses = 0;
        g_monitor.stopAfterPauses = 50;  // a safety stop for a run that does not end on its own
        EXPECT_EQ(Run(), c.exitCode);
        EXPECT_EQ(Posted(), std::vector<uintptr_t>{c.posted});
        EXPECT_FALSE(GetEngineState().stopMonitorEvent->Wait(0))
            << "a late stop must not reach the next monitor";
        GetEngineState().stopMonitorEvent->Reset();
    }
}

// Every heartbeat fails in transport; each pass moves the clock 2000 ms, so the series passes the limit
// after limit / 2000 + 1 further passes.
TEST_F(MobileDetectMonitorHost, FailingHeartbeatsGiveTheLinkUpPastTheLimit) {
    struct Case {
        int32_t heartbeatTimeout;
        int32_t limit;
        const char* line;
    };
    const Case cases[] = {
        {50000, 40000, "heartBeatFailedTimes 22 timeoutInterval 40000 current 42000"},  // the floor
        {60000, 40000, "heartBeatFailedTimes 22 timeoutInterval 40000 current 42000"},
        {100000, 80000, "heartBeatFailedTimes 42 timeoutInterval 80000 current 82000"},
        // Values below 1 come from the orchestrator as they are; the floor holds for them too.
        {0, 40000, "heartBeatFailedTimes 22 timeoutInterval 40000 current 42000"},
        {-120000, 40000, "heartBeatFailedTimes 22 timeoutInterval 40000 current 42000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.heartbeatTimeout);
        EXPECT_EQ(HeartbeatFailureLimitMs(c.heartbeatTimeout), c.limit);
        SetSettingInt(u"HeartbeatTimeout", c.heartbeatTimeout);
        SetSetting(u"HeartbeatUrl", u"http://127.0.0.1:1/orch/heartbeat");
        g_monitor.pauses = 0;
        g_monitor.stopAfterPauses = 200;
        EXPECT_EQ(Run(), 2u);
        EXPECT_EQ(Posted(), std::vector<uintptr_t>{2});
        const std::string log = LogText();
        EXPECT_NE(log.find(c.line), std::string::npos) << log;
        EXPECT_NE(log.find("Heartbeats have failed for too long"), std::string::npos);
        EXPECT_LT(g_monitor.pauses.load(), 200) << "ended on its own";
    }
}

// Pauses 1 and 2 come before the first pass; pass k ends with pause k + 2 and moves the clock 2000 ms.
TEST_F(MobileDetectMonitorHost, AddressChangeIsNoticedAndTakenForALostLinkOnlyWhenItHolds) {
    struct Case {
        const char* name;
        uint32_t changedTo;
        int revertAtPause;  // 0: the change holds
        uint32_t exitCode;
        std::vector<uintptr_t> posted;
        const char* line;
    };
    const Case cases[] = {
        {"reverts within 15 s", Address(10, 0, 0, 99), 6, 0, {5}, "changed from 192.168.1.20 to 10.0.0.99"},
        {"holds", Address(10, 0, 0, 99), 0, 2, {5, 2}, "changed from 192.168.1.20 to 10.0.0.99"},
        {"address gone", 0, 0, 2, {5, 2}, "changed from 192.168.1.20 to  none"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Orchestrator(u"[{\"action\":0}]");
        SetAddress(Address(192, 168, 1, 20));
        platform::host::ResetAddressChange();
        g_monitor.pauses = 0;
        g_monitor.stopAfterPauses = 30;  // 14 passes after the change: well past 15 s
        g_monitor.onPause = [&c](int n) {
            if (n == 3) {
                SetAddress(c.changedTo);
                platform::host::SignalAddressChange();
            }
            if (n == c.revertAtPause) SetAddress(Address(192, 168, 1, 20));
        };
        EXPECT_EQ(Run(), c.exitCode);
        EXPECT_EQ(Posted(), c.posted);
        const std::string log = LogText();
        EXPECT_NE(log.find(c.line), std::string::npos) << log;
        EXPECT_NE(log.find("The network has changed"), std::string::npos);
        if (c.exitCode == 2) {
            EXPECT_LT(g_monitor.pauses.load(), 30);
            // Noticed in pass 2 (clock 6000); held past 15 s in pass 10 (clock 22000).
            EXPECT_EQ(g_monitor.pauses.load(), 11);
        }
        EXPECT_EQ(platform::host::AddressChangeArms(), 2) << "armed at the start and again after it fired";
        EXPECT_EQ(platform::host::AddressChangeCancels(), 1) << "the pending request is cancelled at the end";
        g_monitor.onPause = nullptr;
    }
}

// A notification that cannot be armed is tried again each pass and never seen as a change.
TEST_F(MobileDetectMonitorHost, NotificationThatCannotBeArmedIsRetriedEachPass) {
    Orchestrator(u"[{\"action\":0}]");
    platform::host::SetAddressChangeArmFailure(50);
    g_monitor.stopAfterPauses = 12;  // ten passes
    g_monitor.onPause = [](int n) {
        if (n == 3) {
            SetAddress(Address(10, 0, 0, 99));
            platform::host::SignalAddressChange();
        }
    };
    EXPECT_EQ(Run(), 0u);
    EXPECT_TRUE(Posted().empty());
    EXPECT_EQ(platform::host::AddressChangeArms(), 0);
    EXPECT_EQ(platform::host::AddressChangeCancels(), 0);
}

}  // namespace
}  // namespace velora::test
