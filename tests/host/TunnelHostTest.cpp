// The VCPE and DCPE bring-up end to end: the connect answer and the check URL come from the cloud stand-in
// over loopback, the dial goes to the simulated dial-up service, the routes to the in-process helper
// service's simulated routing table. The test window stands in for the main window (it records
// UM_CONNECT_RESULT and plays the dial time-out timer).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "core/JsonFields.h"
#include "core/Log.h"
#include "core/Settings.h"
#include "core/TextHelpers.h"
#include "core/WindowMessages.h"
#include "engine/EngineEvents.h"
#include "engine/EngineState.h"
#include "engine/EngineWorkers.h"
#include "engine/TunnelBringUp.h"
#include "inprocess/SimHelperService.h"
#include "platform/ComApartment.h"
#include "platform/DialUp.h"
#include "platform/Messenger.h"
#include "platform/WindowTimer.h"
#include "platform/host/SimDialUp.h"
#include "platform/host/SimWindowTimer.h"
#include "support/BringUp.h"
#include "support/CloudSim.h"
#include "support/LogFiles.h"
#include "support/RecordingWindow.h"
#include "support/TunnelWorld.h"

using namespace velora;
namespace sim = corvane::inprocess;
namespace host = platform::host;

namespace {

using test::kEthernetIndex;
using test::kTunnelIndex;
using test::TunnelRoutes;

std::atomic<int> g_pauses{0};
void CountPause(uint32_t ms) {
    EXPECT_EQ(ms, 3000u);
    ++g_pauses;
}

uint32_t Address(int a, int b, int c, int d) {
    // The simulated routing table keeps addresses as the system does: first octet in the low byte.
    return static_cast<uint32_t>(a) | static_cast<uint32_t>(b) << 8 | static_cast<uint32_t>(c) << 16 |
           static_cast<uint32_t>(d) << 24;
}

class TunnelBringUp : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(cloud_.Open());
        ASSERT_TRUE(CreateEngineEvents());
        EngineState& state = GetEngineState();
        state.stopConnectEvent->Reset();
        state.rasConnection = nullptr;
        state.dialTimedOut = false;
        state.outerAuth = false;
        SetFilter(99, u"", u"");
        platform::SetPauseFunction(&CountPause);
        g_pauses = 0;
        platform::SetMainWindow(window_.Handle());
        host::ResetSimDialUp();
        host::ClearSimTimerCalls();
        test::UseSimulatedHelperService(std::filesystem::path(scratch_.Path(u"Corvane")));
        test::AppendGatewayRow(test::ResetTunnelNetwork(), Address(192, 168, 1, 1));
        test::SetSignedInUser();
    }
    void TearDown() override {
        platform::SetMainWindow(nullptr);
        platform::SetPauseFunction(nullptr);
        host::ResetSimDialUp();
        (void)Results();
        sim::SetHelperServiceFolder({});
        GetEngineState().stopConnectEvent->Reset();
    }

    static void SetFilter(int32_t mode, std::u16string_view white, std::u16string_view black) {
        EngineState& state = GetEngineState();
        state.ipSetMode = mode;
        state.whiteIpSet = std::u16string(white);
        state.blackIpSet = std::u16string(black);
    }

    // A tenant whose orchestrator answers the connect in `mode` with these values and gateway data;
    // returns the connect answer as the connect worker hands it on.
    std::u16string ConnectAnswer(std::u16string_view mode, std::u16string_view values,
                                 std::u16string_view gateway = u"{}") {
        tenant_ =
            cloud_.Tenant(u"tunnel", u"{\"orch\":{\"tokens\":[\"tok-1\"],\"connect\":{\"mode\":\"" +
                                         std::u16string(mode) + u"\",\"values\":" + std::u16string(values) +
                                         u"},\"gateway\":" + std::u16string(gateway) + u"}}");
        return test::PostConnect(TenantBase());
    }
    std::u16string TenantBase() const { return cloud_.TenantUrl("http", tenant_); }
    int Checks() const {
        CHttpClient client;
        std::string answer;
        uint32_t status = 0;
        client.GetText(TenantBase() + u"/orch/_state", answer, status);
        return GetIntField(Utf8ToUtf16(answer), u"checksTotal", 0);
    }
    // A check URL of this test's own whose answers are the given bodies in turn (the last one repeats).
    std::u16string ScriptedCheckUrl(const std::vector<std::pair<int, std::u16string>>& answers) {
        const std::u16string path = test::CCloudSimAccess::UniquePath(u"check");
        std::u16string list = u"[";
        for (std::size_t i = 0; i < answers.size(); ++i) {
            if (i) list += u",";
            list += u"{\"method\":\"POST\",\"path\":\"" + path + u"\",\"status\":" +
                    Utf8ToUtf16(std::to_string(answers[i].first)) + u",\"body\":" + answers[i].second +
                    (i + 1 < answers.size() ? u",\"times\":1}" : u"}");
        }
        cloud_.Answer(list + u"]");
        scriptedPath_ = path;
        return cloud_.Url("http") + path;
    }
    int ScriptedRequests() const { return std::atoi(cloud_.Last(scriptedPath_, u"count").c_str()); }

    // The codes posted as UM_CONNECT_RESULT so far; the log lines the window also got are freed.
    std::vector<uintptr_t> Results() {
        std::vector<uintptr_t> codes;
        for (const test::RecordedMessage& m : window_.Take()) {
            if (m.message == UM_LOG_LINE) delete reinterpret_cast<std::u16string*>(m.lParam);
            if (m.message == UM_CONNECT_RESULT) {
                EXPECT_FALSE(m.sent);
                codes.push_back(m.wParam);
            }
        }
        return codes;
    }
    std::u16string Log() const {
        // The capture is narrow (the low bytes of the UTF-16LE file), and these texts are ASCII.
        const std::string narrow = log_.Text();
        return std::u16string(narrow.begin(), narrow.end());
    }
    static bool Contains(std::u16string_view text, std::u16string_view part) {
        return text.find(part) != std::u16string_view::npos;
    }
    // The test's thread runs the connect worker's code, and joins COM as the worker does at its start.
    const platform::CComApartment com_;
    test::CCloudSimAccess cloud_;
    test::CScratchFolder scratch_;
    test::CLogCapture log_;
    test::CRecordingWindow window_;
    std::u16string tenant_;
    std::u16string scriptedPath_;
};

}  // namespace

