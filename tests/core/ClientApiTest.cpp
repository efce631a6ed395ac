// The exported API's session: argument checks, buffer rules, the step machine, the link monitor and
// reconnect, and the traffic counters, with the engine's workers and the sign-in replaced by doubles.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>

#include "ApiTestSupport.h"
#include "engine/ConnectContext.h"
#include "platform/SystemErrors.h"
#include "platform/Types.h"

namespace velora::test {
namespace {

constexpr uint32_t kBusy = 329;
constexpr uint32_t kBadArgument = 87;

using ClientApiTest = ApiFixture;

// ---- ValidateUser -------------------------------------------------------------------------------

struct SignInCounter {
    std::atomic<int> runs{0};
    SignInContext seen;
    std::mutex m;
    void Install(int32_t code = 4082,
                 std::u16string message = u"2039 Asynchronous authentication timed out") {
        SetSignInRunnerForTest([this, code, message](SignInContext& c) {
            ++runs;
            {
                std::lock_guard l(m);
                seen = c;
            }
            c.resultCode = code;
            c.message = message;
        });
    }
};

TEST_F(ClientApiTest, ValidateUserChecksEachArgumentBeforeSigningIn) {
    const std::u16string u30(30, u'u');
    const std::u16string u31(31, u'u');
    struct Case {
        const char16_t* id;
        std::u16string user;
        std::u16string password;
        uint32_t want;
        const char16_t* text;
    };
    const Case cases[] = {
        {u"2147483647", u"alice", u"secret1", 4082, u"2039 Asynchronous authentication timed out"},
        {u"2147483648", u"alice", u"secret1", kBadArgument, u"2015 Invalid customer ID"},
        {u"0123", u"alice", u"secret1", 4082, u"2039 Asynchronous authentication timed out"},
        {u"12a", u"alice", u"secret1", kBadArgument, u"2015 Invalid customer ID"},
        {u"", u"alice", u"secret1", kBadArgument, u"2015 Invalid customer ID"},
        {u"12345678901", u"alice", u"secret1", kBadArgument, u"2015 Invalid customer ID"},
        {u"9999999999", u"alice", u"secret1", kBadArgument, u"2015 Invalid customer ID"},
        {u"-1", u"alice", u"secret1", kBadArgument, u"2015 Invalid customer ID"},
        {u"12", u"", u"secret1", kBadArgument, u"2016 Invalid username"},
        {u"12", u30, u"secret1", 4082, u"2039 Asynchronous authentication timed out"},
        {u"12", u31, u"secret1", kBadArgument, u"2016 Invalid username"},
        {u"12", u"alice", u"12345", kBadArgument, u"2017 Invalid password"},
        {u"12", u"alice", u"123456", 4082, u"2039 Asynchronous authentication timed out"},
        {u"12", u"alice", u"1234567890123456", 4082, u"2039 Asynchronous authentication timed out"},
        {u"12", u"alice", u"12345678901234567", kBadArgument, u"2017 Invalid password"},
        {u"12", u"alice", u"", kBadArgument, u"2017 Invalid password"},
    };
    for (const Case& c : cases) {
        SignInCounter signIn;
        signIn.Install();
        char16_t buffer[128];
        std::fill(std::begin(buffer), std::end(buffer), u'x');
        const uint32_t got = ApiValidateUser(c.id, c.user.c_str(), c.password.c_str(), buffer, 128);
        SCOPED_TRACE(std::string(c.id, c.id + std::char_traits<char16_t>::length(c.id)));
        EXPECT_EQ(got, c.want);
        EXPECT_EQ(Text(buffer), c.text);
        EXPECT_EQ(buffer[127], u'\0');
        EXPECT_EQ(signIn.runs.load(), c.want == kBadArgument ? 0 : 1);
    }
}

TEST_F(ClientApiTest, ValidateUserWithoutBufferRunsNoSignIn) {
    SignInCounter signIn;
    signIn.Install();
    EXPECT_EQ(ApiValidateUser(u"12", u"alice", u"secret1", nullptr, 64), kBadArgument);
    EXPECT_EQ(signIn.runs.load(), 0);
    // Null texts count as empty: the customer ID is the first to fail.
    char16_t buffer[64];
    EXPECT_EQ(ApiValidateUser(nullptr, nullptr, nullptr, buffer, 64), kBadArgument);
    EXPECT_EQ(Text(buffer), u"2015 Invalid customer ID");
}

TEST_F(ClientApiTest, ValidateUserCountsUtf16UnitsAndSurvivesHugeOrBrokenTexts) {
    SignInCounter signIn;
    signIn.Install();
    const std::u16string huge(1 << 20, u'7');
    const std::u16string hugeName(1 << 20, u'\xD800');
    char16_t buffer[64];
    EXPECT_EQ(ApiValidateUser(huge.c_str(), u"alice", u"secret1", buffer, 64), kBadArgument);
    EXPECT_EQ(Text(buffer), u"2015 Invalid customer ID");
    EXPECT_EQ(ApiValidateUser(u"12", hugeName.c_str(), u"secret1", buffer, 64), kBadArgument);
    EXPECT_EQ(Text(buffer), u"2016 Invalid username");
    EXPECT_EQ(ApiValidateUser(u"12", u"alice", huge.c_str(), buffer, 64), kBadArgument);
    EXPECT_EQ(Text(buffer), u"2017 Invalid password");
    EXPECT_EQ(signIn.runs.load(), 0);

    // A surrogate pair is two units and lone surrogates are one each: six units pass.
    const std::u16string password = {u'\xD83D', u'\xDE00', u'\xDC00', u'\xD800', u'a', u'b'};
    EXPECT_EQ(ApiValidateUser(u"12", u"\xDFFF", password.c_str(), buffer, 64), 4082u);
    EXPECT_EQ(signIn.runs.load(), 1);
    std::lock_guard l(signIn.m);
    EXPECT_EQ(signIn.seen.password, password);
    EXPECT_EQ(signIn.seen.userName, u"\xDFFF");
    EXPECT_EQ(signIn.seen.customerId, u"12");
    EXPECT_TRUE(signIn.seen.authToken.empty());
    EXPECT_EQ(signIn.seen.notifyWindow, nullptr);
}

TEST_F(ClientApiTest, SuccessfulSignInStoresCredentialsButNeverThePassword) {
    SetSignInRunnerForTest([](SignInContext& c) {
        c.resultCode = 0;
        c.authToken = u"token-1";
        c.authUrl = u"https://auth.example.test/api/v1/auth";
        c.message = u"leftover text";
        SetSetting(u"AuthToken", c.authToken);
    });
    char16_t buffer[64];
    std::fill(std::begin(buffer), std::end(buffer), u'x');
    EXPECT_EQ(ApiValidateUser(u"0123", u"alice", u"pa55word!", buffer, 64), 0u);
    EXPECT_EQ(Text(buffer), u"");
    EXPECT_EQ(buffer[63], u'\0');
    EXPECT_EQ(GetSetting(u"Username", u"?"), u"alice");
    EXPECT_EQ(GetSetting(u"Password", u"?"), u"*********");
    EXPECT_EQ(GetSetting(u"CustomerId", u"?"), u"0123");
    EXPECT_EQ(GetSetting(u"AuthUrl", u"?"), u"https://auth.example.test/api/v1/auth");
    EXPECT_EQ(GetSetting(u"AuthToken", u"?"), u"token-1");
}

TEST_F(ClientApiTest, FailedSignInClearsTheStoredTokenAndPassword) {
    struct Case {
        int32_t code;
        const char16_t* token;
        const char16_t* message;
        uint32_t want;
        const char16_t* text;
    };
    const Case cases[] = {
        {12029, u"", u"Request time out.The network or the server might be unavailable", 12029,
         u"Request time out.The network or the server might be unavailable"},
        {50, u"", u"Not supported", 50, u"Not supported"},
        {501, u"stale", u"2014 Unable to parse the authorization result", 501,
         u"2014 Unable to parse the authorization result"},
        // Nothing failed, yet no token: a second factor only the login window can take. Not "signed in".
        {0, u"", u"", 50, u"Not supported"},
    };
    for (const Case& c : cases) {
        SetSetting(u"AuthToken", u"old-token");
        SetSetting(u"Password", u"******");
        SetSignInRunnerForTest([&c](SignInContext& ctx) {
            ctx.resultCode = c.code;
            ctx.authToken = c.token;
            ctx.message = c.message;
        });
        char16_t buffer[128];
        EXPECT_EQ(ApiValidateUser(u"12", u"alice", u"secret1", buffer, 128), c.want);
        EXPECT_EQ(Text(buffer), c.text);
        EXPECT_EQ(GetSetting(u"AuthToken", u"?"), u"");
        EXPECT_EQ(GetSetting(u"Password", u"?"), u"");
    }
}

TEST_F(ClientApiTest, BuiltInSignInReportsAnUnreachableDiscoveryServer) {
    SetSignInRunnerForTest({});
    // Nothing listens on port 1 of the loopback: the run never leaves this machine.
    SetSettingText(u"DiscoveryUrl", u"http://127.0.0.1:1/api/mobile/v1/orchinfo");
    SetSettingText(u"DiscoveryBackupUrl", u"http://127.0.0.1:1/api/mobile/v1/orchinfo");
    char16_t buffer[128];
    EXPECT_EQ(ApiValidateUser(u"12", u"alice", u"secret1", buffer, 128), 12029u);
    EXPECT_EQ(Text(buffer), u"Request time out.The network or the server might be unavailable");
}

// ---- Buffer rules ---------------------------------------------------------------------------------

TEST_F(ClientApiTest, MessagesAreCutToCapacityAndNothingIsWrittenBeyondIt) {
    char16_t buffer[32];
    struct Case {
        uint64_t capacity;
        std::u16string want;
    };
    const Case cases[] = {
        {1, u""}, {2, u"A"}, {5, u"Alre"}, {16, u"Already disconn"}, {21, u"Already disconnected"}};
    for (const Case& c : cases) {
        std::fill(std::begin(buffer), std::end(buffer), u'x');
        EXPECT_EQ(ApiDisconnect(buffer, c.capacity), 0u);
        EXPECT_EQ(Text(buffer), c.want);
        EXPECT_EQ(buffer[c.capacity - 1], u'\0');
        for (uint64_t i = c.capacity; i < 32; ++i) EXPECT_EQ(buffer[i], u'x') << i;
    }
    std::fill(std::begin(buffer), std::end(buffer), u'x');
    EXPECT_EQ(ApiValidateUser(u"bad", u"alice", u"secret1", buffer, 1), kBadArgument);
    EXPECT_EQ(buffer[0], u'\0');
    EXPECT_EQ(buffer[1], u'x');
    std::fill(std::begin(buffer), std::end(buffer), u'x');
    EXPECT_EQ(ApiValidateUser(u"bad", u"alice", u"secret1", buffer, 0), kBadArgument);
    EXPECT_EQ(buffer[0], u'x');  // capacity 0: nothing may be written
}

TEST_F(ClientApiTest, NullBuffersAreRefused) {
    EXPECT_EQ(ApiConnect(nullptr, 64), kBadArgument);
    EXPECT_EQ(ApiDisconnect(nullptr, 64), kBadArgument);
    EXPECT_EQ(workers.connectCalls.load(), 0);
    EXPECT_EQ(ApiGetConnectionStep(), kStepDisconnected);
}

// ---- Connect and Disconnect -----------------------------------------------------------------------

TEST_F(ClientApiTest, SecondConnectIsRefusedWhileConnected) {
    char16_t buffer[64];
    std::fill(std::begin(buffer), std::end(buffer), u'x');
    EXPECT_EQ(ApiConnect(buffer, 64), 0u);
    EXPECT_EQ(Text(buffer), u"");
    EXPECT_EQ(ApiGetConnectionStep(), kStepConnected);
    EXPECT_EQ(workers.flushes.load(), 1);
    EXPECT_EQ(workers.ConnectSteps(), std::vector<int32_t>{kStepConnecting});

    EXPECT_EQ(ApiConnect(buffer, 64), kBusy);
    EXPECT_EQ(Text(buffer), u"Already connected");
    EXPECT_EQ(workers.connectCalls.load(), 1);

    EXPECT_EQ(ApiDisconnect(buffer, 64), 0u);
    EXPECT_EQ(Text(buffer), u"");
    EXPECT_EQ(ApiGetConnectionStep(), kStepDisconnected);
    const auto jobs = workers.Jobs();
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].removeRoutes, 1);
    EXPECT_EQ(jobs[0].notifyOrchestrator, 1);
    EXPECT_EQ(jobs[0].reason, 5u);
    EXPECT_TRUE(jobs[0].hadMonitor);
    EXPECT_EQ(jobs[0].stepSeen, kStepDisconnecting);
    // Disconnect joined the watcher, which ended because the monitor was told to stop.
    EXPECT_EQ(ApiWatcherCount(), 0u);
    EXPECT_EQ(workers.monitorEnds.load(), 1);

