// The connect worker end to end on the host: the orchestrator is the cloud stand-in over loopback, the
// helper service runs in process, and the engine is the host's engine stand-in, started by the service
// as it would start the real one. Every outcome is seen as the caller sees it (the context) and as the
// main window sees it (UM_CONNECT_RESULT on a recording window).
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "HostEngineStandIn.h"
#include "core/DeviceInfo.h"
#include "core/JsonFields.h"
#include "core/Log.h"
#include "core/Settings.h"
#include "core/TextHelpers.h"
#include "core/WindowMessages.h"
#include "engine/ConnectWorker.h"
#include "engine/DiagnosisHook.h"
#include "engine/EngineEvents.h"
#include "engine/EnginePipe.h"
#include "engine/EngineState.h"
#include "engine/EngineWorkers.h"
#include "engine/NativeDataPath.h"
#include "inprocess/SimHelperService.h"
#include "logic/ControlHelperLogic.h"
#include "logic/SimProcessControl.h"
#include "platform/Http.h"
#include "platform/Messenger.h"
#include "platform/ProfileStore.h"
#include "platform/WindowTimer.h"
#include "platform/host/SimDevice.h"
#include "platform/host/SimServices.h"
#include "platform/host/SimWindowTimer.h"
#include "support/CloudSim.h"
#include "support/LogFiles.h"
#include "support/RecordingWindow.h"

namespace velora::test {
namespace {

namespace helper = corvane::inprocess;

constexpr char16_t kToken[] = u"tok-connect-1";

struct Outcome {
    int32_t result = -1;
    std::u16string message;
    uint32_t mode = 0;
    std::vector<RecordedMessage> messages;  // UM_CONNECT_RESULT only
};

class ConnectWorkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim_.Open());
        ASSERT_TRUE(platform::TrustRootCertificateForTest(CCloudSimAccess::CaFile()));
        ASSERT_TRUE(platform::ClearProfileForTest());
        StartLog(nullptr);
        log_ = scratch_.Path(u"client.log");
        WriteBytes(log_, kLogHeader);
        SetLogFilePath(log_);
        ASSERT_TRUE(CreateEngineEvents());
        ResetState();
        helper::ClearHelperAnswers();
        helper::SetHelperServiceReachable(true);
        helper::SetHelperServiceFolder(std::filesystem::path(Folder()));
        std::filesystem::create_directories(std::filesystem::path(Folder()));
        platform::host::ResetSimulatedServices();
        sim::ClearHostEngineLog();
        sim::InstallHostEngineStandIn();
        Scenario("");
        platform::SetMainWindow(window_.Handle());
        SetDiagnosisStarter({});
        SetServerErrorTextSource({});
    }
    void TearDown() override {
        // Nothing the client sent broke the protocol (a refused heartbeat would pass unseen otherwise).
        if (!tenant_.empty()) {
            EXPECT_EQ(sim_.Refusals(tenant_), "");
        }
        platform::SetMainWindow(nullptr);
        CloseEnginePipe();
        sim::UninstallHostEngineStandIn();
        helper::ClearHelperAnswers();
        helper::SetHelperServiceFolder({});
        platform::host::ResetSimulatedServices();
        SetDiagnosisStarter({});
        ResetState();
    }

    static void ResetState() {
        EngineState& s = GetEngineState();
        s.firstAttempt = true;
        s.stopRequested = false;
        s.connectPopFailed = false;
        s.useClientSpecifyMode = false;
        s.retryCount = 0;
        s.nativeTimedOut = false;
        s.outerAuth = false;
        s.allowClientSpecifyMode = false;
        s.popIpsEnable = false;
        s.filterText.clear();
        s.whiteIpSet.clear();
        s.blackIpSet.clear();
        s.ipSetMode = 99;
        if (s.stopConnectEvent) s.stopConnectEvent->Reset();
        if (s.connectionEvent) s.connectionEvent->Reset();
        if (s.disconnectionEvent) s.disconnectionEvent->Reset();
    }

    std::u16string Folder() const { return scratch_.Path(u"Corvane"); }

    // The engine stand-in's scenario, beside the engine in the service's folder.
    void Scenario(const std::string& lines) const {
        std::ofstream(std::filesystem::path(Folder()) / "ferronwin.scenario",
                      std::ios::binary | std::ios::trunc)
            << lines;
    }

    // A tenant whose orchestrator knows the token, with this "connect" section; the client signed in to it.
    void World(std::u16string_view connect = u"{}", std::u16string_view listener = u"http") {
        tenant_ = sim_.Tenant(u"connect", u"{\"orch\":{\"tokens\":[\"" + std::u16string(kToken) +
                                              u"\"],\"connect\":" + std::u16string(connect) +
                                              u",\"filter\":{\"siteTemplateId\":\"s1\",\"version\":2,"
                                              u"\"ipSetMode\":0,\"whiteIpSet\":[\"10.8.0.0/16\"]}}}");
        base_ = sim_.TenantUrl(Utf16ToUtf8(listener), tenant_);
        SetSetting(u"AuthUrl", base_ + u"/api/mobile/v2/auth");
        SetSetting(u"AuthToken", kToken);
        SetSetting(u"Username", u"alice");
        SetSetting(u"CustomerId", u"12");
    }
    std::u16string ConnectPath() const { return u"/t/" + tenant_ + u"/api/mobile/v2/connect"; }

    int OrchCount(std::u16string_view key) const {
        CHttpClient client;
        std::string answer;
        uint32_t status = 0;
        client.GetText(sim_.TenantUrl("http", tenant_) + u"/orch/_state", answer, status);
        return GetIntField(Utf8ToUtf16(answer), key, 0);
    }

    Outcome Connect(uint32_t previousMode = NATIVE) {
        mode_ = previousMode;
        ConnectContext context;
        context.mode = &mode_;
        ValidateUserAndConnectThread(context);
        Outcome out;
        out.result = context.result;
        out.message = context.message;
        out.mode = LoadMode(&mode_);
        for (RecordedMessage& m : window_.Take())
            if (m.message == UM_CONNECT_RESULT) out.messages.push_back(m);
        return out;
    }

    std::u16string Log() const {
        FlushPendingLogLines();
        return FromUtf16Le(ReadBytes(log_), kLogHeader.size());
    }
    static bool EngineLogged(const std::string& text) {
        for (const std::string& line : sim::HostEngineLog())
            if (line.find(text) != std::string::npos) return true;
        return false;
    }

    CCloudSimAccess sim_;
    CScratchFolder scratch_;
    CRecordingWindow window_;
    std::u16string log_;
    std::u16string tenant_;
    std::u16string base_;
    uint32_t mode_ = NATIVE;
};

