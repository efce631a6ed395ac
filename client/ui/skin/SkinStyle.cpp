// The skin style table.
#include "ui/skin/SkinStyle.h"

namespace velora::skin {

SkinBackground SkinStyle::Background(int style) {
    if (style == 0) return SkinBackground::BlueBand;
    if (style == 1) return SkinBackground::Wave;
    return SkinBackground::White;
}

int SkinStyle::ButtonMarginUnits(int style) {
    return style == 2 ? 8 : 11;
}

bool SkinStyle::DragsAnywhere(int style) {
    return style != 3;
}

}  // namespace velora::skin