TEST_F(TunnelBringUp, VcpeConnectsAfterTheGatewayTurnsLiveAndItsRoutesGoAtDisconnect) {
    SetFilter(1, u"10.10.0.0/16,172.16.0.0/12", u"");
    const std::u16string answer = ConnectAnswer(u"VCPE", u"{\"checkRepeatTimes\":5}", u"{\"liveAfter\":2}");
    ConnectContext context;
    context.result = -7;
    test::RunVcpeBringUp(answer, context);

    EXPECT_EQ(context.result, 0);
    EXPECT_EQ(context.message, u"");
    EXPECT_EQ(Results(), std::vector<uintptr_t>{0});
    EXPECT_EQ(Checks(), 3) << "two polls not live, the third live";
    EXPECT_EQ(g_pauses, 2);
    EXPECT_EQ(GetSetting(u"GatewayIp", u""), u"192.0.2.10");

    const std::u16string phonebook = TunnelPhonebookPath();
    EXPECT_EQ(phonebook, LogFolder() + platform::kPathSeparator + u"ras.pbk");
    const auto entry = host::SimDialUpEntry(phonebook, u"Hal-Vane");
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->localPhoneNumber, u"192.0.2.10");
    EXPECT_EQ(entry->options, 0x400u) << "a tunnel list: no default route through the tunnel";
    EXPECT_EQ(entry->options2, 0x10u | 0x10000u | 0x80000u);
    EXPECT_EQ(host::SimPresharedKey(phonebook, u"Hal-Vane"), std::u16string(u"vcpe-psk"));
    const auto dials = host::SimDialCalls();
    ASSERT_EQ(dials.size(), 1u);
    EXPECT_EQ(dials[0].user, u"vcpe-user");
    EXPECT_EQ(dials[0].password, u"vcpe-pass");
    EXPECT_EQ(dials[0].entryName, u"Hal-Vane");

    const auto calls = host::SimTimerCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_TRUE(calls[0].set);
    EXPECT_EQ(calls[0].id, 1003u);
    EXPECT_EQ(calls[0].ms, 120000u);
    EXPECT_FALSE(calls[1].set);
    EXPECT_FALSE(host::SimTimerRunning(window_.Handle(), 1003));

    EXPECT_EQ(TunnelRoutes().size(), 2u);
    const std::u16string log = Log();
    EXPECT_TRUE(Contains(log, u"Get gateway: 192.0.2.10, public IP: 198.51.100.7 and checkurl: "));
    EXPECT_TRUE(Contains(log, u"VCPE tunnel for user alice, customer 10086, serial ABCDEFGHIJKL\n"));
    EXPECT_TRUE(Contains(log, u"Installing the routes of the traffic filter list"));

    // The disconnect path: routes out, tunnel hung up.
    const platform::DialUpHandle connection = GetEngineState().rasConnection;
    ASSERT_NE(connection, nullptr);
    RemoveTunnelRoutes();
    EXPECT_TRUE(TunnelRoutes().empty());
    EXPECT_TRUE(Contains(Log(), u"Removing the routes of the traffic filter list"));
    HangUpTunnel();
    EXPECT_EQ(GetEngineState().rasConnection, nullptr);
    EXPECT_EQ(host::SimHangUps(), std::vector<platform::DialUpHandle>{connection});
    HangUpTunnel();  // the second tear-down path finds nothing left
    EXPECT_EQ(host::SimHangUps().size(), 1u);
}

