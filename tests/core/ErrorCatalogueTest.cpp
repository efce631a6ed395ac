// The error catalogue: its parser on hostile texts, the special codes of the user text, and the
// download, the settings cache and its invalidation against the cloud stand-in.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "auth/ErrorCatalogue.h"
#include "core/Settings.h"
#include "platform/Text.h"
#include "support/SignInWorld.h"

namespace velora::test {
namespace {

using Map = std::map<int32_t, std::u16string>;

TEST(ErrorCatalogueParser, KeepsWhatItCanReadAndSkipsTheRest) {
    struct Case {
        const char* name;
        std::u16string text;
        Map english;
        Map chinese;
    };
    const Case cases[] = {
        {"entries one after another, last one kept by the appended comma",
         u"{\"error_Code\":1,\"en\":\"One\",\"cn\":\"一\"},\n{\"error_Code\":2,\"en\":\" Two \",\"cn\":\"\"}  ",
         {{1, u"One"}, {2, u"Two"}}, {{1, u"一"}}},
        {"an array loses its last entry to the bracket",
         u"[{\"error_Code\":1,\"en\":\"One\",\"cn\":\"x\"},{\"error_Code\":2,\"en\":\"Two\",\"cn\":\"y\"}]",
         {{1, u"One"}}, {{1, u"x"}}},
        {"the first entry of a code wins",
         u"{\"error_Code\":5,\"en\":\"First\",\"cn\":\"a\"},{\"error_Code\":5,\"en\":\"Second\",\"cn\":\"b\"}",
         {{5, u"First"}}, {{5, u"a"}}},
        {"unbalanced braces", u"{{{\"error_Code\":3,\"en\":\"Three\"}}},}}}{{{", {{3, u"Three"}}, {}},
        {"code of the wrong type", u"{\"error_Code\":\"7\",\"en\":\"Quoted\"},{\"error_Code\":true,\"en\":\"Bool\"}",
         {{0, u"Quoted"}}, {}},
        {"no code", u"{\"en\":\"Nothing\"},", {}, {}},
        {"empty", u"", {}, {}},
        {"only separators", u"},},},},", {}, {}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Map en{{99, u"stale"}};
        Map cn{{99, u"stale"}};
        ParseErrorCatalogue(k.text, en, cn);
        EXPECT_EQ(en, k.english);
        EXPECT_EQ(cn, k.chinese);
    }
}

TEST(ErrorCatalogueParser, TenMegabytesOfEntriesOrOfNothing) {
    std::u16string many;
    for (int i = 0; many.size() < 10u * 1024 * 1024; ++i) {
        many += u"{\"error_Code\":" + platform::Utf8ToUtf16(std::to_string(i)) + u",\"en\":\"e\",\"cn\":\"c\"},";
    }
    Map en;
    Map cn;
    ParseErrorCatalogue(many, en, cn);
    EXPECT_GT(en.size(), 200000u);
    ParseErrorCatalogue(std::u16string(10u * 1024 * 1024, u'{'), en, cn);
    EXPECT_TRUE(en.empty());
}

class ErrorCatalogueTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(world.Open(uR"({"customers":["12"],"errorCatalogue":{"version":"3","entries":[
            {"error_Code":1019,"en":"Locked for 30 minutes, 30 in all","cn":"锁定 30 分钟"},
            {"error_Code":401,"en":"Not signed in","cn":"未登录"},
            {"error_Code":1500,"en":" Quota full ","cn":"配额已满"}]}})"));
        authUrl = world.base + u"/api/mobile/v2/auth";
    }
    CSignInWorld world;
    std::u16string authUrl;
};

