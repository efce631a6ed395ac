// Waiting on several events at once, on the host's simulated kernel and on Windows: which one is
// chosen, what choosing does to an auto-reset event, and that a Set from another thread wakes the wait.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <thread>

#include "platform/Kernel.h"

namespace {

std::unique_ptr<platform::Event> NewEvent(bool manual) {
    platform::EventCreation created = platform::OpenOrCreateEvent(u"", manual, false);
    EXPECT_TRUE(created.event);
    return std::move(created.event);
}

}  // namespace

TEST(WaitForAnyEvent, ChoosesTheFirstSignalledAndResetsOnlyAnAutoResetOne) {
    auto manual = NewEvent(true);
    auto automatic = NewEvent(false);
    auto other = NewEvent(true);
    const std::array<platform::Event*, 4> events = {manual.get(), nullptr, automatic.get(), other.get()};

    EXPECT_EQ(platform::WaitForAnyEvent(events, 0), -1);
    EXPECT_EQ(platform::WaitForAnyEvent(events, 30), -1);

    automatic->Set();
    other->Set();
    EXPECT_EQ(platform::WaitForAnyEvent(events, 0), 2) << "the earlier of two in the list";
    EXPECT_EQ(platform::WaitForAnyEvent(events, 0), 3) << "the auto-reset one was reset by the choice";
    EXPECT_EQ(platform::WaitForAnyEvent(events, 0), 3) << "a manual-reset one stays signalled";
    manual->Set();
    EXPECT_EQ(platform::WaitForAnyEvent(events, platform::kInfinite), 0);

    const std::array<platform::Event*, 1> none = {nullptr};
    EXPECT_EQ(platform::WaitForAnyEvent(none, 10), -1);
}

TEST(WaitForAnyEvent, ASetFromAnotherThreadEndsTheWait) {
    auto first = NewEvent(true);
    auto second = NewEvent(false);
    const std::array<platform::Event*, 2> events = {first.get(), second.get()};
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        second->Set();
    });
    // Without a limit: a missed wake-up would never end.
    EXPECT_EQ(platform::WaitForAnyEvent(events, platform::kInfinite), 1);
    setter.join();
    EXPECT_EQ(platform::WaitForAnyEvent(events, 0), -1);
}
