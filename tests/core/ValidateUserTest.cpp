// ValidateUser signs in for real against the cloud stand-in and leaves exactly the settings it should.
#include <gtest/gtest.h>

#include "ApiTestSupport.h"
#include "support/SignInWorld.h"

namespace velora::test {
namespace {

class ValidateUserTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(world.Open());
        ASSERT_EQ(ApiInit(nullptr, nullptr), 1);
    }
    CSignInWorld world;
    char16_t buffer[128] = {};
};

TEST_F(ValidateUserTest, PasswordAndPolledAccountsSignIn) {
    for (const char16_t* name : {u"alice", u"polly"}) {
        const std::u16string password = name == std::u16string(u"alice") ? u"secret1" : u"secret2";
        ASSERT_EQ(ApiValidateUser(u"12", name, password.c_str(), buffer, 128), 0u) << platform::Utf16ToUtf8(buffer);
        EXPECT_EQ(std::u16string(buffer), u"");
        EXPECT_EQ(GetSetting(u"Username", u""), name);
        EXPECT_EQ(GetSetting(u"Password", u""), u"*******");
        EXPECT_EQ(GetSetting(u"CustomerId", u""), u"12");
        EXPECT_EQ(GetSetting(u"AuthUrl", u""), world.base + u"/api/mobile/v2/auth");
        EXPECT_EQ(GetSetting(u"AuthToken", u"").substr(0, 4), u"tok-");
    }
}

TEST_F(ValidateUserTest, FailuresClearTheStoredCredentials) {
    ASSERT_EQ(ApiValidateUser(u"12", u"alice", u"secret1", buffer, 128), 0u);
    struct Case {
        const char16_t* customer;
        const char16_t* name;
        const char16_t* password;
        uint32_t code;
        const char16_t* message;
    };
    const Case cases[] = {
        {u"12", u"alice", u"wrong-1", 401, u"1007 Wrong user name or password"},
        {u"77", u"alice", u"secret1", 2001, u"2001 Unknown customer"},
        {u"12", u"sam", u"secret3", 50, u"Not supported"},
        {u"12", u"otto", u"secret4", 50, u"Not supported"},
    };
    for (const Case& k : cases) {
        SetSetting(u"AuthToken", u"old-token");
        EXPECT_EQ(ApiValidateUser(k.customer, k.name, k.password, buffer, 128), k.code);
        EXPECT_EQ(std::u16string(buffer), k.message);
        EXPECT_EQ(GetSetting(u"AuthToken", u"?"), u"");
        EXPECT_EQ(GetSetting(u"Password", u"?"), u"");
    }
}

}  // namespace
}  // namespace velora::test
