// No secret the service hands out reaches the client log or the diagnosis bundle: a whole sign-in, a VCPE
// connect (its answer carries the tunnel's password and pre-shared key) and a diagnosis run that uploads
// the bundle, through the exported API against the cloud stand-in; then the log file and every entry of
// the bundle are searched for each secret, in UTF-8 and in UTF-16LE.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ApiTestSupport.h"
#include "api/ClientApi.h"
#include "core/SecretMask.h"
#include "core/Settings.h"
#include "diagnosis/Diagnosis.h"
#include "engine/EngineState.h"
#include "platform/Files.h"
#include "platform/host/SimDialUp.h"
#include "platform/host/SimInterfaces.h"
#include "support/ApiTenant.h"
#include "support/LogFiles.h"
#include "support/SignInWorld.h"
#include "support/TunnelWorld.h"
#include "support/ZipEntries.h"

namespace velora::test {
namespace {

namespace helper = corvane::inprocess;
namespace host = platform::host;

constexpr char16_t kOrch[] =
    uR"({"connect": {"mode": "VCPE", "values": {"ipsecPassword": "tun-pass-Q7w", "psk": "tun-psk-Q7w"}},
         "gateway": {"liveAfter": 0},
         "filter": {"siteTemplateId": "sec", "version": 1, "ipSetMode": 1, "whiteIpSet": ["10.9.0.0/16"]},
         "heartbeat": [{"action": 0}]})";

class SecretsInLogsHost : public testing::Test {
protected:
    void SetUp() override {
        ApiExit();
        UseSimulatedHelperService(std::filesystem::path(scratch_.Path(u"Corvane")));
        std::filesystem::create_directories(std::filesystem::path(scratch_.Path(u"Corvane")));
        AppendGatewayRow(ResetTunnelNetwork(), 0x0101A8C0);
        host::ResetSimDialUp();
        host::SetSimulatedInterfaces({{"Ethernet", 5, 6}, {"Hal-Vane", 7, 8}});
        EngineState& s = GetEngineState();
        s.rasConnection = nullptr;
        s.stopRequested = false;
        s.useClientSpecifyMode = false;
        s.retryCount = 0;
        ASSERT_TRUE(OpenApiTenant(world_, kOrch));
        log_ = scratch_.Path(u"api.log");
        ASSERT_EQ(ApiInit(log_.c_str(), nullptr), 1);
    }
    void TearDown() override {
        DisconnectAndWaitForTheApiThreads();
        host::ResetSimDialUp();
        host::ResetSimulatedInterfaces();
        helper::SetHelperServiceFolder({});
    }

    CScratchFolder scratch_;
    CSignInWorld world_;
    std::u16string log_;
};

TEST_F(SecretsInLogsHost, NoSecretInTheLogOrTheBundleAfterSignInConnectAndDiagnosis) {
    char16_t buffer[256];
    ASSERT_EQ(ApiValidateUser(u"12", u"alice", u"secret1", buffer, 256), 0u) << Utf16ToUtf8(buffer);
    const std::u16string token = GetSetting(u"AuthToken", u"");
    ASSERT_GE(token.size(), kMinBareSecretLength);
    ASSERT_EQ(ApiConnect(buffer, 256), 0u) << Utf16ToUtf8(buffer);
    ASSERT_EQ(ApiGetConnectionStep(), kStepConnected);

    DiagnosisRequest request;
    request.collect = 1;
    request.mainWindow = [] { return DiagnosisConnection{true, VCPE}; };
    request.folders.diagnosis = scratch_.Path(u"diagnosis");
    request.folders.program = scratch_.Path(u"program") + u"/";
    ASSERT_TRUE(platform::CreateOneDirectory(request.folders.diagnosis));
    ASSERT_TRUE(platform::CreateOneDirectory(scratch_.Path(u"program")));
    RunDiagnosis(request);
    EXPECT_EQ(GetSettingInt(u"DiagnosisResult", -5), 0) << "the bundle was uploaded";

    std::string zip;
    ASSERT_TRUE(platform::ReadWholeFile(request.folders.diagnosis + u"/" + std::u16string(kDiagnosisZipName), zip));
    std::vector<ZipEntry> entries;
    ASSERT_TRUE(ReadZipEntries(zip, entries));
    std::string logText;
    ASSERT_TRUE(platform::ReadWholeFile(log_, logText));
    struct Searched {
        std::string name;
        std::string bytes;
    };
    std::vector<Searched> searched = {{"client log", logText}};
    bool hasUiLog = false;
    for (const ZipEntry& entry : entries) {
        searched.push_back({entry.name, entry.data});
        hasUiLog = hasUiLog || entry.name == "diagnosis/ui.log";
    }
    EXPECT_TRUE(hasUiLog);
    // The log did see the answers: the secrets were there to be masked.
    const std::u16string logUnits = FromUtf16Le(logText, kLogHeader.size());
    EXPECT_NE(logUnits.find(u"\"psk\":\"***\""), std::u16string::npos);

    const std::u16string secrets[] = {token, u"tun-pass-Q7w", u"tun-psk-Q7w", u"secret1"};
    for (const std::u16string& secret : secrets) {
        for (const Searched& s : searched) {
            EXPECT_EQ(s.bytes.find(Utf16ToUtf8(secret)), std::string::npos)
                << Utf16ToUtf8(secret) << " in " << s.name;
            EXPECT_EQ(s.bytes.find(Utf16Le(secret)), std::string::npos)
                << Utf16ToUtf8(secret) << " (UTF-16) in " << s.name;
        }
    }
}

}  // namespace
}  // namespace velora::test