    EXPECT_EQ(ApiDisconnect(buffer, 64), 0u);
    EXPECT_EQ(Text(buffer), u"Already disconnected");
    EXPECT_EQ(workers.Jobs().size(), 1u);
}

TEST_F(ClientApiTest, ConnectFailurePassesTheWorkersCodeAndText) {
    struct Case {
        int32_t code;
        const char16_t* message;
    };
    const Case cases[] = {{30104, u"2012 Can not get filter list"},
                          {12029, u""},
                          {329, u"Stopped because of a disconnect command"}};
    for (const Case& c : cases) {
        workers.onConnect = [&c](ConnectContext& ctx, int) {
            StoreMode(ctx.mode, VCPE);
            ctx.result = c.code;
            ctx.message = c.message;
        };
        char16_t buffer[64];
        std::fill(std::begin(buffer), std::end(buffer), u'x');
        EXPECT_EQ(ApiConnect(buffer, 64), static_cast<uint32_t>(c.code));
        EXPECT_EQ(Text(buffer), c.message);
        EXPECT_EQ(ApiGetConnectionStep(), kStepDisconnected);
    }
    EXPECT_EQ(workers.monitorCalls.load(), 0);
    EXPECT_EQ(workers.flushes.load(), 0);
    EXPECT_EQ(ApiWatcherCount(), 0u);
}

