// The log list's rows: splitting, date headers, newest-first insertion, wrapping against a measuring
// function, the "View All" pass and the trimming when the log page opens.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "ui/skin/LogLineParts.h"
#include "ui/skin/LogListModel.h"
#include "ui/skin/LogTextWrap.h"

namespace velora::skin {
namespace {

// Every character 7 pixels wide, blanks 3: a font whose widths grow with the text.
int Measure(std::u16string_view text) {
    int width = 0;
    for (char16_t c : text) width += c == u' ' ? 3 : 7;
    return width;
}

std::vector<LogListRow> RowsOf(const CLogListModel& model) {
    return {model.Rows().begin(), model.Rows().end()};
}

// The wrapping rule as a person reads it: step back one character at a time from the end.
std::vector<std::u16string> WrapByStepping(std::u16string_view text, int maxWidth) {
    auto alnum = [](char16_t c) {
        return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
    };
    std::vector<std::u16string> rows;
    while (!text.empty()) {
        if (Measure(text) <= maxWidth) {
            rows.emplace_back(text);
            break;
        }
        size_t k = text.size();
        size_t cut = 0;
        for (; k > 1; --k) {
            if (alnum(text[k - 1])) continue;
            if (Measure(text.substr(0, k - 1)) <= maxWidth) {
                cut = k - 1;
                break;
            }
        }
        if (cut == 0) {
            rows.emplace_back(text);
            break;
        }
        rows.emplace_back(text.substr(0, cut));
        text.remove_prefix(cut);
    }
    return rows;
}

TEST(LogLinePartsTest, SplitsAtTheFirstThreeBlanksAndDropsLinesWithoutALevelOrWithAnEmptyPart) {
    const auto parts = LogLineParts::Split(u"2026-03-01 08:15:02 [WARN] Link lost, retrying now\n");
    ASSERT_TRUE(parts.has_value());
    EXPECT_EQ(parts->date, u"2026-03-01");
    EXPECT_EQ(parts->time, u"08:15:02");
    EXPECT_EQ(parts->level, u"[WARN]");
    EXPECT_EQ(parts->text, u"Link lost, retrying now");
    EXPECT_EQ(parts->FirstRowStatus(), 3);
    for (const char16_t* bad :
         {u"2026-03-01 08:15:02 Reconnected to the gateway", u"2026-03-01 08:15:02 [INFO] ",
          u"2026-03-01 08:15:02 [INFO]", u"2026-03-01  08:15:02 [INFO] x", u" 08:15:02 [INFO] x", u"",
          u"no blanks at all", u"2026-03-01 08:15:02 [] text"}) {
        EXPECT_FALSE(LogLineParts::Split(bad).has_value())
            << std::string(bad, bad + std::u16string_view(bad).size());
    }
    struct Level {
        const char16_t* tag;
        int status;
    };
    for (const Level& l : {Level{u"[INFO]", 0}, Level{u"[NOTICE]", 1}, Level{u"[ERROR]", 2},
                           Level{u"[WARN]", 3}, Level{u"[UNKNOWN]", 0}}) {
        EXPECT_EQ(
            LogLineParts::Split(std::u16string(u"2026-03-01 08:15:02 ") + l.tag + u" x")->FirstRowStatus(),
            l.status);
    }
}

TEST(LogTextWrapTest, BreaksBeforeTheLastFittingNonAlphanumericCharacter) {
    // 70 pixels: ten letters.
    EXPECT_EQ(WrapLogText(u"short", 70, Measure), (std::vector<std::u16string>{u"short"}));
    EXPECT_EQ(WrapLogText(u"abcde fghij klmno", 70, Measure),
              (std::vector<std::u16string>{u"abcde", u" fghij", u" klmno"}));
    EXPECT_EQ(WrapLogText(u"abc,def.ghijklm", 70, Measure),
              (std::vector<std::u16string>{u"abc,def", u".ghijklm"}));
    // One long word wider than the list stays on one row, and so does the rest after it.
    EXPECT_EQ(WrapLogText(u"abcdefghijklmnopqrstuvwxyz", 70, Measure),
              (std::vector<std::u16string>{u"abcdefghijklmnopqrstuvwxyz"}));
    EXPECT_EQ(WrapLogText(u"abcdefghijklmnop qr", 70, Measure),
              (std::vector<std::u16string>{u"abcdefghijklmnop qr"}));
    EXPECT_TRUE(WrapLogText(u"", 70, Measure).empty());
}

TEST(LogTextWrapTest, AgreesWithSteppingBackOneCharacterAtATime) {
    std::mt19937 random(13);
    const char16_t alphabet[] = u"abcXYZ019 ,.-:/_";
    for (int round = 0; round < 300; ++round) {
        std::u16string text;
        const int length = 1 + static_cast<int>(random() % 120);
        for (int i = 0; i < length; ++i) text.push_back(alphabet[random() % (sizeof alphabet / 2 - 1)]);
        const int width = 10 + static_cast<int>(random() % 200);
        EXPECT_EQ(WrapLogText(text, width, Measure), WrapByStepping(text, width)) << round;
    }
}

TEST(LogTextWrapTest, AHundredThousandCharacterLineWrapsWithFewMeasurements) {
    std::u16string text;
    for (int i = 0; i < 20000; ++i) text += u"word ";
    long measured = 0;
    const MeasureText counting = [&](std::u16string_view t) {
        measured += static_cast<long>(t.size());
        return Measure(t);
    };
    const auto rows = WrapLogText(text, 300, counting);
    std::u16string joined;
    for (const auto& row : rows) {
        EXPECT_LE(Measure(row), 300);
        joined += row;
    }
    EXPECT_EQ(joined, text);
    // Characters measured stay within a small multiple of the text (stepping back would measure billions).
    EXPECT_LT(measured, 100L * static_cast<long>(text.size()));
    EXPECT_EQ(LogWrapWidth(400, 1.5, 17), 400 - 30 - 17 - 15);
}

TEST(LogListModelTest, NewestEntryAndNewestDateOnTop) {
    CLogListModel model;
    auto first = model.Append(u"2026-03-01 08:00:00 [INFO] Connected\n", 500, Measure);
    EXPECT_EQ(first.index, 0u);
    EXPECT_EQ(first.count, 5u);
    auto second = model.Append(u"2026-03-01 09:00:00 [ERROR] Lost", 500, Measure);
    EXPECT_EQ(second.index, 3u);
    EXPECT_EQ(second.count, 2u);
    auto third = model.Append(u"2026-03-02 07:00:00 [NOTICE] Next day", 500, Measure);
    EXPECT_EQ(third.index, 0u);
    EXPECT_EQ(third.count, 5u);
    const std::vector<LogListRow> expected = {{u"", 9},           {u"2026-03-02", 9}, {u"", 9},
                                              {u"Next day", 1},   {u"07:00:00", 8},   {u"", 9},
                                              {u"2026-03-01", 9}, {u"", 9},           {u"Lost", 2},
                                              {u"09:00:00", 8},   {u"Connected", 0},  {u"08:00:00", 8}};
    EXPECT_EQ(RowsOf(model), expected);
    // Dropped lines change nothing.
    EXPECT_EQ(model.Append(u"2026-03-02 07:00:00 no level here", 500, Measure).count, 0u);
    EXPECT_EQ(model.Append(u"2026-03-02 07:00:00 [INFO] ", 500, Measure).count, 0u);
    EXPECT_EQ(model.Rows().size(), expected.size());
}

TEST(LogListModelTest, WrappedEntriesUseTheFurtherRowStatusAndTextThatLooksLikeADateIsNoHeader) {
    CLogListModel model;
    model.Append(u"2026-03-01 08:00:00 [WARN] abcde fghij", 40, Measure);
    model.Append(u"2026-03-02 08:00:00 [INFO] 2026-03-01 was yesterday", 1000, Measure);
    model.Append(u"2026-03-01 10:00:00 [INFO] later", 1000, Measure);
    const std::vector<LogListRow> expected = {
        {u"", 9},         {u"2026-03-02", 9}, {u"", 9},           {u"2026-03-01 was yesterday", 0},
        {u"08:00:00", 8}, {u"", 9},           {u"2026-03-01", 9}, {u"", 9},
        {u"later", 0},    {u"10:00:00", 8},   {u"abcde", 3},      {u" fghij", 7},
        {u"08:00:00", 8}};
    EXPECT_EQ(RowsOf(model), expected);
}

TEST(LogListModelTest, ViewAllAppendsOlderLinesAndOpeningThePageTrimsThemAgain) {
    CLogListModel model;
    model.Append(u"2026-03-10 08:00:00 [INFO] Today one", 1000, Measure);
    model.Append(u"2026-03-10 09:00:00 [INFO] Today two", 1000, Measure);
    const auto shownBefore = RowsOf(model);
    model.BeginViewAll();
    EXPECT_TRUE(model.Extended());
    EXPECT_EQ(model.MarkerA(), u"08:00:00");
    EXPECT_EQ(model.MarkerB(), u"Today one");
    // Older lines as the log file holds them, oldest first.
    auto older = model.AppendOlder(u"2026-03-05 10:00:00 [WARN] Older", 1000, Measure);
    EXPECT_EQ(older.index, shownBefore.size());
    EXPECT_EQ(older.count, 5u);
    EXPECT_EQ(model.AppendOlder(u"2026-03-05 11:00:00 [INFO] Older two", 1000, Measure).count, 2u);
    EXPECT_EQ(model.AppendOlder(u"2026-03-10 07:00:00 [INFO] Earlier today", 1000, Measure).count, 2u);
    EXPECT_EQ(model.Rows().size(), shownBefore.size() + 9);
    // Back on the log page: only what was shown before remains.
    const auto all = [](std::u16string_view) { return true; };
    EXPECT_EQ(model.TrimOnOpen(all), shownBefore.size());
    EXPECT_EQ(RowsOf(model), shownBefore);
    EXPECT_FALSE(model.Extended());
}

TEST(LogListModelTest, TrimmingDropsEverythingFromTheFirstDateThatIsNoLongerRecent) {
    CLogListModel model;
    model.Append(u"2026-01-01 08:00:00 [INFO] Old", 1000, Measure);
    model.Append(u"2026-03-09 08:00:00 [INFO] Yesterday", 1000, Measure);
    model.Append(u"2026-03-10 08:00:00 [INFO] Today", 1000, Measure);
    std::vector<std::u16string> asked;
    const auto recent = [&](std::u16string_view text) {
        asked.emplace_back(text);
        return text.substr(0, 7) == u"2026-03";
    };
    EXPECT_EQ(model.TrimOnOpen(recent), 11u);
    EXPECT_EQ(asked, (std::vector<std::u16string>{u"2026-03-10 ", u"2026-03-09 ", u"2026-01-01 "}));
    EXPECT_EQ(model.Rows().back(), (LogListRow{u"", 9}));  // the empty row above the old header stays
    EXPECT_EQ(model.Rows()[9], (LogListRow{u"08:00:00", 8}));
}

TEST(LogListModelTest, ViewAllOnAnEmptyListKeepsItsRowsAndTrimWithoutMarkersDeletesNothing) {
    CLogListModel model;
    model.BeginViewAll();
    EXPECT_EQ(model.MarkerA(), u"");
    model.AppendOlder(u"2026-03-05 10:00:00 [WARN] Older", 1000, Measure);
    EXPECT_EQ(model.TrimOnOpen([](std::u16string_view) { return true; }), 5u);
}

}  // namespace
}  // namespace velora::skin
