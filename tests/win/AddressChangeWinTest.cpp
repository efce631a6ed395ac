// The address-change notification through the real IP helper under Wine: it arms in the overlapped form,
// a wait on it waits (the synchronous form would answer at once and turn the monitors' 200 ms check into a
// spin), re-arming a pending request changes nothing, and the request is cancelled when the watch goes.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/AddressChange.h"

namespace velora {
namespace {

TEST(AddressChangeWin, ArmedRequestWaitsAndIsReArmedAndCancelled) {
    constexpr int kRounds = 10;
    constexpr uint32_t kWaitMs = 50;
    for (int watch = 0; watch < 2; ++watch) {  // a second watch arms after the first was cancelled
        platform::CAddressChangeWatch changes;
        ASSERT_TRUE(changes.Armed()) << "arm error " << changes.ArmError();
        int fired = 0;
        const ULONGLONG start = GetTickCount64();
        for (int i = 0; i < kRounds; ++i) {
            if (changes.Wait(kWaitMs)) ++fired;
            changes.Arm();
            EXPECT_TRUE(changes.Armed());
        }
        const ULONGLONG elapsed = GetTickCount64() - start;
        EXPECT_EQ(fired, 0) << "no address changes while the test runs";
        // Each round waited on the pending request instead of returning at once.
        EXPECT_GE(elapsed, static_cast<ULONGLONG>(kRounds * kWaitMs / 2));
    }
}

}  // namespace
}  // namespace velora
