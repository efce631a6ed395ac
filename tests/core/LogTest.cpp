// The client log: the file it creates, the line format and tags, the start-up trimming (including
// damaged files), the history reader and writes from many threads.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <thread>
#include <vector>

#include "core/Log.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "support/LogFiles.h"

namespace velora {
namespace {

using test::DateDaysAgo;
using test::FromUtf16Le;
using test::kLogHeader;
using test::LineDaysAgo;
using test::ReadBytes;
using test::Utf16Le;
using test::WriteBytes;

std::u16string DefaultLogFolder() {
    std::u16string folder = platform::RoamingAppDataFolder();
    folder += platform::kPathSeparator;
    folder += u"Halvane";
    return folder;
}

std::vector<std::string> LinesOf(std::u16string_view path, std::size_t offset) {
    const std::u16string text = FromUtf16Le(ReadBytes(path), offset);
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t feed = text.find(u'\n', at);
        EXPECT_NE(feed, std::u16string::npos) << "every line ends with a line feed";
        if (feed == std::u16string::npos) break;
        lines.push_back(platform::Utf16ToUtf8(std::u16string_view(text).substr(at, feed - at)));
        at = feed + 1;
    }
    return lines;
}

// "2026-03-01 08:15:02 [TAG] text": false unless the line has that shape.
bool SplitLine(const std::string& line, std::string& tag, std::string& text) {
    static constexpr std::string_view kShape = "0000-00-00 00:00:00 [";
    if (line.size() < kShape.size()) return false;
    for (std::size_t i = 0; i < kShape.size(); ++i) {
        const bool digit = line[i] >= '0' && line[i] <= '9';
        if (kShape[i] == '0' ? !digit : line[i] != kShape[i]) return false;
    }
    const std::size_t close = line.find("] ", kShape.size());
    if (close == std::string::npos) return false;
    tag = line.substr(kShape.size() - 1, close + 1 - (kShape.size() - 1));
    text = line.substr(close + 2);
    return true;
}

// Each case is its own process under CTest, so StartLog here is the process's first; run by hand in
// one process, only the first test that starts the log can see the start itself.
TEST(LogStart, FirstStartCreatesTheFileWithTheHeaderAlone) {
    if (!LogFilePath().empty()) GTEST_SKIP() << "the log was started earlier in this process";
    const std::u16string folder = DefaultLogFolder();
    const std::u16string path = folder + platform::kPathSeparator + u"clientUI.log";
    platform::DeleteOneFile(path);  // Wine test processes share one user profile

    LogDebug(u"written before the start");
    EXPECT_TRUE(LogFilePath().empty());

    StartLog(nullptr);
    EXPECT_EQ(LogFolder(), folder);
    EXPECT_EQ(LogFilePath(), path);
    EXPECT_TRUE(platform::IsDirectory(folder));
    EXPECT_EQ(ReadBytes(path), kLogHeader);
}

TEST(LogStart, StartTrimsTheExistingFile) {
    if (!LogFilePath().empty()) GTEST_SKIP() << "the log was started earlier in this process";
    const std::u16string folder = DefaultLogFolder();
    platform::CreateOneDirectory(folder);
    const std::u16string path = folder + platform::kPathSeparator + u"clientUI.log";
    const std::u16string recent = LineDaysAgo(2, u"kept");
    WriteBytes(path, kLogHeader + Utf16Le(LineDaysAgo(300, u"first") + LineDaysAgo(200, u"old") + recent));

    StartLog(nullptr);
    EXPECT_EQ(ReadBytes(path), kLogHeader + Utf16Le(recent));
}

// The log started once, and pointed at a file of the test's own.
class LogFileTest : public testing::Test {
protected:
    void SetUp() override {
        StartLog(nullptr);
        path_ = scratch_.Path(u"test.log");
        WriteBytes(path_, kLogHeader);
        SetLogFilePath(path_);
    }
    std::vector<std::string> Lines() const { return LinesOf(path_, kLogHeader.size()); }

