// Control metrics.
#include "ui/skin/ControlMetrics.h"

namespace velora::skin {

int ControlMetrics::EditIconSize(double scale) {
    if (scale == 2.0) return 32;
    if (scale == 1.0 || scale == 1.25) return 16;
    return 24;
}

std::array<ControlMetrics::Point, 3> ControlMetrics::CheckMark(int left, int top, int right, int bottom) {
    const int w = right - left;
    const int h = bottom - top;
    return {Point{left + w / 6, bottom / 2}, Point{right / 2, bottom - h / 4},
            Point{right - w / 6, top + h / 4}};
}

std::optional<ControlMetrics::StatusRow> ControlMetrics::StatusRowStyle(int status) {
    switch (status) {
        case 0:
            return StatusRow{Marker::Circle, std::nullopt, std::nullopt, false, true};
        case 1:
            return StatusRow{Marker::Circle, kStatusGreen, std::nullopt, false, true};
        case 2:
            return StatusRow{Marker::Circle, kStatusRed, std::nullopt, false, true};
        case 3:
            return StatusRow{Marker::Circle, kStatusOrange, std::nullopt, false, true};
        case 4:
            return StatusRow{Marker::ConnectorOnly, std::nullopt, std::nullopt, false, true};
        case 5:
            return StatusRow{Marker::ConnectorOnly, std::nullopt, kStatusGreen, false, true};
        case 6:
            return StatusRow{Marker::ConnectorOnly, std::nullopt, kStatusRed, false, true};
        case 7:
            return StatusRow{Marker::ConnectorOnly, std::nullopt, kStatusOrange, false, true};
        case 8:
            return StatusRow{Marker::ConnectorOnly, std::nullopt, kStatusGrey, true, true};
        case 9:
            return StatusRow{Marker::None, std::nullopt, std::nullopt, false, false};
        default:
            return std::nullopt;
    }
}

}  // namespace velora::skin
