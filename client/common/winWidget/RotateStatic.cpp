// The busy indicator.
#include "common/winWidget/RotateStatic.h"

namespace velora {

void CRotateStatic::SetPicture(Gdiplus::Image* picture, int width, int height) {
    m_picture = picture;
    m_width = width;
    m_height = height;
    Invalidate();
}

void CRotateStatic::Paint(HDC dc) {
    if (!m_picture || m_width == 0 || m_height == 0) return;
    RECT client;
    GetClientRect(m_hWnd, &client);
    const INT w = client.right, h = client.bottom;
    Gdiplus::Bitmap frame(w, h, PixelFormat32bppARGB);
    {
        Gdiplus::Graphics graphics(&frame);
        graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
        graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
        graphics.Clear(
            Gdiplus::Color(255, GetRValue(m_background), GetGValue(m_background), GetBValue(m_background)));
        graphics.TranslateTransform(w / 2.0f, h / 2.0f);
        graphics.RotateTransform(static_cast<Gdiplus::REAL>(m_angle));
        graphics.TranslateTransform(-w / 2.0f, -h / 2.0f);
        graphics.DrawImage(m_picture, 0, (h - m_height) / 2, m_width, m_height);
    }
    Gdiplus::Graphics out(dc);
    out.DrawImage(&frame, 0, 0, w, h);
}

LRESULT CRotateStatic::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            if (wParam != kTimerId) break;
            m_angle = (m_angle + 15) % 360;
            InvalidateRect(m_hWnd, nullptr, FALSE);
            return 0;
        case WM_ERASEBKGND:
            return TRUE;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(m_hWnd, &paint);
            Paint(dc);
            EndPaint(m_hWnd, &paint);
            return 0;
        }
        default:
            break;
    }
    return Default(message, wParam, lParam);
}

}  // namespace velora