// The posted or sent result the window saw: exactly one, with this code.
void ExpectOneResult(const Outcome& o, int32_t code, bool sent = false, std::u16string_view text = {}) {
    ASSERT_EQ(o.messages.size(), 1u) << "result " << o.result;
    EXPECT_EQ(static_cast<int32_t>(o.messages[0].wParam), code);
    EXPECT_EQ(o.messages[0].sent, sent);
    if (sent) {
        EXPECT_EQ(o.messages[0].text, text);
    } else {
        EXPECT_EQ(o.messages[0].lParam, 0);
    }
}

TEST_F(ConnectWorkerTest, NativeConnectsThroughTheEngine) {
    World();
    const Outcome o = Connect();
    ASSERT_EQ(o.result, 0) << Utf16ToUtf8(o.message) << Utf16ToUtf8(Log());
    EXPECT_EQ(o.message, u"");
    EXPECT_EQ(o.mode, NATIVE);
    ExpectOneResult(o, 0);

    // What the orchestrator received: the URL, the header lines in their order (the auth line's own line
    // end adds no empty line that would end the header block early), the body byte for byte.
    EXPECT_EQ(sim_.Last(ConnectPath(), u"method"), "POST");
    EXPECT_EQ(sim_.Last(ConnectPath(), u"target"), Utf16ToUtf8(ConnectPath()));
    const std::string headers = sim_.Last(ConnectPath(), u"headers");
    const std::size_t auth = headers.find("X-KX-AUTH-HEADER: " + Utf16ToUtf8(kToken));
    const std::size_t sn = headers.find("sn: " + Utf16ToUtf8(GetInstallationSerial()));
    const std::size_t type = headers.find("type: windows");
    ASSERT_NE(auth, std::string::npos) << headers;
    ASSERT_NE(sn, std::string::npos) << headers;
    ASSERT_NE(type, std::string::npos) << headers;
    EXPECT_LT(auth, sn);
    EXPECT_LT(sn, type);
    const std::string between = headers.substr(auth, type - auth);
    EXPECT_EQ(between.find("\n\n"), std::string::npos);
    EXPECT_EQ(between.find("\n\r\n"), std::string::npos);
    EXPECT_EQ(
        sim_.Last(ConnectPath(), u"body"),
        "{\"internalIp\":\"None\",\"deviceModel\":\"windows\",\"mobileVersion\":\"1.0.0.1\",\"sn\":\"" +
            Utf16ToUtf8(GetInstallationSerial()) +
            "\",\"needIpsecKey\":true,\"deviceSupportMode\":\"hybird\",\"supportFeature\":{\"supportHttps\":"
            "true, \"supportIpFilterDownloadUrlV2\":true, \"supportHeartBeat\":true},\"clientDeviceInfo\":"
            "{\"windows_32_bit\":false},\"connectExtraInfo\":{\"connectPopFailed\":false}}");

    // What the answer configured, and the engine the service started with it.
    EXPECT_EQ(GetSetting(u"HeartbeatUrl", u""), base_ + u"/orch/heartbeat");
    EXPECT_EQ(GetSettingInt(u"HeartbeatInterval", 0), 10);
    EXPECT_EQ(GetSettingInt(u"HeartbeatTimeout", 0), 120000);
    EXPECT_EQ(GetSettingInt(u"CpeId", 0), 1001);
    EXPECT_EQ(GetEngineState().whiteIpSet, u"10.8.0.0/16");
    EXPECT_EQ(OrchCount(u"filterDownloads"), 1);
    EXPECT_TRUE(
        EngineLogged("start: serial " + Utf16ToUtf8(GetInstallationSerial()) + " domain [127.0.0.1]"));
    EXPECT_TRUE(EngineLogged("config: cpeagent.conf orchid 1 cpeid 1001 commaddr 127.0.0.1:4433"));
    EXPECT_TRUE(EngineLogged("orchestrator: connected"));

    // The engine answers over its pipe with growing counters.
    int64_t tx1 = 0, rx1 = 0, tx2 = 0, rx2 = 0;
    bool down = true;
    ASSERT_EQ(QueryEngineStatus(tx1, rx1, down), 0);
    EXPECT_FALSE(down);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(QueryEngineStatus(tx2, rx2, down), 0);
    EXPECT_GT(tx2, tx1);
    EXPECT_GT(rx2, rx1);

    // A second connect finds the list current and does not download it again; the service's start of
    // the new engine ends the old one.
    const Outcome again = Connect();
    EXPECT_EQ(again.result, 0);
    EXPECT_EQ(OrchCount(u"filterDownloads"), 1);
}

