// The cloud stand-in's orchestrator operations, exercised over HTTP and HTTPS with the product's own
// CHttpClient and field readers (so under Wine through WinINet): connect answers per mode and their token
// rule, the gateway check, the filter list, heartbeat sequences with their callback, the disconnect
// notice, the diagnosis upload and the upgrade with a checksum computed here, not by the stand-in.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "core/HttpClient.h"
#include "core/JsonFields.h"
#include "core/Md5.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "support/CloudSim.h"
#include "support/LogFiles.h"

namespace {

using velora::CHttpClient;
using velora::test::CCloudSimAccess;
using velora::test::CScratchFolder;

constexpr std::u16string_view kSn = u"SN-ORCH-0001";

std::u16string U(std::string_view s) {
    return platform::Utf8ToUtf16(s);
}
std::string N(std::u16string_view s) {
    return platform::Utf16ToUtf8(s);
}

struct Exchange {
    uint32_t error = 1;
    uint32_t status = 0;
    std::string answer;
    std::string headers;  // status line and header lines as received

    std::string Text(std::u16string_view key) const {
        return N(velora::GetStringField(U(answer), key, u"<absent>"));
    }
    int32_t Int(std::u16string_view key) const { return velora::GetIntField(U(answer), key, -12345); }
    int Bool(std::u16string_view key) const { return velora::GetBoolField(U(answer), key, 7); }
    std::string Array(std::u16string_view key) const {
        return N(velora::GetArrayField(U(answer), key, u"<absent>"));
    }
    bool Has(std::string_view key) const {
        return answer.find("\"" + std::string(key) + "\":") != std::string::npos;
    }
};

// A POST as the client sends it to the orchestrator: JSON (or form) body, the token, serial and type lines.
Exchange Post(const std::u16string& url, std::u16string_view body, std::u16string_view token, int json = 1) {
    CHttpClient client;
    Exchange e;
    std::u16string raw;
    const std::u16string auth =
        token.empty() ? std::u16string() : u"X-KX-AUTH-HEADER:" + std::u16string(token);
    e.error = client.PostText(url, body, e.answer, e.status, json, u"sn:" + std::u16string(kSn), auth,
                              u"type:windows", &raw);
    e.headers = N(raw);
    return e;
}

// The client's usual connect body, or with `clientChoice` the one that asks to choose the mode, for the
// serial of the sn: line.
std::u16string ConnectBody(bool clientChoice = false, std::u16string_view internalIp = u"None") {
    const std::u16string head = u"{\"internalIp\":\"" + std::u16string(internalIp) +
                                u"\",\"deviceModel\":\"windows\"," + (clientChoice ? u"\"connectMode\":3," : u"") +
                                u"\"mobileVersion\":\"5.3.24.0\",\"sn\":\"" + std::u16string(kSn) +
                                u"\",\"needIpsecKey\":true,\"deviceSupportMode\":\"hybird\",\"supportFeature\":"
                                u"{\"supportHttps\":true, \"supportIpFilterDownloadUrlV2\":true, "
                                u"\"supportHeartBeat\":true},\"clientDeviceInfo\":{\"windows_32_bit\":false},"
                                u"\"connectExtraInfo\":{\"connectPopFailed\":false";
    return head + (clientChoice ? u",\"useClientSpecifyMode\":true}}" : u"}}");
}

Exchange Get(const std::u16string& url) {
    CHttpClient client;
    Exchange e;
    e.error = client.GetText(url, e.answer, e.status);
    return e;
}

class OrchStandIn : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim_.Open());
        ASSERT_TRUE(platform::TrustRootCertificateForTest(CCloudSimAccess::CaFile()));
    }
    // A tenant with this "orch" data; its base URL on the listener under test.
    std::u16string World(std::u16string_view name, std::u16string_view orch) {
        tenant_ = sim_.Tenant(name, u"{\"orch\":" + std::u16string(orch) + u"}");
        return base_ = sim_.TenantUrl(GetParam(), tenant_);
    }
    // The client's connect URL: its auth URL with the last segment replaced.
    std::u16string ConnectUrl() const { return base_ + u"/api/mobile/v2/connect"; }
    Exchange Connect(std::u16string_view token = u"tok-1", std::u16string_view body = ConnectBody()) {
        return Post(ConnectUrl(), body, token);
    }
    Exchange State() const { return Get(sim_.TenantUrl("http", tenant_) + u"/orch/_state"); }

    CCloudSimAccess sim_;
    std::u16string tenant_;
    std::u16string base_;
};

struct ModeCase {
    const char* mode;         // as the scenario gives it
    const char* connectMode;  // what the answer says
    bool mobileDetect;
    std::vector<const char*> keys;    // keys the client reads for this mode
    std::vector<const char*> absent;  // keys of other modes that must not mislead it
};

const std::vector<const char*> kCommonKeys = {"heartbeatUrl",
                                              "heartbeatInterval",
                                              "mobileDetectMaxInvalidTime",
                                              "connectMode",
                                              "mobileTrafficDownloadUrl",
                                              "siteTemplateId",
                                              "mobileTrafficVersion",
                                              "mobileDetect",
                                              "popIpsEnable",
                                              "remoteIps",
                                              "lanAssignIp",
                                              "allowClientSpecifyMode",
                                              "cpeId",
                                              "orchId",
                                              "customerId",
                                              "orchDomains"};

