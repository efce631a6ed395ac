// The host's simulated windows that stand in for real ones in host tests of workers and windows.
#include <gtest/gtest.h>

#include <thread>

#include "platform/Messenger.h"
#include "platform/host/SimWindows.h"

namespace {

using namespace platform::host;

TEST(SimWindows, RecordPostsAndSendsInOrder) {
    int handled = 0;
    const auto window =
        CreateSimWindow({1040, 1001}, [&](uint32_t message, uintptr_t wParam, intptr_t lParam) {
            ++handled;
            return static_cast<intptr_t>(message + wParam + static_cast<uintptr_t>(lParam));
        });
    EXPECT_TRUE(platform::WindowExists(window));
    EXPECT_TRUE(platform::WindowHasControl(window, 1040));
    EXPECT_FALSE(platform::WindowHasControl(window, 1002));

    EXPECT_TRUE(platform::PostWindowMessage(window, 1027, 1, 2));
    EXPECT_EQ(platform::SendWindowMessage(window, 1030, 3, 4), 1037);
    EXPECT_TRUE(platform::PostWindowMessage(window, 1028, 5, 6));
    EXPECT_EQ(handled, 1);
    const auto messages = TakeSimMessages(window);
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].message, 1027u);
    EXPECT_FALSE(messages[0].sent);
    EXPECT_EQ(messages[1].message, 1030u);
    EXPECT_TRUE(messages[1].sent);
    EXPECT_EQ(messages[2].lParam, 6);
    EXPECT_TRUE(TakeSimMessages(window).empty());

    EXPECT_TRUE(platform::PostWindowMessage(window, 1038, 0, 0));
    EXPECT_EQ(DestroySimWindow(window).size(), 1u) << "untaken messages come back";
    EXPECT_FALSE(platform::WindowExists(window));
    EXPECT_FALSE(platform::WindowHasControl(window, 1040));
    EXPECT_FALSE(platform::PostWindowMessage(window, 1027, 0, 0));
    EXPECT_EQ(platform::SendWindowMessage(window, 1027, 0, 0), 0);
}

TEST(SimWindows, NoWindowTakesNothing) {
    EXPECT_FALSE(platform::PostWindowMessage(nullptr, 1027, 0, 0));
    EXPECT_EQ(platform::SendWindowMessage(nullptr, 1027, 0, 0), 0);
    EXPECT_FALSE(platform::WindowExists(nullptr));
    EXPECT_FALSE(platform::WindowHasControl(nullptr, 1040));
}

TEST(SimWindows, WaitForMessagesFromAnotherThread) {
    const auto window = CreateSimWindow({});
    EXPECT_FALSE(WaitForSimMessages(window, 1, 10));
    std::thread worker([window] {
        for (int i = 0; i < 3; ++i) platform::PostWindowMessage(window, 1027, static_cast<uintptr_t>(i), 0);
    });
    EXPECT_TRUE(WaitForSimMessages(window, 3, 10000));
    worker.join();
    EXPECT_EQ(TakeSimMessages(window).size(), 3u);
    (void)DestroySimWindow(window);
}

TEST(SimWindows, DestroyingTheMainWindowClearsIt) {
    const auto window = CreateSimWindow({1040});
    platform::SetMainWindow(window);
    EXPECT_EQ(platform::MainWindow(), window);
    (void)DestroySimWindow(window);
    EXPECT_EQ(platform::MainWindow(), nullptr);
}

}  // namespace
