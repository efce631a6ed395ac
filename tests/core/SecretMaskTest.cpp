// The one masker of secrets: every key of its list is masked in each form it stands in (JSON string value,
// query parameter, header line), values that are no secret are left alone, stored secrets are masked as
// bare values in the bundle, and the client log masks every line it writes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Log.h"
#include "core/SecretMask.h"
#include "platform/Text.h"
#include "support/LogFiles.h"

namespace velora {
namespace {

std::string Narrow(std::u16string_view text) {
    return platform::Utf16ToUtf8(text);
}

std::u16string Upper(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& c : out) {
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    }
    return out;
}

// Walks the list: each key's value is masked as JSON (as written and in capitals, with blanks around the
// colon, escaped quotes inside, cut short at the end of the text) and as a query parameter; header keys
// also as header lines. The text around the value survives.
TEST(SecretMask, EveryKeyOfTheListIsMaskedInEachForm) {
    ASSERT_FALSE(SecretKeys().empty());
    for (const SecretKey& key : SecretKeys()) {
        const std::u16string k(key.name);
        SCOPED_TRACE(Narrow(k));
        struct Form {
            std::u16string text;
            std::u16string expected;
        };
        std::vector<Form> forms = {
            {u"{\"" + k + u"\":\"s3cr3t\",\"x\":1}", u"{\"" + k + u"\":\"***\",\"x\":1}"},
            {u"{\"" + Upper(k) + u"\" : \"s3cr3t\"}", u"{\"" + Upper(k) + u"\" : \"***\"}"},
            {u"{\"a\":1,\"" + k + u"\":\"s3\\\"cr\\\\3t\",\"b\":\"" + k + u"\"}",
             u"{\"a\":1,\"" + k + u"\":\"***\",\"b\":\"" + k + u"\"}"},
            {u"answer {\"" + k + u"\":\"s3cr3", u"answer {\"" + k + u"\":\"***"},
            {u"https://h/cb?" + k + u"=s3cr3t&next=1", u"https://h/cb?" + k + u"=***&next=1"},
            {u"https://h/cb?a=1&" + k + u"=s3cr3t", u"https://h/cb?a=1&" + k + u"=***"},
        };
        if (key.headerLine) {
            forms.push_back({k + u":s3cr3t\r\nsn:1", k + u":***\r\nsn:1"});
            forms.push_back({u"headers " + k + u": s3cr3t, type:windows", u"headers " + k + u": ***, type:windows"});
        }
        for (const Form& form : forms) {
            const std::u16string masked = MaskSecrets(form.text);
            EXPECT_EQ(masked, form.expected) << Narrow(form.text);
            EXPECT_EQ(masked.find(u"s3cr3"), std::u16string::npos) << Narrow(form.text);
        }
    }
}

TEST(SecretMask, LeavesWhatIsNoSecret) {
    const std::u16string_view kept[] = {
        u"{\"code\":401,\"invalidReasonCode\":1,\"message\":\"refused\"}",  // numbers are no secrets
        u"{\"key\":\"MIIBIjANBg\",\"customerId\":\"12\",\"accountName\":\"alice\"}",  // the public key
        u"{\"psk\":\"\"}",                                                              // empty reveals nothing
        u"{\"otpMiddleTokenX\":\"v\",\"mytoken\":\"v\"}",                                // other keys
        u"Failed to get ifIndex error code=5, result code: 12",                        // plain words
        u"2017 Invalid password",
        u"Xtoken:abc and errcode=7",
    };
    for (std::u16string_view text : kept) EXPECT_EQ(MaskSecrets(text), text) << Narrow(text);
}

TEST(SecretMask, StoredSecretsAreMaskedWhereverTheyStand) {
    const std::vector<std::u16string> stored = {u"s3cr3t-token", u"abc"};
    struct Case {
        std::u16string text;
        std::u16string expected;
    };
    const Case cases[] = {
        {u"token s3cr3t-token twice s3cr3t-token", u"token *** twice ***"},
        {u"engine -t s3cr3t-token -s 1", u"engine -t *** -s 1"},
        {u"short abc stays (too short to search for bare)", u"short abc stays (too short to search for bare)"},
        {u"{\"token\":\"t\",\"password\" : \"p\\\"q\",\"ipsecPassword\":\"i\",\"psk\":\"k\"}",
         u"{\"token\":\"***\",\"password\" : \"***\",\"ipsecPassword\":\"***\",\"psk\":\"***\"}"},
    };
    for (const Case& c : cases) EXPECT_EQ(MaskSecrets(c.text, stored), c.expected) << Narrow(c.text);
}

TEST(SecretMask, UrlParameterOfAConfiguredName) {
    EXPECT_EQ(MaskUrlParameter(u"com.halvane://redirect?auth_code=xyz&state=1", u"auth_code"),
              u"com.halvane://redirect?auth_code=***&state=1");
    EXPECT_EQ(MaskUrlParameter(u"com.halvane://redirect?my_auth_code=xyz", u"auth_code"),
              u"com.halvane://redirect?my_auth_code=xyz");
    EXPECT_EQ(MaskUrlParameter(u"a?b=1", u""), u"a?b=1");
}

// The log masks every line it writes, whoever logs a request or an answer.
TEST(SecretMask, TheLogMasksEveryLine) {
    test::CLogCapture log;
    LogDebug(u"answer {\"X-KX-AUTH-HEADER\":\"tok-abc\",\"psk\":\"psk-abc\"}");
    LogAtLevel(u"request {\"password\":\"pw-abc\"}", kLogInfo);
    LogFormat(u"headers %s", std::u16string(u"X-KX-AUTH-HEADER:tok-abc"));
    const std::string text = log.Text();
    for (const char* secret : {"tok-abc", "psk-abc", "pw-abc"})
        EXPECT_EQ(text.find(secret), std::string::npos) << secret << " in " << text;
    EXPECT_NE(text.find("answer {\"X-KX-AUTH-HEADER\":\"***\",\"psk\":\"***\"}"), std::string::npos) << text;
    EXPECT_NE(text.find("[INFO] request {\"password\":\"***\"}"), std::string::npos) << text;
}

}  // namespace
}  // namespace velora