// Every mode answers with the keys its bring-up reads, and every URL in it leads back to the same tenant.
TEST_P(OrchStandIn, ConnectAnswersEachModeWithTheKeysItsBringUpReads) {
    const std::vector<ModeCase> cases = {
        {"NATIVE", "NATIVE", false, {"commuServerAddr", "candidateCommServers"}, {"checkStatusUrl", "vgwIp"}},
        {"vcpe",
         "VCPE",
         false,
         {"checkStatusUrl", "checkRepeatTimes", "specialCaseCode", "vgwIp", "publicIp", "ipsecName",
          "ipsecPassword", "psk"},
         {"commuServerAddr"}},
        {"DCPE",
         "DCPE",
         false,
         {"checkStatusUrl", "checkRepeatTimes", "specialCaseCode"},
         {"vgwIp", "popIp"}},
        {"MOBILE_DETECT", "NATIVE", true, {"commuServerAddr"}, {"checkStatusUrl"}},
    };
    for (const ModeCase& c : cases) {
        SCOPED_TRACE(c.mode);
        World(u"connect",
              U(std::string("{\"tokens\":[\"tok-1\"],\"connect\":{\"mode\":\"") + c.mode + "\"}}"));
        const std::u16string body = ConnectBody(false, u"10.0.0.5");
        const Exchange e = Connect(u"tok-1", body);
        ASSERT_EQ(e.error, 0u);
        ASSERT_EQ(e.status, 200u) << e.answer;
        for (const char* key : kCommonKeys) EXPECT_TRUE(e.Has(key)) << key;
        for (const char* key : c.keys) EXPECT_TRUE(e.Has(key)) << key;
        for (const char* key : c.absent) EXPECT_FALSE(e.Has(key)) << key;
        EXPECT_EQ(e.Text(u"connectMode"), c.connectMode);
        EXPECT_EQ(e.Bool(u"mobileDetect"), c.mobileDetect ? 1 : 0);
        EXPECT_EQ(e.Int(u"heartbeatInterval"), 10);
        EXPECT_EQ(e.Int(u"mobileDetectMaxInvalidTime"), 120000);
        for (const char16_t* url : {u"heartbeatUrl", u"mobileTrafficDownloadUrl", u"checkStatusUrl"}) {
            const std::string value = e.Text(url);
            if (value == "<absent>") continue;
            EXPECT_EQ(value.rfind(N(base_) + "/", 0), 0u) << value;
        }
        EXPECT_EQ(e.Array(u"orchDomains"), "127.0.0.1") << "a host the client can resolve, no port";

        // What the client sent is recorded byte for byte, with its three header lines.
        const std::u16string path = u"/t/" + tenant_ + u"/api/mobile/v2/connect";
        EXPECT_EQ(sim_.Last(path, u"body"), N(body));
        EXPECT_EQ(sim_.Last(path, u"header&name=X-KX-AUTH-HEADER"), "tok-1");
        EXPECT_EQ(sim_.Last(path, u"header&name=sn"), N(kSn));
        EXPECT_EQ(sim_.Last(path, u"header&name=type"), "windows");
    }
}

struct TokenCase {
    const char* name;
    const char* token;
    uint32_t status;
    int reason;  // invalidReasonCode; -1: not read (200)
};

// Tokens outside the tenant's list are refused with the code and reason the client turns into a sign-out
// (any reason) or a password change (reason 1); every refusal carries "message", without which the client
// would not read the code at all.
TEST_P(OrchStandIn, ConnectAcceptsOnlyTheTenantsTokens) {
    World(u"tokens",
          u"{\"tokens\":[\"tok-1\",\"tok-2\"],\"revoked\":{\"tok-2\":1,\"tok-old\":5},\"refusedReason\":3}");
    const TokenCase cases[] = {
        {"listed", "tok-1", 200, -1},   {"revoked for a password change", "tok-2", 401, 1},
        {"revoked", "tok-old", 401, 5}, {"unknown", "tok-9", 401, 3},
    };
    for (const TokenCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Exchange e = Connect(U(c.token));
        ASSERT_EQ(e.error, 0u);
        EXPECT_EQ(e.status, c.status) << e.answer;
        if (c.status == 200) continue;
        EXPECT_EQ(e.Int(u"code"), 401);
        EXPECT_EQ(e.Int(u"invalidReasonCode"), c.reason);
        EXPECT_NE(e.Text(u"message"), "<absent>");
    }
    // A tenant that lets any token in still refuses a request without one: the client never sends that.
    World(u"anytoken", u"{\"tokens\":[\"*\"]}");
    EXPECT_EQ(Connect(u"whatever").status, 200u);
    EXPECT_EQ(Connect(u"").status, 400u);
}