TEST_F(ClientApiTest, BuiltInConnectNeedsAStoredToken) {
    ApiExit();
    ASSERT_EQ(ApiInit(nullptr, nullptr), 1);  // the built-in workers
    char16_t buffer[64];
    EXPECT_EQ(ApiConnect(buffer, 64), 30113u);
    EXPECT_EQ(Text(buffer), u"2011 The token is invalid, please login again");
    EXPECT_EQ(ApiGetConnectionStep(), kStepDisconnected);

    // With a token but no auth URL the connect URL has no scheme: the request fails in transport.
    SetSetting(u"AuthToken", u"token-1");
    SetSetting(u"AuthUrl", u"");
    EXPECT_EQ(ApiConnect(buffer, 64), platform::kHttpErrorUnrecognizedScheme);
    EXPECT_EQ(Text(buffer), u"Unknow error 12006");
    EXPECT_EQ(ApiGetConnectionStep(), kStepDisconnected);
}

TEST_F(ClientApiTest, DisconnectDuringConnectWaitsForTheConnectToFinish) {
    Gate entered;
    Gate release;
    workers.onConnect = [&](ConnectContext& ctx, int) {
        entered.Open();
        release.Wait();
        StoreMode(ctx.mode, NATIVE);
        ctx.result = 0;
    };
    std::atomic<uint32_t> connectResult{999};
    std::thread connecting([&] {
        char16_t buffer[64];
        connectResult = ApiConnect(buffer, 64);
    });
    ASSERT_TRUE(entered.Wait());
    EXPECT_EQ(ApiGetConnectionStep(), kStepConnecting);

    std::atomic<bool> disconnectStarted{false};
    std::atomic<bool> disconnectReturned{false};
    std::atomic<uint32_t> disconnectResult{999};
    std::u16string disconnectText;
    std::thread disconnecting([&] {
        char16_t buffer[64];
        disconnectStarted = true;
        disconnectResult = ApiDisconnect(buffer, 64);
        disconnectText = buffer;
        disconnectReturned = true;
    });
    ASSERT_TRUE(WaitUntil([&] { return disconnectStarted.load(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let it reach the lock
    EXPECT_FALSE(disconnectReturned.load());
    EXPECT_EQ(ApiGetConnectionStep(), kStepConnecting);
    release.Open();
    connecting.join();
    disconnecting.join();

    EXPECT_EQ(connectResult.load(), 0u);
    EXPECT_EQ(disconnectResult.load(), 0u);
    EXPECT_EQ(disconnectText, u"");
    EXPECT_EQ(ApiGetConnectionStep(), kStepDisconnected);
    // The disconnect ran only after the connect had finished, as a disconnect of a connection.
    const auto events = workers.Events();
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events[0], u"connect");
    EXPECT_EQ(events[1], u"connect-end");
    EXPECT_EQ(events.back(), u"disconnect");
    const auto jobs = workers.Jobs();
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].reason, 5u);
    EXPECT_EQ(jobs[0].stepSeen, kStepDisconnecting);
}

// A connect worker waiting for the engine hears a Disconnect at once: Disconnect tells it through
// stopConnectEvent before it waits for the lock that the connect holds.
TEST_F(ClientApiTest, DisconnectDuringTheEngineWaitStopsTheConnect) {
    Gate entered;
    workers.onConnect = [&](ConnectContext& ctx, int) {
        entered.Open();
        // As the bring-up waits for the engine: up to a minute, or until a disconnect command.
        if (GetEngineState().stopConnectEvent->Wait(60000)) {
            ctx.message = u"Stopped because of a disconnect command";
            ctx.result = 329;
            return;
        }
        StoreMode(ctx.mode, NATIVE);
        ctx.result = 0;
    };
    std::atomic<uint32_t> connectResult{999};
    std::u16string connectText;
    std::thread connecting([&] {
        char16_t buffer[64];
        connectResult = ApiConnect(buffer, 64);
        connectText = buffer;
    });
    ASSERT_TRUE(entered.Wait());
    const auto start = std::chrono::steady_clock::now();
    char16_t buffer[64];
    EXPECT_EQ(ApiDisconnect(buffer, 64), 0u);
    const auto took = std::chrono::steady_clock::now() - start;
    connecting.join();
    // Far below the engine wait it cut short (a bound, not a timing claim).
    EXPECT_LT(took, std::chrono::seconds(30));
    EXPECT_EQ(connectResult.load(), 329u);
    EXPECT_EQ(connectText, u"Stopped because of a disconnect command");
    EXPECT_EQ(Text(buffer), u"Already disconnected");
    EXPECT_EQ(ApiGetConnectionStep(), kStepDisconnected);
    EXPECT_TRUE(workers.Jobs().empty());
    EXPECT_EQ(workers.monitorCalls.load(), 0);
}

TEST_F(ClientApiTest, TunnelConnectionIsTornDownByTheDisconnectWorker) {
    workers.onConnect = [](ConnectContext& ctx, int) {
        StoreMode(ctx.mode, DCPE);
        ctx.result = 0;
    };
    char16_t buffer[64];
    ASSERT_EQ(ApiConnect(buffer, 64), 0u);
    EXPECT_EQ(ApiDisconnect(buffer, 64), 0u);
    const auto jobs = workers.Jobs();
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].mode, static_cast<uint32_t>(DCPE));
    // A connected tunnel is torn down by the disconnect worker, not by the connecting-stage shortcut.
    for (const auto& e : workers.Events()) EXPECT_NE(e, u"hang-up");
}

