// Shared set-up of the second-factor and account tests: a fresh stand-in tenant reached over HTTPS, the
// auth URL pointing at it, the sign-in state at its start values, and the workers' sleeps recorded
// instead of slept.
#pragma once
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "auth/SignInState.h"
#include "auth/Sms.h"
#include "core/DeviceInfo.h"
#include "core/HttpClient.h"
#include "core/Settings.h"
#include "platform/Http.h"
#include "platform/Kernel.h"
#include "platform/Text.h"
#include "support/CloudSim.h"

namespace velora::test {

inline std::atomic<uint64_t> g_factorSleptMs{0};
inline std::atomic<int> g_factorSleeps{0};

class FactorFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim_.Open());
        ASSERT_TRUE(platform::TrustRootCertificateForTest(CCloudSimAccess::CaFile()));
        ResetSignInStateForTest();
        g_factorSleptMs = 0;
        g_factorSleeps = 0;
        platform::SetPauseFunction([](uint32_t ms) {
            g_factorSleptMs += ms;
            ++g_factorSleeps;
        });
        // Under Wine every test process shares one profile: start from empty values.
        for (const char16_t* name : {u"AuthToken", u"AuthUrl", u"ProcessList", u"OsList", u"OauthBrowerRet",
                                     u"ThirdPartyUser", u"PrivacyVersion", u"OtpRecover"}) {
            SetSetting(name, u"");
        }
        SetSettingInt(u"AgreePrivacyPolicy", 0);
    }
    void TearDown() override { platform::SetPauseFunction(nullptr); }

    // Creates the tenant with this data ("factors" section) and points "AuthUrl" at it.
    void UseTenant(std::u16string_view data) {
        tenant_ = sim_.Tenant(u"factors", data);
        root_ = sim_.TenantUrl("https", tenant_);
        authUrl_ = root_ + u"/api/mobile/v2/auth";
        SetSetting(u"AuthUrl", authUrl_);
    }
    // Path of a tenant operation as the stand-in records it.
    std::u16string TenantPath(std::u16string_view path) const {
        return u"/t/" + tenant_ + std::u16string(path);
    }

    // The tenant's factor state (GET /_factors/state), as text.
    std::string FactorState() const {
        CHttpClient client;
        std::string answer;
        uint32_t status = 0;
        client.GetText(sim_.TenantUrl("http", tenant_) + u"/_factors/state", answer, status);
        return answer;
    }
    std::string RequestCount(std::u16string_view path) const { return sim_.Last(TenantPath(path), u"count"); }

    CCloudSimAccess sim_;
    std::u16string tenant_;
    std::u16string root_;
    std::u16string authUrl_;
};

inline std::string U8(std::u16string_view text) {
    return platform::Utf16ToUtf8(text);
}

// Whether the recorded header lines hold "name:value" (the transports may put a blank after the colon).
inline bool HasHeader(const std::string& headers, const std::string& name, const std::string& value) {
    return headers.find("\n" + name + ":" + value + "\r") != std::string::npos ||
           headers.find("\n" + name + ": " + value + "\r") != std::string::npos ||
           headers.find("\n" + name + ":" + value + "\n") != std::string::npos ||
           headers.find("\n" + name + ": " + value + "\n") != std::string::npos;
}

inline std::string GetInstallationSerialText() {
    return U8(GetInstallationSerial());
}

}  // namespace velora::test