// A connect sequence: a failure first, then values the scenario sets (null removes a key), and the mode
// kept for a client that asks to choose ("connectMode":3). A body that is not the client's is a 400.
TEST_P(OrchStandIn, ConnectFollowsItsSequenceAndTheClientsChoice) {
    World(u"sequence",
          uR"({"tokens":["tok-1"],"connect":[
        {"status":500,"message":"busy now"},
        {"status":503,"message":null},
        {"mode":"NATIVE","clientSpecifyMode":"DCPE",
         "values":{"heartbeatInterval":30,"popIpsEnable":true,"remoteIps":["203.0.113.1","203.0.113.2"],
                   "lanAssignIp":null,"allowClientSpecifyMode":true,"cpeId":77},
         "headers":{"orch-logfile":"now"}}]})");
    Exchange e = Connect();
    EXPECT_EQ(e.status, 500u);
    EXPECT_EQ(e.Text(u"message"), "busy now");
    e = Connect();
    EXPECT_EQ(e.status, 503u);
    EXPECT_EQ(e.answer.find("message"), std::string::npos)
        << "a status without a usable message: " << e.answer;

    e = Connect();
    ASSERT_EQ(e.status, 200u);
    EXPECT_EQ(e.Text(u"connectMode"), "NATIVE");
    EXPECT_EQ(e.Int(u"heartbeatInterval"), 30);
    EXPECT_EQ(e.Bool(u"popIpsEnable"), 1);
    EXPECT_EQ(e.Array(u"remoteIps"), "203.0.113.1,203.0.113.2");
    EXPECT_FALSE(e.Has("lanAssignIp"));
    EXPECT_EQ(e.Int(u"cpeId"), 77);
    EXPECT_NE(e.headers.find("orch-logfile: now\r\n"), std::string::npos) << e.headers;

    e = Connect(u"tok-1", ConnectBody(true));
    ASSERT_EQ(e.status, 200u);
    EXPECT_EQ(e.Text(u"connectMode"), "DCPE");
    EXPECT_TRUE(e.Has("checkStatusUrl"));

    e = Connect(u"tok-1", u"{\"internalIp\":");
    EXPECT_EQ(e.status, 400u);
    EXPECT_EQ(e.Int(u"code"), 400);
}

struct GatewayCase {
    const char* mode;
    int liveAfter;  // polls before the first live answer; -1: never
};

// The client polls checkStatusUrl with an empty form POST; the gateway turns live after the scenario's
// number of polls, counted afresh at each connect.
TEST_P(OrchStandIn, GatewayCheckTurnsLiveAfterTheGivenPolls) {
    const GatewayCase cases[] = {{"VCPE", 0}, {"VCPE", 2}, {"VCPE", -1},
                                 {"DCPE", 0}, {"DCPE", 3}, {"DCPE", -1}};
    for (const GatewayCase& c : cases) {
        SCOPED_TRACE(std::string(c.mode) + " after " + std::to_string(c.liveAfter));
        World(u"gateway", U("{\"tokens\":[\"tok-1\"],\"connect\":{\"mode\":\"" + std::string(c.mode) +
                            "\"},\"gateway\":{\"liveAfter\":" + std::to_string(c.liveAfter) +
                            ",\"popIp\":\"192.0.2.33\",\"psk\":\"key-33\"}}"));
        for (int series = 0; series < 2; ++series) {
            const Exchange connect = Connect();
            ASSERT_EQ(connect.status, 200u);
            const std::u16string checkUrl = U(connect.Text(u"checkStatusUrl"));
            int firstLive = -1;
            for (int poll = 0; poll < 5 && firstLive < 0; ++poll) {
                CHttpClient client;
                Exchange e;
                e.error = client.PostText(checkUrl, u"", e.answer, e.status, 0);
                ASSERT_EQ(e.error, 0u);
                ASSERT_EQ(e.status, 200u);
                const bool live = std::string(c.mode) == "VCPE"
                                      ? e.answer.find("true") != std::string::npos
                                      : e.Text(u"popIp") != "" && e.Int(u"statusCode") == 0;
                if (live) {
                    firstLive = poll;
                    if (std::string(c.mode) == "DCPE") {
                        EXPECT_EQ(e.Text(u"popIp"), "192.0.2.33");
                        EXPECT_EQ(e.Text(u"psk"), "key-33");
                        EXPECT_NE(e.Text(u"ipsecName"), "<absent>");
                        EXPECT_NE(e.Text(u"ipsecPassword"), "<absent>");
                    }
                }
            }
            EXPECT_EQ(firstLive, c.liveAfter);
        }
    }
}

