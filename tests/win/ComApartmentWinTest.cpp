// A worker's apartment under Wine, as the system reports it: a thread is in an apartment while its
// CComApartment lives, and it leaves a single-threaded apartment it joined when that ends.
#include <windows.h>

#include <objbase.h>

#include <gtest/gtest.h>

#include <thread>

#include "platform/ComApartment.h"

namespace {

TEST(ComApartmentWin, AWorkerIsInItsApartmentWhileItLives) {
    bool usable = false, inside = false, stillSingleThreaded = true;
    std::thread worker([&] {
        {
            const platform::CComApartment com;
            usable = com.Usable();
            inside = platform::ThreadInComApartment();
        }
        // Left again: joining now in the multithreaded model succeeds, which it would not in a
        // single-threaded apartment the thread still held.
        const HRESULT again = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        stillSingleThreaded = again == RPC_E_CHANGED_MODE;
        if (SUCCEEDED(again)) CoUninitialize();
    });
    worker.join();
    EXPECT_TRUE(usable);
    EXPECT_TRUE(inside);
    EXPECT_FALSE(stillSingleThreaded);
}

}  // namespace
