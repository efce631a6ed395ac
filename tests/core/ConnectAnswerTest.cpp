// The connect request and answer on their own: the URL rule, the three body templates byte for byte,
// the answer's values with their defaults, the mode an answer selects, and the engine's domain list.
#include <gtest/gtest.h>

#include <string>

#include "core/Settings.h"
#include "engine/ConnectAnswer.h"
#include "engine/NativeDataPath.h"
#include "platform/ProfileStore.h"
#include "platform/Text.h"

using namespace velora;

TEST(ConnectRequest, UrlReplacesTheLastSegment) {
    struct Case {
        const char16_t* authUrl;
        const char16_t* want;
    };
    const Case cases[] = {
        {u"https://orch.test:8443/api/mobile/v2/auth", u"https://orch.test:8443/api/mobile/v2/connect"},
        {u"https://Orch.Test/t/A%20b/api/auth", u"https://Orch.Test/t/A%20b/api/connect"},
        {u"https://orch.test/api/", u"https://orch.test/api/connect"},
        {u"no-slash-at-all", u"no-slash-at-all"},
        {u"", u""},
    };
    for (const Case& c : cases) EXPECT_EQ(ConnectUrl(c.authUrl), c.want) << std::u16string(c.authUrl).size();
}

TEST(ConnectRequest, BodyTemplatesKeepTheirSpacing) {
    struct Case {
        bool windows6, clientSpecify, popFailed;
        const char16_t* want;
    };
    const Case cases[] = {
        {false, false, false,
         u"{\"internalIp\":\"10.0.0.5\",\"deviceModel\":\"windows\",\"mobileVersion\":\"1.2.3.4\",\"sn\":"
         u"\"SN1\","
         u"\"needIpsecKey\":true,\"deviceSupportMode\":\"hybird\",\"supportFeature\":{\"supportHttps\":true, "
         u"\"supportIpFilterDownloadUrlV2\":true, \"supportHeartBeat\":true},\"clientDeviceInfo\":"
         u"{\"windows_32_bit\":false},\"connectExtraInfo\":{\"connectPopFailed\":false}}"},
        {false, true, true,
         u"{\"internalIp\":\"10.0.0.5\",\"deviceModel\":\"windows\",\"connectMode\":3,\"mobileVersion\":\"1."
         u"2.3.4\","
         u"\"sn\":\"SN1\",\"needIpsecKey\":true,\"deviceSupportMode\":\"hybird\",\"supportFeature\":"
         u"{\"supportHttps\":true, \"supportIpFilterDownloadUrlV2\":true, \"supportHeartBeat\":true},"
         u"\"clientDeviceInfo\":{\"windows_32_bit\":false},\"connectExtraInfo\":{\"connectPopFailed\":true,"
         u"\"useClientSpecifyMode\":true}}"},
        // An older system asks for the tunnel only, whatever the client-specify flag says.
        {true, true, false,
         u"{\"internalIp\":\"10.0.0.5\",\"deviceModel\":\"windows\",\"mobileVersion\":\"1.2.3.4\",\"sn\":"
         u"\"SN1\","
         u"\"needIpsecKey\":true,\"deviceSupportMode\":\"vpn\",\"supportFeature\":{\"supportHttps\":true,"
         u"\"supportIpFilterDownloadUrlV2\":true, \"supportHeartBeat\":true}, \"clientDeviceInfo\":"
         u"{\"windows_32_bit\":false},\"connectExtraInfo\":{\"connectPopFailed\":false}}"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ConnectBody(c.windows6, c.clientSpecify, u"10.0.0.5", u"1.2.3.4", u"SN1", c.popFailed),
                  c.want);
    }
    // A "%" in a value stays a character of the value.
    EXPECT_NE(
        ConnectBody(false, false, u"None", u"1%s%d", u"SN1", false).find(u"\"mobileVersion\":\"1%s%d\""),
        std::u16string::npos);
}