// The filter list the connect answer points at: the three keys, served as exact bytes, at a URL whose
// version key ("/site/version" before the last "/") matches the announced siteTemplateId and version.
TEST_P(OrchStandIn, FilterListIsServedAtTheAnnouncedVersion) {
    World(u"filter",
          uR"({"tokens":["tok-1"],"connect":{"mode":"VCPE"},
        "filter":{"siteTemplateId":"s1","version":7,"ipSetMode":-1,"whiteIpSet":["10.0.0.0/8"],
                  "blackIpSet":["192.168.0.0/16","172.16.0.0/12"]}})");
    const Exchange connect = Connect();
    ASSERT_EQ(connect.status, 200u);
    EXPECT_EQ(connect.Text(u"siteTemplateId"), "s1");
    EXPECT_EQ(connect.Int(u"mobileTrafficVersion"), 7);
    const std::string url = connect.Text(u"mobileTrafficDownloadUrl");
    const auto last = url.rfind('/');
    const auto third = url.rfind('/', url.rfind('/', last - 1) - 1);
    EXPECT_EQ(url.substr(third, last - third), "/s1/7");

    const Exchange e = Get(U(url));
    ASSERT_EQ(e.error, 0u);
    ASSERT_EQ(e.status, 200u);
    EXPECT_EQ(e.answer,
              "{\"ipSetMode\":-1,\"whiteIpSet\":[\"10.0.0.0/8\"],"
              "\"blackIpSet\":[\"192.168.0.0/16\",\"172.16.0.0/12\"]}");
    EXPECT_EQ(e.Int(u"ipSetMode"), -1);
    EXPECT_EQ(e.Array(u"blackIpSet"), "192.168.0.0/16,172.16.0.0/12");
    EXPECT_EQ(e.answer.find('\n'), std::string::npos) << "the client caches the first line only";

    World(u"nofilter", u"{\"tokens\":[\"tok-1\"],\"filter\":{\"status\":404}}");
    const Exchange refused = Get(U(Connect().Text(u"mobileTrafficDownloadUrl")));
    EXPECT_EQ(refused.error, 0u);
    EXPECT_EQ(refused.status, 404u);
}

struct BeatCase {
    uint32_t status;
    const char* contains;  // what the client looks for in the body
    bool orchLogfile;      // the header text the client looks for
    int reason;            // 401: invalidReasonCode, -1 absent
};

// A heartbeat sequence with every order the client obeys, the "orch-logfile" header and the 401 variants;
// then the route callback of "action":2 as the native monitor runs it.
TEST_P(OrchStandIn, HeartbeatAnswersItsSequenceAndTheRouteCallback) {
    World(u"heartbeat",
          uR"({"tokens":["tok-1"],"heartbeat":[
        {"action":0},
        {"action":1},
        {"action":2,"routes":["10.1.0.0/16","10.2.0.0/16"],"orchLogfile":true},
        {"action":3},
        {"orchLogfile":"collect"},
        {"status":401,"invalidReasonCode":1},
        {"status":401,"invalidReasonCode":null},
        {"status":401,"message":null},
        {"action":0}]})");
    const BeatCase cases[] = {
        {200, "\"action\":0", false, -1}, {200, "\"action\":1", false, -1}, {200, "\"action\":2", true, -1},
        {200, "\"action\":3", false, -1}, {200, "\"action\":0", true, -1},  {401, "message", false, 1},
        {401, "message", false, -1},      {401, "\"code\":401", false, -1}, {200, "\"action\":0", false, -1},
        {200, "\"action\":0", false, -1},  // the last entry repeats
    };
    const std::u16string url = base_ + u"/orch/heartbeat";
    std::u16string callbackUrl;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const BeatCase& c = cases[i];
        SCOPED_TRACE(i);
        const Exchange e = Post(url, i == 4 ? u"{\"intranetMode\":true}" : u"", u"tok-1");
        ASSERT_EQ(e.error, 0u);
        EXPECT_EQ(e.status, c.status) << e.answer;
        EXPECT_NE(e.answer.find(c.contains), std::string::npos) << e.answer;
        EXPECT_EQ(e.headers.find("orch-logfile") != std::string::npos, c.orchLogfile) << e.headers;
        if (c.status == 401) {
            EXPECT_EQ(e.Int(u"code"), 401);
            EXPECT_EQ(velora::GetIntField(U(e.answer), u"invalidReasonCode", -1), c.reason);
        }
        if (i == 2) {
            // The client reads callbackUrl from the text that starts at "action":2.
            callbackUrl = velora::GetStringField(U(e.answer.substr(e.answer.find("\"action\":2"))),
                                                 u"callbackUrl", u"");
        }
    }
    ASSERT_EQ(callbackUrl.rfind(base_ + u"/", 0), 0u) << N(callbackUrl);
    ASSERT_NE(callbackUrl.find(u'?'), std::u16string::npos);

    const Exchange routes = Post(callbackUrl, u"", u"tok-1");
    ASSERT_EQ(routes.status, 200u);
    const auto open = routes.answer.find('['), close = routes.answer.find(']', open);
    std::string list = routes.answer.substr(open + 1, close - open - 1);
    std::erase(list, '"');
    EXPECT_EQ(list, "10.1.0.0/16,10.2.0.0/16");
    const Exchange ack = Post(callbackUrl.substr(0, callbackUrl.find(u'?')), u"", u"tok-1");
    EXPECT_EQ(ack.status, 200u);

    // What the client sent is kept: the bodies in order, the header lines in the record.
    const Exchange state = State();
    EXPECT_EQ(state.Int(u"heartbeats"), static_cast<int32_t>(std::size(cases)));
    EXPECT_EQ(state.Int(u"callbackAcks"), 1);
    EXPECT_NE(state.answer.find(R"("heartbeatBodies":["","","","","{\"intranetMode\":true}","")"),
              std::string::npos)
        << state.answer;
    const std::u16string path = u"/t/" + tenant_ + u"/orch/heartbeat";
    EXPECT_EQ(sim_.Last(path, u"header&name=X-KX-AUTH-HEADER"), "tok-1");
    EXPECT_EQ(sim_.Last(path, u"header&name=sn"), N(kSn));

    // A heartbeat with a token the tenant does not know is refused like a revoked one.
    const Exchange stranger = Post(url, u"", u"tok-x");
    EXPECT_EQ(stranger.status, 401u);
    EXPECT_EQ(stranger.Int(u"code"), 401);
}

