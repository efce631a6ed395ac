// The traffic filter list's own rules on both builds: the version key of a URL, the display form of a
// list, the skip check against the stored digest and version (with a document beyond ASCII, whose digest
// must be taken over the same bytes on both sides), the cached file, and the download failures against
// the cloud stand-in over HTTP and HTTPS. (Downloads the helper service installs: FilterListHostTest and
// FilterListWinTest.)
#include <gtest/gtest.h>

#include <string>

#include "core/CryptoHelpers.h"
#include "core/Settings.h"
#include "core/TextHelpers.h"
#include "engine/EngineState.h"
#include "engine/FilterList.h"
#include "platform/Files.h"
#include "platform/Http.h"
#include "support/CloudSim.h"
#include "support/LogFiles.h"

using namespace velora;

namespace {

// The engine's filter fields as a fresh process has them.
void ResetFilterState() {
    EngineState& state = GetEngineState();
    state.filterText.clear();
    state.ipSetMode = 99;
    state.whiteIpSet.clear();
    state.blackIpSet.clear();
}

}  // namespace

TEST(FilterList, VersionKeyOfAUrl) {
    struct Case {
        std::u16string_view url, key;
    } const cases[] = {
        {u"https://127.0.0.1:8443/t/x/orch/filter/site/12/list", u"/site/12"},
        {u"/s1/7/list", u"/s1/7"},
        {u"http://h/a", u"//h"},  // three "/": from the first up to the last
        {u"a/b/c", u""},
        {u"list", u""},
        {u"", u""},
        {u"https://h/s1/7/", u"/s1/7"},
    };
    for (const Case& c : cases) EXPECT_EQ(FilterVersionKey(c.url), c.key) << Utf16ToUtf8(c.url);
}

TEST(FilterList, DisplayForm) {
    EXPECT_EQ(ShortenForDisplay(u"10.0.0.0/8,1.2.3.4/32", 1033), u"10.0.0.0/8,1.2.3.4/3...");
    EXPECT_EQ(ShortenForDisplay(u"10.0.0.0/8,1.2.3.4/3", 1033), u"10.0.0.0/8,1.2.3.4/3");  // exactly 20
    EXPECT_EQ(ShortenForDisplay(u"1.1.1.1,2.2.2.2,3.3.3.3/24", 2052), u"1.1.1.1,2.2.2.2,3.3....");
    EXPECT_EQ(ShortenForDisplay(u"", 1033), u"none");
    EXPECT_EQ(ShortenForDisplay(u"", 2052), u"\u65E0");
}

// The digest the download stores is over the UTF-8 bytes as received; the check hashes the same bytes, so
// a list with characters beyond ASCII counts as current.
TEST(FilterList, SkipCheck) {
    const std::u16string document =
        u"{\"ipSetMode\":1,\"whiteIpSet\":[\"10.0.0.0/8\"],\"blackIpSet\":[],\"note\":\"caf\u00E9 "
        u"\u7F51\u7EDC 100%\"}";
    const std::u16string digest = SaltedMd5Hex(Utf16ToUtf8(document));
    struct Case {
        const char* what;
        std::u16string_view text;
        std::u16string verify;  // owned: some cases compute their digest in place
        std::u16string_view version, url, site;
        int32_t trafficVersion;
        bool current;
    } const cases[] = {
        {"announced key matches", document, digest, u"/s1/7", u"https://h/f/x/y/list", u"s1", 7, true},
        {"version -1: the URL's key", document, digest, u"/s1/7", u"https://h/f/s1/7/list", u"s1", -1, true},
        {"no site: the URL's key", document, digest, u"/s1/7", u"https://h/f/s1/7/list", u"", 7, true},
        {"URL's key differs", document, digest, u"/s1/7", u"https://h/f/s1/8/list", u"", -1, false},
        {"announced version differs", document, digest, u"/s1/7", u"https://h/f/s1/7/list", u"s1", 8, false},
        {"no cached text", u"", SaltedMd5Hex(""), u"/s1/7", u"https://h/f/s1/7/list", u"s1", 7, false},
        {"digest differs", document, SaltedMd5Hex("{}"), u"/s1/7", u"https://h/f/s1/7/list", u"s1", 7, false},
        {"both keys empty", document, digest, u"", u"list", u"", -1, false},
    };
    for (const Case& c : cases) {
        GetEngineState().filterText = std::u16string(c.text);
        SetSetting(u"FilterVerify", c.verify);
        SetSetting(u"FilterVersion", c.version);
        EXPECT_EQ(IsFilterListCurrent(c.url, c.site, c.trafficVersion), c.current) << c.what;
    }
    ResetFilterState();
}