TEST_F(ConnectWorkerTest, RefusalsOfTheOrchestrator) {
    struct Case {
        const char* what;
        int status;
        const char16_t* body;  // the answer's body (JSON text)
        int32_t want;
        const char16_t* message;
        bool sent;
    };
    const Case cases[] = {
        {"401, password to change", 401, uR"({"code":401,"invalidReasonCode":1,"message":"Change it"})",
         30117, u"401 Change it", true},
        {"401, token refused", 401, uR"({"code":401,"invalidReasonCode":3,"message":"Gone"})", 30106,
         u"401 Gone", true},
        {"401 without a reason", 401, uR"({"code":401,"message":"No reason"})", 30106, u"401 No reason",
         true},
        {"403 with a message", 403, uR"({"code":4031,"message":"Not here"})", 403, u"4031 Not here", true},
        {"500 without the word", 500, uR"({"code":500,"error":"boom"})", 500, u"Unknow error 500", false},
        {"400 with an empty text", 400, uR"({"message":"x"})", 400, u"Unknow error 400", false},
    };
    World();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim_.Answer(u"{\"method\":\"POST\",\"path\":\"" + ConnectPath() + u"\",\"status\":" +
                    Utf8ToUtf16(std::to_string(c.status)) + u",\"body\":" + c.body + u"}");
        const Outcome o = Connect();
        EXPECT_EQ(o.result, c.want);
        EXPECT_EQ(o.message, c.message);
        ExpectOneResult(o, c.want, c.sent, c.message);
    }
    EXPECT_EQ(OrchCount(u"filterDownloads"), 0);
    EXPECT_FALSE(sim::HostEngineRunning());

    // The catalogue's text, when the program hands the worker its reader.
    SetServerErrorTextSource([](std::u16string_view answer) {
        return u"catalogue " + Utf8ToUtf16(std::to_string(GetIntField(answer, u"code", -1)));
    });
    sim_.Answer(u"{\"method\":\"POST\",\"path\":\"" + ConnectPath() +
                u"\",\"status\":403,\"body\":{\"code\":77,\"message\":\"m\"}}");
    const Outcome o = Connect();
    EXPECT_EQ(o.result, 403);
    EXPECT_EQ(o.message, u"catalogue 77");
}