TEST_F(TunnelBringUp, SecretsReachOnlyTheDialUpLayer) {
    SetFilter(0, u"10.10.0.0/16", u"");
    const std::u16string answer =
        ConnectAnswer(u"VCPE", uR"({"ipsecName":"name-7c1","ipsecPassword":"pass-93f","psk":"key-5ab"})");
    ConnectContext context;
    test::RunVcpeBringUp(answer, context);
    ASSERT_EQ(context.result, 0);
    log_.ExpectNone({"pass-93f", "key-5ab"});
    const std::string phonebook = test::ReadBytes(TunnelPhonebookPath());
    EXPECT_NE(phonebook.find("PhoneNumber=192.0.2.10"), std::string::npos) << phonebook;
    EXPECT_EQ(phonebook.find("key-5ab"), std::string::npos) << phonebook;
    EXPECT_EQ(phonebook.find("pass-93f"), std::string::npos) << phonebook;
    EXPECT_EQ(host::SimPresharedKey(TunnelPhonebookPath(), u"Hal-Vane"), std::u16string(u"key-5ab"));
    HangUpTunnel();
}

TEST_F(TunnelBringUp, VcpeCheckAnswerSequences) {
    struct Case {
        const char* name;
        std::vector<std::pair<int, std::u16string>> answers;
        int32_t repeat;
        int32_t result;
        int requests;
    };
    const Case cases[] = {
        {"live at once", {{200, u"\"true\""}}, 8, 0, 1},
        {"true inside a longer word", {{200, u"\"false\""}, {200, u"\"untrue\""}}, 8, 0, 2},
        {"never true", {{200, u"\"false\""}, {200, u"{\"state\":\"down\"}"}}, 3, 30100, 3},
        {"true only with a failing status", {{500, u"\"true\""}}, 2, 30100, 2},
        {"no polls at all", {{200, u"\"true\""}}, 0, 30100, 0},
        {"negative repeat count", {{200, u"\"true\""}}, -1, 30100, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        host::ResetSimDialUp();
        g_pauses = 0;
        const std::u16string url = ScriptedCheckUrl(c.answers);
        const std::u16string answer =
            ConnectAnswer(u"VCPE", u"{\"checkStatusUrl\":\"" + url + u"\",\"checkRepeatTimes\":" +
                                       Utf8ToUtf16(std::to_string(c.repeat)) + u"}");
        ConnectContext context;
        test::RunVcpeBringUp(answer, context);
        EXPECT_EQ(context.result, c.result);
        EXPECT_EQ(Results(), std::vector<uintptr_t>{static_cast<uintptr_t>(c.result)});
        EXPECT_EQ(ScriptedRequests(), c.requests);
        if (c.result == 30100) {
            EXPECT_EQ(context.message, u"No active VCPE found");
            EXPECT_EQ(g_pauses, std::max(c.repeat, 0)) << "one pause after every poll";
            EXPECT_TRUE(host::SimDialCalls().empty());
        }
        HangUpTunnel();
    }
}

TEST_F(TunnelBringUp, AnswersWithoutGatewayOrCheckUrl) {
    struct Case {
        const char16_t* mode;
        const char16_t* values;
        const char16_t* message;
    };
    const Case cases[] = {
        {u"VCPE", uR"({"vgwIp":null})", u"Invalid gateway"},
        {u"VCPE", uR"({"checkStatusUrl":null})", u"Invalid check url"},
        {u"DCPE", uR"({"checkStatusUrl":null})", u"Check URL returned by Orch is null"},
    };
    for (const Case& c : cases) {
        const std::u16string answer = ConnectAnswer(c.mode, c.values);
        ConnectContext context;
        if (std::u16string_view(c.mode) == u"VCPE") {
            test::RunVcpeBringUp(answer, context);
        } else {
            test::RunDcpeBringUp(answer, context);
        }
        EXPECT_EQ(context.result, 502);
        EXPECT_EQ(context.message, c.message);
        EXPECT_EQ(Results(), std::vector<uintptr_t>{502});
        EXPECT_EQ(Checks(), 0);
        EXPECT_TRUE(host::SimDialCalls().empty());
    }
}

TEST_F(TunnelBringUp, SpecialCaseNoticeComesFirstAndTheBringUpGoesOn) {
    const std::u16string answer = ConnectAnswer(u"DCPE", uR"({"specialCaseCode":1})");
    ConnectContext context;
    test::RunDcpeBringUp(answer, context);
    EXPECT_EQ(context.result, 0);
    EXPECT_EQ(Results(), (std::vector<uintptr_t>{30111, 0}));
    HangUpTunnel();
}

TEST_F(TunnelBringUp, DcpeTakesGatewayAndCredentialsFromTheCheckAnswer) {
    SetFilter(-1, u"", u"203.0.113.0/24");
    const std::u16string answer = ConnectAnswer(
        u"DCPE", u"{}",
        uR"({"liveAfter":1,"popIp":"192.0.2.44","ipsecName":"pop-user","ipsecPassword":"pop-pass","psk":"pop-psk"})");
    ConnectContext context;
    test::RunDcpeBringUp(answer, context);
    EXPECT_EQ(context.result, 0);
    EXPECT_EQ(Results(), std::vector<uintptr_t>{0});
    EXPECT_EQ(Checks(), 2);
    EXPECT_EQ(GetSetting(u"GatewayIp", u""), u"192.0.2.44");
    const auto entry = host::SimDialUpEntry(TunnelPhonebookPath(), u"Hal-Vane");
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->localPhoneNumber, u"192.0.2.44");
    EXPECT_EQ(entry->options, 0x400u | 0x10u);
    EXPECT_EQ(host::SimPresharedKey(TunnelPhonebookPath(), u"Hal-Vane"), std::u16string(u"pop-psk"));
    ASSERT_EQ(host::SimDialCalls().size(), 1u);
    EXPECT_EQ(host::SimDialCalls()[0].user, u"pop-user");
    EXPECT_EQ(host::SimDialCalls()[0].password, u"pop-pass");
    // The bypass list goes to the default gateway's interface.
    const auto rows = sim::SimulatedNetwork().Rows();
    EXPECT_TRUE(std::any_of(rows.begin(), rows.end(), [](const corvane::RouteRow& r) {
        return r.destination == Address(203, 0, 113, 0) && r.interfaceIndex == kEthernetIndex;
    }));
    EXPECT_TRUE(Contains(Log(), u"DCPE tunnel for user alice, customer 10086, serial ABCDEFGHIJKL\n"));
    log_.ExpectNone({"pop-pass", "pop-psk"});
    RemoveTunnelRoutes();
    const auto after = sim::SimulatedNetwork().Rows();
    EXPECT_FALSE(std::any_of(after.begin(), after.end(), [](const corvane::RouteRow& r) {
        return r.destination == Address(203, 0, 113, 0);
    }));
    HangUpTunnel();
}

