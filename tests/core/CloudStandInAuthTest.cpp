// The cloud stand-in's sign-in and factor operations against the protocol, with hand-made requests: they
// ask for the device's header lines, decode each credential once, keep the written order of an answer's
// keys and signal an unbound device as the service does. A stand-in that forgave mistakes would hide them.
#include <gtest/gtest.h>

#include <string>

#include "core/HttpClient.h"
#include "support/FactorFixture.h"

namespace velora {
namespace {

using test::FactorFixture;
using test::U8;

class CloudStandInAuthTest : public FactorFixture {
protected:
    struct Answer {
        uint32_t status = 0;
        std::string body;
    };
    Answer Post(std::u16string_view path, std::u16string_view body, std::u16string_view h1 = u"",
                std::u16string_view h2 = u"", std::u16string_view h3 = u"") {
        CHttpClient client;
        Answer a;
        EXPECT_EQ(client.PostText(root_ + std::u16string(path), body, a.body, a.status, 1, h1, h2, h3), 0u);
        return a;
    }
};

TEST_F(CloudStandInAuthTest, FactorOperationsAskForTheDeviceLines) {
    UseTenant(
        uR"({"factors":{"sms":{"code":"246810","accounts":[{"accountName":"bob","password":"pw-1",
        "phoneNumber":"13800000000"}]},"password":{"current":"old-1","tokens":["tok-1"]}}})");
    struct Case {
        const char* name;
        const char16_t* path;
        const char16_t* body;
        const char16_t* extra;  // a further line the operation needs
    } cases[] = {
        {"SMS send", u"/api/mobile/v2/verification/send",
         u"{\"phoneNumber\":\"13800000000\",\"customerId\":1,\"accountName\":\"bob\"}", u"middleToken:mt-1"},
        {"SMS verify", u"/api/mobile/v2/auth",
         u"{\"password\":\"pw-1\",\"customerId\":1,\"accountName\":\"bob\",\"verification\":\"1\"}", u""},
        {"code exchange", u"/api/mobile/v2/auth",
         u"{\"authorizationCode\":\"x\",\"redirectUri\":\"com.halvane://redirect\",\"customerId\":1}", u""},
        {"password change", u"/api/mobile/v2/resetpassword",
         u"{\"oldPassword\":\"old-1\",\"newPassword\":\"n\"}", u"X-KX-AUTH-HEADER:tok-1"},
        {"sign-out", u"/api/mobile/v2/signout", u"", u"X-KX-AUTH-HEADER:tok-1"},
    };
    const std::u16string sn = u"sn:0123456789ABCDEF0123456789ABCDEF";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& [first, second] :
             {std::pair<std::u16string, std::u16string>{sn, u""},
              std::pair<std::u16string, std::u16string>{u"", u"type:windows"}}) {
            const Answer a = Post(c.path, c.body, first, second, c.extra);
            EXPECT_EQ(a.status, 400u) << a.body;
            EXPECT_NE(a.body.find("Missing device headers"), std::string::npos) << a.body;
        }
        const Answer a = Post(c.path, c.body, sn, u"type:windows", c.extra);
        EXPECT_EQ(a.body.find("Missing device headers"), std::string::npos) << a.body;
    }
    // The SMS send belongs to a sign-in: without its middle token it is refused.
    const Answer a = Post(cases[0].path, cases[0].body, sn, u"type:windows");
    EXPECT_EQ(a.status, 400u) << a.body;
}

TEST_F(CloudStandInAuthTest, CredentialsAreDecodedOnceAndAnswersKeepTheirOrder) {
    UseTenant(
        uR"({"customers":["12"],"accounts":[
        {"customerId":"12","name":"corp\\al","password":"p\\w"},
        {"customerId":"12","name":"otto","password":"secret4","otpSecret":"JBSWY3DPEHPK3PXP"}]})");
    const std::u16string sn = u"sn:0123456789ABCDEF0123456789ABCDEF";
    struct Case {
        const char* name;
        const char16_t* body;
        uint32_t status;
        const char* starts;  // the answer's beginning
    } cases[] = {
        {"escaped once", uR"({"password":"p\\w","customerId":12,"accountName":"corp\\al"})", 200,
         "{\"X-KX-AUTH-HEADER\":\"tok-"},
        {"name escaped twice", uR"({"password":"p\\w","customerId":12,"accountName":"corp\\\\al"})", 401,
         "{\"code\":1007,"},
        {"password escaped twice", uR"({"password":"p\\\\w","customerId":12,"accountName":"corp\\al"})", 401,
         "{\"code\":1007,"},
        {"one-time password step", uR"({"password":"secret4","customerId":12,"accountName":"otto"})", 200,
         "{\"otpMiddleToken\":\"otp-"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Answer a = Post(u"/api/mobile/v2/auth", c.body, sn, u"", u"type:windows");
        EXPECT_EQ(a.status, c.status) << a.body;
        EXPECT_EQ(a.body.rfind(c.starts, 0), 0u) << a.body;
    }
}

TEST_F(CloudStandInAuthTest, UnboundDeviceIsSignalledByTheBindingFlag) {
    UseTenant(
        uR"({"factors":{"sms":{"code":"246810","accounts":[{"accountName":"bob","password":"pw-1",
        "phoneNumber":"13800000000","bindDevice":true}]}}})");
    const std::u16string sn = u"sn:0123456789ABCDEF0123456789ABCDEF";
    Post(u"/api/mobile/v2/verification/send", u"{\"phoneNumber\":\"13800000000\",\"customerId\":1}",
         u"middleToken:mt-1", sn, u"type:windows");
    const Answer a =
        Post(u"/api/mobile/v2/auth",
             u"{\"password\":\"pw-1\",\"customerId\":1,\"accountName\":\"bob\",\"verification\":\"246810\"}",
             sn, u"type:windows");
    EXPECT_EQ(a.status, 401u);
    EXPECT_EQ(a.body.rfind("{\"code\":401,", 0), 0u) << a.body;
    EXPECT_NE(a.body.find("\"mobileBindDevice\":false"), std::string::npos) << a.body;
    EXPECT_EQ(a.body.find("\"message\":\"BindDevice\""), std::string::npos) << "no message text stands in for the flag";
}

}  // namespace
}  // namespace velora