TEST_F(ClientApiTest, CallsAfterExitAreRefusedWithoutTouchingTheSession) {
    ApiExit();
    char16_t buffer[64];
    EXPECT_EQ(ApiConnect(buffer, 64), kBadArgument);
    EXPECT_EQ(Text(buffer), kNotInitialisedText);
    EXPECT_EQ(ApiDisconnect(buffer, 64), kBadArgument);
    EXPECT_EQ(ApiValidateUser(u"12", u"alice", u"secret1", buffer, 64), kBadArgument);
    EXPECT_EQ(ApiConnect(nullptr, 64), kBadArgument);
    EXPECT_EQ(ApiGetConnectionStep(), kStepDisconnected);
    int64_t sent = -1;
    int64_t received = -1;
    EXPECT_EQ(ApiCheckStatus(&sent, &received), 0);
    EXPECT_EQ(sent, 0);
    EXPECT_EQ(received, 0);
    ApiExit();  // twice is harmless
    EXPECT_EQ(workers.connectCalls.load(), 0);
    EXPECT_EQ(ApiInit(nullptr, nullptr, recorder), 1);
    EXPECT_EQ(ApiInit(u"ignored.log", u"Other.dll"), 1);  // already initialised: the workers stay
    EXPECT_EQ(ApiConnect(buffer, 64), 0u);
}

