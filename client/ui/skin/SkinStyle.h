// What each of the five skin styles of a skinned window means: background, where the window can be
// dragged, and the margin of its system buttons.
#pragma once

namespace velora::skin {

enum class SkinBackground { BlueBand, Wave, White };

struct SkinStyle {
    static constexpr int kBandUnits = 171;        // width of style 0's accent band
    static constexpr int kWaveHeightUnits = 101;  // height of style 1's wave picture
    static constexpr int kButtonStepUnits = 25;   // from one system button to the next
    static constexpr int kMinimiseGapUnits = 15;  // extra gap after the minimise button in style 0
    static constexpr int kCornerEllipse = 6;      // rounded window outline, pixels

    // Styles outside 0-4 are treated as style 4 (plain white).
    static SkinBackground Background(int style);
    static int ButtonMarginUnits(int style);
    // Every point not covered by a control drags the window, except in style 3 (normal dialog answers).
    static bool DragsAnywhere(int style);
};

}  // namespace velora::skin
