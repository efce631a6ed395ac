// The four kinds of top prompt: text colour, icon per display scale, and whether it closes by itself.
#pragma once
#include <array>
#include <optional>

#include "ui/skin/Palette.h"

namespace velora::skin {

struct PromptKind {
    static constexpr int kError = 0;
    static constexpr int kSuccess = 1;
    static constexpr int kNotice = 2;
    static constexpr int kPlainSuccess = 3;
    static constexpr unsigned kCloseTimerId = 10019;
    static constexpr unsigned kCloseAfterMs = 4000;

    std::optional<SkinColor> textColor;  // none: the dialog's default text colour
    std::optional<std::array<int, 5>> icons;
    bool closesItself = false;

    // Kinds outside 0-3 are shown as errors: they stay until replaced, so nothing vanishes unread.
    static PromptKind Of(int kind);
};

}  // namespace velora::skin
