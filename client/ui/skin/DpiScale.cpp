// DPI scale, level and the per-level picture choice.
#include "ui/skin/DpiScale.h"

namespace velora::skin {

CDpiScale CDpiScale::FromLogPixels(int logPixelsX, int logPixelsY) {
    return CDpiScale(logPixelsX > 0 ? logPixelsX / 96.0 : 1.0, logPixelsY > 0 ? logPixelsY / 96.0 : 1.0);
}

int CDpiScale::LevelOf(double scale) {
    if (!(scale >= 1.4)) return 0;  // NaN too: the plain pictures
    if (scale < 1.9) return 1;
    if (scale < 2.4) return 2;
    if (scale < 2.9) return 3;
    return 4;
}

int CDpiScale::PickByLevel(const std::array<int, 5>& perLevel, int level) {
    if (level < 0) level = 0;
    if (level > 4) level = 4;
    return perLevel[static_cast<size_t>(level)];
}

std::u16string CDpiScale::WaveFileName(int level) {
    static const char16_t* const kNames[5] = {u"wavetop-kx.png", u"wavetop-kx15x.png", u"wavetop-kx2x.png",
                                              u"wavetop-kx25x.png", u"wavetop-kx3x.png"};
    if (level < 0) level = 0;
    if (level > 4) level = 4;
    return kNames[level];
}

}  // namespace velora::skin