TEST_F(ConnectWorkerTest, AnswersWithoutUsableValues) {
    struct Case {
        const char* what;
        const char16_t* answer;  // a scripted 200 answer, or null for a fault
        const char16_t* fault;
    };
    const Case cases[] = {
        {"no keys", u"{}", nullptr},
        {"wrong types",
         uR"({"connectMode":5,"mobileDetect":"yes","heartbeatInterval":"x","mobileTrafficDownloadUrl":7})",
         nullptr},
        {"not JSON", u"\"hello\"", nullptr},
        {"10 MB", nullptr, u"huge-body\",\"size\":10485760"},
    };
    World();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.answer) {
            sim_.Answer(u"{\"method\":\"POST\",\"path\":\"" + ConnectPath() + u"\",\"status\":200,\"body\":" +
                        c.answer + u"}");
        } else {
            sim_.Fault(u"{\"path\":\"" + ConnectPath() + u"\",\"kind\":\"" + c.fault + u",\"times\":1}");
        }
        const Outcome o = Connect();
        // No download URL: the filter step fails; nothing was started, the defaults were stored.
        EXPECT_EQ(o.result, 30104);
        EXPECT_EQ(o.message, u"2012 Can not get filter list");
        EXPECT_EQ(o.mode, NATIVE);
        ExpectOneResult(o, 30104);
        // A quoted interval reads as 0 and is stored so; the monitors take it as a heartbeat every pass.
        EXPECT_EQ(GetSettingInt(u"HeartbeatInterval", -1), std::string(c.what) == "wrong types" ? 0 : 10);
        EXPECT_EQ(GetSetting(u"HeartbeatUrl", u"x"), u"");
        EXPECT_FALSE(sim::HostEngineRunning());
    }
    // The log keeps a bounded piece of an answer, not 10 MB of it.
    EXPECT_LT(ReadBytes(log_).size(), 1u << 20);
}

// The connect answer is logged (whole when accepted, as the failure's detail when refused), but never the
// tunnel's secrets in it, however the answer spells them: blanks around the colon, a key given twice, an
// escaped quote inside the value.
TEST_F(ConnectWorkerTest, LoggedAnswersKeepNoTunnelSecret) {
    const std::u16string answer =
        uR"({"message":"refused","code":7,"psk" : "Sec-Psk-\"1","ipsecPassword":"Sec-Ipsec-1",)"
        uR"("ipsecPassword":  "Sec-Ipsec-2"})";
    for (const int status : {200, 500}) {
        SCOPED_TRACE(status);
        World();
        sim_.Answer(u"{\"method\":\"POST\",\"path\":\"" + ConnectPath() + u"\",\"status\":" +
                    Utf8ToUtf16(std::to_string(status)) + u",\"body\":" + answer + u"}");
        (void)Connect();
        const std::u16string log = Log();
        EXPECT_NE(log.find(u"refused"), std::u16string::npos) << "the answer is in the log";
        for (const char16_t* secret : {u"Sec-Psk", u"Sec-Ipsec"})
            EXPECT_EQ(log.find(secret), std::u16string::npos) << Utf16ToUtf8(secret);
    }
}

TEST_F(ConnectWorkerTest, TransportFailureAndMissingToken) {
    World();
    SetSetting(u"AuthUrl", u"http://127.0.0.1:1/api/mobile/v2/auth");  // nothing listens there
    Outcome o = Connect();
    EXPECT_EQ(o.result, 12029);
    EXPECT_EQ(o.message, u"Unknow error 12029");
    ExpectOneResult(o, 12029);

    World();
    SetSetting(u"AuthToken", u"");
    o = Connect();
    EXPECT_EQ(o.result, 30113);
    EXPECT_EQ(o.message, u"2011 The token is invalid, please login again");
    ExpectOneResult(o, 30113);
    EXPECT_EQ(OrchCount(u"connects"), 0) << "no request without a token";
}

// The main window sets its 40 s notice timer before it starts the worker; whichever way the worker ends, the
// timer must not fire later over an attempt that is over.
TEST_F(ConnectWorkerTest, ConnectNoticeTimerEndsWithTheWorker) {
    for (const bool withToken : {true, false}) {
        World();
        if (!withToken) SetSetting(u"AuthToken", u"");
        platform::SetWindowTimer(window_.Handle(), kConnectNoticeTimerId, 40000);
        ASSERT_TRUE(platform::host::SimTimerRunning(window_.Handle(), kConnectNoticeTimerId));
        (void)Connect();
        EXPECT_FALSE(platform::host::SimTimerRunning(window_.Handle(), kConnectNoticeTimerId))
            << "token stored: " << withToken;
    }
}

