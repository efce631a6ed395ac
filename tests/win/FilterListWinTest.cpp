// The filter list under Wine for real: downloaded from the cloud stand-in through WinINet over HTTP and
// HTTPS, installed by a COM-activated Corvane as "filterConfig.conf" beside Corvane.exe, remembered in the
// settings so that the next check skips the download, and read back at start from the program's folder.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <string>

#include "core/CryptoHelpers.h"
#include "core/JsonFields.h"
#include "core/Settings.h"
#include "core/TextHelpers.h"
#include "engine/ConnectAnswer.h"
#include "engine/EngineState.h"
#include "engine/FilterList.h"
#include "platform/Http.h"
#include "support/CloudSim.h"
#include "support/CorvaneProcess.h"
#include "support/LogFiles.h"

using namespace velora;

namespace {

class FilterListWin : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        ASSERT_TRUE(sim_.Open());
        ASSERT_TRUE(platform::TrustRootCertificateForTest(test::CCloudSimAccess::CaFile()));
        ASSERT_EQ(test::RunCorvane(L"/UnregServer"), 0);
        ASSERT_TRUE(test::WaitUntilCorvaneEnds(10000));
        DeleteFileW(FilterFile().c_str());
        ASSERT_EQ(test::RunCorvane(L"/RegServer"), 0);
        EngineState& state = GetEngineState();
        state.filterText.clear();
        state.ipSetMode = 99;
        state.whiteIpSet.clear();
        state.blackIpSet.clear();
        SetSetting(u"FilterVerify", u"");
        SetSetting(u"FilterVersion", u"");
    }
    void TearDown() override {
        EXPECT_EQ(test::RunCorvane(L"/UnregServer"), 0);
        test::WaitUntilCorvaneEnds(10000);
        DeleteFileW(FilterFile().c_str());
        CoUninitialize();
    }
    static std::wstring FilterFile() { return test::BinFolder() + L"filterConfig.conf"; }

    test::CCloudSimAccess sim_;
};

}  // namespace

TEST_P(FilterListWin, DownloadedInstalledSkippedAndCached) {
    const std::u16string tenant =
        sim_.Tenant(u"filter",
                    uR"({"orch":{"tokens":["tok-1"],"filter":{"siteTemplateId":"s1","version":7,
             "text":"{\"ipSetMode\":-1,\"whiteIpSet\":[],\"blackIpSet\":[\"192.168.0.0/16\",\"172.16.0.0/12\"],\"n\":\"Caf\u00e9\"}"}}})");
    CHttpClient client;
    std::string answer;
    uint32_t status = 0;
    ASSERT_EQ(
        client.PostText(sim_.TenantUrl(GetParam(), tenant) + u"/api/mobile/v2/connect",
                        ConnectBody(false, false, u"None", u"1.0.0.1", u"SN", false),
                        answer, status, 1, u"sn:SN", u"X-KX-AUTH-HEADER:tok-1", u"type:windows"),
        0u);
    ASSERT_EQ(status, 200u) << answer;
    const std::u16string text = Utf8ToUtf16(answer);
    const std::u16string url = GetStringField(text, u"mobileTrafficDownloadUrl", u"");
    const std::u16string site = GetStringField(text, u"siteTemplateId", u"");
    const int32_t version = GetIntField(text, u"mobileTrafficVersion", -1);

    EXPECT_FALSE(IsFilterListCurrent(url, site, version));
    int32_t code = 0, detail = 7;
    ASSERT_TRUE(DownloadFilterList(url, code, detail));
    EXPECT_EQ(detail, 0);
    const std::string served =
        "{\"ipSetMode\":-1,\"whiteIpSet\":[],\"blackIpSet\":[\"192.168.0.0/16\",\"172.16.0.0/"
        "12\"],\"n\":\"Caf\xC3\xA9\"}";
    EXPECT_EQ(GetSetting(u"FilterVerify", u""), SaltedMd5Hex(served));
    EXPECT_EQ(GetSetting(u"FilterVersion", u""), u"/s1/7");
    EXPECT_EQ(GetEngineState().blackIpSet, u"192.168.0.0/16,172.16.0.0/12");
    EXPECT_EQ(test::ReadBytes(std::u16string(reinterpret_cast<const char16_t*>(FilterFile().c_str()))),
              "{\"ipSetMode\":-1,\"whiteIpSet\":[],\"blackIpSet\":[\"192.168.0.0/16\",\"172.16.0.0/12\"],"
              "\"n\":\"Caf\xE9\"}\r\n");
    EXPECT_TRUE(IsFilterListCurrent(url, site, version)) << "the next connection skips the download";

    // At the next start the program reads the file beside it (the test program's folder is Corvane's
    // too): the single-byte text reads back as the document that was downloaded, still current.
    GetEngineState().filterText.clear();
    GetEngineState().blackIpSet.clear();
    LoadCachedFilterList();
    EXPECT_EQ(GetEngineState().blackIpSet, u"192.168.0.0/16,172.16.0.0/12");
    EXPECT_TRUE(IsFilterListCurrent(url, site, version));
}

INSTANTIATE_TEST_SUITE_P(Schemes, FilterListWin, ::testing::Values("http", "https"));