    test::CScratchFolder scratch_;
    std::u16string path_;
};

TEST_F(LogFileTest, LinesCarryTimeStampTagAndText) {
    struct Case {
        int32_t level;
        const char* tag;
    };
    const Case cases[] = {{0, "[DEBUG]"},  {1, "[INFO]"},    {2, "[WARN]"},    {3, "[ERROR]"},
                          {4, "[NOTICE]"}, {7, "[UNKNOWN]"}, {-1, "[UNKNOWN]"}};
    for (const Case& c : cases) LogAtLevel(u"level text", c.level);
    LogDebug(u"engine text");

    const auto lines = Lines();
    ASSERT_EQ(lines.size(), std::size(cases) + 1);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(lines[i]);
        std::string tag, text;
        ASSERT_TRUE(SplitLine(lines[i], tag, text));
        EXPECT_EQ(tag, i < std::size(cases) ? cases[i].tag : "[DEBUG]");
        EXPECT_EQ(text, i < std::size(cases) ? "level text" : "engine text");
        EXPECT_TRUE(IsRecentLogLine(platform::Utf8ToUtf16(lines[i]), 1)) << "local time of today";
    }
    EXPECT_EQ(FromUtf16Le(ReadBytes(path_)).find(u'\r'), std::u16string::npos) << "no carriage returns";
}

// A line break inside a logged text (a user name, a server answer) never starts a line of its own.
TEST_F(LogFileTest, LineBreaksInsideATextAreWrittenAsVisibleEscapes) {
    struct Case {
        const char16_t* text;
        const char* written;
    };
    const Case cases[] = {
        {u"alice\n2099-01-01 00:00:00 [ERROR] forged", "alice\\n2099-01-01 00:00:00 [ERROR] forged"},
        {u"answer\r\n{\"code\":1}", "answer\\r\\n{\"code\":1}"},
        {u"ends in a break\n", "ends in a break\\n"},
        {u"\r", "\\r"},
    };
    for (const Case& c : cases) LogAtLevel(c.text, kLogInfo);
    LogFormat(u"user %s", u"bob\nx");
    const auto lines = Lines();
    ASSERT_EQ(lines.size(), std::size(cases) + 1);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        std::string tag, text;
        ASSERT_TRUE(SplitLine(lines[i], tag, text));
        EXPECT_EQ(tag, "[INFO]");
        EXPECT_EQ(text, cases[i].written);
    }
    std::string tag, text;
    ASSERT_TRUE(SplitLine(lines.back(), tag, text));
    EXPECT_EQ(text, "user bob\\nx");
}

TEST_F(LogFileTest, OperationsWriteWhatTheyShould) {
    const std::u16string format = MessageText(260);
    ASSERT_FALSE(format.empty()) << "message 260 is in the catalogue";
    ASSERT_NE(format.find(u"%d"), std::u16string::npos);
    const std::string formatted = platform::Utf16ToUtf8(FormatText(format, 42));
    constexpr uint32_t kMissing = 0xFFFF0;

    LogDebug(u"");              // nothing
    LogAtLevel(u"", kLogInfo);  // nothing
    LogFormat(u"");             // nothing
    LogMessageId(kMissing);     // nothing
    LogMessageIdAtLevel(kMissing, kLogError);
    LogFormatMessageId(kMissing, 1);
    LogFormatMessageIdAtLevel(kLogError, kMissing, 1);
    LogFormat(u"%s=%d, 100%%", u"x", 5);
    LogMessageId(260);
    LogMessageIdAtLevel(260, kLogNotice);
    LogFormatMessageId(260, 42);
    LogFormatMessageIdAtLevel(kLogWarn, 260, 42);

    const std::string raw = platform::Utf16ToUtf8(format);
    const std::vector<std::string> want = {"[DEBUG] x=5, 100%", "[DEBUG] " + raw, "[NOTICE] " + raw,
                                           "[DEBUG] " + formatted, "[WARN] " + formatted};
    const auto lines = Lines();
    ASSERT_EQ(lines.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) EXPECT_EQ(lines[i].substr(20), want[i]);
}

TEST_F(LogFileTest, ThreadsNeverInterleaveLines) {
    constexpr int kThreads = 4;
    constexpr int kLines = 150;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i) {
                if (i % 2) {
                    LogFormat(u"thread %d line %d", t, i);
                } else {
                    LogAtLevel(FormatText(u"thread %d line %d", t, i),
                               kLogInfo);  // also queues for the window
                }
            }
        });
    }
    for (auto& thread : threads) thread.join();

    int next[kThreads] = {};
    const auto lines = Lines();
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLines));
    for (const std::string& line : lines) {
        std::string tag, text;
        ASSERT_TRUE(SplitLine(line, tag, text)) << line;
        int t = -1, i = -1;
        char rest = 0;
        ASSERT_EQ(std::sscanf(text.c_str(), "thread %d line %d%c", &t, &i, &rest), 2) << line;
        ASSERT_TRUE(t >= 0 && t < kThreads) << line;
        EXPECT_EQ(tag, i % 2 ? "[DEBUG]" : "[INFO]");
        EXPECT_EQ(i, next[t]++) << "one thread's lines keep their order";
    }
    FlushPendingLogLines();
}

