// The filter list downloaded from the cloud stand-in over HTTP and HTTPS and installed through the
// in-process helper service: the file it writes, the settings that let the next connection skip the
// download, the summary in the user log, and the documents the service refuses.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/CryptoHelpers.h"
#include "core/JsonFields.h"
#include "core/Log.h"
#include "core/Settings.h"
#include "core/TextHelpers.h"
#include "engine/ConnectAnswer.h"
#include "engine/EngineState.h"
#include "engine/FilterList.h"
#include "inprocess/SimHelperService.h"
#include "platform/ComApartment.h"
#include "platform/Http.h"
#include "support/CloudSim.h"
#include "support/LogFiles.h"

using namespace velora;
namespace sim = corvane::inprocess;

namespace {

struct Announcement {
    std::u16string url, site;
    int32_t version = -1;
};

class FilterInstall : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim_.Open());
        ASSERT_TRUE(platform::TrustRootCertificateForTest(test::CCloudSimAccess::CaFile()));
        StartLog(nullptr);
        log_ = scratch_.Path(u"client.log");
        test::WriteBytes(log_, test::kLogHeader);
        SetLogFilePath(log_);
        sim::ClearHelperAnswers();
        sim::SetHelperServiceReachable(true);
        sim::SetHelperServiceFolder(std::filesystem::path(scratch_.Path(u"Corvane")));
        EngineState& state = GetEngineState();
        state.filterText.clear();
        state.ipSetMode = 99;
        state.whiteIpSet.clear();
        state.blackIpSet.clear();
        SetSetting(u"FilterVerify", u"");
        SetSetting(u"FilterVersion", u"");
    }
    void TearDown() override { sim::SetHelperServiceFolder({}); }

    // A tenant serving this filter section; what its connect answer announces.
    Announcement World(std::u16string_view filter) {
        tenant_ = sim_.Tenant(
            u"filter", u"{\"orch\":{\"tokens\":[\"tok-1\"],\"filter\":" + std::u16string(filter) + u"}}");
        CHttpClient client;
        std::string answer;
        uint32_t status = 0;
        const std::u16string base = sim_.TenantUrl(GetParam(), tenant_);
        EXPECT_EQ(client.PostText(base + u"/api/mobile/v2/connect",
                                  ConnectBody(false, false, u"None", u"1.0.0.1", u"SN", false), answer, status, 1,
                                  u"sn:SN", u"X-KX-AUTH-HEADER:tok-1", u"type:windows"),
                  0u);
        EXPECT_EQ(status, 200u) << answer;
        const std::u16string text = Utf8ToUtf16(answer);
        return {GetStringField(text, u"mobileTrafficDownloadUrl", u""),
                GetStringField(text, u"siteTemplateId", u""), GetIntField(text, u"mobileTrafficVersion", -1)};
    }
    int Downloads() const {
        CHttpClient client;
        std::string answer;
        uint32_t status = 0;
        client.GetText(sim_.TenantUrl("http", tenant_) + u"/orch/_state", answer, status);
        return GetIntField(Utf8ToUtf16(answer), u"filterDownloads", 0);
    }
    std::string ServedBytes(const Announcement& a) const {
        CHttpClient client;
        std::string answer;
        uint32_t status = 0;
        client.GetText(a.url, answer, status);
        return answer;
    }
    std::u16string Log() const {
        FlushPendingLogLines();
        return test::FromUtf16Le(test::ReadBytes(log_), test::kLogHeader.size());
    }
    std::string FilterFile() const {
        return test::ReadBytes(scratch_.Path(u"Corvane") + u"/filterConfig.conf");
    }

    // The test's thread runs the worker's code, and joins COM as the worker does at its start.
    const platform::CComApartment com_;
    test::CCloudSimAccess sim_;
    test::CScratchFolder scratch_;
    std::u16string log_;
    std::u16string tenant_;
};

}  // namespace