// The disconnect notice answers nothing but, when asked, the "orch-logfile" header; the client's body
// (customer number without quotes) is kept as it came.
TEST_P(OrchStandIn, DisconnectNoticeCarriesOrchLogfileWhenAsked) {
    for (const bool logfile : {false, true}) {
        SCOPED_TRACE(logfile);
        World(u"disconnect", logfile ? u"{\"tokens\":[\"tok-1\"],\"disconnect\":{\"orchLogfile\":true}}"
                                     : u"{\"tokens\":[\"tok-1\"]}");
        const std::u16string body = u"{\"customerId\":12, \"sn\":\"" + std::u16string(kSn) + u"\"}";
        const Exchange e = Post(base_ + u"/api/mobile/v2/disconnect", body, u"tok-1");
        ASSERT_EQ(e.error, 0u);
        EXPECT_EQ(e.status, 200u);
        EXPECT_EQ(e.headers.find("orch-logfile") != std::string::npos, logfile) << e.headers;
        EXPECT_EQ(sim_.Last(u"/t/" + tenant_ + u"/api/mobile/v2/disconnect", u"body"), N(body));
        EXPECT_EQ(State().Int(u"disconnects"), 1);
    }
}

// The three steps of the diagnosis upload: the upload URL (pointing back at the stand-in), the PUT of
// the archive (kept byte for byte and given back), and the result report.
TEST_P(OrchStandIn, DiagnosisUploadKeepsTheArchive) {
    World(u"upload", u"{\"tokens\":[\"tok-1\"]}");
    CScratchFolder scratch;
    const std::u16string zip = scratch.Path(u"windows_diagnosis.zip");
    std::string bytes("PK\x03\x04", 4);
    for (int i = 0; i < 70000; ++i) bytes += static_cast<char>((i * 131) ^ (i >> 8));  // NULs, several blocks
    ASSERT_TRUE(platform::ReplaceFileContent(zip, bytes.data(), bytes.size()));

    const std::u16string request =
        U("{\"customerId\":\"acme\",\"cpeId\":77,\"sn\":\"SN\",\"fileName\":"
          "\"windows_diagnosis.zip\",\"fileSize\":" +
          std::to_string(bytes.size()) + "}");
    const Exchange url = Post(base_ + u"/api/mobile/v2/log/url", request, u"tok-1");
    ASSERT_EQ(url.status, 200u) << url.answer;
    const std::u16string uploadUrl = U(url.Text(u"uploadUrl"));
    const std::string requestId = url.Text(u"requestId"), logId = url.Text(u"logId");
    EXPECT_EQ(uploadUrl.rfind(base_ + u"/", 0), 0u) << N(uploadUrl);
    EXPECT_FALSE(requestId.empty());
    EXPECT_FALSE(logId.empty());

    CHttpClient client;
    std::string answer;
    uint32_t status = 0;
    ASSERT_EQ(client.PutZipFile(uploadUrl, zip, answer, status), 0u);
    EXPECT_EQ(status, 200u);
    const std::u16string copy = scratch.Path(u"copy.zip");
    ASSERT_EQ(client.DownloadFile(uploadUrl, copy, status), 0u);
    EXPECT_EQ(status, 200u);
    std::string stored;
    ASSERT_TRUE(platform::ReadWholeFile(copy, stored));
    EXPECT_TRUE(stored == bytes) << "the archive came back changed (" << stored.size() << " bytes)";
    const Exchange state = State();
    EXPECT_EQ(state.Text(u"md5"), N(velora::Md5Hex(bytes.data(), bytes.size())));
    EXPECT_EQ(state.Int(u"announcedSize"), static_cast<int32_t>(bytes.size()));
    EXPECT_EQ(state.Text(u"contentType"), "application/zip");

    const std::u16string report =
        U("{\"logId\":\"" + logId + "\",\"errorCode\":200, \"reason\":\"\",\"requestId\":\"" + requestId +
          "\",\"uploaded\":true,\"uploadedTime\":1700000000}");
    const Exchange result = Post(base_ + u"/api/mobile/v2/log/result", report, u"tok-1");
    EXPECT_EQ(result.status, 200u);
    EXPECT_EQ(sim_.Last(u"/t/" + tenant_ + u"/api/mobile/v2/log/result", u"body"), N(report));
}