TEST_F(ConnectWorkerTest, ModeChoice) {
    struct Case {
        const char16_t* connect;  // the tenant's connect section
        uint32_t mode;
        bool filter;  // the filter list is fetched
    };
    const Case cases[] = {
        {uR"({"mode":"NATIVE"})", NATIVE, true},
        {uR"({"values":{"connectMode":"vcpe"}})", VCPE, true},
        {uR"({"mode":"DCPE","values":{"connectMode":"Dcpe"}})", DCPE, true},
        {uR"({"mode":"DCPE","values":{"mobileDetect":true}})", MOBILE_DETECT, false},
        {uR"({"mode":"SATELLITE"})", NATIVE, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        World(c.connect);
        GetEngineState().filterText.clear();
        sim::ClearHostEngineLog();
        const Outcome o = Connect();
        EXPECT_EQ(o.mode, c.mode);
        EXPECT_EQ(OrchCount(u"filterDownloads"), c.filter ? 1 : 0);
        if (c.mode == NATIVE) {
            EXPECT_EQ(o.result, 0) << Utf16ToUtf8(o.message);
        } else {
            EXPECT_FALSE(EngineLogged("start:")) << "only the native mode starts the engine";
        }
        ASSERT_FALSE(o.messages.empty());
    }
}

TEST_F(ConnectWorkerTest, NativeBringUpFailures) {
    struct Case {
        const char* what;
        std::function<void()> arrange;
        int32_t want;
        const char16_t* message;
    };
    const Case cases[] = {
        {"firewall base stopped", [] { platform::host::SetSimulatedService(u"BFE", 1); }, 30107, u""},
        {"driver stopped", [] { platform::host::SetSimulatedService(u"brxnet", 1); }, 30105,
         u"2013 The driver is not running, reinstall and try again"},
        {"driver not installed", [] { platform::host::RemoveSimulatedService(u"brxnet"); }, 30105,
         u"2013 The driver is not running, reinstall and try again"},
        {"helper service stopped", [] { platform::host::SetSimulatedService(u"Corvane", 1); }, 30112,
         u"2033 The service is not running, reinstall and try again"},
        {"configuration refused",
         [] { helper::SetHelperAnswer(u"SaveOrchConfigToFile", int32_t(0x80004005)); }, 30101,
         u"2018 Failed to save configuration file"},
        {"engine not started", [] { helper::SetHelperAnswer(u"StartDataPath", int32_t(0x80070005)); }, 30102,
         u"2019 Can not start datapath"},
        {"token refused by the orchestrator", [this] { Scenario("refuseToken=1\n"); }, 30106,
         u"2020 Invalid Token"},
    };
    World();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        platform::host::ResetSimulatedServices();
        helper::ClearHelperAnswers();
        Scenario("");
        c.arrange();
        const Outcome o = Connect();
        EXPECT_EQ(o.result, c.want);
        EXPECT_EQ(o.message, c.message);
        ExpectOneResult(o, c.want);
    }
    // An unreadable firewall base state is no reason to stop; the failure is logged.
    platform::host::ResetSimulatedServices();
    helper::ClearHelperAnswers();
    Scenario("");
    platform::host::FailSimulatedServiceQuery(u"BFE", platform::ServiceQueryStep::kQueryStatus, 6);
    const Outcome o = Connect();
    EXPECT_EQ(o.result, 0);
    EXPECT_NE(Log().find(FormatText(MessageText(300), u"BFE", 6)), std::u16string::npos);
}

TEST_F(ConnectWorkerTest, DisconnectCommandWhileWaitingForTheEngine) {
    World();
    Scenario("connectDelayMs=60000\n");
    std::thread stopper([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        GetEngineState().stopConnectEvent->Set();
    });
    const Outcome o = Connect();
    stopper.join();
    EXPECT_EQ(o.result, 329);
    EXPECT_EQ(o.message, u"Stopped because of a disconnect command");
    EXPECT_TRUE(o.messages.empty()) << "a stop posts nothing";
}

// A disconnect command while the request or the filter download is under way: the worker stops at the
// next check point, without a result for the window and without starting the engine.
TEST_F(ConnectWorkerTest, StopRequestedDuringTheRequestOrTheFilterDownload) {
    for (const char16_t* path : {u"/api/mobile/v2/connect", u"/orch/filter/s1/2/list"}) {
        SCOPED_TRACE(Utf16ToUtf8(path));
        World();
        ResetState();
        sim_.Fault(u"{\"path\":\"/t/" + tenant_ + path + u"\",\"kind\":\"delay\",\"ms\":400,\"times\":1}");
        std::thread stopper([] {
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            GetEngineState().stopRequested = true;
        });
        sim::ClearHostEngineLog();
        const Outcome o = Connect();
        stopper.join();
        EXPECT_EQ(o.result, 329);
        EXPECT_EQ(o.message, u"Stopped because of a disconnect command");
        EXPECT_TRUE(o.messages.empty());
        EXPECT_FALSE(EngineLogged("start:"));
    }
}