// ---- Link monitor and reconnect -------------------------------------------------------------------

TEST_F(ClientApiTest, MonitorStoppingOnItsOwnEndsTheWatcherWithoutReconnect) {
    workers.onMonitor = [](int) { return kMonitorStopped; };
    char16_t buffer[64];
    ASSERT_EQ(ApiConnect(buffer, 64), 0u);
    ASSERT_TRUE(WaitUntil([] { return ApiWatcherCount() == 0; }));
    EXPECT_EQ(workers.connectCalls.load(), 1);
    EXPECT_EQ(workers.monitorCalls.load(), 1);
    EXPECT_TRUE(workers.Jobs().empty());
    EXPECT_EQ(ApiGetConnectionStep(), kStepConnected);
    EXPECT_EQ(ApiDisconnect(buffer, 64), 0u);
    ASSERT_EQ(workers.Jobs().size(), 1u);
    EXPECT_FALSE(workers.Jobs()[0].hadMonitor);  // the watcher has already let it go
}

TEST_F(ClientApiTest, LostLinkReconnectsAndStartsANewMonitor) {
    workers.onMonitor = [](int n) {
        if (n == 1) return kMonitorLinkLost;
        GetEngineState().stopMonitorEvent->Wait(platform::kInfinite);
        return kMonitorStopped;
    };
    char16_t buffer[64];
    ASSERT_EQ(ApiConnect(buffer, 64), 0u);
    ASSERT_TRUE(WaitUntil([&] { return workers.monitorCalls.load() == 2; }));
    ASSERT_TRUE(WaitUntil([] { return ApiGetConnectionStep() == kStepConnected; }));
    EXPECT_EQ(workers.connectCalls.load(), 2);
    EXPECT_EQ(workers.flushes.load(), 2);
    EXPECT_EQ(workers.ConnectSteps(), (std::vector<int32_t>{kStepConnecting, kStepConnecting}));
    auto jobs = workers.Jobs();
    ASSERT_EQ(jobs.size(), 1u);  // the reconnect first tore the old connection down
    EXPECT_EQ(jobs[0].removeRoutes, 1);
    EXPECT_EQ(jobs[0].notifyOrchestrator, 1);
    EXPECT_EQ(jobs[0].reason, 5u);
    EXPECT_EQ(jobs[0].stepSeen, kStepDisconnecting);
    EXPECT_EQ(ApiWatcherCount(), 1u);

    EXPECT_EQ(ApiDisconnect(buffer, 64), 0u);
    EXPECT_EQ(ApiWatcherCount(), 0u);
    jobs = workers.Jobs();
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_TRUE(jobs[1].hadMonitor);
    EXPECT_EQ(workers.monitorEnds.load(), 2);
}