TEST_F(TunnelBringUp, DcpeKeepsPollingUntilAddressAndStatusAreBoth) {
    struct Case {
        const char* name;
        std::vector<std::pair<int, std::u16string>> answers;
        int32_t result;
        int requests;
    };
    const Case cases[] = {
        {"popIp without statusCode, then status without popIp, then both",
         {{200, uR"({"popIp":"192.0.2.20"})"},
          {200, uR"({"statusCode":0})"},
          {200, uR"({"popIp":"192.0.2.21","statusCode":0})"}},
         0,
         3},
        {"never both", {{200, uR"({"popIp":"192.0.2.20","statusCode":1})"}}, 30100, 4},
        {"not JSON", {{200, u"\"true\""}}, 30100, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        host::ResetSimDialUp();
        const std::u16string url = ScriptedCheckUrl(c.answers);
        const std::u16string answer =
            ConnectAnswer(u"DCPE", u"{\"checkStatusUrl\":\"" + url + u"\",\"checkRepeatTimes\":4}");
        ConnectContext context;
        test::RunDcpeBringUp(answer, context);
        EXPECT_EQ(context.result, c.result);
        EXPECT_EQ(Results(), std::vector<uintptr_t>{static_cast<uintptr_t>(c.result)});
        EXPECT_EQ(ScriptedRequests(), c.requests);
        if (c.result == 0) {
            EXPECT_EQ(host::SimDialUpEntry(TunnelPhonebookPath(), u"Hal-Vane")->localPhoneNumber,
                      u"192.0.2.21");
        } else {
            EXPECT_EQ(context.message, u"No active DCPE found");
        }
        HangUpTunnel();
    }
}

TEST_F(TunnelBringUp, ADisconnectCommandEndsThePolling) {
    for (const char16_t* mode : {u"VCPE", u"DCPE"}) {
        const std::u16string answer = ConnectAnswer(mode, u"{}", u"{\"liveAfter\":-1}");
        GetEngineState().stopConnectEvent->Set();
        ConnectContext context;
        if (std::u16string_view(mode) == u"VCPE") {
            test::RunVcpeBringUp(answer, context);
        } else {
            test::RunDcpeBringUp(answer, context);
        }
        EXPECT_EQ(context.result, 329);
        EXPECT_EQ(context.message, u"Stopped because of a disconnect command");
        EXPECT_TRUE(Results().empty()) << "nothing is posted for a stop";
        EXPECT_EQ(Checks(), 1);
    }
    const std::u16string log = Log();
    EXPECT_TRUE(Contains(log, u"Stopped waiting: a disconnect command arrived"));
    EXPECT_TRUE(Contains(log, u"Stopped waiting for the DCPE gateway: a disconnect command arrived"));
}

TEST_F(TunnelBringUp, ADisconnectDuringADialThatNeverEndsHangsItUp) {
    const std::u16string answer = ConnectAnswer(u"VCPE", u"{}");
    struct Case {
        const char* name;
        bool stop, hangUp;  // what the disconnect command does while the dial runs
    };
    // The exported API's Disconnect signals the stop; the disconnect worker and the exit hang up.
    const Case cases[] = {{"stop and hang-up", true, true}, {"stop only", true, false}, {"hang-up only", false, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        host::ResetSimDialUp();
        GetEngineState().stopConnectEvent->Reset();
        host::PlanSimDials({{host::SimDialPlan::Outcome::NeverReturn, 0, 0}});
        ConnectContext context;
        std::thread worker([&] { test::RunVcpeBringUp(answer, context); });
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        // The dial is listed as it begins, and its handle is published in the state right after.
        while ((host::SimDialsInProgress() == 0 || GetEngineState().rasConnection.load() == nullptr) &&
               std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_EQ(host::SimDialsInProgress(), 1u);
        const platform::DialUpHandle dialling = GetEngineState().rasConnection;
        ASSERT_NE(dialling, nullptr) << "the dial's handle is known before the dial ends";
        uint32_t dialState = 0;
        EXPECT_EQ(platform::GetDialUpState(dialling, dialState), 0u);
        EXPECT_NE(dialState, platform::kDialUpStateConnected) << "still connecting";
        uint32_t listError = 0;
        EXPECT_EQ(platform::ListDialUpConnections(listError).size(), 1u) << "a dial in progress is listed";
        if (c.stop) GetEngineState().stopConnectEvent->Set();
        if (c.hangUp) HangUpTunnel();
        // Nothing lets the dial end on its own: the worker returns because of the disconnect command.
        worker.join();
        EXPECT_EQ(context.result, 329);
        EXPECT_EQ(context.message, u"Stopped because of a disconnect command");
        EXPECT_TRUE(Results().empty());
        EXPECT_FALSE(host::SimTimerRunning(window_.Handle(), 1003));
        EXPECT_EQ(GetEngineState().rasConnection, nullptr);
        EXPECT_EQ(host::SimHangUps(), std::vector<platform::DialUpHandle>{dialling}) << "hung up once";
        EXPECT_EQ(host::SimDialsInProgress(), 0u);
        uint32_t error = 0;
        EXPECT_TRUE(platform::ListDialUpConnections(error).empty());
        EXPECT_FALSE(Contains(Log(), u"Dialling the L2TP connection failed")) << "a stop is no dial failure";
    }
}

TEST_F(TunnelBringUp, DialFailuresAreReportedWithTheirCodes) {
    const std::u16string answer = ConnectAnswer(u"VCPE", u"{}");
    for (const uint32_t code : {619u, 691u, 692u, 711u, 789u, 1062u}) {
        SCOPED_TRACE(code);
        host::PlanSimDials({{host::SimDialPlan::Outcome::Fail, 5, code}});
        ConnectContext context;
        test::RunVcpeBringUp(answer, context);
        EXPECT_EQ(context.result, static_cast<int32_t>(code));
        EXPECT_EQ(context.message, u"RasDial failed with error code " + Utf8ToUtf16(std::to_string(code)));
        EXPECT_EQ(Results(), std::vector<uintptr_t>{code});
        EXPECT_EQ(GetEngineState().rasConnection, nullptr);
        EXPECT_FALSE(host::SimTimerRunning(window_.Handle(), 1003));
        EXPECT_TRUE(Contains(Log(), u"Dialling the L2TP connection failed with error " +
                                        Utf8ToUtf16(std::to_string(code)) + u": " +
                                        platform::DialUpErrorText(code)));
    }
}

TEST_F(TunnelBringUp, EntryFailuresAreKeptAndTheDialDecides) {
    const std::u16string answer = ConnectAnswer(u"VCPE", u"{}");
    struct Case {
        const char* name;
        platform::DialUpEntryStep step;
        uint32_t entryError, keyError;
        const char16_t* logged;
        int32_t result;
    };
    // Without an entry the dial cannot find it (623); a key that was not stored leaves the dial to the
    // gateway's judgement (the simulation connects).
    const Case cases[] = {
        {"no buffer", platform::DialUpEntryStep::Allocate, 8, 0, u"Out of memory", 623},
        {"entry refused", platform::DialUpEntryStep::Write, 5, 0,
         u"Writing the L2TP connection entry failed with error 5", 623},
        {"key refused", platform::DialUpEntryStep::Done, 0, 1314,
         u"Storing the pre-shared key failed with error 1314", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        host::ResetSimDialUp();
        host::FailSimEntryWrites(c.step, c.entryError);
        host::FailSimKeyStores(c.keyError);
        ConnectContext context;
        test::RunVcpeBringUp(answer, context);
        EXPECT_TRUE(Contains(Log(), c.logged));
        EXPECT_EQ(context.result, c.result);
        EXPECT_EQ(Results(), std::vector<uintptr_t>{static_cast<uintptr_t>(c.result)});
        if (c.result == 0) {
            EXPECT_EQ(context.message, u"") << "a connected tunnel is not reported as failed";
        }
        HangUpTunnel();
    }
}

TEST_F(TunnelBringUp, RefusedRoutesLeaveNoHalfRoutedTunnel) {
    struct Case {
        const char* name;
        const char16_t* white;
        bool tunnelInterfaceMissing;
        bool secondItemFails;
        uintptr_t posted;
    };
    const Case cases[] = {
        {"the tunnel interface is missing (E_FAIL)", u"10.20.0.0/16", true, false, 30115},
        {"an item that is not an address", u"10.20.0.0/16,10.0.0.300", false, false, 30114},
        {"the routing table refuses the second item", u"10.20.0.0/16,10.30.0.0/16", false, true, 30114},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        host::ResetSimDialUp();
        corvane::CSimulatedNetwork& network = sim::SimulatedNetwork();
        if (c.tunnelInterfaceMissing) network.SetAdapters({{u"Ethernet", kEthernetIndex, {}}});
        if (c.secondItemFails) network.SetCreateFailure(Address(10, 30, 0, 0), 5);
        SetFilter(1, c.white, u"");
        const std::u16string answer = ConnectAnswer(u"VCPE", u"{}");
        ConnectContext context;
        test::RunVcpeBringUp(answer, context);
        EXPECT_EQ(context.result, static_cast<int32_t>(c.posted));
        EXPECT_EQ(Results(), std::vector<uintptr_t>{c.posted});
        EXPECT_TRUE(TunnelRoutes().empty()) << "an item that was installed is taken out again";
        EXPECT_EQ(GetEngineState().rasConnection, nullptr);
        EXPECT_EQ(host::SimHangUps().size(), 1u) << "the tunnel without its routes is hung up";
        EXPECT_TRUE(Contains(Log(), u"Adding routes failed (0x")) << "the refusal is in the user log";
        network.SetAdapters({{u"Ethernet", kEthernetIndex, {}}, {u"Hal-Vane", kTunnelIndex, {}}});
        network.SetCreateFailure(Address(10, 30, 0, 0), 0);
    }
}

TEST_F(TunnelBringUp, ADialThatOutlastsTheWindowsTimer) {
    const std::u16string answer = ConnectAnswer(u"VCPE", u"{}");
    struct Case {
        const char* name;
        uint32_t lateResult;
    };
    for (const Case c : {Case{"late success", 0u}, Case{"late failure", 619u}}) {
        SCOPED_TRACE(c.name);
        host::ResetSimDialUp();
        host::PlanSimDials({{host::SimDialPlan::Outcome::NeverReturn, 0, 0}});
        ConnectContext context;
        std::thread worker([&] { test::RunVcpeBringUp(answer, context); });
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (host::SimDialsInProgress() == 0 && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_EQ(host::SimDialsInProgress(), 1u);
        ASSERT_TRUE(host::SimTimerRunning(window_.Handle(), 1003));
        // The window's side of the tick: kill the timer, mark the time-out, report 999.
        platform::KillWindowTimer(window_.Handle(), 1003);
        GetEngineState().dialTimedOut = true;
        platform::PostWindowMessage(window_.Handle(), UM_CONNECT_RESULT, 999, 0);
        host::ReleaseSimDials(c.lateResult);
        worker.join();
        EXPECT_EQ(Results(), std::vector<uintptr_t>{999}) << "the late result adds nothing";
        EXPECT_FALSE(Contains(Log(), u"Dialling the L2TP connection failed"))
            << "nor is the late failure logged (message 325)";
        EXPECT_FALSE(GetEngineState().dialTimedOut) << "the mark is cleared";
        EXPECT_EQ(GetEngineState().rasConnection, nullptr);
        EXPECT_NE(context.result, 0);
        if (c.lateResult == 0) {
            EXPECT_EQ(host::SimHangUps().size(), 1u) << "the late connection is hung up";
        }
    }
    // The next dial's failure is reported again, also after a tick the window handled too late (once the
    // dial had returned), which left the mark set.
    GetEngineState().dialTimedOut = true;
    host::PlanSimDials({{host::SimDialPlan::Outcome::Fail, 0, 691}});
    ConnectContext context;
    test::RunVcpeBringUp(answer, context);
    EXPECT_EQ(Results(), std::vector<uintptr_t>{691});
}

TEST_F(TunnelBringUp, LeftoverTunnelIsHungUpOnlyWhenConnected) {
    const platform::DialUpHandle other = host::AddSimConnection(u"Office", true);
    const platform::DialUpHandle leftover = host::AddSimConnection(u"Hal-Vane", true);
    HangUpLeftoverTunnel();
    EXPECT_EQ(host::SimHangUps(), std::vector<platform::DialUpHandle>{leftover});
    EXPECT_TRUE(Contains(Log(), u"An earlier L2TP connection was hung up"));

    host::ResetSimDialUp();
    const platform::DialUpHandle dropped = host::AddSimConnection(u"Hal-Vane", true);
    host::DropSimConnection(dropped);
    HangUpLeftoverTunnel();
    EXPECT_TRUE(host::SimHangUps().empty()) << "a connection that is not up is left alone";
    (void)other;
}
