// The system buttons of a skinned window (close, minimise, the window's own command button, the other
// close buttons): which ones a window's flags ask for, their ids, rectangles and icons per DPI level.
#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "ui/skin/DpiScale.h"
#include "ui/skin/SkinRect.h"

namespace velora::skin {

class CSystemButtonLayout {
public:
    static constexpr uint32_t kFlagClose = 0x1;
    static constexpr uint32_t kFlagMinimise = 0x2;
    static constexpr uint32_t kFlagCommand = 0x8;
    static constexpr uint32_t kFlagCloseAlt = 0x100;
    static constexpr uint32_t kFlagCloseSmall = 0x1000;
    static constexpr int kMinimiseCommandId = 46023;
    static constexpr int kCustomCommandId = 46024;
    static constexpr int kButtonSizeUnits = 16;
    static constexpr int kSmallButtonSizeUnits = 9;

    struct Button {
        uint32_t flag = 0;
        int controlId = 0;
        SkinRect rect;
        std::array<int, 3> icons{};  // normal, hover, pressed
        bool operator==(const Button&) const = default;
    };

    // The buttons from the right edge leftwards, in table order, for a client area `clientWidth` wide.
    static std::vector<Button> Layout(int style, uint32_t flags, int clientWidth, const CDpiScale& scale);
    // 1.0, 1.125 or 1.5 by level (style 2: 1.0, 1.0, 1.4).
    static double SizeFactor(int level, int style);
    // The three icon ids of a flag's row for the level (level 0, level 1, level 2 and above); zeros for
    // a flag without a row.
    static std::array<int, 3> Icons(uint32_t flag, int level);
};

}  // namespace velora::skin
