// Animated image buttons.
#include "common/winWidget/ImageButtonAnim.h"

namespace velora {

void CImageButtonAnim::SetBusyPicture(Gdiplus::Image* picture, int width, int height) {
    m_picture = picture;
    m_width = width;
    m_height = height;
    Invalidate();
}

void CImageButtonAnim::SetBusy(bool busy) {
    m_busy = busy;
    Invalidate();
}

LRESULT CImageButtonAnim::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER && wParam == kTimerId) {
        // Kept within one turn: the picture is the same, and the count never overflows.
        m_angle = (m_angle + 15) % 360;
        Invalidate();
        return 0;
    }
    return CImageButton::WindowProc(message, wParam, lParam);
}

void CImageButtonAnim::DrawButton(HDC dc, const RECT& rect, bool selected, bool disabled, bool focused) {
    if (!m_busy) {
        CImageButton::DrawButton(dc, rect, selected, disabled, focused);
        return;
    }
    // `dc` is the button's off-screen copy: everything below reaches the window in one copy.
    PaintParentBackground(dc);
    if (!m_picture || m_width == 0 || m_height == 0) return;
    const INT w = rect.right - rect.left, h = rect.bottom - rect.top;
    if (m_gradientFill) FillRoundedGradient(dc, rect);
    Gdiplus::Graphics graphics(dc);
    graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    const COLORREF c = m_backgrounds[0];
    if (!m_gradientFill && c != kTransparent) {
        Gdiplus::GraphicsPath path;
        const INT d = m_diameter * 2 < w && m_diameter * 2 < h ? m_diameter * 2 : (w < h ? w : h) - 1;
        path.AddArc(rect.left, rect.top, d, d, 180, 90);
        path.AddArc(rect.left + w - 1 - d, rect.top, d, d, 270, 90);
        path.AddArc(rect.left + w - 1 - d, rect.top + h - 1 - d, d, d, 0, 90);
        path.AddArc(rect.left, rect.top + h - 1 - d, d, d, 90, 90);
        path.CloseFigure();
        const Gdiplus::Color color(255, GetRValue(c), GetGValue(c), GetBValue(c));
        Gdiplus::SolidBrush brush(color);
        graphics.FillPath(&brush, &path);
        Gdiplus::Pen pen(color, 1);
        graphics.DrawPath(&pen, &path);
    }
    graphics.TranslateTransform(rect.left + w / 2.0f, rect.top + h / 2.0f);
    graphics.RotateTransform(static_cast<Gdiplus::REAL>(m_angle));
    graphics.DrawImage(m_picture, -m_width / 2, -m_height / 2, m_width, m_height);
}

}  // namespace velora
