// A busy indicator: a static whose picture turns 15 degrees on every tick of its timer 1 (180 ms, started
// by its owner).
#pragma once
#include "common/winAuto/SubclassedControl.h"
#include "common/winDC/GdiPlus.h"

namespace velora {

class CRotateStatic : public CSubclassedControl {
public:
    static constexpr UINT_PTR kTimerId = 1;

    // The picture stays the owner's.
    void SetPicture(Gdiplus::Image* picture, int width, int height);
    void SetBackground(COLORREF color) { m_background = color; }
    void StartTimer(UINT periodMs = 180) { SetTimer(m_hWnd, kTimerId, periodMs, nullptr); }
    void StopTimer() { KillTimer(m_hWnd, kTimerId); }
    int Angle() const { return m_angle; }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Paint(HDC dc);

    Gdiplus::Image* m_picture = nullptr;
    int m_width = 0;
    int m_height = 0;
    int m_angle = 0;
    COLORREF m_background = RGB(255, 255, 255);
};

}  // namespace velora
