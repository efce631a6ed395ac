// The scale a skinned window reads once when it opens: logical pixels per inch over 96, per axis, and the
// DPI level (0-4) that picks picture variants.
#pragma once
#include <array>
#include <string>

namespace velora::skin {

class CDpiScale {
public:
    CDpiScale() = default;
    CDpiScale(double x, double y) : m_x(x), m_y(y) {}
    // A count of zero or less (unknown) gives the scale 1.0 on that axis.
    static CDpiScale FromLogPixels(int logPixelsX, int logPixelsY);

    double X() const { return m_x; }
    double Y() const { return m_y; }
    // Units times the scale, truncated toward zero.
    int UnitsX(double units) const { return static_cast<int>(units * m_x); }
    int UnitsY(double units) const { return static_cast<int>(units * m_y); }
    int Level() const { return LevelOf(m_x); }

    // Below 1.4 (negative too) 0; below 1.9 1; below 2.4 2; below 2.9 3; else 4.
    static int LevelOf(double scale);
    // The entry of a five-entry row (one resource per level) for the level.
    static int PickByLevel(const std::array<int, 5>& perLevel, int level);
    // File name of the wave picture under "res\" for the level.
    static std::u16string WaveFileName(int level);

private:
    double m_x = 1.0;
    double m_y = 1.0;
};

}  // namespace velora::skin