TEST_F(ClientApiTest, ConnectWhileReconnectingIsRefused) {
    Gate reconnecting;
    Gate release;
    workers.onConnect = [&](ConnectContext& ctx, int n) {
        if (n == 2) {
            reconnecting.Open();
            release.Wait();
        }
        StoreMode(ctx.mode, NATIVE);
        ctx.result = 0;
    };
    workers.onMonitor = [](int n) {
        if (n == 1) return kMonitorLinkLost;
        GetEngineState().stopMonitorEvent->Wait(platform::kInfinite);
        return kMonitorStopped;
    };
    char16_t buffer[64];
    ASSERT_EQ(ApiConnect(buffer, 64), 0u);
    ASSERT_TRUE(reconnecting.Wait());
    EXPECT_EQ(ApiGetConnectionStep(), kStepConnecting);
    std::fill(std::begin(buffer), std::end(buffer), u'x');
    EXPECT_EQ(ApiConnect(buffer, 64), kBusy);
    EXPECT_EQ(Text(buffer), u"Already reconnecting");
    EXPECT_EQ(buffer[63], u'\0');
    release.Open();
    ASSERT_TRUE(WaitUntil([&] { return workers.monitorCalls.load() == 2; }));
    EXPECT_EQ(workers.connectCalls.load(), 2);
}

