// The tunnel fields of the orchestrator's answers with their defaults, the VCPE liveness test on the
// check answer, the route rule by ipSetMode, and the dial-up entry's fields and option bits.
#include <gtest/gtest.h>

#include "engine/TunnelValues.h"

using namespace velora;

TEST(TunnelValues, VcpeFieldsAndDefaults) {
    const VcpeValues full = ReadVcpeValues(
        uR"({"vgwIp":"192.0.2.10","publicIp":"198.51.100.7","checkStatusUrl":"http://127.0.0.1/c",)"
        uR"("checkRepeatTimes":3,"specialCaseCode":1,"ipsecName":"n","ipsecPassword":"p","psk":"k"})");
    EXPECT_EQ(full.vgwIp, u"192.0.2.10");
    EXPECT_EQ(full.publicIp, u"198.51.100.7");
    EXPECT_EQ(full.plan.checkStatusUrl, u"http://127.0.0.1/c");
    EXPECT_EQ(full.plan.checkRepeatTimes, 3);
    EXPECT_EQ(full.plan.specialCaseCode, 1);
    EXPECT_EQ(full.credentials.ipsecName, u"n");
    EXPECT_EQ(full.credentials.ipsecPassword, u"p");
    EXPECT_EQ(full.credentials.psk, u"k");

    const VcpeValues empty = ReadVcpeValues(u"{}");
    EXPECT_EQ(empty.vgwIp, u"");
    EXPECT_EQ(empty.publicIp, u"");
    EXPECT_EQ(empty.plan.checkStatusUrl, u"");
    EXPECT_EQ(empty.plan.checkRepeatTimes, 8);
    EXPECT_EQ(empty.plan.specialCaseCode, 0);
    EXPECT_EQ(empty.credentials.ipsecName, u"qzvp");
    EXPECT_EQ(empty.credentials.ipsecPassword, u"qzvp");
    EXPECT_EQ(empty.credentials.psk, u"mordalvtrx");

    EXPECT_EQ(ReadTunnelCheckPlan(uR"({"checkRepeatTimes":-2})").checkRepeatTimes, -2);
}

TEST(TunnelValues, DcpeCheckAnswers) {
    struct Case {
        const char16_t* answer;
        const char16_t* popIp;
        int32_t statusCode;
        bool live;
    };
    const Case cases[] = {
        {uR"({"popIp":"192.0.2.20","statusCode":0})", u"192.0.2.20", 0, true},
        {uR"({"popIp":"192.0.2.20"})", u"192.0.2.20", 1, false},  // no statusCode: default 1
        {uR"({"statusCode":0})", u"", 0, false},                  // no popIp
        {uR"({"popIp":"","statusCode":0})", u"", 0, false},
        {uR"({"popIp":"192.0.2.20","statusCode":2})", u"192.0.2.20", 2, false},
        {u"not json at all", u"", 1, false},
    };
    for (const Case& c : cases) {
        const DcpeCheckValues values = ReadDcpeCheckValues(c.answer);
        SCOPED_TRACE(std::string(values.popIp.begin(), values.popIp.end()));
        EXPECT_EQ(values.popIp, c.popIp);
        EXPECT_EQ(values.statusCode, c.statusCode);
        EXPECT_EQ(IsDcpeGatewayLive(values), c.live);
    }
    const DcpeCheckValues credentials =
        ReadDcpeCheckValues(uR"({"ipsecName":"d-user","ipsecPassword":"d-pass","psk":"d-psk"})");
    EXPECT_EQ(credentials.credentials.ipsecName, u"d-user");
    EXPECT_EQ(credentials.credentials.ipsecPassword, u"d-pass");
    EXPECT_EQ(credentials.credentials.psk, u"d-psk");
}

TEST(TunnelValues, VcpeLiveWhenTheFourLettersAppearAnywhere) {
    struct Case {
        const char* answer;
        bool live;
    };
    const Case cases[] = {
        {"true", true},     {"{\"active\":true}", true},
        {"untrue", true},   {"trust", false},
        {"trueness", true}, {"false", false},
        {"", false},        {"TRUE", false},
        {"tru e", false},   {"{\"ok\":1}", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsVcpeGatewayLive(c.answer), c.live) << c.answer;
}

TEST(TunnelValues, RouteRuleByIpSetMode) {
    struct Case {
        int32_t mode;
        const char16_t* white;
        const char16_t* black;
        bool wanted;
    };
    const Case cases[] = {
        {1, u"10.0.0.0/8", u"", true},  {1, u"", u"10.0.0.0/8", false},
        {-1, u"", u"10.0.0.0/8", true}, {-1, u"10.0.0.0/8", u"", false},
        {0, u"", u"10.0.0.0/8", true},  {0, u"10.0.0.0/8", u"", true},
        {0, u"", u"", false},           {99, u"10.0.0.0/8", u"10.1.0.0/16", false},
        {2, u"10.0.0.0/8", u"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TunnelRoutesWanted(c.mode, c.white, c.black), c.wanted) << "mode " << c.mode;
}

TEST(TunnelValues, EntryFieldsAndOptionBits) {
    const platform::DialUpEntry full = TunnelEntryFor(u"192.0.2.10", u"");
    EXPECT_EQ(full.type, 2u);
    EXPECT_EQ(full.networkProtocols, 4u);
    EXPECT_EQ(full.encryptionType, 3u);
    EXPECT_EQ(full.localPhoneNumber, u"192.0.2.10");
    EXPECT_EQ(full.deviceType, u"vpn");
    EXPECT_EQ(full.vpnStrategy, 3u);
    EXPECT_EQ(full.options, 0x400u | 0x10u) << "no tunnel list: the default route goes through the tunnel";
    EXPECT_EQ(full.options2, 0x10u | 0x10000u);
    EXPECT_EQ(full.ipv4InterfaceMetric, 1u);
    EXPECT_EQ(full.networkOutageTime, 60u);

    const platform::DialUpEntry split = TunnelEntryFor(u"192.0.2.10", u"10.10.0.0/16");
    EXPECT_EQ(split.options, 0x400u);
    EXPECT_EQ(split.options2, 0x10u | 0x10000u | 0x80000u);
}
