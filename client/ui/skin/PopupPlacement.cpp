// Pop-up placement.
#include "ui/skin/PopupPlacement.h"

namespace velora::skin {

SkinRect PopupPlacement::TopPrompt(const SkinRect& owner, int width, int height) {
    const int left = owner.left + (owner.Width() - width) / 2;
    const int top = owner.top + kInset;
    return {left, top, left + width, top + height};
}

SkinRect PopupPlacement::Toast(const SkinRect& workArea, int width, int height) {
    const int right = workArea.right - kInset;
    const int bottom = workArea.bottom - kInset;
    return {right - width, bottom - height, right, bottom};
}

SkinRect PopupPlacement::Centred(const SkinRect& over, int width, int height) {
    const int left = over.left + (over.Width() - width) / 2;
    const int top = over.top + (over.Height() - height) / 2;
    return {left, top, left + width, top + height};
}

}  // namespace velora::skin
