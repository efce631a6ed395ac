// Sizes and shapes of the owned controls that follow from the scale alone: the edit field's icon and
// padding, the check mark's stroke points, the status list's markers and colours, the link's font weight.
#pragma once
#include <array>
#include <optional>

#include "ui/skin/Palette.h"

namespace velora::skin {

struct ControlMetrics {
    struct Point {
        int x = 0;
        int y = 0;
        bool operator==(const Point&) const = default;
    };

    // Edit field: 32-pixel icon at scale 2.0, 16 at 1.0 and 1.25, else 24.
    static int EditIconSize(double scale);
    static int EditLeftPaddingUnits() { return 3; }

    // Check mark through (left + w/6, bottom/2), (right/2, bottom - h/4), (right - w/6, top + h/4).
    static std::array<Point, 3> CheckMark(int left, int top, int right, int bottom);

    // Status list rows (status 0-9; others drawn by the system).
    enum class Marker { None, Circle, ConnectorOnly };
    struct StatusRow {
        Marker marker = Marker::None;
        std::optional<SkinColor> circleColor;  // none: a neutral (border-coloured) circle
        std::optional<SkinColor> textColor;    // none: the list's text colour
        bool secondFont = false;
        bool indented = true;  // text 20 units to the right
    };
    static std::optional<StatusRow> StatusRowStyle(int status);

    // A link takes its parent's font, bold (700) when the parent's weight is above 400, else 400.
    static int LinkWeight(int parentWeight) { return parentWeight > 400 ? 700 : 400; }
};

}  // namespace velora::skin
