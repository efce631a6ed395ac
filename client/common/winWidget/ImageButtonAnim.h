// An image button with a busy state: while busy it shows a picture turning 15 degrees per tick of its
// timer 1 over its background, instead of icon and text.
#pragma once
#include "common/winDC/GdiPlus.h"
#include "common/winWidget/ImageButton.h"

namespace velora {

class CImageButtonAnim : public CImageButton {
public:
    static constexpr UINT_PTR kTimerId = 1;

    // The picture stays the owner's; it must outlive the button's busy state.
    void SetBusyPicture(Gdiplus::Image* picture, int width, int height);
    void SetBusy(bool busy);
    bool Busy() const { return m_busy; }
    void StartTimer(UINT periodMs) { SetTimer(m_hWnd, kTimerId, periodMs, nullptr); }
    void StopTimer() { KillTimer(m_hWnd, kTimerId); }
    int Angle() const { return m_angle; }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void DrawButton(HDC dc, const RECT& rect, bool selected, bool disabled, bool focused) override;

private:
    Gdiplus::Image* m_picture = nullptr;
    int m_width = 0;
    int m_height = 0;
    bool m_busy = false;
    int m_angle = 0;
};

}  // namespace velora
