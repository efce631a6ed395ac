// The link monitors' shared pieces: how a heartbeat answer is read and acted on, the hotspot watcher's
// step, the disconnect notice's URL and body, and the heartbeat and the notice against the cloud stand-in
// (through WinINet under Wine).
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/Settings.h"
#include "core/TextHelpers.h"
#include "core/WindowMessages.h"
#include "engine/DiagnosisHook.h"
#include "engine/Disconnect.h"
#include "engine/EngineState.h"
#include "engine/Heartbeat.h"
#include "engine/Hotspot.h"
#include "platform/Text.h"
#include "support/CloudSim.h"
#include "support/LogFiles.h"
#include "support/RecordingWindow.h"

namespace velora::test {
namespace {

// Records the diagnosis runs asked for while it lives.
class CDiagnosisRecorder {
public:
    CDiagnosisRecorder() {
        SetDiagnosisStarter([this](const DiagnosisRun& run) { m_runs.push_back(run); });
    }
    ~CDiagnosisRecorder() { SetDiagnosisStarter({}); }
    std::vector<DiagnosisRun> m_runs;
};

struct ReadingCase {
    const char* name;
    uint32_t transport;
    uint32_t status;
    const char16_t* text;
    const char16_t* headers;
    bool ignoreAuthFailure;
    bool accepted;
    int32_t refusal;
    bool reconnect;
    bool callback;
    bool chooseMode;
    bool collectLogs;
};

TEST(HeartbeatAnswer, ReadsOrdersOnlyFromAcceptedAnswersAndRefusalsOnlyFromErrorBodies) {
    const char16_t* kLogsHeader =
        u"HTTP/1.1 200 OK\r\nContent-Type: application/json\r\norch-logfile: 1\r\n\r\n";
    const ReadingCase cases[] = {
        {"plain", 0, 200, u"{\"resultCode\":0,\"action\":0}", u"", false, true, 0, false, false, false,
         false},
        {"reconnect", 0, 200, u"{\"resultCode\":0,\"action\":1}", u"", false, true, 0, true, false, false,
         false},
        {"routes", 0, 200, u"{\"action\":2,\"callbackUrl\":\"http://h/cb?seq=1\"}", u"", false, true, 0,
         false, true, false, false},
        {"choose mode", 0, 200, u"{\"action\":3}", u"", false, true, 0, false, false, true, false},
        {"logs header", 0, 200, u"{\"action\":0}", kLogsHeader, false, true, 0, false, false, false, true},
        {"logs named in the body only", 0, 200, u"{\"orch-logfile\":1}", u"", false, true, 0, false, false,
         false, false},
        {"password change", 0, 401, u"{\"code\":401,\"invalidReasonCode\":1,\"message\":\"m\"}", u"", false,
         false, 30117, false, false, false, false},
        {"other reason", 0, 401, u"{\"code\":401,\"invalidReasonCode\":2,\"message\":\"m\"}", u"", false,
         false, 30106, false, false, false, false},
        {"no reason", 0, 401, u"{\"code\":401,\"message\":\"m\"}", u"", false, false, 30106, false, false,
         false, false},
        {"code 401 under another status", 0, 403, u"{\"code\":401,\"message\":\"m\"}", u"", false, false,
         30106, false, false, false, false},
        {"401 without message", 0, 401, u"{\"code\":401,\"invalidReasonCode\":1}", u"", false, false, 0,
         false, false, false, false},
        {"401 ignored", 0, 401, u"{\"code\":401,\"message\":\"m\"}", u"", true, false, 0, false, false, false,
         false},
        {"server error", 0, 500, u"{\"code\":500,\"message\":\"m\"}", u"", false, false, 0, false, false,
         false, false},
        {"transport failure", 12029, 0, u"", u"", false, false, 0, false, false, false, false},
        {"orders in an error answer", 0, 502, u"{\"action\":1,\"message\":\"m\"}", kLogsHeader, false, false,
         0, false, false, false, false},
    };
    for (const ReadingCase& c : cases) {
        SCOPED_TRACE(c.name);
        HeartbeatAnswer answer;
        answer.transport = c.transport;
        answer.status = c.status;
        answer.text = c.text;
        answer.headers = c.headers;
        const HeartbeatReading r = ReadHeartbeatAnswer(answer, c.ignoreAuthFailure);
        EXPECT_EQ(r.accepted, c.accepted);
        EXPECT_EQ(r.refusal, c.refusal);
        EXPECT_EQ(r.reconnect, c.reconnect);
        EXPECT_EQ(r.routeCallback, c.callback);
        EXPECT_EQ(r.chooseMode, c.chooseMode);
        EXPECT_EQ(r.collectLogs, c.collectLogs);
    }
}

TEST(HeartbeatAnswer, SharedHandlingPostsTheLinkStateAndAsksForLogs) {
    struct Case {
        const char* name;
        HeartbeatReading reading;
        std::optional<uint32_t> end;
        std::vector<uintptr_t> posted;  // UM_LINK_STATE wParams
        std::vector<int32_t> collects;  // diagnosis runs asked for
    };
    auto reading = [](bool accepted, int32_t refusal, bool reconnect, bool logs) {
        HeartbeatReading r;
        r.accepted = accepted;
        r.refusal = refusal;
        r.reconnect = reconnect;
        r.collectLogs = logs;
        return r;
    };
    const Case cases[] = {
        {"nothing to do", reading(true, 0, false, false), std::nullopt, {}, {}},
        {"sign out", reading(false, 30106, false, false), 0u, {30106}, {}},
        {"change password", reading(false, 30117, false, false), 0u, {30117}, {}},
        {"failed heartbeat waits for the next pass", reading(false, 0, false, false), std::nullopt, {}, {}},
        {"reconnect", reading(true, 0, true, false), 2u, {2}, {}},
        {"logs", reading(true, 0, false, true), std::nullopt, {}, {1}},
        {"logs and reconnect", reading(true, 0, true, true), 2u, {2}, {1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CRecordingWindow window;
        CDiagnosisRecorder diagnosis;
        EXPECT_EQ(HandleHeartbeatAnswer(c.reading, window.Handle()), c.end);
        if (!c.posted.empty()) window.WaitFor(c.posted.size(), 5000);
        std::vector<uintptr_t> posted;
        for (const RecordedMessage& m : window.Take()) {
            EXPECT_EQ(m.message, UM_LINK_STATE);
            EXPECT_FALSE(m.sent);
            posted.push_back(m.wParam);
        }
        EXPECT_EQ(posted, c.posted);
        std::vector<int32_t> collects;
        for (const DiagnosisRun& run : diagnosis.m_runs) {
            collects.push_back(run.collect);
            EXPECT_FALSE(run.notifyMainWindow) << "a background run: nobody asked to be told";
        }
        EXPECT_EQ(collects, c.collects);
    }
}

TEST(HeartbeatDue, MoreThanTheIntervalSinceTheLastHeartbeat) {
    const int64_t base = CurrentTimeMillis() - 100'000;
    MarkHeartbeatSent(base);
    EXPECT_FALSE(IsHeartbeatDue(base + 30000, 30000));
    EXPECT_TRUE(IsHeartbeatDue(base + 30001, 30000));
    EXPECT_FALSE(IsHeartbeatDue(base, 0));
    EXPECT_TRUE(IsHeartbeatDue(base + 1, 0));
    EXPECT_TRUE(IsHeartbeatDue(base, -5000)) << "an interval below 0 from the orchestrator: every pass";
    EXPECT_EQ(LastHeartbeatTime(), base);
}

// ---- The hotspot watcher's step ---------------------------------------------------------------------

class CHotspotDouble : public CHotspotPort {
public:
    platform::TetheringProbe probe;
    int32_t index = 0;
    int32_t setResult = 0;
    int notifies = 0;
    std::vector<int32_t> sets;

    platform::TetheringProbe Probe() override { return probe; }
    int32_t WifiSpotHotNotify() override {
        ++notifies;
        return index;
    }
    int32_t SetShareInterface(int32_t i) override {
        sets.push_back(i);
        return setResult;
    }
};

TEST(HotspotWatch, TellsTheEngineOnlyWhenTheHotspotChanges) {
    using platform::TetheringStage;
    struct Case {
        const char* name;
        TetheringStage stage;
        bool on;
        bool last;
        int32_t index;
        int32_t setResult;
        bool wantLast;
        int wantNotifies;
        std::vector<int32_t> wantSets;
        std::vector<uintptr_t> wantPosts;  // UM_HOTSPOT wParams
        const char* wantLog;
    };
    const Case cases[] = {
        {"no profile",
         TetheringStage::kNoProfile,
         true,
         false,
         7,
         0,
         false,
         0,
         {},
         {},
         "Not find connection profile"},
        {"no internet",
         TetheringStage::kNoInternet,
         false,
         true,
         7,
         0,
         true,
         0,
         {},
         {},
         "The connection profile has no internet access"},
        {"no manager",
         TetheringStage::kNoManager,
         true,
         false,
         7,
         0,
         false,
         0,
         {},
         {},
         "Failed to init tetheringManager"},
        {"unchanged", TetheringStage::kRead, true, true, 7, 0, true, 0, {}, {}, ""},
        {"turned on",
         TetheringStage::kRead,
         true,
         false,
         7,
         0,
         true,
         1,
         {7},
         {4},
         "Hotspot sharing interface: 7"},
        {"turned off, negative index", TetheringStage::kRead, false, true, -1, 0, false, 1, {-1}, {5}, ""},
        {"no sharing interface", TetheringStage::kRead, true, false, 0, 0, true, 1, {}, {}, ""},
        {"engine refuses",
         TetheringStage::kRead,
         true,
         false,
         7,
         258,
         true,
         1,
         {7},
         {},
         "Telling the engine the sharing interface failed (error 258)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CLogCapture log;
        CRecordingWindow window;
        CHotspotDouble port;
        port.probe = {c.stage, c.on};
        port.index = c.index;
        port.setResult = c.setResult;
        bool last = c.last;
        PollHotspot(last, window.Handle(), true, port);
        EXPECT_EQ(last, c.wantLast);
        EXPECT_EQ(port.notifies, c.wantNotifies);
        EXPECT_EQ(port.sets, c.wantSets);
        if (!c.wantPosts.empty()) window.WaitFor(c.wantPosts.size(), 5000);
        std::vector<uintptr_t> posts;
        for (const RecordedMessage& m : window.Take()) {
            EXPECT_EQ(m.message, UM_HOTSPOT);
            posts.push_back(m.wParam);
        }
        EXPECT_EQ(posts, c.wantPosts);
        EXPECT_NE(log.Text().find(c.wantLog), std::string::npos) << log.Text();
    }
}

TEST(HotspotWatch, ReadingFailuresAreLoggedOnlyWhenAsked) {
    CLogCapture log;
    CHotspotDouble port;
    port.probe = {platform::TetheringStage::kNoProfile, false};
    bool last = false;
    PollHotspot(last, nullptr, false, port);
    EXPECT_EQ(log.Text().find("Not find connection profile"), std::string::npos);
}

// ---- The disconnect notice's text -------------------------------------------------------------------

TEST(DisconnectNotice, UrlReplacesTheAuthUrlsLastSegment) {
    const std::pair<const char16_t*, const char16_t*> cases[] = {
        {u"https://o.test/t/x/api/mobile/v2/auth", u"https://o.test/t/x/api/mobile/v2/disconnect"},
        {u"https://o.test/", u"https://o.test/disconnect"},
        {u"no-slash", u"no-slash"},
        {u"", u""},
    };
    for (const auto& [authUrl, want] : cases) EXPECT_EQ(DisconnectNoticeUrl(authUrl), want);
}

// The ID goes into the JSON as a number: only digits are taken, anything else would write text of its
// own into the body.
TEST(DisconnectNotice, BodyTakesOnlyACustomerIdOfOneToTenDigits) {
    struct Case {
        const char16_t* id;
        bool ok;
        const char16_t* body;
    };
    const Case cases[] = {
        {u"10086", true, u"{\"customerId\":10086, \"sn\":\"SN-1\"}"},
        {u"0", true, u"{\"customerId\":0, \"sn\":\"SN-1\"}"},
        {u"9999999999", true, u"{\"customerId\":9999999999, \"sn\":\"SN-1\"}"},
        {u"12345678901", false, u""},
        {u"", false, u""},
        {u"12a", false, u""},
        {u"-1", false, u""},
        {u"1, \"admin\":true", false, u""},
        {u"\xFF11\xFF12", false, u""},  // full-width digits
    };
    for (const Case& c : cases) {
        std::u16string body = u"stale";
        EXPECT_EQ(DisconnectNoticeBody(c.id, u"SN-1", body), c.ok) << platform::Utf16ToUtf8(c.id);
        EXPECT_EQ(body, c.body);
    }
    std::u16string body;
    ASSERT_TRUE(DisconnectNoticeBody(u"7", u"a\"b", body));
    EXPECT_EQ(body, u"{\"customerId\":7, \"sn\":\"a\\\"b\"}");
}

// ---- Against the cloud stand-in ---------------------------------------------------------------------

class LinkCloudTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim_.Open());
        saved_ = {GetSetting(u"HeartbeatUrl", u""), GetSetting(u"AuthToken", u""),
                  GetSetting(u"AuthUrl", u""), GetSetting(u"CustomerId", u"")};
    }
    void TearDown() override {
        SetSetting(u"HeartbeatUrl", saved_[0]);
        SetSetting(u"AuthToken", saved_[1]);
        SetSetting(u"AuthUrl", saved_[2]);
        SetSetting(u"CustomerId", saved_[3]);
        SetSettingInt(u"DiagnosisResult", 0);
    }
    std::u16string World(std::u16string_view orch) {
        tenant_ = sim_.Tenant(u"link", u"{\"orch\":" + std::u16string(orch) + u"}");
        return sim_.TenantUrl("http", tenant_);
    }
    std::u16string Path(std::u16string_view rest) const { return u"/t/" + tenant_ + std::u16string(rest); }

    CCloudSimAccess sim_;
    std::u16string tenant_;
    std::vector<std::u16string> saved_;
};

TEST_F(LinkCloudTest, HeartbeatCarriesTheServiceLinesAnEmptyBodyAndReturnsTheHeaderBlock) {
    const std::u16string base = World(
        u"{\"tokens\":[\"tok-hb\"],\"heartbeat\":[{\"action\":2,\"routes\":[\"10.1.0.0/16\"],"
        u"\"orchLogfile\":true}]}");
    SetSetting(u"HeartbeatUrl", base + u"/orch/heartbeat");
    SetSetting(u"AuthToken", u"tok-hb");
    const HeartbeatValues values = ReadHeartbeatValues();
    EXPECT_EQ(values.authLine, u"X-KX-AUTH-HEADER:tok-hb");
    EXPECT_EQ(values.typeLine, u"type:windows");
    const HeartbeatAnswer answer = SendHeartbeat(values, u"");
    ASSERT_EQ(answer.transport, 0u);
    ASSERT_EQ(answer.status, 200u);
    const HeartbeatReading reading = ReadHeartbeatAnswer(answer, false);
    EXPECT_TRUE(reading.routeCallback);
    EXPECT_TRUE(reading.collectLogs);

    const std::u16string path = Path(u"/orch/heartbeat");
    EXPECT_EQ(sim_.Last(path, u"method"), "POST");
    EXPECT_EQ(sim_.Last(path, u"body"), "");
    EXPECT_EQ(platform::Utf8ToUtf16(sim_.Last(path, u"header&name=sn")), values.snLine.substr(3));
    EXPECT_EQ(sim_.Last(path, u"header&name=X-KX-AUTH-HEADER"), "tok-hb");
    EXPECT_EQ(sim_.Last(path, u"header&name=type"), "windows");
    EXPECT_NE(sim_.Last(path, u"header&name=Content-Type").find("application/json"), std::string::npos);
}

TEST_F(LinkCloudTest, DisconnectNoticeSendsItsBodyByteForByteAndAsksForLogs) {
    const std::u16string base = World(u"{\"tokens\":[\"tok-dc\"],\"disconnect\":{\"orchLogfile\":true}}");
    SetSetting(u"AuthUrl", base + u"/api/mobile/v2/auth");
    SetSetting(u"AuthToken", u"tok-dc");
    SetSetting(u"CustomerId", u"10086");
    const std::u16string path = Path(u"/api/mobile/v2/disconnect");
    const std::string serial = platform::Utf16ToUtf8(ReadHeartbeatValues().snLine.substr(3));
    {
        CDiagnosisRecorder diagnosis;
        NotifyOrchestratorDisconnect();
        EXPECT_EQ(sim_.Last(path, u"body"), "{\"customerId\":10086, \"sn\":\"" + serial + "\"}");
        EXPECT_EQ(sim_.Last(path, u"header&name=X-KX-AUTH-HEADER"), "tok-dc");
        EXPECT_EQ(sim_.Last(path, u"header&name=sn"), serial);
        ASSERT_EQ(diagnosis.m_runs.size(), 1u);
        EXPECT_EQ(diagnosis.m_runs[0].collect, 1);
        EXPECT_FALSE(diagnosis.m_runs[0].notifyMainWindow) << "a background run: nobody asked to be told";
    }
    {
        // A diagnosis the last run asked for wins: it collects without the engine's logs.
        SetSettingInt(u"DiagnosisResult", 1);
        CDiagnosisRecorder diagnosis;
        NotifyOrchestratorDisconnect();
        ASSERT_EQ(diagnosis.m_runs.size(), 1u);
        EXPECT_EQ(diagnosis.m_runs[0].collect, 0);
        SetSettingInt(u"DiagnosisResult", 0);
    }
    {
        // An ID that is not a number never reaches the body: the notice is skipped and says why.
        SetSetting(u"CustomerId", u"1, \"x\":1");
        CLogCapture log;
        const std::string before = sim_.Last(path, u"count");
        NotifyOrchestratorDisconnect();
        EXPECT_EQ(sim_.Last(path, u"count"), before);
        EXPECT_NE(log.Text().find("Disconnect notice not sent"), std::string::npos) << log.Text();
    }
    {
        // A refused notice is only logged.
        SetSetting(u"CustomerId", u"10086");
        SetSetting(u"AuthToken", u"tok-wrong");
        CLogCapture log;
        NotifyOrchestratorDisconnect();
        EXPECT_NE(log.Text().find("Failed to notify orch, status code: 401, ret: 0, result {"),
                  std::string::npos)
            << log.Text();
    }
}

}  // namespace
}  // namespace velora::test