// Refusals at each step, as the client meets them: a 401 with reason 1 (the rejected sign-in), a PUT
// answered 500 with a text the client reports, a result report that fails.
TEST_P(OrchStandIn, DiagnosisUploadRefusals) {
    World(u"uploadno", uR"({"tokens":["tok-1"],"upload":{"urlStatus":401,"invalidReasonCode":1}})");
    const std::u16string request =
        u"{\"customerId\":\"acme\",\"sn\":\"SN\",\"fileName\":\"windows_diagnosis.zip\",\"fileSize\":4}";
    Exchange e = Post(base_ + u"/api/mobile/v2/log/url", request, u"tok-1");
    EXPECT_EQ(e.status, 401u);
    EXPECT_EQ(e.Int(u"code"), 401);
    EXPECT_EQ(e.Int(u"invalidReasonCode"), 1);
    EXPECT_EQ(Post(base_ + u"/api/mobile/v2/log/url", request, u"").status, 400u) << "no token line";

    World(u"putno",
          uR"({"tokens":["tok-1"],"upload":{"putStatus":500,"putBody":"disk full","resultStatus":503}})");
    e = Post(base_ + u"/api/mobile/v2/log/url", request, u"tok-1");
    ASSERT_EQ(e.status, 200u);
    CScratchFolder scratch;
    const std::u16string zip = scratch.Path(u"windows_diagnosis.zip");
    ASSERT_TRUE(platform::ReplaceFileContent(zip, "PK\x03\x04", 4));
    CHttpClient client;
    std::string answer;
    uint32_t status = 0;
    ASSERT_EQ(client.PutZipFile(U(e.Text(u"uploadUrl")), zip, answer, status), 0u);
    EXPECT_EQ(status, 500u);
    EXPECT_EQ(answer, "disk full");
    EXPECT_EQ(Post(base_ + u"/api/mobile/v2/log/result", u"{}", u"tok-1").status, 503u);
}

// The upload request must name customer, installation, file and size; the report must name an upload that
// was handed out.
TEST_P(OrchStandIn, DiagnosisUploadWantsItsFields) {
    World(u"uploadfields", u"{\"tokens\":[\"tok-1\"]}");
    const std::u16string bad[] = {
        u"not json",
        u"{\"sn\":\"SN\",\"fileName\":\"windows_diagnosis.zip\",\"fileSize\":4}",
        u"{\"customerId\":\"acme\",\"sn\":\"SN\",\"fileName\":\"windows_diagnosis.zip\",\"fileSize\":\"4\"}",
        u"{\"customerId\":\"acme\",\"cpeId\":\"7\",\"sn\":\"SN\",\"fileName\":\"windows_diagnosis.zip\","
        u"\"fileSize\":4}",
    };
    for (const std::u16string& body : bad) {
        EXPECT_EQ(Post(base_ + u"/api/mobile/v2/log/url", body, u"tok-1").status, 400u) << N(body);
    }
    const Exchange url =
        Post(base_ + u"/api/mobile/v2/log/url",
             u"{\"customerId\":\"acme\",\"sn\":\"SN\",\"fileName\":\"windows_diagnosis.zip\","
             u"\"fileSize\":4}",
             u"tok-1");
    ASSERT_EQ(url.status, 200u) << url.answer;
    const std::string good = "{\"logId\":\"" + url.Text(u"logId") +
                             "\",\"errorCode\":200, \"reason\":\"\","
                             "\"requestId\":\"" +
                             url.Text(u"requestId") + "\",\"uploaded\":true,\"uploadedTime\":1}";
    EXPECT_EQ(Post(base_ + u"/api/mobile/v2/log/result", U(good), u"tok-1").status, 200u);
    const std::string wrongLog = "{\"logId\":\"other\",\"requestId\":\"" + url.Text(u"requestId") + "\"}";
    EXPECT_EQ(Post(base_ + u"/api/mobile/v2/log/result", U(wrongLog), u"tok-1").status, 400u);
    EXPECT_EQ(Post(base_ + u"/api/mobile/v2/log/result", u"{}", u"tok-1").status, 400u);
}

struct UpgradeCase {
    const char* name;
    const char* data;     // the "upgrade" section
    std::string content;  // the installer it serves
    bool checksumMatches;
};