TEST(FilterList, CachedFile) {
    velora::test::CScratchFolder folder;
    const std::u16string dir = folder.Path() + std::u16string(1, platform::kPathSeparator);
    ResetFilterState();
    LoadCachedFilterListFrom(dir);  // no file: nothing changes
    EXPECT_EQ(GetEngineState().filterText, u"");
    EXPECT_EQ(GetEngineState().ipSetMode, 99);

    velora::test::WriteBytes(
        folder.Path(u"filterConfig.conf"),
        "{\"ipSetMode\":-1,\"whiteIpSet\":[],\"blackIpSet\":[\"1.2.3.0/24\",\"5.6.7.8\"]}\r\n"
        "second line\r\n");
    LoadCachedFilterListFrom(dir);
    const EngineState& state = GetEngineState();
    EXPECT_EQ(state.filterText,
              u"{\"ipSetMode\":-1,\"whiteIpSet\":[],\"blackIpSet\":[\"1.2.3.0/24\",\"5.6.7.8\"]}");
    EXPECT_EQ(state.ipSetMode, -1);
    EXPECT_EQ(state.whiteIpSet, u"");
    EXPECT_EQ(state.blackIpSet, u"1.2.3.0/24,5.6.7.8");

    // An empty first line empties the text but keeps the lists.
    velora::test::WriteBytes(folder.Path(u"filterConfig.conf"), "\r\n{\"ipSetMode\":1}\r\n");
    LoadCachedFilterListFrom(dir);
    EXPECT_EQ(state.filterText, u"");
    EXPECT_EQ(state.ipSetMode, -1);
    EXPECT_EQ(state.blackIpSet, u"1.2.3.0/24,5.6.7.8");

    // The service writes single-byte text; a file that is not UTF-8 reads back byte for character, one
    // that is UTF-8 as UTF-8: both give the document as downloaded.
    for (const std::string& bytes :
         {std::string("{\"n\":\"Caf\xE9\"}\r\n"), std::string("{\"n\":\"Caf\xC3\xA9\"}")}) {
        velora::test::WriteBytes(folder.Path(u"filterConfig.conf"), bytes);
        LoadCachedFilterListFrom(dir);
        EXPECT_EQ(state.filterText, u"{\"n\":\"Caf\u00E9\"}");
    }
    ResetFilterState();
}

class FilterDownload : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim_.Open());
        ASSERT_TRUE(platform::TrustRootCertificateForTest(velora::test::CCloudSimAccess::CaFile()));
    }
    velora::test::CCloudSimAccess sim_;
};

TEST_P(FilterDownload, FailuresKeepTheCachedList) {
    ResetFilterState();
    GetEngineState().filterText = u"{\"ipSetMode\":1}";
    int32_t code = 5, detail = 6;
    EXPECT_FALSE(DownloadFilterList(u"", code, detail));
    EXPECT_EQ(code, 5) << "an empty URL leaves the codes alone";
    EXPECT_EQ(detail, 6);

    const std::u16string tenant = sim_.Tenant(u"nofilter", u"{\"orch\":{\"filter\":{\"status\":404}}}");
    EXPECT_FALSE(
        DownloadFilterList(sim_.TenantUrl(GetParam(), tenant) + u"/orch/filter/s1/7/list", code, detail));
    EXPECT_EQ(code, kFilterDownloadFailed);
    EXPECT_EQ(detail, 404);

    // Nothing listens on port 1 of the loopback address: the transport code is the detail.
    code = detail = 0;
    EXPECT_FALSE(DownloadFilterList(std::u16string(GetParam() == std::string("http") ? u"http" : u"https") +
                                        u"://127.0.0.1:1/orch/filter/s1/7/list",
                                    code, detail));
    EXPECT_EQ(code, kFilterDownloadFailed);
    EXPECT_EQ(detail, 12029);
    EXPECT_EQ(GetEngineState().filterText, u"{\"ipSetMode\":1}");
    EXPECT_EQ(GetEngineState().ipSetMode, 99) << "nothing read from a failed download";
    ResetFilterState();
}

INSTANTIATE_TEST_SUITE_P(Schemes, FilterDownload, ::testing::Values("http", "https"));
