// A rectangle in pixels with the Win32 edge convention (right and bottom lie outside), for the rules that
// place buttons and pop-ups without Windows headers.
#pragma once

namespace velora::skin {

struct SkinRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const SkinRect&) const = default;
};

}  // namespace velora::skin