TEST_P(FilterInstall, DownloadedOnceThenSkipped) {
    const Announcement a = World(
        uR"({"siteTemplateId":"s1","version":7,"ipSetMode":0,
             "whiteIpSet":["10.10.0.0/16","172.16.0.0/12","192.168.8.1"],"blackIpSet":[]})");
    ASSERT_EQ(a.site, u"s1");
    ASSERT_EQ(a.version, 7);
    EXPECT_FALSE(IsFilterListCurrent(a.url, a.site, a.version)) << "nothing cached yet";
    int32_t code = 5, detail = 6;
    ASSERT_TRUE(DownloadFilterList(a.url, code, detail));
    EXPECT_EQ(code, 5) << "success leaves the code alone";
    EXPECT_EQ(detail, 0);
    const std::string served =
        "{\"ipSetMode\":0,\"whiteIpSet\":[\"10.10.0.0/16\",\"172.16.0.0/"
        "12\",\"192.168.8.1\"],\"blackIpSet\":[]}";
    const EngineState& state = GetEngineState();
    EXPECT_EQ(state.filterText, Utf8ToUtf16(served));
    EXPECT_EQ(state.ipSetMode, 0);
    EXPECT_EQ(state.whiteIpSet, u"10.10.0.0/16,172.16.0.0/12,192.168.8.1");
    EXPECT_EQ(state.blackIpSet, u"");
    EXPECT_EQ(GetSetting(u"FilterVerify", u""), SaltedMd5Hex(served));
    EXPECT_EQ(GetSetting(u"FilterVersion", u""), u"/s1/7");
    EXPECT_EQ(FilterFile(), served + "\r\n");
    const std::u16string log = Log();
    EXPECT_NE(log.find(MessageText(344)), std::u16string::npos) << Utf16ToUtf8(log);
    EXPECT_NE(log.find(FormatText(MessageText(345), u"10.10.0.0/16,172.16...")), std::u16string::npos);
    EXPECT_NE(log.find(FormatText(MessageText(349), u"none")), std::u16string::npos);

    EXPECT_TRUE(IsFilterListCurrent(a.url, a.site, a.version));
    EXPECT_TRUE(IsFilterListCurrent(a.url, u"", -1)) << "the URL's own key";
    EXPECT_FALSE(IsFilterListCurrent(a.url, a.site, 8));
    EXPECT_EQ(Downloads(), 1);
}

// Non-ASCII text in the document: the skip check hashes the bytes that were received, so the next
// connection skips the download (it used to hash another encoding and download again every time).
TEST_P(FilterInstall, DocumentBeyondAsciiIsCurrentAfterItsDownload) {
    const Announcement a = World(
        uR"({"siteTemplateId":"s2","version":3,
             "text":"{\"ipSetMode\":1,\"whiteIpSet\":[\"10.0.0.0/8\"],\"blackIpSet\":[],\"site\":\"Caf\u00e9 100%\"}"})");
    int32_t code = 0, detail = 0;
    ASSERT_TRUE(DownloadFilterList(a.url, code, detail));
    EXPECT_EQ(
        FilterFile(),
        "{\"ipSetMode\":1,\"whiteIpSet\":[\"10.0.0.0/8\"],\"blackIpSet\":[],\"site\":\"Caf\xE9 100%\"}\r\n")
        << "the service writes single-byte text";
    EXPECT_TRUE(IsFilterListCurrent(a.url, a.site, a.version));
    EXPECT_NE(Log().find(MessageText(342)), std::u16string::npos);
    // After a restart the list read back from the service's file is still the one downloaded.
    GetEngineState().filterText.clear();
    LoadCachedFilterListFrom(scratch_.Path(u"Corvane") + u"/");
    EXPECT_TRUE(IsFilterListCurrent(a.url, a.site, a.version));
}

struct Refusal {
    const char* what;
    const char16_t* filter;
};

TEST_P(FilterInstall, DocumentsTheServiceRefusesOrThatLackTheKeys) {
    // Without the keys: mode 99, empty lists, no list lines; the "%" signs reach the file unchanged.
    Announcement a = World(uR"({"siteTemplateId":"s3","version":1,"text":"{\"note\":\"%s %d %n 100%\"}"})");
    int32_t code = 0, detail = 0;
    ASSERT_TRUE(DownloadFilterList(a.url, code, detail));
    EXPECT_EQ(GetEngineState().ipSetMode, 99);
    EXPECT_EQ(FilterFile(), "{\"note\":\"%s %d %n 100%\"}\r\n");
    const std::u16string log = Log();
    EXPECT_NE(log.find(MessageText(344)), std::u16string::npos);
    EXPECT_EQ(log.find(FormatText(MessageText(345), u"none")), std::u16string::npos)
        << "mode 99 shows no list";

    // Characters the single-byte file cannot hold: the service refuses, the cached text stays.
    const std::u16string before = GetEngineState().filterText;
    a = World(uR"({"siteTemplateId":"s4","version":1,"text":"{\"ipSetMode\":1,\"note\":\"\u7f51\u7edc\"}"})");
    code = detail = 0;
    EXPECT_FALSE(DownloadFilterList(a.url, code, detail));
    EXPECT_EQ(code, kFilterSaveFailed);
    EXPECT_EQ(detail, 0);
    EXPECT_EQ(GetEngineState().filterText, before);
    EXPECT_FALSE(IsFilterListCurrent(a.url, a.site, a.version));

    // A 10 MB document: over what the service writes; refused the same way, nothing crashes.
    a = World(uR"({"siteTemplateId":"s5","version":1})");
    const std::u16string path = a.url.substr(a.url.find(u"/t/"));
    sim_.Fault(u"{\"path\":\"" + path + u"\",\"kind\":\"huge-body\",\"size\":10485760}");
    code = detail = 0;
    EXPECT_FALSE(DownloadFilterList(a.url, code, detail));
    EXPECT_EQ(code, kFilterSaveFailed);
    EXPECT_EQ(GetEngineState().filterText, before);
}

INSTANTIATE_TEST_SUITE_P(Schemes, FilterInstall, ::testing::Values("http", "https"));
