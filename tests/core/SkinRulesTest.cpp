// The skin's decisions that do not draw: DPI scale and level, system buttons, image button states,
// chronometer texts, the toast's dots, prompt kinds and placement, control metrics.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "ui/skin/ChronometerText.h"
#include "ui/skin/ControlMetrics.h"
#include "ui/skin/DpiScale.h"
#include "ui/skin/ImageButtonState.h"
#include "ui/skin/PopupPlacement.h"
#include "ui/skin/PromptKind.h"
#include "ui/skin/SkinStyle.h"
#include "ui/skin/SystemButtonLayout.h"
#include "ui/skin/ToastRetryText.h"

namespace velora::skin {
namespace {

TEST(DpiScaleTest, LevelsAtTheScreenSettingsAndTheBoundaries) {
    struct Case {
        int logPixels;
        int level;
    };
    for (const Case& c : {Case{96, 0}, Case{120, 0}, Case{144, 1}, Case{168, 1}, Case{192, 2}, Case{240, 3},
                          Case{288, 4}, Case{384, 4}}) {
        EXPECT_EQ(CDpiScale::FromLogPixels(c.logPixels, c.logPixels).Level(), c.level) << c.logPixels;
    }
    struct Boundary {
        double scale;
        int level;
    };
    for (const Boundary& b :
         {Boundary{-3.0, 0}, Boundary{1.3999, 0}, Boundary{1.4, 1}, Boundary{1.8999, 1}, Boundary{1.9, 2},
          Boundary{2.4, 3}, Boundary{2.9, 4}, Boundary{std::nan(""), 0}}) {
        EXPECT_EQ(CDpiScale::LevelOf(b.scale), b.level) << b.scale;
    }
}

TEST(DpiScaleTest, UnknownPixelCountsMeanScaleOneAndUnitsTruncate) {
    const CDpiScale unknown = CDpiScale::FromLogPixels(0, -5);
    EXPECT_EQ(unknown.X(), 1.0);
    EXPECT_EQ(unknown.Y(), 1.0);
    const CDpiScale s = CDpiScale::FromLogPixels(168, 120);  // 1.75 and 1.25
    EXPECT_EQ(s.UnitsX(171), 299);                           // 299.25
    EXPECT_EQ(s.UnitsY(101), 126);                           // 126.25
    EXPECT_EQ(s.UnitsX(-3), -5);                             // toward zero
}

TEST(DpiScaleTest, WaveFileAndFiveEntryRowsFollowTheLevel) {
    EXPECT_EQ(CDpiScale::WaveFileName(CDpiScale::FromLogPixels(96, 96).Level()), u"wavetop-kx.png");
    EXPECT_EQ(CDpiScale::WaveFileName(CDpiScale::FromLogPixels(168, 168).Level()), u"wavetop-kx15x.png");
    EXPECT_EQ(CDpiScale::WaveFileName(CDpiScale::FromLogPixels(192, 192).Level()), u"wavetop-kx2x.png");
    EXPECT_EQ(CDpiScale::WaveFileName(CDpiScale::FromLogPixels(240, 240).Level()), u"wavetop-kx25x.png");
    EXPECT_EQ(CDpiScale::WaveFileName(CDpiScale::FromLogPixels(288, 288).Level()), u"wavetop-kx3x.png");
    const std::array<int, 5> toastPicture{1092, 1094, 1093, 463, 464};
    EXPECT_EQ(CDpiScale::PickByLevel(toastPicture, 0), 1092);
    EXPECT_EQ(CDpiScale::PickByLevel(toastPicture, 2), 1093);
    EXPECT_EQ(CDpiScale::PickByLevel(toastPicture, 4), 464);
    EXPECT_EQ(CDpiScale::PickByLevel(toastPicture, 9), 464);
    EXPECT_EQ(CDpiScale::PickByLevel(toastPicture, -1), 1092);
}

TEST(SkinStyleTest, MarginsDraggingAndBackgrounds) {
    EXPECT_EQ(SkinStyle::ButtonMarginUnits(2), 8);
    for (int style : {0, 1, 3, 4}) EXPECT_EQ(SkinStyle::ButtonMarginUnits(style), 11);
    for (int style : {0, 1, 2, 4}) EXPECT_TRUE(SkinStyle::DragsAnywhere(style));
    EXPECT_FALSE(SkinStyle::DragsAnywhere(3));
    EXPECT_EQ(SkinStyle::Background(0), SkinBackground::BlueBand);
    EXPECT_EQ(SkinStyle::Background(1), SkinBackground::Wave);
    EXPECT_EQ(SkinStyle::Background(3), SkinBackground::White);
}

using Button = CSystemButtonLayout::Button;

TEST(SystemButtonLayoutTest, StyleZeroAt150PercentUsesLevelOneIconsAnd18PixelButtons) {
    const CDpiScale scale(1.5, 1.5);
    const auto buttons = CSystemButtonLayout::Layout(0, 0x1 | 0x2 | 0x8, 600, scale);
    ASSERT_EQ(buttons.size(), 3u);
    // Close at the right: right edge 600 - 16 (11 x 1.5 truncated), top 16, 18 x 18.
    EXPECT_EQ(buttons[0], (Button{0x1, 2, {566, 16, 584, 34}, {218, 220, 222}}));
    // 25 units (37 pixels) further left.
    EXPECT_EQ(buttons[1], (Button{0x2, 46023, {529, 16, 547, 34}, {237, 238, 239}}));
    // After the minimise button in style 0: 25 + 15 units (60 pixels).
    EXPECT_EQ(buttons[2], (Button{0x8, 46024, {469, 16, 487, 34}, {230, 231, 232}}));
}

TEST(SystemButtonLayoutTest, SizeFactorAndIconGroupPerLevelAndStyle) {
    struct Case {
        int logPixels;
        int style;
        int size;
        int closeNormalIcon;
    };
    for (const Case& c :
         {Case{96, 0, 16, 138}, Case{144, 0, 18, 218}, Case{168, 4, 18, 218}, Case{192, 0, 24, 219},
          Case{288, 1, 24, 219}, Case{144, 2, 16, 218}, Case{192, 2, 22, 219}}) {
        const auto buttons = CSystemButtonLayout::Layout(c.style, 0x1, 400,
                                                         CDpiScale::FromLogPixels(c.logPixels, c.logPixels));
        ASSERT_EQ(buttons.size(), 1u);
        EXPECT_EQ(buttons[0].rect.Width(), c.size) << c.logPixels << " style " << c.style;
        EXPECT_EQ(buttons[0].rect.Height(), c.size);
        EXPECT_EQ(buttons[0].icons[0], c.closeNormalIcon);
    }
}

TEST(SystemButtonLayoutTest, SmallCloseButtonOfStyleTwoAndUnknownBits) {
    const auto buttons = CSystemButtonLayout::Layout(2, 0x1000 | 0x4 | 0x80, 300, CDpiScale(2.0, 2.0));
    ASSERT_EQ(buttons.size(), 1u);  // other bits have no effect
    EXPECT_EQ(buttons[0], (Button{0x1000, 2, {272, 16, 284, 28}, {409, 412, 415}}));  // 9 x 1.4 = 12
    EXPECT_EQ(CSystemButtonLayout::Icons(0x100, 0), (std::array<int, 3>{250, 260, 270}));
    EXPECT_EQ(CSystemButtonLayout::Icons(0x1000, 1), (std::array<int, 3>{410, 413, 416}));
    EXPECT_EQ(CSystemButtonLayout::Icons(0x2, 3), (std::array<int, 3>{233, 234, 236}));
    EXPECT_EQ(CSystemButtonLayout::Icons(0x4, 0), (std::array<int, 3>{0, 0, 0}));
    // All five rows, right to left in table order, 25 units apart outside style 0.
    const auto all = CSystemButtonLayout::Layout(4, 0x1 | 0x2 | 0x8 | 0x100 | 0x1000, 500, CDpiScale());
    ASSERT_EQ(all.size(), 5u);
    for (size_t i = 0; i < all.size(); ++i) EXPECT_EQ(all[i].rect.right, 489 - 25 * static_cast<int>(i));
}

TEST(ImageButtonStateTest, DrawStateAndIconChoice) {
    CImageButtonState state;
    EXPECT_EQ(state.State(false, false), CImageButtonState::kNormal);
    state.OnMouseMove();
    EXPECT_EQ(state.State(false, false), CImageButtonState::kHover);
    EXPECT_EQ(state.State(false, true), CImageButtonState::kDisabled);
    EXPECT_EQ(state.State(true, true), CImageButtonState::kPressed);
    // A disabled button with three icons shows the last one, the pressed icon.
    EXPECT_EQ(CImageButtonState::IconIndex(CImageButtonState::kDisabled, 3), 2);
    EXPECT_EQ(CImageButtonState::IconIndex(CImageButtonState::kDisabled, 4), 3);
    EXPECT_EQ(CImageButtonState::IconIndex(CImageButtonState::kHover, 1), 0);
    EXPECT_EQ(CImageButtonState::IconIndex(CImageButtonState::kHover, 0), -1);
    EXPECT_EQ(CImageButtonState::TextShift(CImageButtonState::kPressed), 2);
    EXPECT_EQ(CImageButtonState::TextShift(CImageButtonState::kHover), 0);
}

TEST(ImageButtonStateTest, HoverTextFromEnteringUntilThePress) {
    CImageButtonState state;
    const std::u16string text = u"Connect", hover = u"Disconnect";
    EXPECT_EQ(state.ShownText(text, hover), text);
    EXPECT_TRUE(state.OnMouseMove());   // entering: track the leave, repaint
    EXPECT_FALSE(state.OnMouseMove());  // further moves change nothing
    EXPECT_EQ(state.ShownText(text, hover), hover);
    EXPECT_EQ(state.ShownText(text, u""), text);
    state.OnLeftButtonDown();
    EXPECT_EQ(state.ShownText(text, hover), text);
    EXPECT_TRUE(state.Hovering());
    state.OnMouseLeave();
    EXPECT_FALSE(state.Hovering());
    EXPECT_TRUE(state.OnMouseMove());
    EXPECT_EQ(state.ShownText(text, hover), hover);
}

TEST(ImageButtonStateTest, FocusRectangleFollowsTheMouseFocusMark) {
    CImageButtonState state;
    EXPECT_TRUE(state.DrawsFocusRect(true, true));
    EXPECT_FALSE(state.DrawsFocusRect(false, true));
    EXPECT_FALSE(state.DrawsFocusRect(true, false));
    state.OnLeftButtonDown();  // focus by mouse: no rectangle
    EXPECT_FALSE(state.DrawsFocusRect(true, true));
    state.OnKillFocus(true);  // to another window of the program: the mark clears
    EXPECT_TRUE(state.DrawsFocusRect(true, true));
    state.OnKillFocus(false);  // out of the program: the mark is set
    EXPECT_FALSE(state.DrawsFocusRect(true, true));
}

TEST(ChronometerTextTest, ThreeFormsInBothLanguages) {
    struct Case {
        int64_t seconds;
        std::u16string english;
        std::u16string chinese;
    };
    const int64_t day = 86400;
    for (const Case& c :
         {Case{0, u"00:00:00", u"00:00:00"}, Case{3723, u"01:02:03", u"01:02:03"},
          Case{day - 1, u"23:59:59", u"23:59:59"}, Case{day, u"1 Day 00:00:00", u"1\u5929 00:00:00"},
          Case{day + 2 * 3600 + 3 * 60 + 4, u"1 Day 02:03:04", u"1\u5929 02:03:04"},
          Case{2 * day, u"2 Days 00:00:00", u"2\u5929 00:00:00"},
          Case{400 * day + 59, u"400 Days 00:00:59", u"400\u5929 00:00:59"}}) {
        EXPECT_EQ(CChronometerText::Format(c.seconds, 1033), c.english) << c.seconds;
        EXPECT_EQ(CChronometerText::Format(c.seconds, 2052), c.chinese) << c.seconds;
    }
}

TEST(ChronometerTextTest, AClockThatWentBackRestartsTheCount) {
    CChronometerText chrono;
    chrono.Start(1000);
    EXPECT_EQ(chrono.Tick(1061, 1033), u"00:01:01");
    EXPECT_EQ(chrono.Tick(900, 1033), u"00:00:00");
    EXPECT_EQ(chrono.StartTime(), 900);
    EXPECT_EQ(chrono.Tick(905, 1033), u"00:00:05");
}

TEST(ToastRetryTextTest, OneTwoThreeDotsThenAgain) {
    const std::u16string retry = u"Retry";
    std::u16string text = retry;
    const std::u16string expected[] = {u"Retry.", u"Retry..", u"Retry...", u"Retry", u"Retry."};
    for (const auto& next : expected) {
        text = NextRetryText(text, retry);
        EXPECT_EQ(text, next);
    }
}

TEST(PromptKindTest, ColoursIconsAndSelfClosing) {
    const PromptKind error = PromptKind::Of(0);
    EXPECT_EQ(error.textColor, SkinRgb(255, 85, 85));
    EXPECT_EQ(error.icons, (std::array<int, 5>{334, 335, 336, 459, 460}));
    EXPECT_FALSE(error.closesItself);
    const PromptKind success = PromptKind::Of(1);
    EXPECT_EQ(success.textColor, SkinRgb(53, 64, 82));
    EXPECT_EQ(success.icons, (std::array<int, 5>{331, 332, 333, 457, 458}));
    EXPECT_TRUE(success.closesItself);
    const PromptKind notice = PromptKind::Of(2);
    EXPECT_EQ(notice.textColor, SkinRgb(255, 170, 0));
    EXPECT_EQ(notice.icons, (std::array<int, 5>{417, 420, 418, 467, 468}));
    EXPECT_FALSE(notice.closesItself);
    const PromptKind plain = PromptKind::Of(3);
    EXPECT_FALSE(plain.textColor.has_value());
    EXPECT_FALSE(plain.icons.has_value());
    EXPECT_TRUE(plain.closesItself);
    EXPECT_FALSE(PromptKind::Of(17).closesItself);
}

TEST(PopupPlacementTest, PromptBelowTheOwnersTopAndToastInTheCorner) {
    EXPECT_EQ(PopupPlacement::TopPrompt({100, 50, 900, 650}, 300, 40), (SkinRect{350, 60, 650, 100}));
    EXPECT_EQ(PopupPlacement::Toast({0, 0, 1280, 770}, 320, 150), (SkinRect{950, 610, 1270, 760}));
    // A modal dialog in the middle of its layer, also when it is the larger of the two.
    EXPECT_EQ(PopupPlacement::Centred({100, 50, 900, 650}, 300, 141), (SkinRect{350, 279, 650, 420}));
    EXPECT_EQ(PopupPlacement::Centred({10, 10, 210, 110}, 300, 140), (SkinRect{-40, -10, 260, 130}));
}

TEST(ControlMetricsTest, EditIconCheckMarkStatusRowsAndLinkWeight) {
    EXPECT_EQ(ControlMetrics::EditIconSize(1.0), 16);
    EXPECT_EQ(ControlMetrics::EditIconSize(1.25), 16);
    EXPECT_EQ(ControlMetrics::EditIconSize(2.0), 32);
    EXPECT_EQ(ControlMetrics::EditIconSize(1.5), 24);
    EXPECT_EQ(ControlMetrics::EditIconSize(3.0), 24);
    using P = ControlMetrics::Point;
    EXPECT_EQ(ControlMetrics::CheckMark(0, 0, 18, 18), (std::array<P, 3>{P{3, 9}, P{9, 14}, P{15, 4}}));
    EXPECT_EQ(ControlMetrics::StatusRowStyle(1)->circleColor, kStatusGreen);
    EXPECT_EQ(ControlMetrics::StatusRowStyle(4)->marker, ControlMetrics::Marker::ConnectorOnly);
    EXPECT_EQ(ControlMetrics::StatusRowStyle(7)->textColor, kStatusOrange);
    EXPECT_TRUE(ControlMetrics::StatusRowStyle(8)->secondFont);
    EXPECT_FALSE(ControlMetrics::StatusRowStyle(9)->indented);
    EXPECT_FALSE(ControlMetrics::StatusRowStyle(10).has_value());
    EXPECT_EQ(ControlMetrics::LinkWeight(600), 700);
    EXPECT_EQ(ControlMetrics::LinkWeight(400), 400);
}

}  // namespace
}  // namespace velora::skin
