// The exported API against the host's simulated kernel, shell and interface table: thread and event
// creation failures, the resolver-cache flush, and the tunnel interface's counters.
#include <gtest/gtest.h>

#include "ApiTestSupport.h"
#include "engine/ConnectContext.h"
#include "engine/EngineEvents.h"
#include "platform/host/SimInterfaces.h"
#include "platform/host/SimKernel.h"
#include "platform/host/SimShell.h"
#include "support/LogFiles.h"

namespace velora::test {
namespace {

class ClientApiHostTest : public ApiFixture {
protected:
    void TearDown() override {
        platform::host::ResetSimKernel();
        platform::host::ResetSimulatedInterfaces();
        ApiFixture::TearDown();
    }
};

TEST(ClientApiInit, EventFailureFailsInitUntilACallSucceeds) {
    if (GetEngineState().connectionEvent) GTEST_SKIP() << "the events were created earlier in this process";
    platform::host::FailNamedEventCreation(kDisconnectionEventName, 1450);
    EXPECT_EQ(ApiInit(nullptr, nullptr), 0);
    // Every creation was attempted: only the failed one is missing.
    EngineState& state = GetEngineState();
    EXPECT_TRUE(state.connectionEvent);
    EXPECT_FALSE(state.disconnectionEvent);
    EXPECT_TRUE(state.stopConnectEvent);
    EXPECT_TRUE(state.stopMonitorEvent);
    EXPECT_TRUE(state.stopProcessCheckEvent);
    char16_t buffer[64];
    EXPECT_EQ(ApiConnect(buffer, 64), 87u);  // not initialised: no lock, no session
    platform::Event* keptStop = state.stopMonitorEvent.get();

    EXPECT_EQ(ApiInit(nullptr, nullptr), 1);
    EXPECT_TRUE(state.disconnectionEvent);
    EXPECT_EQ(state.stopMonitorEvent.get(), keptStop);  // events that existed are kept
    // The named events are the ones other holders (the engine) open by name.
    platform::EventCreation again = platform::OpenOrCreateEvent(kConnectionEventName, true, false);
    ASSERT_TRUE(again.event);
    EXPECT_TRUE(again.alreadyExisted);
    again.event->Set();
    EXPECT_TRUE(state.connectionEvent->Wait(0));
    state.connectionEvent->Reset();
}

TEST_F(ClientApiHostTest, ConnectFlushesTheResolverCacheThroughTheShell) {
    workers.realFlush = true;
    platform::host::ClearShellCalls();
    char16_t buffer[64];
    ASSERT_EQ(ApiConnect(buffer, 64), 0u);
    const auto calls = platform::host::ShellCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].verb, u"open");
    EXPECT_EQ(calls[0].file, u"ipconfig");
    EXPECT_EQ(calls[0].parameters, u"/flushdns");
}

TEST_F(ClientApiHostTest, ThreadCreationFailuresUndoTheConnection) {
    struct Case {
        uint32_t skip;   // creations that succeed first (the monitor, then the watcher)
        uint32_t error;  // what the failing creation reports
        uint32_t want;
        const char16_t* text;
        int monitorsStarted;
    };
    const Case cases[] = {
        {0, 8, 8, u"Can not start statics thread", 0},
        {1, 1450, 1450, u"Can not start monitor thread", 1},
        // A failure without an error code must still read as a failure.
        {0, 0, 8, u"Can not start statics thread", 0},
    };
    for (const Case& c : cases) {
        const int monitorsBefore = workers.monitorCalls.load();
        const std::size_t jobsBefore = workers.Jobs().size();
        platform::host::FailThreadCreations(c.skip, 1, c.error);
        char16_t buffer[64];
        EXPECT_EQ(ApiConnect(buffer, 64), c.want);
        EXPECT_EQ(Text(buffer), c.text);
        EXPECT_EQ(ApiGetConnectionStep(), kStepDisconnected);
        const auto jobs = workers.Jobs();
        ASSERT_EQ(jobs.size(), jobsBefore + 1);  // the nested Disconnect tore the connection down
        EXPECT_EQ(jobs.back().reason, 5u);
        EXPECT_EQ(jobs.back().notifyOrchestrator, 1);
        EXPECT_EQ(jobs.back().stepSeen, kStepDisconnecting);
        // A monitor that did start was told to stop.
        ASSERT_TRUE(WaitUntil([&] { return workers.monitorEnds.load() == workers.monitorCalls.load(); }));
        ASSERT_TRUE(
            WaitUntil([&] { return workers.monitorCalls.load() - monitorsBefore == c.monitorsStarted; }));
        EXPECT_EQ(ApiWatcherCount(), 0u);
        platform::host::ResetSimKernel();
    }
    char16_t buffer[64];
    EXPECT_EQ(ApiConnect(buffer, 64), 0u);
    EXPECT_EQ(ApiGetConnectionStep(), kStepConnected);
}

