// The user log reaching the main window, against the host's simulated windows: live posting, lines
// queued until the window (with its log list) exists, and the bound on that queue.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Log.h"
#include "core/WindowMessages.h"
#include "platform/Messenger.h"
#include "platform/host/SimWindows.h"
#include "support/LogFiles.h"

namespace velora {
namespace {

using platform::host::CreateSimWindow;
using platform::host::DestroySimWindow;
using platform::host::SimMessage;
using platform::host::TakeSimMessages;

// The texts of UM_LOG_LINE messages, freed as the main window would.
std::vector<std::u16string> TakeLogLines(platform::WindowHandle window) {
    std::vector<std::u16string> lines;
    for (const SimMessage& m : TakeSimMessages(window)) {
        EXPECT_EQ(m.message, UM_LOG_LINE);
        EXPECT_EQ(m.wParam, 0u);
        EXPECT_FALSE(m.sent) << "log lines are posted";
        auto* text = reinterpret_cast<std::u16string*>(m.lParam);
        lines.push_back(*text);
        delete text;
    }
    return lines;
}

void Destroy(platform::WindowHandle window) {
    for (const SimMessage& m : DestroySimWindow(window)) delete reinterpret_cast<std::u16string*>(m.lParam);
}

// The file's lines (line feeds kept), as the window should receive them.
std::vector<std::u16string> FileLines(std::u16string_view path) {
    const std::u16string text = test::FromUtf16Le(test::ReadBytes(path), test::kLogHeader.size());
    std::vector<std::u16string> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find(u'\n', at) + 1;
        lines.push_back(text.substr(at, end - at));
        at = end;
    }
    return lines;
}

class LogWindowTest : public testing::Test {
protected:
    void SetUp() override {
        StartLog(nullptr);
        path_ = scratch_.Path(u"window.log");
        test::WriteBytes(path_, test::kLogHeader);
        SetLogFilePath(path_);
        platform::SetMainWindow(nullptr);
        FlushPendingLogLines();  // nothing left over from an earlier test in this process
    }
    void TearDown() override { platform::SetMainWindow(nullptr); }

    test::CScratchFolder scratch_;
    std::u16string path_;
};

TEST_F(LogWindowTest, LinesWithALevelArePostedAsWritten) {
    const auto window = CreateSimWindow({kLogListControlId});
    platform::SetMainWindow(window);
    LogAtLevel(u"to the window", kLogInfo);
    LogDebug(u"file only");
    LogFormatMessageIdAtLevel(kLogError, 260, 5);

    const auto file = FileLines(path_);
    ASSERT_EQ(file.size(), 3u);
    EXPECT_EQ(TakeLogLines(window), (std::vector<std::u16string>{file[0], file[2]}));
    FlushPendingLogLines();
    EXPECT_TRUE(TakeLogLines(window).empty()) << "nothing was queued";
    Destroy(window);
}

TEST_F(LogWindowTest, LinesWaitUntilTheMainWindowHasItsLogList) {
    LogAtLevel(u"before any window", kLogWarn);
    const auto noList = CreateSimWindow({1001, 1041});
    platform::SetMainWindow(noList);
    LogAtLevel(u"window without log list", kLogNotice);
    LogDebug(u"never queued");
    EXPECT_TRUE(TakeSimMessages(noList).empty());

    const auto main = CreateSimWindow({1001, kLogListControlId});
    platform::SetMainWindow(main);
    EXPECT_TRUE(TakeLogLines(main).empty()) << "queued lines wait for the flush";
    FlushPendingLogLines();
    const auto file = FileLines(path_);
    ASSERT_EQ(file.size(), 3u);
    EXPECT_EQ(TakeLogLines(main), (std::vector<std::u16string>{file[0], file[1]}));
    FlushPendingLogLines();
    EXPECT_TRUE(TakeLogLines(main).empty()) << "the queue is emptied";
    Destroy(noList);
    Destroy(main);
}

TEST_F(LogWindowTest, FlushWithoutWindowDropsTheQueue) {
    LogAtLevel(u"queued", kLogInfo);
    FlushPendingLogLines();
    const auto main = CreateSimWindow({kLogListControlId});
    platform::SetMainWindow(main);
    FlushPendingLogLines();
    EXPECT_TRUE(TakeLogLines(main).empty());
    Destroy(main);
}

TEST_F(LogWindowTest, AWindowThatWentAwayLeavesItsLinesQueued) {
    const auto gone = CreateSimWindow({kLogListControlId});
    platform::SetMainWindow(gone);
    Destroy(gone);
    platform::SetMainWindow(gone);  // a stale handle, as a worker may still hold one
    LogAtLevel(u"after the window closed", kLogInfo);

    const auto next = CreateSimWindow({kLogListControlId});
    platform::SetMainWindow(next);
    FlushPendingLogLines();
    EXPECT_EQ(TakeLogLines(next), FileLines(path_));
    Destroy(next);
}

// Without the bound, a program that never shows the main window (the client API) grows without limit.
TEST_F(LogWindowTest, TheQueueKeepsTheNewestLinesOnly) {
    constexpr int kExtra = 7;
    const int total = static_cast<int>(kMaxPendingLogLines) + kExtra;
    for (int i = 0; i < total; ++i) LogFormatMessageIdAtLevel(kLogInfo, 260, i);
    const auto file = FileLines(path_);
    ASSERT_EQ(file.size(), static_cast<std::size_t>(total)) << "the file keeps every line";

    const auto main = CreateSimWindow({kLogListControlId});
    platform::SetMainWindow(main);
    FlushPendingLogLines();
    const auto lines = TakeLogLines(main);
    ASSERT_EQ(lines.size(), kMaxPendingLogLines);
    EXPECT_EQ(lines.front(), file[kExtra]);
    EXPECT_EQ(lines.back(), file.back());
    Destroy(main);
}

}  // namespace
}  // namespace velora
