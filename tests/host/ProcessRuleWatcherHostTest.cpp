// The process-rule watcher with a recording window as the main window: what it posts for a malformed and
// an unsatisfied rule, and that a satisfied rule is evaluated again after every 30-second wait until the
// exit path signals the stop event (the wait runs through the pause seam, not in real time).
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "core/Settings.h"
#include "core/TextHelpers.h"
#include "core/WindowMessages.h"
#include "engine/EngineEvents.h"
#include "engine/EngineState.h"
#include "engine/ProcessRuleWatcher.h"
#include "platform/Kernel.h"
#include "platform/Messenger.h"
#include "support/LogFiles.h"
#include "support/RecordingWindow.h"

using namespace velora;

namespace {

std::vector<uint32_t> g_waits;
void RecordWait(uint32_t ms) {
    g_waits.push_back(ms);
}

class ProcessRuleWatcherTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(CreateEngineEvents());
        GetEngineState().stopProcessCheckEvent->Reset();
        platform::SetMainWindow(window_.Handle());
        platform::SetPauseFunction(&RecordWait);
        g_waits.clear();
    }
    void TearDown() override {
        platform::SetMainWindow(nullptr);
        platform::SetPauseFunction(nullptr);
        GetEngineState().stopProcessCheckEvent->Reset();
        SetSetting(u"ProcessList", u"");
        (void)Results();
    }
    std::vector<uintptr_t> Results() {
        std::vector<uintptr_t> codes;
        for (const test::RecordedMessage& m : window_.Take()) {
            if (m.message == UM_LOG_LINE) delete reinterpret_cast<std::u16string*>(m.lParam);
            if (m.message == UM_CONNECT_RESULT) codes.push_back(m.wParam);
        }
        return codes;
    }

    test::CLogCapture log_;
    test::CRecordingWindow window_;
};

}  // namespace

TEST_F(ProcessRuleWatcherTest, EndsWithTheRulesVerdict) {
    struct Case {
        const char* name;
        ProcessRuleVerdict verdict;
        uintptr_t posted;
    };
    const Case cases[] = {
        {"malformed", {false, true}, 30118},
        {"not satisfied", {false, false}, 30116},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetSetting(u"ProcessList", u"a.exe&&b.exe");
        std::vector<std::u16string> seen;
        const uint32_t code = ProcessRuleWatcher([&](std::u16string_view rule) {
            seen.emplace_back(rule);
            return c.verdict;
        });
        EXPECT_EQ(code, c.posted);
        EXPECT_EQ(Results(), std::vector<uintptr_t>{c.posted});
        EXPECT_EQ(seen, std::vector<std::u16string>{u"a.exe&&b.exe"});
        EXPECT_TRUE(g_waits.empty());
    }
    const std::string log = log_.Text();
    EXPECT_NE(log.find("Checking the required programs every 30 seconds"), std::string::npos);
    EXPECT_NE(log.find("The required-program check has ended"), std::string::npos);
}

TEST_F(ProcessRuleWatcherTest, SatisfiedRuleIsCheckedEvery30SecondsUntilStopped) {
    SetSetting(u"ProcessList", u"keeper.exe");
    int evaluations = 0;
    const uint32_t code = ProcessRuleWatcher([&](std::u16string_view) {
        // The exit path stops the watcher during its fourth wait.
        if (++evaluations == 4) GetEngineState().stopProcessCheckEvent->Set();
        return ProcessRuleVerdict{true, false};
    });
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(evaluations, 4);
    EXPECT_EQ(g_waits, (std::vector<uint32_t>{30000, 30000, 30000, 30000}));
    EXPECT_TRUE(Results().empty()) << "nothing is posted while the rule holds";
    EXPECT_NE(log_.Text().find("The required-program check has ended"), std::string::npos);
}

TEST_F(ProcessRuleWatcherTest, NoRuleNoWatcher) {
    SetSetting(u"ProcessList", u"");
    int evaluations = 0;
    EXPECT_EQ(ProcessRuleWatcher([&](std::u16string_view) {
                  ++evaluations;
                  return ProcessRuleVerdict{};
              }),
              0u);
    EXPECT_EQ(evaluations, 0);
    EXPECT_TRUE(Results().empty());
}

TEST_F(ProcessRuleWatcherTest, StopEventCutsTheRealWaitShort) {
    // Without the pause seam the watcher waits on the event itself: a stop already signalled ends it
    // after one evaluation, without the 30 s.
    platform::SetPauseFunction(nullptr);
    SetSetting(u"ProcessList", u"keeper.exe");
    GetEngineState().stopProcessCheckEvent->Set();
    int evaluations = 0;
    EXPECT_EQ(ProcessRuleWatcher([&](std::u16string_view) {
                  ++evaluations;
                  return ProcessRuleVerdict{true, false};
              }),
              0u);
    EXPECT_EQ(evaluations, 1);
}