TEST(ConnectAnswerParse, ValuesAndDefaults) {
    const ConnectAnswer full = ParseConnectAnswer(
        uR"({"resultCode":0,"connectMode":"vcpe","mobileDetect":false,"heartbeatUrl":"https://o.test/hb",
            "heartbeatInterval":15,"mobileDetectMaxInvalidTime":90000,
            "mobileTrafficDownloadUrl":"https://o.test/f/s1/3/list","siteTemplateId":"s1","mobileTrafficVersion":3,
            "popIpsEnable":true,"remoteIps":["10.1.0.0/16","10.2.0.1"],"lanAssignIp":"172.16.0.9",
            "allowClientSpecifyMode":true,"orchId":4,"cpeId":1001,"orchDomains":["o.test","p.test"],
            "commuServerAddr":"c.o.test:4433"})");
    EXPECT_EQ(full.connectMode, u"vcpe");
    EXPECT_EQ(full.heartbeatUrl, u"https://o.test/hb");
    EXPECT_EQ(full.heartbeatInterval, 15);
    EXPECT_EQ(full.mobileDetectMaxInvalidTime, 90000);
    EXPECT_EQ(full.mobileTrafficDownloadUrl, u"https://o.test/f/s1/3/list");
    EXPECT_EQ(full.siteTemplateId, u"s1");
    EXPECT_EQ(full.mobileTrafficVersion, 3);
    EXPECT_TRUE(full.popIpsEnable);
    EXPECT_EQ(full.remoteIps, u"10.1.0.0/16,10.2.0.1");
    EXPECT_EQ(full.lanAssignIp, u"172.16.0.9");
    EXPECT_TRUE(full.allowClientSpecifyMode);
    EXPECT_EQ(full.cpeId, 1001);
    EXPECT_EQ(full.orchDomains, u"o.test,p.test");
    EXPECT_EQ(full.commuServerAddr, u"c.o.test:4433");

    struct Case {
        const char* what;
        const char16_t* answer;
    };
    // Answers that lack the values or hold them in other types read as the defaults.
    const Case defaults[] = {
        {"empty", u""},
        {"no keys", u"{}"},
        {"not JSON", u"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaz"},
        {"wrong types",
         uR"({"mobileDetect":"yes","popIpsEnable":2,
              "allowClientSpecifyMode":"maybe","cpeId":"x1","mobileTrafficVersion":"v"})"},
    };
    for (const Case& c : defaults) {
        SCOPED_TRACE(c.what);
        const ConnectAnswer a = ParseConnectAnswer(c.answer);
        EXPECT_EQ(a.heartbeatInterval, kDefaultHeartbeatInterval);
        EXPECT_EQ(a.mobileDetectMaxInvalidTime, kDefaultMobileDetectMaxInvalid);
        EXPECT_EQ(a.connectMode, u"NATIVE");
        EXPECT_FALSE(a.mobileDetect);
        EXPECT_FALSE(a.popIpsEnable);
        EXPECT_FALSE(a.allowClientSpecifyMode);
        EXPECT_EQ(a.mobileTrafficDownloadUrl, u"");
        EXPECT_EQ(a.heartbeatUrl, u"");
        EXPECT_LE(a.cpeId, 0);
        EXPECT_LE(a.mobileTrafficVersion, 0);
    }
}

// Heartbeat values below 1 are the orchestrator's to send: they are stored as sent, and the monitors
// handle them where they use them (every pass waits, so a heartbeat in every pass is no busy loop).
TEST(ConnectAnswerParse, HeartbeatValuesBelowOneAreKeptAsSent) {
    struct Case {
        const char16_t* answer;
        int32_t interval;
        int32_t maxInvalid;
    };
    const Case cases[] = {
        {uR"({"heartbeatInterval":0,"mobileDetectMaxInvalidTime":0})", 0, 0},
        {uR"({"heartbeatInterval":-5,"mobileDetectMaxInvalidTime":-120000})", -5, -120000},
        {uR"({"heartbeatInterval":1,"mobileDetectMaxInvalidTime":1})", 1, 1},
        // A quoted value reads as 0, and is kept as that.
        {uR"({"heartbeatInterval":"ten","mobileDetectMaxInvalidTime":"x"})", 0, 0},
    };
    for (const Case& c : cases) {
        const ConnectAnswer a = ParseConnectAnswer(c.answer);
        EXPECT_EQ(a.heartbeatInterval, c.interval) << platform::Utf16ToUtf8(c.answer);
        EXPECT_EQ(a.mobileDetectMaxInvalidTime, c.maxInvalid) << platform::Utf16ToUtf8(c.answer);
    }
}

TEST(ConnectAnswerParse, ModeChoice) {
    struct Case {
        const char16_t* answer;
        ConnectionMode want;
    };
    const Case cases[] = {
        {uR"({"connectMode":"NATIVE"})", NATIVE},
        {uR"({"connectMode":"vcpe"})", VCPE},
        {uR"({"connectMode":"Dcpe"})", DCPE},
        {uR"({"connectMode":"DCPE","mobileDetect":true})", MOBILE_DETECT},
        {uR"({"mobileDetect":TRUE,"connectMode":"VCPE"})", MOBILE_DETECT},
        {uR"({"connectMode":"SATELLITE"})", NATIVE},
        {uR"({"connectMode":"MOBILE_DETECT"})", NATIVE},
        {uR"({"connectMode":3})", NATIVE},
        {u"{}", NATIVE},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ChooseConnectionMode(ParseConnectAnswer(c.answer)), c.want) << c.want;
}

TEST(ConnectAnswerParse, EngineDomainList) {
    ASSERT_TRUE(platform::ClearProfileForTest());
    struct Case {
        const char16_t* authUrl;
        const char16_t* heartbeatUrl;
        const char16_t* want;
    };
    const Case cases[] = {
        {u"https://orch.test/api/mobile/v2/auth", u"https://orch.test/orch/heartbeat", u"orch.test"},
        {u"https://orch.test:8443/api/auth", u"https://hb.test:9443/orch/heartbeat", u"orch.test,hb.test"},
        {u"https://orch.test/api/auth", u"", u"orch.test"},
        {u"not a url", u"https://hb.test/x", u",hb.test"},
        {u"", u"", u""},
    };
    for (const Case& c : cases) {
        SetSetting(u"AuthUrl", c.authUrl);
        SetSetting(u"HeartbeatUrl", c.heartbeatUrl);
        EXPECT_EQ(OrchDomainList(), c.want) << std::u16string(c.authUrl).size();
    }
    SetSetting(u"AuthUrl", u"");
    SetSetting(u"HeartbeatUrl", u"");
}