TEST_F(ClientApiTest, DisconnectStopsAReconnectThatKeepsFailing) {
    workers.onConnect = [](ConnectContext& ctx, int n) {
        StoreMode(ctx.mode, NATIVE);
        ctx.result = n == 1 ? 0 : 12029;
        if (n > 1) ctx.message = u"Unknow error 12029";
    };
    workers.onMonitor = [](int) { return kMonitorLinkLost; };
    char16_t buffer[64];
    ASSERT_EQ(ApiConnect(buffer, 64), 0u);
    ASSERT_TRUE(WaitUntil([&] { return workers.connectCalls.load() >= 2; }));
    EXPECT_EQ(ApiDisconnect(buffer, 64), 0u);
    EXPECT_EQ(ApiWatcherCount(), 0u);
    EXPECT_EQ(ApiGetConnectionStep(), kStepDisconnected);
    const int calls = workers.connectCalls.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(workers.connectCalls.load(), calls);  // nothing keeps trying after the Disconnect
    // Between failed attempts the reconnect pauses instead of spinning.
    EXPECT_LE(calls, 4);
}

TEST_F(ClientApiTest, ReconnectEndsWhenTheConnectIsStoppedByADisconnectCommand) {
    workers.onConnect = [](ConnectContext& ctx, int n) {
        StoreMode(ctx.mode, NATIVE);
        ctx.result = n == 1 ? 0 : 329;
        if (n > 1) ctx.message = u"Stopped because of a disconnect command";
    };
    workers.onMonitor = [](int) { return kMonitorLinkLost; };
    char16_t buffer[64];
    ASSERT_EQ(ApiConnect(buffer, 64), 0u);
    ASSERT_TRUE(WaitUntil([] { return ApiWatcherCount() == 0; }));
    EXPECT_EQ(workers.connectCalls.load(), 2);
    EXPECT_EQ(ApiGetConnectionStep(), kStepDisconnected);
    // A later Connect starts afresh.
    workers.onConnect = [](ConnectContext& ctx, int) {
        StoreMode(ctx.mode, NATIVE);
        ctx.result = 0;
    };
    workers.onMonitor = [](int) {
        GetEngineState().stopMonitorEvent->Wait(platform::kInfinite);
        return kMonitorStopped;
    };
    EXPECT_EQ(ApiConnect(buffer, 64), 0u);
    EXPECT_EQ(ApiGetConnectionStep(), kStepConnected);
}

// ---- CheckStatus ------------------------------------------------------------------------------------

