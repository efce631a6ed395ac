// The diagnosis upload end to end against the cloud stand-in: the upload request in both templates, the
// PUT that delivers the bundle byte for byte, the result report, and the failures that leave
// "DiagnosisResult" 1 (with the server's text escaped and cut in the report, and the rejected sign-in).
#include <gtest/gtest.h>

#include "core/DeviceInfo.h"
#include "core/HttpClient.h"
#include "core/JsonFields.h"
#include "core/Settings.h"
#include "core/TextHelpers.h"
#include "diagnosis/Diagnosis.h"
#include "diagnosis/DiagnosisUpload.h"
#include "platform/Files.h"
#include "platform/ProfileStore.h"
#include "platform/Text.h"
#include "support/CloudSim.h"
#include "support/LogFiles.h"

namespace {

using namespace velora;
using velora::test::CCloudSimAccess;
using velora::test::CLogCapture;
using velora::test::CScratchFolder;

std::string N(std::u16string_view text) {
    return platform::Utf16ToUtf8(text);
}

TEST(DiagnosisUploadText, EndpointsAndReportBodies) {
    EXPECT_EQ(DiagnosisEndpoint(u"https://a.test/api/mobile/v2/auth", u"/log/url"),
              u"https://a.test/api/mobile/v2/log/url");
    EXPECT_EQ(DiagnosisEndpoint(u"https://a.test/x/", u"/log/result"), u"https://a.test/x/log/result");
    EXPECT_EQ(DiagnosisEndpoint(u"no-slash", u"/log/url"), u"");

    struct Case {
        const char* name;
        uint32_t transport;
        uint32_t status;
        std::u16string answer;
        std::u16string expected;
    };
    const std::u16string tail = u"\"requestId\":\"R\",\"uploaded\":false,\"uploadedTime\":1700000000}";
    const Case cases[] = {
        {"success", 0, 200, u"",
         u"{\"logId\":\"L\",\"errorCode\":200, \"reason\":\"\",\"requestId\":\"R\",\"uploaded\":true,"
         u"\"uploadedTime\":1700000000}"},
        {"cannot connect", 12029, 0, u"",
         u"{\"logId\":\"L\",\"errorCode\":10001,\"reason\":\"Can not connect server\"," + tail},
        {"too frequent", 32, 0, u"",
         u"{\"logId\":\"L\",\"errorCode\":10001,\"reason\":\"The operation is too frequent, please try again "
         u"later\"," +
             tail},
        {"not resolved", 12007, 0, u"",
         u"{\"logId\":\"L\",\"errorCode\":10001,\"reason\":\"The server name could not be resolved\"," +
             tail},
        {"status 500 with quotes and line breaks", 0, 500, u"bad \"disk\"\r\nfull\\",
         u"{\"logId\":\"L\",\"errorCode\":10001,\"reason\":\"error code 0, status code 500, content: bad "
         u"\\\"disk\\\"full\\\\\"," +
             tail},
        {"transport error after status 200", 12030, 200, u"",
         u"{\"logId\":\"L\",\"errorCode\":28,\"reason\":\"error code 12030, status code 200, content: \"," +
             tail},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(N(UploadReportBody(u"L", u"R", c.transport, c.status, c.answer, 1700000000)),
                  N(c.expected));
    }
    // A long answer is cut to 1,024 characters before it is escaped.
    const std::u16string longAnswer = std::u16string(1000, u'a') + std::u16string(100, u'"');
    const std::u16string body = UploadReportBody(u"L", u"R", 0, 500, longAnswer, 1);
    EXPECT_NE(body.find(std::u16string(1000, u'a') + u"\\\"", 0), std::u16string::npos);
    const std::size_t quotes = body.find(u"content: ");
    ASSERT_NE(quotes, std::u16string::npos);
    const std::u16string content = body.substr(quotes + 9, body.find(u"\",\"requestId") - quotes - 9);
    EXPECT_EQ(
        content, std::u16string(1000, u'a') + [] {
            std::u16string escaped;
            for (int i = 0; i < 24; ++i) escaped += u"\\\"";
            return escaped;
        }());
}

class DiagnosisUploadTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim_.Open());
        ASSERT_TRUE(platform::ClearProfileForTest());
        folders_.diagnosis = scratch_.Path(u"diagnosis");
        ASSERT_TRUE(platform::CreateOneDirectory(folders_.diagnosis));
        zipPath_ = folders_.diagnosis + platform::kPathSeparator + std::u16string(kDiagnosisZipName);
        // Bytes of every value, NULs included, over several reads of the sender.
        for (int i = 0; i < 300000; ++i) zip_ += static_cast<char>((i * 131) ^ (i >> 7));
        ASSERT_TRUE(platform::ReplaceFileContent(zipPath_, zip_.data(), zip_.size()));
    }
    void TearDown() override { platform::ClearProfileForTest(); }

    // A tenant whose orchestrator has this "upload" section; the client's settings point at it.
    void World(std::u16string_view upload, int32_t cpeId) {
        tenant_ = sim_.Tenant(
            u"diag", u"{\"orch\":{\"tokens\":[\"tok-1\"],\"upload\":" + std::u16string(upload) + u"}}");
        base_ = u"/t/" + tenant_;
        SetSetting(u"AuthUrl", sim_.TenantUrl("http", tenant_) + u"/api/mobile/v2/auth");
        SetSetting(u"AuthToken", u"tok-1");
        SetSetting(u"CustomerId", u"acme");
        SetSettingInt(u"CpeId", cpeId);
        SetSettingInt(u"DiagnosisResult", 1);
    }
    std::string Last(std::u16string_view path, std::u16string_view part) const {
        return sim_.Last(base_ + std::u16string(path), part);
    }

    CLogCapture log_;
    CCloudSimAccess sim_;
    CScratchFolder scratch_;
    DiagnosisFolders folders_;
    std::u16string zipPath_;
    std::string zip_;
    std::u16string tenant_;
    std::u16string base_;
};

