// Where the top prompt, the toast and the small modal dialogs go: the prompt centred across its owner 10
// pixels below its top edge, the toast 10 pixels inside the work area's bottom-right corner, a modal dialog
// in the middle of the dimming layer it belongs to.
#pragma once
#include "ui/skin/SkinRect.h"

namespace velora::skin {

struct PopupPlacement {
    static constexpr int kInset = 10;
    static SkinRect TopPrompt(const SkinRect& owner, int width, int height);
    static SkinRect Toast(const SkinRect& workArea, int width, int height);
    static SkinRect Centred(const SkinRect& over, int width, int height);
};

}  // namespace velora::skin