TEST_F(ClientApiTest, CheckStatusInNativeModeAsksTheEngine) {
    char16_t buffer[64];
    ASSERT_EQ(ApiConnect(buffer, 64), 0u);  // the connect worker chose NATIVE
    workers.onFlowCounters = [](int64_t& tx, int64_t& rx) {
        tx = 5'000'000'000;
        rx = 42;
        return uint32_t{0};
    };
    int64_t sent = -1;
    int64_t received = -1;
    EXPECT_EQ(ApiCheckStatus(&sent, &received), 1);
    EXPECT_EQ(sent, 5'000'000'000);
    EXPECT_EQ(received, 42);

    workers.onFlowCounters = [](int64_t& tx, int64_t& rx) {
        tx = 7;
        rx = 7;
        return uint32_t{231};
    };
    EXPECT_EQ(ApiCheckStatus(&sent, &received), 0);
    EXPECT_EQ(sent, 0);
    EXPECT_EQ(received, 0);

    // Missing outputs are refused rather than written through.
    EXPECT_EQ(ApiCheckStatus(nullptr, &received), 0);
    EXPECT_EQ(ApiCheckStatus(&sent, nullptr), 0);
}

TEST_F(ClientApiTest, CheckStatusInTunnelModeWithoutTheTunnelInterface) {
    workers.onConnect = [](ConnectContext& ctx, int) {
        StoreMode(ctx.mode, VCPE);
        ctx.result = 0;
    };
    char16_t buffer[64];
    ASSERT_EQ(ApiConnect(buffer, 64), 0u);
    int64_t sent = -1;
    int64_t received = -1;
    EXPECT_EQ(ApiCheckStatus(&sent, &received), 0);
    EXPECT_EQ(sent, 0);
    EXPECT_EQ(received, 0);
}

// ---- Many callers at once ---------------------------------------------------------------------------

TEST(ClientApiStress, RandomCallsFromManyThreadsKeepTheStepValid) {
    int seconds = 10;
    if (const char* env = std::getenv("VELORA_STRESS_SECONDS")) seconds = std::max(1, std::atoi(env));
    // Workers that answer at random, quickly; the traffic counters are the real ones (over the engine
    // pipe, which finds no engine and fails at once), and so is the host's tear-down.
    class CRandomWorkers : public CEngineWorkers {
    public:
        void ValidateUserAndConnectThread(ConnectContext& ctx) override {
            thread_local std::minstd_rand rng(std::random_device{}());
            std::this_thread::sleep_for(std::chrono::microseconds(rng() % 2000));
            StoreMode(ctx.mode, rng() % 2 ? NATIVE : MOBILE_DETECT);
            const uint32_t roll = rng() % 10;
            ctx.result = roll < 7 ? 0 : (roll < 9 ? 30104 : 329);
        }
        uint32_t MonitorThread(uint32_t*) override {
            thread_local std::minstd_rand rng(std::random_device{}());
            if (GetEngineState().stopMonitorEvent->Wait(rng() % 30)) return kMonitorStopped;
            return rng() % 3 ? kMonitorLinkLost : kMonitorStopped;
        }
        void DisconnectWorker(DisconnectJob& job) override {
#ifdef _WIN32
            // Under Wine the helper service may be registered by other tests and started on demand.
            if (job.monitorThread) job.monitorThread->Wait(5000);
#else
            // The real tear-down: the engine pipe (no engine here), the in-process helper service, the
            // notice.
            CEngineWorkers::DisconnectWorker(job);
#endif
        }
        void RemoveTunnelRoutes() override {}
        void HangUpTunnel() override {}
        void FlushResolverCache() override {}
    };
    ApiExit();
    ASSERT_EQ(ApiInit(nullptr, nullptr, std::make_shared<CRandomWorkers>()), 1);

    std::atomic<int> badResults{0};
    std::atomic<int> badSteps{0};
    std::atomic<uint64_t> calls{0};

    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    std::atomic<int> finished{0};
    constexpr int kThreads = 16;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            std::minstd_rand rng(static_cast<uint32_t>(t * 7919 + 1));
            char16_t buffer[32];
            while (std::chrono::steady_clock::now() < end) {
                const int32_t before = ApiGetConnectionStep();
                if (before < 0 || before > 3) ++badSteps;
                switch (rng() % 4) {
                    case 0: {
                        const uint32_t r = ApiConnect(buffer, 32);
                        if (r != 0 && r != 329 && r != 30104) ++badResults;
                        break;
                    }
                    case 1: {
                        const uint32_t r = ApiDisconnect(buffer, 32);
                        if (r != 0) ++badResults;
                        break;
                    }
                    case 2: {
                        int64_t sent = 0;
                        int64_t received = 0;
                        ApiCheckStatus(&sent, &received);
                        break;
                    }
                    default:
                        std::this_thread::sleep_for(std::chrono::microseconds(rng() % 500));
                        break;
                }
                ++calls;
            }
            ++finished;
        });
    }
    // A deadlock would leave threads that can never be joined: report it and end the process.
    if (!WaitUntil([&] { return finished.load() == kThreads; }, (seconds + 60) * 1000)) {
        ADD_FAILURE() << "callers did not finish: deadlock";
        std::fprintf(stderr, "deadlock: %d of %d callers finished\n", finished.load(), kThreads);
        std::abort();
    }
    for (auto& t : threads) t.join();
    char16_t buffer[32];
    EXPECT_EQ(ApiDisconnect(buffer, 32), 0u);
    EXPECT_EQ(ApiGetConnectionStep(), kStepDisconnected);
    EXPECT_TRUE(WaitUntil([] { return ApiWatcherCount() == 0; }));
    EXPECT_EQ(badResults.load(), 0);
    EXPECT_EQ(badSteps.load(), 0);
    EXPECT_GT(calls.load(), 100u);
    ApiExit();
    ApiInit(nullptr, nullptr);
}

}  // namespace
}  // namespace velora::test
