// The skin's colours, in the byte order of a Win32 COLORREF (0x00BBGGRR) so the views pass them on as
// they are, while the rules that pick them stay free of Windows headers.
#pragma once
#include <cstdint>

namespace velora::skin {

using SkinColor = uint32_t;

constexpr SkinColor SkinRgb(uint8_t r, uint8_t g, uint8_t b) {
    return static_cast<SkinColor>(r) | (static_cast<SkinColor>(g) << 8) | (static_cast<SkinColor>(b) << 16);
}
constexpr uint8_t RedOf(SkinColor c) {
    return static_cast<uint8_t>(c & 0xFF);
}
constexpr uint8_t GreenOf(SkinColor c) {
    return static_cast<uint8_t>((c >> 8) & 0xFF);
}
constexpr uint8_t BlueOf(SkinColor c) {
    return static_cast<uint8_t>((c >> 16) & 0xFF);
}

constexpr SkinColor kLightBackground = SkinRgb(245, 250, 255);
constexpr SkinColor kWhite = SkinRgb(255, 255, 255);
constexpr SkinColor kBorder = SkinRgb(212, 223, 235);
constexpr SkinColor kAccentBlue = SkinRgb(4, 73, 226);
constexpr SkinColor kEditSeparator = SkinRgb(200, 212, 225);
constexpr SkinColor kNormalText = SkinRgb(53, 64, 82);
constexpr SkinColor kHintText = SkinRgb(192, 192, 192);
constexpr SkinColor kCheckMark = SkinRgb(0, 123, 255);
constexpr SkinColor kStatusGreen = SkinRgb(110, 188, 102);
constexpr SkinColor kStatusRed = SkinRgb(255, 85, 85);
constexpr SkinColor kStatusOrange = SkinRgb(255, 180, 31);
constexpr SkinColor kStatusGrey = SkinRgb(182, 182, 182);
// A button background of this colour is not painted: the parent shows through.
constexpr SkinColor kTransparentKey = SkinRgb(255, 0, 255);

}  // namespace velora::skin
