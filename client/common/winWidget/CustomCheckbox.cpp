// Check boxes.
#include "common/winWidget/CustomCheckbox.h"

#include "common/winAuto/ControlReflection.h"
#include "common/winDC/GdiPlus.h"
#include "ui/skin/ControlMetrics.h"
#include "ui/skin/Palette.h"

namespace velora {

void CCustomCheckbox::OnAttached() {
    const LONG_PTR style = GetWindowLongPtrW(m_hWnd, GWL_STYLE);
    SetWindowLongPtrW(m_hWnd, GWL_STYLE, (style & ~static_cast<LONG_PTR>(BS_TYPEMASK)) | BS_OWNERDRAW);
}

void CCustomCheckbox::SetChecked(bool checked) {
    m_checked = checked;
    Invalidate();
}

LRESULT CCustomCheckbox::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND:
            return TRUE;
        case BM_GETCHECK:
            return m_checked ? BST_CHECKED : BST_UNCHECKED;
        case BM_SETCHECK:
            SetChecked(wParam == BST_CHECKED);
            return 0;
        case WM_LBUTTONUP:
            // A click is a release over the box while it was pressed.
            if ((SendMessageW(m_hWnd, BM_GETSTATE, 0, 0) & BST_PUSHED) != 0) SetChecked(!m_checked);
            break;
        case WM_KEYUP:
            if (wParam == VK_SPACE && (SendMessageW(m_hWnd, BM_GETSTATE, 0, 0) & BST_PUSHED) != 0) {
                SetChecked(!m_checked);
            }
            break;
        default:
            break;
    }
    return Default(message, wParam, lParam);
}

LRESULT CCustomCheckbox::OnReflected(UINT reflected, UINT, WPARAM, LPARAM lParam, bool& handled) {
    handled = false;
    if (reflected != UM_REFLECT_DRAWITEM) return 0;
    const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    const RECT r = item->rcItem;
    HBRUSH white = CreateSolidBrush(skin::kWhite);
    FillRect(item->hDC, &r, white);
    DeleteObject(white);
    HBRUSH border = CreateSolidBrush(skin::kBorder);
    FrameRect(item->hDC, &r, border);
    DeleteObject(border);
    if (m_checked) {
        Gdiplus::Graphics graphics(item->hDC);
        graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
        const auto c = skin::kCheckMark;
        Gdiplus::Pen pen(Gdiplus::Color(255, skin::RedOf(c), skin::GreenOf(c), skin::BlueOf(c)), 2);
        const auto p = skin::ControlMetrics::CheckMark(r.left, r.top, r.right, r.bottom);
        const Gdiplus::Point points[3] = {{p[0].x, p[0].y}, {p[1].x, p[1].y}, {p[2].x, p[2].y}};
        graphics.DrawLines(&pen, points, 3);
    }
    handled = true;
    return TRUE;
}

}  // namespace velora
