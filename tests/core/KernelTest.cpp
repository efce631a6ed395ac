// Events and threads of the kernel port (reset kinds, pulses, names shared between holders, exit codes)
// and the interface table read.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "ApiTestSupport.h"
#include "platform/Kernel.h"
#include "platform/Network.h"
#include "platform/Text.h"

namespace velora::test {
namespace {

TEST(Kernel, EventsFollowTheirResetKinds) {
    auto manual = platform::OpenOrCreateEvent(u"", true, false).event;
    auto automatic = platform::OpenOrCreateEvent(u"", false, true).event;
    ASSERT_TRUE(manual && automatic);
    EXPECT_TRUE(automatic->Wait(0));
    EXPECT_FALSE(automatic->Wait(0));  // an auto-reset event releases one wait
    manual->Set();
    EXPECT_TRUE(manual->Wait(0));
    EXPECT_TRUE(manual->Wait(0));
    manual->Reset();
    EXPECT_FALSE(manual->Wait(0));
    manual->Pulse();  // nobody waiting: a pulse leaves nothing behind
    EXPECT_FALSE(manual->Wait(0));
    automatic->Pulse();
    EXPECT_FALSE(automatic->Wait(0));

    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i) waiters.emplace_back([&] { released += automatic->Wait(20000) ? 1 : 0; });
    // Each Set lets exactly one waiter go (a second Set before that one woke would be lost, as on
    // Windows, so the next comes only after it).
    for (int i = 1; i <= 3; ++i) {
        automatic->Set();
        ASSERT_TRUE(WaitUntil([&] { return released.load() == i; }));
    }
    for (auto& t : waiters) t.join();
    EXPECT_EQ(released.load(), 3);
}

TEST(Kernel, NamedEventsAreSharedByName) {
    // Under Wine every test process shares one object namespace: a random name keeps runs apart.
    const std::u16string name =
        u"Global\\velora-kernel-test-" + platform::Utf8ToUtf16(std::to_string(std::random_device{}()));
    auto first = platform::OpenOrCreateEvent(name, true, false);
    ASSERT_TRUE(first.event);
    EXPECT_FALSE(first.alreadyExisted);
    auto second = platform::OpenOrCreateEvent(name, false, true);  // kind and state of the existing one win
    ASSERT_TRUE(second.event);
    EXPECT_TRUE(second.alreadyExisted);
    EXPECT_FALSE(second.event->Wait(0));
    first.event->Set();
    EXPECT_TRUE(second.event->Wait(0));
    EXPECT_TRUE(second.event->Wait(0));  // manual reset
    auto other = platform::OpenOrCreateEvent(name + u"-other", true, false);
    ASSERT_TRUE(other.event);
    EXPECT_FALSE(other.alreadyExisted);
    EXPECT_FALSE(other.event->Wait(0));
}

TEST(Kernel, ThreadsReportTheirExitCodes) {
    Gate go;
    auto created = platform::StartThread([&] {
        go.Wait();
        return uint32_t{2};
    });
    ASSERT_TRUE(created.thread);
    uint32_t code = 0;
    EXPECT_TRUE(created.thread->GetExitCode(code));
    EXPECT_EQ(code, platform::kStillActive);
    EXPECT_TRUE(created.thread->IsRunning());
    EXPECT_FALSE(created.thread->Wait(0));
    go.Open();
    EXPECT_TRUE(created.thread->Wait(platform::kInfinite));
    EXPECT_FALSE(created.thread->IsRunning());
    EXPECT_TRUE(created.thread->GetExitCode(code));
    EXPECT_EQ(code, 2u);

    // Dropping the thread object never ends the thread.
    std::atomic<bool> ran{false};
    Gate later;
    {
        auto detached = platform::StartThread([&] {
            later.Wait();
            ran = true;
            return uint32_t{0};
        });
        ASSERT_TRUE(detached.thread);
    }
    later.Open();
    EXPECT_TRUE(WaitUntil([&] { return ran.load(); }));
}

TEST(InterfaceTable, SizeQueryThenRows) {
    const platform::InterfaceTable table = platform::ReadInterfaceTable();
    EXPECT_EQ(table.sizeQueryResult, platform::kErrorInsufficientBuffer);
    EXPECT_TRUE(table.readOk);
    ASSERT_FALSE(table.rows.empty());  // at least the loopback interface
    for (const auto& row : table.rows) {
        EXPECT_EQ(row.description.find('\0'), std::string::npos);
        EXPECT_NE(row.description, "Hal-Vane");
    }
}

}  // namespace
}  // namespace velora::test