// DCPE: the default-route adapter holds two addresses; the window hears of it on the first attempt only,
// and the connection goes on. The client's own address in the request is that adapter's first one.
TEST_F(ConnectWorkerTest, DcpeGatewayAdapterWithSeveralAddresses) {
    corvane::RouteRow route;
    route.nextHop = 0x0101A8C0;
    route.interfaceIndex = 7;
    route.metric1 = 10;
    helper::SimulatedNetwork().Clear();
    helper::SimulatedNetwork().AppendRow(route);
    platform::host::SimulatedDevice device = platform::host::DefaultSimulatedDevice();
    device.addresses.rows = {{0x0A01A8C0, 0x00FFFFFF, 7}, {0x0B01A8C0, 0x00FFFFFF, 7}, {0x0100007F, 0xFF, 1}};
    platform::host::SetSimulatedDevice(device);
    World(uR"({"mode":"DCPE"})");
    for (const bool first : {true, false}) {
        SCOPED_TRACE(first);
        ResetState();
        GetEngineState().firstAttempt = first;
        const Outcome o = Connect();
        EXPECT_EQ(o.mode, DCPE);
        EXPECT_EQ(GetEngineState().defaultGatewayIfIndex.load(), 7);
        ASSERT_FALSE(o.messages.empty());
        EXPECT_EQ(o.messages.front().wParam == 30119u, first);
    }
    EXPECT_NE(sim_.Last(ConnectPath(), u"body").find("\"internalIp\":\"192.168.1.10\""), std::string::npos);
    helper::SimulatedNetwork().Clear();
    platform::host::ResetSimulatedDevice();
}

// The DCPE address check reads the default-route adapter's entries in the adapter list: a listing that
// fails or finds no memory is logged and skips the check, and the empty entry holds no address.
TEST_F(ConnectWorkerTest, DcpeAddressCheckReadsTheAdapterList) {
    struct Case {
        const char* what;
        uint32_t error;
        bool noMemory;
        std::vector<platform::Ipv4AddressRow> rows;
        const char16_t* logged;  // nullptr: nothing about the listing
    };
    const Case cases[] = {
        {"listing fails", 50, false, {}, u"GetAdaptersInfo failed with error 50"},
        {"no memory for the list", 0, true, {}, u"Out of memory"},
        {"one address and the empty entry", 0, false, {{0x0A01A8C0, 0x00FFFFFF, 7}, {0, 0, 7}}, nullptr},
    };
    corvane::RouteRow route;
    route.nextHop = 0x0101A8C0;
    route.interfaceIndex = 7;
    route.metric1 = 10;
    World(uR"({"mode":"DCPE"})");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ResetState();
        helper::SimulatedNetwork().Clear();
        helper::SimulatedNetwork().AppendRow(route);
        platform::host::SimulatedDevice device = platform::host::DefaultSimulatedDevice();
        device.addresses.rows = c.rows;
        device.addresses.error = c.error;
        device.addresses.allocationFailed = c.noMemory;
        platform::host::SetSimulatedDevice(device);
        const Outcome o = Connect();
        EXPECT_EQ(o.mode, DCPE);
        for (const RecordedMessage& m : o.messages) EXPECT_NE(m.wParam, 30119u);
        if (c.logged) {
            EXPECT_NE(Log().find(c.logged), std::u16string::npos) << Utf16ToUtf8(Log());
        }
    }
    helper::SimulatedNetwork().Clear();
    platform::host::ResetSimulatedDevice();
}