TEST_F(ErrorCatalogueTest, UserTextOfErrorAnswers) {
    loadErrorCatalogue(kErrorCataloguePath, authUrl);
    ASSERT_EQ(ErrorCatalogueVersionForTest(), u"3");
    struct Case {
        const char16_t* answer;
        const char16_t* text;
    };
    const Case cases[] = {
        {u"{\"code\":1999,\"message\":\"Bad request. Retry later\"}", u"1999 Bad request"},
        {u"{\"code\":1019,\"message\":\"x\",\"duration\":5}", u"1019 Locked for 5 minutes, 5 in all"},
        {u"{\"code\":1019,\"message\":\"x\"}", u"1019 Locked for 30 minutes, 30 in all"},
        {u"{\"code\":401,\"invalidReasonCode\":1,\"message\":\"x\"}", u"401 ChangePass"},
        {u"{\"code\":401,\"mobileBindDevice\":false,\"message\":\"x\"}", u"401 BindDevice"},
        {u"{\"code\":401,\"message\":\"x\"}", u"401 Not signed in"},
        {u"{\"code\":1500,\"message\":\"x\"}", u"1500 Quota full"},
        {u"{\"code\":4242,\"message\":\"Own words\"}", u"4242 Own words"},
        {u"{\"code\":4242}", u""},
        {u"{\"message\":\"no code\"}", u""},
        {u"", u""},
    };
    for (const Case& k : cases) EXPECT_EQ(serverErrorText(k.answer), k.text) << platform::Utf16ToUtf8(k.answer);
}

TEST_F(ErrorCatalogueTest, CacheServesTheSameRegionAndLanguageOnly) {
    loadErrorCatalogue(kErrorCataloguePath, authUrl);
    EXPECT_EQ(GetSetting(u"OrchErroResVersion", u""), u"3");
    const int downloads = std::atoi(world.sim.Last(world.Path(u"/static/error/catalogue-3.json"), u"count").c_str());
    EXPECT_EQ(downloads, 1);

    // A new process (memory forgotten) reads the cache without asking the service.
    ResetErrorCatalogueForTest();
    loadErrorCatalogue(kErrorCataloguePath, authUrl);
    EXPECT_EQ(ErrorCatalogueVersionForTest(), u"3");
    EXPECT_EQ(std::atoi(world.sim.Last(world.Path(u"/s/mobile/error/resource/url"), u"count").c_str()), 1);

    // Another language: the cache no longer fits and the catalogue is fetched again.
    SetSettingInt(u"LangId", 0x0804);
    ResetErrorCatalogueForTest();
    loadErrorCatalogue(kErrorCataloguePath, authUrl);
    EXPECT_EQ(std::atoi(world.sim.Last(world.Path(u"/s/mobile/error/resource/url"), u"count").c_str()), 2);
    EXPECT_EQ(serverErrorText(u"{\"code\":1500,\"message\":\"x\"}"), u"1500 Quota full");
}

TEST_F(ErrorCatalogueTest, FailedOrOversizedDownloadKeepsThePreviousCatalogue) {
    loadErrorCatalogue(kErrorCataloguePath, authUrl);
    // An answer announcing version 4 whose download fails, then one whose download is 10 MB.
    world.sim.Fault(u"{\"path\":\"" + world.Path(u"/static/error/catalogue-4.json") + u"\",\"kind\":\"fail\",\"status\":500,\"times\":1}");
    const std::u16string announce = u"{\"code\":401,\"message\":\"x\",\"errorResourceVersion\":\"4\",\"errorResourceDownloadUrl\":\"" +
                                    world.base + u"/static/error/catalogue-4.json\"}";
    EXPECT_EQ(serverErrorText(announce), u"401 Not signed in");
    EXPECT_EQ(ErrorCatalogueVersionForTest(), u"3");
    world.sim.Fault(u"{\"path\":\"" + world.Path(u"/static/error/catalogue-4.json") + u"\",\"kind\":\"huge-body\",\"size\":10485760,\"times\":1}");
    EXPECT_EQ(serverErrorText(announce), u"401 Not signed in");
    EXPECT_EQ(ErrorCatalogueVersionForTest(), u"3");
    EXPECT_EQ(GetSetting(u"OrchErroResVersion", u""), u"3");
}

}  // namespace
}  // namespace velora::test