TEST_F(DiagnosisUploadTest, DeliversTheBundleByteForByteAndReportsIt) {
    for (const int32_t cpeId : {-1, 77}) {
        SCOPED_TRACE(cpeId);
        World(u"{}", cpeId);
        bool rejected = true;
        ASSERT_TRUE(UploadDiagnosis(folders_, true, rejected)) << log_.Text();
        EXPECT_FALSE(rejected);
        EXPECT_TRUE(UploadRequestAccepted());
        EXPECT_EQ(GetSettingInt(u"DiagnosisResult", -5), 0);

        const std::string serial = N(GetInstallationSerial());
        const std::string size = std::to_string(zip_.size());
        const std::string expected =
            cpeId == -1 ? "{\"customerId\":\"acme\",\"sn\":\"" + serial +
                              "\",\"fileName\":\"windows_diagnosis.zip\",\"fileSize\":" + size + "}"
                        : "{\"customerId\":\"acme\",\"cpeId\":77,\"sn\":\"" + serial +
                              "\",\"fileName\":\"windows_diagnosis.zip\",\"fileSize\":" + size + "}";
        EXPECT_EQ(Last(u"/api/mobile/v2/log/url", u"body"), expected);
        const std::string headers = Last(u"/api/mobile/v2/log/url", u"headers");
        EXPECT_NE(headers.find("X-KX-AUTH-HEADER:"), std::string::npos) << headers;
        EXPECT_NE(headers.find("tok-1"), std::string::npos) << headers;
        EXPECT_EQ(Last(u"/orch/upload/req-1", u"method"), "PUT");

        // What the stand-in received, given back from the upload URL.
        CHttpClient client;
        uint32_t status = 0;
        const std::u16string uploadUrl = sim_.TenantUrl("http", tenant_) + u"/orch/upload/req-1";
        const std::u16string copy = scratch_.Path(u"received.zip");
        ASSERT_EQ(client.DownloadFile(uploadUrl, copy, status), 0u);
        ASSERT_EQ(status, 200u);
        std::string received;
        ASSERT_TRUE(platform::ReadWholeFile(copy, received));
        EXPECT_TRUE(received == zip_) << "the stored bundle differs (" << received.size() << " bytes)";

        const std::string report = Last(u"/api/mobile/v2/log/result", u"body");
        const std::string start =
            "{\"logId\":\"log-1\",\"errorCode\":200, \"reason\":\"\",\"requestId\":\"req-1\","
            "\"uploaded\":true,\"uploadedTime\":";
        EXPECT_EQ(report.rfind(start, 0), 0u) << report;
    }
}

TEST_F(DiagnosisUploadTest, FailuresLeaveTheUploadPending) {
    struct Case {
        const char* name;
        std::u16string upload;
        bool rejected;
        bool reported;          // a result report went out
        std::string reportHas;  // a piece of its body
    };
    const Case cases[] = {
        {"upload request refused", uR"({"urlStatus":500})", false, false, ""},
        {"sign-in rejected", uR"({"urlStatus":401,"invalidReasonCode":1})", true, false, ""},
        {"PUT answered 500", uR"({"putStatus":500,"putBody":"disk \"full\"\nagain"})", false, true,
         "\"errorCode\":10001,\"reason\":\"error code 0, status code 500, content: disk \\\"full\\\"again\""},
        {"report refused", uR"({"resultStatus":503})", false, true, "\"uploaded\":true"},
        {"report rejects the sign-in", uR"({"resultStatus":401,"invalidReasonCode":1})", true, true,
         "\"uploaded\":true"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        World(c.upload, -1);
        bool rejected = !c.rejected;
        EXPECT_FALSE(UploadDiagnosis(folders_, true, rejected));
        EXPECT_EQ(rejected, c.rejected);
        EXPECT_EQ(GetSettingInt(u"DiagnosisResult", -5), 1);
        const std::string count = Last(u"/api/mobile/v2/log/result", u"count");
        EXPECT_EQ(count, c.reported ? "1" : "0");
        if (c.reported) {
            EXPECT_NE(Last(u"/api/mobile/v2/log/result", u"body").find(c.reportHas), std::string::npos);
        }
    }
}

TEST_F(DiagnosisUploadTest, NothingIsSentWithoutWhatTheRequestNeeds) {
    struct Case {
        const char* name;
        std::u16string setting;  // cleared
        bool removeZip;
    };
    const Case cases[] = {
        {"no token", u"AuthToken", false},
        {"no customer", u"CustomerId", false},
        {"no auth URL", u"AuthUrl", false},
        {"no bundle", u"", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        World(u"{}", -1);
        if (!c.setting.empty()) SetSetting(c.setting, u"");
        if (c.removeZip) platform::DeleteOneFile(zipPath_);
        bool rejected = true;
        EXPECT_FALSE(UploadDiagnosis(folders_, true, rejected));
        EXPECT_FALSE(rejected);
        EXPECT_EQ(GetSettingInt(u"DiagnosisResult", -5), 1);
        EXPECT_EQ(Last(u"/api/mobile/v2/log/url", u"count"), "0");
        if (c.removeZip) {
            ASSERT_TRUE(platform::ReplaceFileContent(zipPath_, zip_.data(), zip_.size()));
        }
    }
}

}  // namespace