// The engine stand-in after a connect, by its scenario: what its pipe answers and how it ends.
TEST_F(ConnectWorkerTest, EngineStandInFollowsItsScenario) {
    const auto engineListed = [] {
        for (const std::u16string& image : corvane::SimulatedProcesses().RunningImages())
            if (image == u"ferronwin.exe") return true;
        return false;
    };
    struct Case {
        const char* scenario;
        int32_t status;  // of the status request after the connect
        bool down;       // its reading
        bool stopEnds;   // the stop command ends the engine
    };
    const Case cases[] = {
        {"", 0, false, true},
        {"dropTunnelAfterMs=0\n", 0, true, true},
        {"tunnels=0\n", 0, false, true},
        {"ignoreStop=1\n", 0, false, false},
        {"silentPipe=1\n", 258, false, false},
    };
    World();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scenario);
        ResetState();
        Scenario(c.scenario);
        ASSERT_EQ(Connect().result, 0);
        CloseEnginePipe();  // the connection to the previous engine ended with it
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        int64_t tx = 0, rx = 0;
        bool down = false;
        EXPECT_EQ(QueryEngineStatus(tx, rx, down), c.status);
        EXPECT_EQ(down, c.down);
        if (c.status == 0 && std::string(c.scenario) != "tunnels=0\n") {
            EXPECT_GT(tx, 0);
        }
        (void)StopEngine();
        EXPECT_EQ(sim::HostEngineRunning(), !c.stopEnds);
        EXPECT_EQ(engineListed(), !c.stopEnds);
    }
    // A crash ends the process by itself; the pipe is gone with it.
    ResetState();
    Scenario("crashAfterMs=100\n");
    ASSERT_EQ(Connect().result, 0);
    for (int i = 0; i < 100 && sim::HostEngineRunning(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(sim::HostEngineRunning());
    EXPECT_FALSE(engineListed());
    int64_t tx = 0, rx = 0;
    bool down = false;
    EXPECT_NE(QueryEngineStatus(tx, rx, down), 0);
    EXPECT_TRUE(EngineLogged("scenario: crash"));
}

// A disconnect command that reaches the bring-up before the engine is started (here through the stop
// event alone): no engine is started for the attempt, and nothing is posted.
TEST_F(ConnectWorkerTest, DisconnectCommandBeforeTheEngineStartsStartsNone) {
    World();
    GetEngineState().stopConnectEvent->Set();
    const int starts = helper::HelperCallCount(u"StartDataPath");
    const Outcome o = Connect();
    EXPECT_EQ(o.result, 329);
    EXPECT_EQ(o.message, u"Stopped because of a disconnect command");
    EXPECT_TRUE(o.messages.empty());
    EXPECT_EQ(helper::HelperCallCount(u"StartDataPath"), starts);
    EXPECT_FALSE(EngineLogged("start:"));
}

// Every way a native attempt ends unconnected once the engine was asked to start stops it again, and the
// window hears the outcome once, after the engine is down.
TEST_F(ConnectWorkerTest, UnconnectedEndAfterTheEngineStartStopsIt) {
    struct Case {
        const char* what;
        const char* scenario;
        bool stop;  // a disconnect command while waiting for the engine
        int32_t result;
    };
    const Case cases[] = {
        {"turned away", "refuseToken=1\n", false, 30106},
        {"disconnect command during the wait", "connectDelayMs=600000\n", true, 329},
    };
    World();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ResetState();
        CloseEnginePipe();  // the connection to the previous engine ended with it
        Scenario(c.scenario);
        sim::ClearHostEngineLog();
        const int stops = helper::HelperCallCount(u"StopDataPath");
        std::thread stopper;
        if (c.stop) {
            stopper = std::thread([] {
                for (int i = 0; i < 2000 && !sim::HostEngineRunning(); ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                GetEngineState().stopConnectEvent->Set();
            });
        }
        const Outcome o = Connect();
        if (stopper.joinable()) stopper.join();
        EXPECT_EQ(o.result, c.result);
        EXPECT_TRUE(EngineLogged("start:"));
        EXPECT_TRUE(EngineLogged("pipe: stop"));
        EXPECT_FALSE(sim::HostEngineRunning());
        EXPECT_EQ(helper::HelperCallCount(u"StopDataPath"), stops + 1);
        if (c.result == 329) {
            EXPECT_TRUE(o.messages.empty());
        } else {
            ExpectOneResult(o, c.result);
        }
    }
}

TEST_F(ConnectWorkerTest, StopRequestedBeforeTheRequest) {
    World();
    GetEngineState().stopRequested = true;
    const Outcome o = Connect();
    EXPECT_EQ(o.result, 329);
    EXPECT_EQ(o.message, u"Stopped because of a disconnect command");
    EXPECT_TRUE(o.messages.empty());
    EXPECT_EQ(OrchCount(u"connects"), 0);
}

// The engine never announces anything: after the 30-second wait the series remembers the time-out, and
// a second one where the orchestrator allows it switches the next request to the client's own mode.
TEST_F(ConnectWorkerTest, EngineThatNeverConnectsTimesOut) {
    World(uR"({"values":{"allowClientSpecifyMode":true},"clientSpecifyMode":"DCPE"})");
    Scenario("connectDelayMs=600000\n");
    GetEngineState().nativeTimedOut = true;  // an earlier wait of this series timed out
    const Outcome o = Connect();
    EXPECT_EQ(o.result, 30103);
    EXPECT_EQ(o.message, u"2010 Request time out. The network might be unavailable");
    ExpectOneResult(o, 30103);
    EXPECT_TRUE(GetEngineState().nativeTimedOut.load());
    ASSERT_TRUE(GetEngineState().useClientSpecifyMode.load());

    // The next request asks to choose the mode, and a diagnosis run with the logs goes with it.
    std::vector<DiagnosisRun> runs;
    SetDiagnosisStarter([&runs](const DiagnosisRun& run) { runs.push_back(run); });
    Scenario("");
    const Outcome next = Connect();
    EXPECT_EQ(next.mode, DCPE);
    EXPECT_NE(sim_.Last(ConnectPath(), u"body").find("\"connectMode\":3,"), std::string::npos);
    EXPECT_NE(sim_.Last(ConnectPath(), u"body").find("\"useClientSpecifyMode\":true}}"), std::string::npos);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].collect, 1);
}

