// The address-change notification through the real IP helper under Wine: it arms in the overlapped form,
// a wait on it waits (the synchronous form would answer at once and turn the monitors' 200 ms check into a
// spin), re-arming a pending request changes nothing, and the request is cancelled when the watch goes.
// Then the mobile-detect monitor over it, with its heartbeats through WinINet to the cloud stand-in.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Settings.h"
#include "core/WindowMessages.h"
#include "engine/EngineEvents.h"
#include "engine/EngineState.h"
#include "engine/MobileDetect.h"
#include "platform/AddressChange.h"
#include "support/CloudSim.h"
#include "support/RecordingWindow.h"

namespace velora {
namespace {

TEST(AddressChangeWin, ArmedRequestWaitsAndIsReArmedAndCancelled) {
    constexpr int kRounds = 10;
    constexpr uint32_t kWaitMs = 50;
    for (int watch = 0; watch < 2; ++watch) {  // a second watch arms after the first was cancelled
        platform::CAddressChangeWatch changes;
        ASSERT_TRUE(changes.Armed()) << "arm error " << changes.ArmError();
        int fired = 0;
        const ULONGLONG start = GetTickCount64();
        for (int i = 0; i < kRounds; ++i) {
            if (changes.Wait(kWaitMs)) ++fired;
            changes.Arm();
            EXPECT_TRUE(changes.Armed());
        }
        const ULONGLONG elapsed = GetTickCount64() - start;
        EXPECT_EQ(fired, 0) << "no address changes while the test runs";
        // Each round waited on the pending request instead of returning at once.
        EXPECT_GE(elapsed, static_cast<ULONGLONG>(kRounds * kWaitMs / 2));
    }
}

TEST(MobileDetectMonitorWin, IntranetHeartbeatsUntilTheOrchestratorAsksToReconnect) {
    test::CCloudSimAccess sim;
    ASSERT_TRUE(sim.Open());
    ASSERT_TRUE(CreateEngineEvents());
    GetEngineState().stopMonitorEvent->Reset();
    const std::u16string tenant = sim.Tenant(
        u"mobilewin", uR"({"orch":{"tokens":["tok-mw"],"heartbeat":[{"action":0},{"action":1}]}})");
    SetSetting(u"HeartbeatUrl", sim.TenantUrl("http", tenant) + u"/orch/heartbeat");
    SetSetting(u"AuthToken", u"tok-mw");
    SetSettingInt(u"HeartbeatInterval", 0);  // a heartbeat in every pass

    test::CRecordingWindow window;
    EXPECT_EQ(MobileDetectMonitor(window.Handle(), MobileDetectTiming{0, 20, 20, {}}), 2u);
    SetSettingInt(u"HeartbeatInterval", 10);
    SetSetting(u"HeartbeatUrl", u"");

    std::vector<uintptr_t> posted;
    for (const test::RecordedMessage& m : window.Take()) {
        if (m.message == UM_LOG_LINE) delete reinterpret_cast<std::u16string*>(m.lParam);
        if (m.message == UM_LINK_STATE && !m.sent) posted.push_back(m.wParam);
    }
    EXPECT_EQ(posted, std::vector<uintptr_t>{2});
    const std::u16string path = u"/t/" + tenant + u"/orch/heartbeat";
    EXPECT_EQ(sim.Last(path, u"count"), "2");
    EXPECT_EQ(sim.Last(path, u"body"), "{\"intranetMode\":true}");
}

}  // namespace
}  // namespace velora