TEST_F(ClientApiHostTest, ReconnectThatCannotStartAMonitorDisconnects) {
    workers.onConnect = [](ConnectContext& ctx, int n) {
        StoreMode(ctx.mode, n == 1 ? NATIVE : DCPE);
        ctx.result = 0;
    };
    workers.onMonitor = [](int) { return kMonitorLinkLost; };
    platform::host::FailThreadCreations(2, 1, 8);  // monitor and watcher start; the reconnect's monitor fails
    char16_t buffer[64];
    ASSERT_EQ(ApiConnect(buffer, 64), 0u);
    ASSERT_TRUE(WaitUntil([] { return ApiWatcherCount() == 0; }));
    EXPECT_EQ(workers.connectCalls.load(), 2);
    EXPECT_EQ(ApiGetConnectionStep(), kStepDisconnected);
    const auto jobs = workers.Jobs();
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_EQ(jobs[0].mode, static_cast<uint32_t>(NATIVE));  // the lost connection
    EXPECT_EQ(jobs[1].mode, static_cast<uint32_t>(DCPE));    // the one just made, undone
    EXPECT_EQ(jobs[1].reason, 5u);
}

TEST_F(ClientApiHostTest, CheckStatusReadsTheTunnelInterfaceRow) {
    workers.onConnect = [](ConnectContext& ctx, int) {
        StoreMode(ctx.mode, MOBILE_DETECT);
        ctx.result = 0;
    };
    char16_t buffer[64];
    ASSERT_EQ(ApiConnect(buffer, 64), 0u);
    using Rows = std::vector<platform::InterfaceRow>;
    struct Case {
        Rows rows;
        uint32_t sizeQuery;
        bool readOk;
        int32_t want;
        int64_t sent;
        int64_t received;
    };
    const Case cases[] = {
        {Rows{{"Ethernet", 1, 2}, {"Hal-Vane", 300, 4000000000u}}, 122, true, 1, 4000000000, 300},
        {Rows{{"Hal-Vane", 1, 2}, {"Hal-Vane", 5, 6}}, 122, true, 1, 6, 5},  // the last matching row wins
        {Rows{{"Hal-Vane ", 1, 2}, {"hal-vane", 3, 4}, {"Hal-Van", 5, 6}}, 122, true, 0, 0, 0},
        {Rows{}, 122, true, 0, 0, 0},
        {Rows{{"Hal-Vane", 1, 2}}, 50, true, 0, 0, 0},    // size query failed
        {Rows{{"Hal-Vane", 1, 2}}, 0, true, 0, 0, 0},     // size query answered "no error": no table
        {Rows{{"Hal-Vane", 1, 2}}, 122, false, 0, 0, 0},  // the read itself failed
    };
    for (const Case& c : cases) {
        platform::host::SetSimulatedInterfaces(c.rows);
        platform::host::SetSimulatedInterfaceTableResult(c.sizeQuery, c.readOk);
        int64_t sent = -1;
        int64_t received = -1;
        EXPECT_EQ(ApiCheckStatus(&sent, &received), c.want);
        EXPECT_EQ(sent, c.sent);
        EXPECT_EQ(received, c.received);
    }
}

// Each failure of the table read is a line of the log, the failed allocation included.
TEST_F(ClientApiHostTest, CheckStatusLogsEveryFailedTableRead) {
    workers.onConnect = [](ConnectContext& ctx, int) {
        StoreMode(ctx.mode, MOBILE_DETECT);
        ctx.result = 0;
    };
    char16_t buffer[64];
    ASSERT_EQ(ApiConnect(buffer, 64), 0u);
    struct Case {
        uint32_t sizeQuery;
        bool allocationFails;
        const char* line;
    } cases[] = {
        {50, false, "GetIfTable failed with error code 50"},
        {122, true, "GetIfTable failed with error code 122"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        CLogCapture log;
        platform::host::SetSimulatedInterfaces({{"Hal-Vane", 1, 2}});
        platform::host::SetSimulatedInterfaceTableResult(c.sizeQuery, true, c.allocationFails);
        int64_t sent = -1;
        int64_t received = -1;
        EXPECT_EQ(ApiCheckStatus(&sent, &received), 0);
        EXPECT_NE(log.Text().find(std::string("[ERROR] ") + c.line), std::string::npos) << log.Text();
    }
    platform::host::ResetSimulatedInterfaces();
}

TEST(SimKernel, ThreadCreationFailsWhenAsked) {
    platform::host::FailThreadCreations(0, 1, 1450);
    auto failed = platform::StartThread([] { return uint32_t{0}; });
    EXPECT_FALSE(failed.thread);
    EXPECT_EQ(failed.error, 1450u);
    EXPECT_EQ(platform::LastSystemError(), 1450u);
    platform::host::ResetSimKernel();
}

}  // namespace
}  // namespace velora::test