// A retried connect gives the engine 60 seconds: one that connects after 35 is still in time.
TEST_F(ConnectWorkerTest, RetriedConnectWaitsLongerForTheEngine) {
    World();
    Scenario("connectDelayMs=35000\n");
    GetEngineState().retryCount = 1;
    const Outcome o = Connect();
    EXPECT_EQ(o.result, 0) << Utf16ToUtf8(o.message);
    EXPECT_FALSE(GetEngineState().nativeTimedOut.load());
}

TEST_F(ConnectWorkerTest, DiagnosisAfterAFailedUploadAndRoutesOfThePreviousTunnel) {
    std::vector<DiagnosisRun> runs;
    SetDiagnosisStarter([&runs](const DiagnosisRun& run) { runs.push_back(run); });
    SetSettingInt(u"DiagnosisResult", 1);
    World();
    EngineState& state = GetEngineState();
    state.blackIpSet = u"192.0.2.0/24";
    state.whiteIpSet = u"198.51.100.0/24";
    const int removals = helper::HelperCallCount(u"RemoveRoute");
    EXPECT_EQ(Connect(DCPE).result, 0);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].collect, 0);
    EXPECT_FALSE(runs[0].notifyMainWindow);
    EXPECT_GT(helper::HelperCallCount(u"RemoveRoute"), removals) << "the tunnel's routes are removed";

    const int before = helper::HelperCallCount(u"RemoveRoute");
    SetSettingInt(u"DiagnosisResult", 0);
    EXPECT_EQ(Connect(NATIVE).result, 0);
    EXPECT_EQ(helper::HelperCallCount(u"RemoveRoute"), before) << "no tunnel before";
    EXPECT_EQ(runs.size(), 1u);
}

TEST_F(ConnectWorkerTest, OrchestratorServersRoutedOutsideTheTunnel) {
    World(
        uR"({"values":{"popIpsEnable":true,"remoteIps":["10.1.2.3","10.1.2.4"],
               "orchDomains":["127.0.0.1","localhost"]}})");
    const int before = helper::HelperCallCount(u"AddRouterToGW");
    const Outcome o = Connect();
    EXPECT_EQ(o.result, 0) << Utf16ToUtf8(o.message);
    // The communication server, each domain, and the remote addresses as one list.
    EXPECT_EQ(helper::HelperCallCount(u"AddRouterToGW") - before, 4);
    EXPECT_EQ(GetEngineState().remoteIps, u"10.1.2.3,10.1.2.4");

    // Without remote addresses the empty list goes to the service all the same.
    World(uR"({"values":{"popIpsEnable":true,"orchDomains":["127.0.0.1","localhost"]}})");
    const int again = helper::HelperCallCount(u"AddRouterToGW");
    EXPECT_EQ(Connect().result, 0);
    EXPECT_EQ(helper::HelperCallCount(u"AddRouterToGW") - again, 4);
    EXPECT_EQ(GetEngineState().remoteIps, u"");
}

TEST_F(ConnectWorkerTest, MobileDetectIsUpAtOnceWithoutEngineOrTunnel) {
    struct Case {
        bool outerAuth;
        const char16_t* user;  // the name the log line shows
    };
    const std::u16string serial = GetInstallationSerial();
    ASSERT_GT(serial.size(), 12u);
    for (const Case& c : {Case{false, u"alice"}, Case{true, u"bob@idp"}}) {
        SCOPED_TRACE(c.outerAuth);
        World(uR"({"mode":"NATIVE","values":{"mobileDetect":true}})");
        SetSetting(u"ThirdPartyUser", u"bob@idp");
        GetEngineState().outerAuth = c.outerAuth;
        sim::ClearHostEngineLog();
        const Outcome o = Connect();
        EXPECT_EQ(o.mode, MOBILE_DETECT);
        EXPECT_EQ(o.result, 0) << Utf16ToUtf8(o.message);
        ExpectOneResult(o, 0);
        EXPECT_FALSE(EngineLogged("start:"));
        EXPECT_NE(Log().find(u"Mobile-detect mode: user " + std::u16string(c.user) +
                             u", customer 12, device " + serial.substr(0, 12) + u"\n"),
                  std::u16string::npos)
            << Utf16ToUtf8(Log());
    }
}

}  // namespace
}  // namespace velora::test
