// System-button table and placement.
#include "ui/skin/SystemButtonLayout.h"

#include "ui/skin/SkinStyle.h"

namespace velora::skin {

namespace {

struct Row {
    uint32_t flag;
    int controlId;
    std::array<std::array<int, 3>, 3> icons;  // level 0, level 1, level 2 and above
};

constexpr int kCancelId = 2;

const Row kRows[] = {
    {CSystemButtonLayout::kFlagClose, kCancelId, {{{138, 139, 140}, {218, 220, 222}, {219, 221, 223}}}},
    {CSystemButtonLayout::kFlagMinimise,
     CSystemButtonLayout::kMinimiseCommandId,
     {{{132, 133, 134}, {237, 238, 239}, {233, 234, 236}}}},
    {CSystemButtonLayout::kFlagCommand,
     CSystemButtonLayout::kCustomCommandId,
     {{{156, 157, 158}, {230, 231, 232}, {227, 228, 229}}}},
    {CSystemButtonLayout::kFlagCloseAlt, kCancelId, {{{250, 260, 270}, {243, 244, 245}, {240, 241, 242}}}},
    {CSystemButtonLayout::kFlagCloseSmall, kCancelId, {{{408, 136, 414}, {410, 413, 416}, {409, 412, 415}}}},
};

int LevelGroup(int level) {
    return level <= 0 ? 0 : (level == 1 ? 1 : 2);
}

}  // namespace

double CSystemButtonLayout::SizeFactor(int level, int style) {
    if (level >= 2) return style == 2 ? 1.4 : 1.5;
    if (level == 1) return style == 2 ? 1.0 : 1.125;
    return 1.0;
}

std::array<int, 3> CSystemButtonLayout::Icons(uint32_t flag, int level) {
    for (const Row& row : kRows) {
        if (row.flag == flag) return row.icons[static_cast<size_t>(LevelGroup(level))];
    }
    return {0, 0, 0};
}

std::vector<CSystemButtonLayout::Button> CSystemButtonLayout::Layout(int style, uint32_t flags,
                                                                     int clientWidth,
                                                                     const CDpiScale& scale) {
    const double factor = SizeFactor(scale.Level(), style);
    const bool small = style == 2 && (flags & kFlagCloseSmall) != 0;
    const int sizeUnits = small ? kSmallButtonSizeUnits : kButtonSizeUnits;
    const int width = static_cast<int>(sizeUnits * factor);
    const int height = static_cast<int>(sizeUnits * factor);
    const int margin = SkinStyle::ButtonMarginUnits(style);

    SkinRect rect;
    rect.right = clientWidth - scale.UnitsX(margin);
    rect.left = rect.right - width;
    rect.top = scale.UnitsY(margin);
    rect.bottom = rect.top + height;

    std::vector<Button> buttons;
    for (const Row& row : kRows) {
        if ((flags & row.flag) == 0) continue;
        buttons.push_back(Button{row.flag, row.controlId, rect, Icons(row.flag, scale.Level())});
        int step = SkinStyle::kButtonStepUnits;
        if (row.flag == kFlagMinimise && style == 0) step += SkinStyle::kMinimiseGapUnits;
        const int dx = scale.UnitsX(step);
        rect.left -= dx;
        rect.right -= dx;
    }
    return buttons;
}

}  // namespace velora::skin