// The history view: lines of the last 15 days with a user level, up to the line holding both markers.
TEST_F(LogFileTest, ReadRecentLinesFromTheFirstRecentOneOn) {
    const std::u16string lines[] = {
        LineDaysAgo(0, u"first line is passed over"),
        LineDaysAgo(20, u"older than 15 days"),
        LineDaysAgo(17, u"older still", u"[WARN]"),
        LineDaysAgo(10, u"debug lines are never shown", u"[DEBUG]"),
        LineDaysAgo(10, u"shown 1"),
        LineDaysAgo(30, u"old, but after the first recent line", u"[ERROR]"),
        LineDaysAgo(5, u"shown 3", u"[NOTICE]"),
        LineDaysAgo(5, u"marker line", u"[WARN]", u"11:22:33"),
        LineDaysAgo(1, u"after the marker"),
    };
    std::u16string file;
    for (const auto& line : lines) file += line;
    WriteBytes(path_, kLogHeader + Utf16Le(file));
    const auto strip = [](std::u16string line) { return line.substr(0, line.size() - 1); };

    struct Case {
        std::u16string_view markerA, markerB;
        std::vector<std::u16string> want;
    };
    const Case cases[] = {
        {u"11:22:33", u"marker line", {strip(lines[4]), strip(lines[5]), strip(lines[6])}},
        {u"11:22:33",
         u"",
         {strip(lines[4]), strip(lines[5]), strip(lines[6]), strip(lines[7]), strip(lines[8])}},
        {u"",
         u"marker line",
         {strip(lines[4]), strip(lines[5]), strip(lines[6]), strip(lines[7]), strip(lines[8])}},
        {u"11:22:34",
         u"marker line",
         {strip(lines[4]), strip(lines[5]), strip(lines[6]), strip(lines[7]), strip(lines[8])}},
    };
    for (const Case& c : cases) {
        std::vector<std::u16string> got = {u"stale entry"};
        ReadRecentLogLines(c.markerA, c.markerB, got);
        EXPECT_EQ(got, c.want) << platform::Utf16ToUtf8(c.markerA) << " / "
                               << platform::Utf16ToUtf8(c.markerB);
    }
}

TEST_F(LogFileTest, ReadRecentLinesReportsAFileThatCannotBeRead) {
    const std::u16string missing = scratch_.Path(u"missing.log");
    SetLogFilePath(missing);
    std::vector<std::u16string> got = {u"stale entry"};
    ReadRecentLogLines(u"a", u"b", got);
    EXPECT_TRUE(got.empty());
    // The error goes to the log itself, which is the missing file, now created by that line.
    const auto lines = LinesOf(missing, 0);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].substr(20),
              "[ERROR] " + platform::Utf16ToUtf8(platform::ErrorText(platform::kErrorFileNotFound)));
}