// The upgrade answer names version, minVersion, checksum, url, ignore and checkingPeriod; the file at
// "url" hashes (with the client's own MD5, fed in pieces as the client reads it) to the checksum, unless
// the scenario says otherwise.
TEST_P(OrchStandIn, UpgradeServesAFileMatchingItsChecksum) {
    const UpgradeCase cases[] = {
        {"inline",
         R"({"version":"5.4.1","minVersion":"5.3.30","content":"MZ installer","ignore":true,"checkingPeriod":10})",
         "MZ installer", true},
        {"base64", R"({"version":"5.4.2","contentBase64":"TVqQAAMAAAAEAAAA//8AALgA"})",
         std::string("MZ\x90\0\x03\0\0\0\x04\0\0\0\xff\xff\0\0\xb8\0", 18), true},
        {"wrong checksum",
         R"({"version":"5.4.3","content":"MZ other","checksum":"00000000000000000000000000000000"})",
         "MZ other", false},
    };
    for (const UpgradeCase& c : cases) {
        SCOPED_TRACE(c.name);
        World(u"upgrade", U(std::string("{\"upgrade\":") + c.data + "}"));
        // The client's base: its auth URL cut before the "/" in front of "api".
        const Exchange e = Post(base_ + u"/s/mobile/v1/upgrade",
                                u"customerId=acme&type=Custom&model=windows&version=5.3.24", u"", 0);
        ASSERT_EQ(e.error, 0u);
        ASSERT_EQ(e.status, 200u) << e.answer;
        for (const char* key : {"version", "minVersion", "checksum", "url", "ignore", "checkingPeriod"}) {
            EXPECT_TRUE(e.Has(key)) << key;
        }
        EXPECT_EQ(sim_.Last(u"/t/" + tenant_ + u"/s/mobile/v1/upgrade", u"header&name=Content-Type"),
                  "application/x-www-form-urlencoded");

        CScratchFolder scratch;
        const std::u16string setup = scratch.Path(u"setup.exe");
        CHttpClient client;
        uint32_t status = 0;
        ASSERT_EQ(client.DownloadFile(U(e.Text(u"url")), setup, status), 0u);
        ASSERT_EQ(status, 200u);
        std::string bytes;
        ASSERT_TRUE(platform::ReadWholeFile(setup, bytes));
        EXPECT_TRUE(bytes == c.content);
        velora::CMd5 md5;
        for (std::size_t at = 0; at < bytes.size(); at += 5)
            md5.Update(bytes.data() + at, std::min<std::size_t>(5, bytes.size() - at));
        EXPECT_EQ(N(md5.FinishHex()) == e.Text(u"checksum"), c.checksumMatches) << e.Text(u"checksum");
    }
    World(u"upgradeinfo",
          uR"({"upgrade":{"version":"5.4.1","minVersion":"5.3.30","ignore":true,"checkingPeriod":10}})");
    const Exchange e = Post(base_ + u"/s/mobile/v1/upgrade",
                            u"customerId=acme&type=Custom&model=windows&version=5.3.24", u"", 0);
    EXPECT_EQ(e.Text(u"version"), "5.4.1");
    EXPECT_EQ(e.Text(u"minVersion"), "5.3.30");
    EXPECT_EQ(e.Bool(u"ignore"), 1);
    EXPECT_EQ(e.Int(u"checkingPeriod"), 10);
    EXPECT_EQ(e.Text(u"checksum").size(), 32u);

    World(u"upgradedown", uR"({"upgrade":{"status":500}})");
    EXPECT_EQ(Post(base_ + u"/s/mobile/v1/upgrade", u"customerId=acme", u"", 0).status, 500u);
}

struct ForbiddenCase {
    const char* name;
    const char* mode;  // the tenant's connect mode, connected first; empty: no connect
    const char16_t* path;
    std::u16string body;
    std::vector<std::u16string> lines;
    int json;
    uint32_t status;
    const char* says;  // part of the answer's message
};

