// A customer world of the cloud stand-in for sign-in tests: a tenant with accounts, the client's
// discovery URLs pointed at it, and a clean settings store and sign-in state.
#pragma once
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "CloudSim.h"
#include "auth/ErrorCatalogue.h"
#include "auth/PasswordSignIn.h"
#include "auth/SignInState.h"
#include "core/Settings.h"
#include "platform/Http.h"
#include "platform/Kernel.h"
#include "platform/ProfileStore.h"

namespace velora::test {

// Accounts: alice signs in at once (with a process rule and a list of systems), polly after two pending
// approval checks, sam needs an SMS code, otto a one-time password.
inline constexpr char16_t kStandardWorld[] =
    uR"({
  "customers": ["12"],
  "errorCatalogue": {"version": "7", "entries": [
    {"error_Code": 1007, "en": "Wrong user name or password", "cn": "用户名或密码错误"},
    {"error_Code": 2001, "en": "Unknown customer", "cn": "未知客户"}]},
  "accounts": [
    {"customerId": "12", "name": "alice", "password": "secret1",
     "answer": {"windowsProcessNameExpression": "a.exe", "windowsVersionList": ["win10", "win11"]}},
    {"customerId": "12", "name": "polly", "password": "secret2", "poll": 2, "pollInterval": 1, "pollTimes": 5},
    {"customerId": "12", "name": "sam", "password": "secret3", "sms": {"phone": "138****1234"}},
    {"customerId": "12", "name": "otto", "password": "secret4", "otpSecret": "JBSWY3DPEHPK3PXP"}]
})";

// Poll pauses are recorded instead of slept.
inline std::atomic<uint64_t> g_pollSleptMs{0};
inline std::atomic<int> g_pollSleeps{0};
inline void RecordPollSleep(uint32_t ms) {
    g_pollSleptMs += ms;
    ++g_pollSleeps;
}

class CSignInWorld {
public:
    // False (with a failure) when the stand-in is not running.
    bool Open(std::u16string_view data = kStandardWorld) {
        if (!sim.Open()) return false;
        EXPECT_TRUE(platform::TrustRootCertificateForTest(CCloudSimAccess::CaFile()));
        platform::ClearProfileForTest();
        ResetSignInStateForTest();
        ResetErrorCatalogueForTest();
        platform::SetPauseFunction(&RecordPollSleep);
        tenant = sim.Tenant(u"signin", data);
        base = sim.TenantUrl("https", tenant);
        SetSettingText(u"DiscoveryUrl", base + u"/api/mobile/v1/orchinfo");
        SetSettingText(u"DiscoveryBackupUrl", base + u"/backup/api/mobile/v1/orchinfo");
        return true;
    }
    // The path of an operation of this tenant on the stand-in ("/t/<tenant>" + path).
    std::u16string Path(std::u16string_view path) const { return u"/t/" + tenant + std::u16string(path); }

    CCloudSimAccess sim;
    std::u16string tenant;
    std::u16string base;
};

}  // namespace velora::test