TEST(LogLineDate, RecentForNDays) {
    const std::u16string today = DateDaysAgo(0);
    struct Case {
        std::u16string line;
        int days;
        bool recent;
    };
    const Case cases[] = {
        {today + u" 00:00:00 [INFO] x", 60, true},
        {DateDaysAgo(1) + u" x", 60, true},
        {DateDaysAgo(57) + u" x", 60, true},
        {DateDaysAgo(63) + u" x", 60, false},
        {DateDaysAgo(13) + u" x", 15, true},
        {DateDaysAgo(17) + u" x", 15, false},
        {DateDaysAgo(-1) + u" x", 60, false},  // tomorrow: in the future
        {DateDaysAgo(-400) + u" x", 60, false},
        {DateDaysAgo(0, false) + u" x", 60, true},  // numbers need no leading zeros
        {u"2020-12-31 23:59:59 x", 100000, false},  // 2020 and before never count
        {u"2021-01-01 00:00:00 x", 100000, true},
        {today, 60, false},  // no blank: no first word
        {u" " + today + u" x", 60, false},
        {u"", 60, false},
        {today.substr(0, 5) + u"13-01 x", 100000, false},
        {today.substr(0, 5) + u"00-10 x", 100000, false},
        {today.substr(0, 8) + u"00 x", 100000, false},
        {today.substr(0, 8) + u"32 x", 100000, false},
        {today + u"-01 x", 60, false},
        {u"2026/01/01 x", 100000, false},
        {u"-2026-01-01 x", 100000, false},
        {u"2026--01 x", 100000, false},
        {u"99999999999-01-01 x", 100000, false},
        {u"2O26-01-01 x", 100000, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsRecentLogLine(c.line, c.days), c.recent) << platform::Utf16ToUtf8(c.line);
}

// Trimming: the rules for well-formed logs, and damaged files that must be left alone or come out sound.
TEST(LogTrim, KeepsSixtyDaysAndLeavesDamagedFilesAlone) {
    const std::u16string first = LineDaysAgo(400, u"first line, never examined");
    const std::u16string old1 = LineDaysAgo(100, u"old one");
    const std::u16string old2 = LineDaysAgo(65, u"old two", u"[DEBUG]");
    const std::u16string recent1 = LineDaysAgo(10, u"recent one");
    const std::u16string recent2 = LineDaysAgo(0, u"recent two", u"[ERROR]");
    const std::u16string oldAfter = LineDaysAgo(200, u"old, after a recent one");
    const std::string H = kLogHeader;
    const auto U = [](std::u16string_view units) { return Utf16Le(units); };

    std::mt19937 random(12345);
    std::string binary(4096, '\0');
    for (char& b : binary) b = static_cast<char>(random());
    binary[0] = 0x00;  // not a byte-order mark
    std::string markThenBinary = "\xFF\xFE" + binary;

    struct Case {
        const char* name;
        std::string before;
        bool changed;
        std::string after;
    };
    const Case cases[] = {
        {"all lines after the first are old", H + U(first + old1 + old2), true, H},
        {"second line recent: untouched however old the first", H + U(first + recent1 + old1), false, ""},
        {"drops up to the first recent line, keeps all after it",
         H + U(first + old1 + old2 + recent1 + oldAfter + recent2), true,
         H + U(recent1 + oldAfter + recent2)},
        {"a line dated in the future is dropped", H + U(first + LineDaysAgo(-3, u"future") + recent1), true,
         H + U(recent1)},
        {"the year 2020 is old", H + U(first + u"2020-06-01 10:00:00 [INFO] x\n" + recent1), true,
         H + U(recent1)},
        {"a last line without a feed gets one", H + U(first + old1 + recent1 + u"cut sho"), true,
         H + U(recent1 + u"cut sho\n")},
        {"undated lines among old ones go with them", H + U(first + u"not dated\n" + old1 + u"\n" + recent1),
         true, H + U(recent1)},
        {"only undated lines to drop: not provably a log, untouched",
         H + U(first + u"not dated\n2026-13-01 bad month\n" + recent1), false, ""},
        {"header only", H, false, ""},
        {"header and one old line", H + U(old1), false, ""},
        {"truncated header", "\xFF\xFE", false, ""},
        {"no byte-order mark (UTF-8 text of old lines)", platform::Utf16ToUtf8(first + old1 + old2 + recent1),
         false, ""},
        {"binary", binary, false, ""},
        {"byte-order mark, then binary", markThenBinary, false, ""},
        {"odd length with old lines: trimmed, the dangling byte goes", H + U(first + old1 + recent1) + "x",
         true, H + U(recent1)},
        {"odd length, all recent", H + U(first + recent1) + "x", false, ""},
        {"one long line without any feed", H + U(std::u16string(1 << 20, u'a')), false, ""},
        {"feeds only", H + U(u"\n\n\n\n"), false, ""},
        {"old lines ending in NUL units", H + U(first + old1 + std::u16string(7, u'\0')), true, H},
    };
    test::CScratchFolder scratch;
    const std::u16string path = scratch.Path(u"clientUI.log");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(path, c.before);
        EXPECT_EQ(TrimLogFile(path), c.changed);
        EXPECT_EQ(ReadBytes(path), c.changed ? c.after : c.before);
    }
}

TEST(LogTrim, AnEmptyFileGetsItsHeader) {
    test::CScratchFolder scratch;
    const std::u16string path = scratch.Path(u"clientUI.log");
    WriteBytes(path, "");
    EXPECT_TRUE(TrimLogFile(path));
    EXPECT_EQ(ReadBytes(path), kLogHeader);
    EXPECT_FALSE(TrimLogFile(scratch.Path(u"missing.log")));
    EXPECT_FALSE(platform::FileExists(scratch.Path(u"missing.log")));
}

}  // namespace
}  // namespace velora