// Every form the client must not send is refused before anything is answered or counted: 400 with a
// message that names the fault (404 for a path the service does not have), so a test that meets the
// refusal reads why.
TEST_P(OrchStandIn, RefusesEachForbiddenFormWithItsLine) {
    const std::u16string sn = u"sn:" + std::u16string(kSn), token = u"X-KX-AUTH-HEADER:tok-1",
                         type = u"type:windows";
    const std::vector<std::u16string> all = {sn, token, type};
    const std::u16string disconnectBody = u"{\"customerId\":12, \"sn\":\"" + std::u16string(kSn) + u"\"}";
    const ForbiddenCase cases[] = {
        {"connect without sn", "", u"/api/mobile/v2/connect", ConnectBody(), {token, type}, 1, 400,
         "no sn: line"},
        {"connect without type", "", u"/api/mobile/v2/connect", ConnectBody(), {sn, token}, 1, 400,
         "no type: line"},
        {"connect of another type", "", u"/api/mobile/v2/connect", ConnectBody(), {sn, token, u"type:linux"}, 1,
         400, "the type: line says \"linux\""},
        {"connect without token", "", u"/api/mobile/v2/connect", ConnectBody(), {sn, type}, 1, 400,
         "no X-KX-AUTH-HEADER: line"},
        {"connect as a form", "", u"/api/mobile/v2/connect", ConnectBody(), all, 0, 400,
         "the content type is \"application/x-www-form-urlencoded\""},
        {"connect body of no template", "", u"/api/mobile/v2/connect", u"{\"sn\":\"SN-ORCH-0001\"}", all, 1,
         400, "matches none of the client's templates"},
        {"connect body without the blanks", "", u"/api/mobile/v2/connect",
         u"{\"internalIp\":\"None\",\"deviceModel\":\"windows\",\"mobileVersion\":\"5\",\"sn\":\"SN-ORCH-0001\","
         u"\"needIpsecKey\":true,\"deviceSupportMode\":\"hybird\",\"supportFeature\":{\"supportHttps\":true,"
         u"\"supportIpFilterDownloadUrlV2\":true,\"supportHeartBeat\":true},\"clientDeviceInfo\":"
         u"{\"windows_32_bit\":false},\"connectExtraInfo\":{\"connectPopFailed\":false}}",
         all, 1, 400, "matches none"},
        {"connect body of another serial", "", u"/api/mobile/v2/connect", ConnectBody(),
         {u"sn:SN-OTHER", token, type}, 1, 400, "is not the sn: line's \"SN-OTHER\""},
        {"connect at a longer path", "", u"/x/api/mobile/v2/connect", ConnectBody(), all, 1, 404,
         "no answer for POST"},
        {"connect past the path", "", u"/api/mobile/v2/connect/x", ConnectBody(), all, 1, 404,
         "no answer for POST"},
        {"native heartbeat with a body", "NATIVE", u"/orch/heartbeat", u"{\"intranetMode\":true}", all, 1, 400,
         "the heartbeat of the NATIVE mode must have an empty body"},
        {"mobile-detect heartbeat without its body", "MOBILE_DETECT", u"/orch/heartbeat", u"", all, 1, 400,
         "must say {\"intranetMode\":true}"},
        {"heartbeat without sn", "NATIVE", u"/orch/heartbeat", u"", {token, type}, 1, 400, "no sn: line"},
        {"heartbeat without token", "VCPE", u"/orch/heartbeat", u"", {sn, type}, 1, 400,
         "no X-KX-AUTH-HEADER: line"},
        {"heartbeat as a form", "NATIVE", u"/orch/heartbeat", u"", all, 0, 400, "the content type is"},
        {"callback with a body", "NATIVE", u"/orch/callback", u"{}", all, 1, 400, "the body must be empty"},
        {"disconnect with a quoted customer", "", u"/api/mobile/v2/disconnect",
         u"{\"customerId\":\"12\", \"sn\":\"SN-ORCH-0001\"}", all, 1, 400, "is not a customer number"},
        {"disconnect with a name for a customer", "", u"/api/mobile/v2/disconnect",
         u"{\"customerId\":acme, \"sn\":\"SN-ORCH-0001\"}", all, 1, 400, "is not a customer number"},
        {"disconnect without the blank", "", u"/api/mobile/v2/disconnect",
         u"{\"customerId\":12,\"sn\":\"SN-ORCH-0001\"}", all, 1, 400, "does not match"},
        {"disconnect of another serial", "", u"/api/mobile/v2/disconnect", u"{\"customerId\":12, \"sn\":\"SN\"}",
         all, 1, 400, "is not the sn: line's"},
        {"disconnect without type", "", u"/api/mobile/v2/disconnect", disconnectBody, {sn, token}, 1, 400,
         "no type: line"},
        {"disconnect at a longer path", "", u"/orch/api/mobile/v2/disconnect", disconnectBody, all, 1, 404,
         "no answer for POST"},
        {"gateway check with the client's lines", "VCPE", u"/orch/check/vcpe", u"", {sn, type}, 0, 400,
         "carries a sn: line"},
        {"gateway check with the token", "DCPE", u"/orch/check/dcpe", u"", {token}, 0, 400,
         "carries a X-KX-AUTH-HEADER: line"},
        {"gateway check as JSON", "VCPE", u"/orch/check/vcpe", u"", {}, 1, 400, "the content type is"},
        {"gateway check with a body", "DCPE", u"/orch/check/dcpe", u"x=1", {}, 0, 400,
         "the body must be empty"},
        {"upload request without token", "", u"/api/mobile/v2/log/url", u"{}", {sn, type}, 1, 400,
         "no X-KX-AUTH-HEADER: line"},
        {"upgrade check as JSON", "", u"/s/mobile/v1/upgrade", u"customerId=12", {}, 1, 400,
         "the content type is"},
    };
    for (const ForbiddenCase& c : cases) {
        SCOPED_TRACE(c.name);
        World(u"forbidden", U(std::string("{\"tokens\":[\"tok-1\"],\"connect\":{\"mode\":\"") +
                              (*c.mode ? c.mode : "NATIVE") + "\"}}"));
        if (*c.mode) {
            ASSERT_EQ(Connect().status, 200u);
        }
        const char16_t* counters[] = {u"connects",      u"heartbeats",     u"callbackAcks", u"disconnects",
                                      u"checksTotal",   u"uploadRequests", u"upgradeChecks"};
        std::vector<int32_t> before;
        for (const char16_t* counter : counters) before.push_back(State().Int(counter));
        CHttpClient client;
        Exchange e;
        e.error = client.PostLines(base_ + c.path, c.body, e.answer, e.status, c.json, c.lines);
        ASSERT_EQ(e.error, 0u);
        EXPECT_EQ(e.status, c.status) << e.answer;
        std::string message = e.answer;  // the message holds quotes, JSON-escaped
        for (std::size_t at; (at = message.find("\\\"")) != std::string::npos;) message.erase(at, 1);
        EXPECT_NE(message.find(c.says), std::string::npos) << e.answer;
        if (c.status == 400) {
            EXPECT_EQ(e.Int(u"code"), 400);
        }
        const Exchange state = State();
        for (std::size_t i = 0; i < std::size(counters); ++i)
            EXPECT_EQ(state.Int(counters[i]), before[i]) << "a refused request counts as none";
        // The refusal is kept with its method and path (404s are no operation's).
        if (c.status == 400) {
            EXPECT_NE(state.answer.find("\"refusals\":[\"POST " + N(c.path) + ": "), std::string::npos)
                << state.answer;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Schemes, OrchStandIn, ::testing::Values("http", "https"));

}  // namespace
