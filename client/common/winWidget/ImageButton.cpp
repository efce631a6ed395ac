// Image buttons.
#include "common/winWidget/ImageButton.h"

#include <vector>

#include "common/winAuto/AutoAttach.h"
#include "common/winAuto/ControlReflection.h"
#include "common/winAuto/SkinFailure.h"
#include "common/winDC/DC.h"
#include "common/winDC/GdiPlus.h"
#include "common/winDC/MemoryDC.h"
#include "common/winImage/ImageResource.h"

namespace velora {

namespace {

Gdiplus::Color Opaque(COLORREF c) {
    return Gdiplus::Color(255, GetRValue(c), GetGValue(c), GetBValue(c));
}

void FillSolid(HDC dc, const RECT& rect, COLORREF color) {
    SetBkColor(dc, color);
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
}

// The outline of a rectangle with rounded corners of radius `r`.
void AddRoundedRect(Gdiplus::GraphicsPath& path, const RECT& rect, int r) {
    const INT x = rect.left, y = rect.top, w = rect.right - rect.left - 1, h = rect.bottom - rect.top - 1;
    const INT d = r * 2;
    if (d <= 0 || d > w || d > h) {
        path.AddRectangle(Gdiplus::Rect(x, y, w, h));
        return;
    }
    path.AddArc(x, y, d, d, 180, 90);
    path.AddArc(x + w - d, y, d, d, 270, 90);
    path.AddArc(x + w - d, y + h - d, d, d, 0, 90);
    path.AddArc(x, y + h - d, d, d, 90, 90);
    path.CloseFigure();
}

}  // namespace

CImageButton::~CImageButton() {
    if (m_images) ImageList_Destroy(m_images);
}

void CImageButton::Create(HWND parent, int controlId, const RECT& rect, DWORD style) {
    HWND window = CreateWindowExW(
        0, L"BUTTON", L"", style | BS_OWNERDRAW, rect.left, rect.top, rect.right - rect.left,
        rect.bottom - rect.top, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId)),
        reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
    if (!window || !Attach(window)) {
        if (window) DestroyWindow(window);
        ThrowBrxException(kOutOfMemoryHresult, __LINE__, kWinWidgetFile, "CImageButton::Create");
    }
    SendMessageW(window, WM_SETFONT, SendMessageW(parent, WM_GETFONT, 0, 0), FALSE);
}

void CImageButton::OnAttached() {
    const LONG_PTR style = GetWindowLongPtrW(m_hWnd, GWL_STYLE);
    m_tabStop = (style & WS_TABSTOP) != 0;
    if ((style & BS_TYPEMASK) != BS_OWNERDRAW) {
        SetWindowLongPtrW(m_hWnd, GWL_STYLE, (style & ~static_cast<LONG_PTR>(BS_TYPEMASK)) | BS_OWNERDRAW);
    }
    RECT client;
    GetClientRect(m_hWnd, &client);
    RecreateImageList(client.right, client.bottom, "CImageButton::SetSize");
}

void CImageButton::RecreateImageList(int width, int height, const char* operation) {
    if (m_images) ImageList_Destroy(m_images);
    m_images = ImageList_Create(width > 0 ? width : 1, height > 0 ? height : 1, ILC_COLOR32 | ILC_MASK, 3, 3);
    if (!m_images) ThrowBrxException(LastErrorHresult(), __LINE__, kWinWidgetFile, operation);
}

void CImageButton::SetRect(const RECT& rect) {
    if (!SetWindowPos(m_hWnd, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                      SWP_NOZORDER | SWP_NOACTIVATE)) {
        ThrowBrxException(LastErrorHresult(), __LINE__, kWinWidgetFile, "CImageButton::SetRect");
    }
    RecreateImageList(rect.right - rect.left, rect.bottom - rect.top, "CImageButton::SetRect");
}

void CImageButton::SetSize(int width, int height) {
    if (!SetWindowPos(m_hWnd, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE)) {
        ThrowBrxException(LastErrorHresult(), __LINE__, kWinWidgetFile, "CImageButton::SetSize");
    }
    RecreateImageList(width, height, "CImageButton::SetSize");
}

void CImageButton::AddIcon(UINT id, HMODULE module) {
    SetLastError(0);
    HICON icon = CImageResource::LoadSharedIcon(id, module);
    if (!icon || !m_images || ImageList_AddIcon(m_images, icon) < 0) {
        ThrowBrxException(LastErrorHresult(), __LINE__, kWinWidgetFile, "CImageButton::AddIcon");
    }
}

void CImageButton::ReplaceIcon(UINT id, HMODULE module) {
    SetLastError(0);
    HICON icon = CImageResource::LoadSharedIcon(id, module);
    const int index = IconCount() > 0 ? 0 : -1;  // no icon yet: appended
    if (!icon || !m_images || ImageList_ReplaceIcon(m_images, index, icon) < 0) {
        ThrowBrxException(LastErrorHresult(), __LINE__, kWinWidgetFile, "CImageButton::replaceIcon");
    }
    Invalidate();
}

int CImageButton::IconCount() const {
    return m_images ? ImageList_GetImageCount(m_images) : 0;
}

void CImageButton::SetBackgroundColors(COLORREF normal, COLORREF pressed, COLORREF hover, COLORREF disabled) {
    m_backgrounds[0] = normal;
    m_backgrounds[2] = pressed;
    m_backgrounds[1] = hover;
    m_backgrounds[3] = disabled;
}

void CImageButton::SetUnderline(COLORREF color, int thickness, bool gradient, COLORREF end) {
    m_underline = color;
    m_underlineThickness = thickness;
    m_underlineGradient = gradient;
    m_underlineEnd = end;
    m_hasUnderline = true;
}

void CImageButton::PaintParentBackground(HDC dc) const {
    HWND parent = GetParent(m_hWnd);
    if (!parent) return;
    POINT origin{0, 0};
    MapWindowPoints(m_hWnd, parent, &origin, 1);
    POINT old;
    OffsetViewportOrgEx(dc, -origin.x, -origin.y, &old);
    SendMessageW(parent, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    SetViewportOrgEx(dc, old.x, old.y, nullptr);
}

void CImageButton::FillRoundedGradient(HDC dc, const RECT& rect) const {
    Gdiplus::Graphics graphics(dc);
    graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    Gdiplus::GraphicsPath path;
    AddRoundedRect(path, rect, m_diameter / 2);
    Gdiplus::Pen pen(Opaque(m_border == kTransparent ? m_gradientStart : m_border), 1);
    graphics.DrawPath(&pen, &path);
    Gdiplus::LinearGradientBrush brush(Gdiplus::Point(rect.left, 0), Gdiplus::Point(rect.right, 0),
                                       Opaque(m_gradientStart), Opaque(m_gradientEnd));
    graphics.FillPath(&brush, &path);
}

void CImageButton::DrawButton(HDC dc, const RECT& rect, bool selected, bool disabled, bool focused) {
    const auto state = m_state.State(selected, disabled);
    const COLORREF background = m_backgrounds[state];
    // Background.
    if (m_rounded && m_gradientFill && !disabled) {
        PaintParentBackground(dc);
        FillRoundedGradient(dc, rect);
    } else if (background == kTransparent) {
        PaintParentBackground(dc);
    } else if (m_rounded) {
        PaintParentBackground(dc);
        HBRUSH brush = CreateSolidBrush(background);
        HPEN pen = CreatePen(PS_SOLID, 1, m_border == kTransparent ? background : m_border);
        HGDIOBJ oldBrush = SelectObject(dc, brush);
        HGDIOBJ oldPen = SelectObject(dc, pen);
        RoundRect(dc, rect.left, rect.top, rect.right, rect.bottom, m_diameter, m_diameter);
        SelectObject(dc, oldBrush);
        SelectObject(dc, oldPen);
        DeleteObject(brush);
        DeleteObject(pen);
    } else {
        RECT fill = rect;
        if (m_hasUnderline) fill.bottom -= m_underlineThickness;
        if (m_gradientFill && !disabled) {
            Gdiplus::Graphics graphics(dc);
            Gdiplus::LinearGradientBrush brush(Gdiplus::Point(fill.left - 1, 0),
                                               Gdiplus::Point(fill.right + 1, 0), Opaque(m_gradientStart),
                                               Opaque(m_gradientEnd));
            graphics.FillRectangle(
                &brush, Gdiplus::Rect(fill.left, fill.top, fill.right - fill.left, fill.bottom - fill.top));
        } else {
            FillSolid(dc, fill, background);
        }
    }
    // Icon.
    const int icon = skin::CImageButtonState::IconIndex(state, IconCount());
    if (m_showIcons && icon >= 0) ImageList_Draw(m_images, icon, dc, m_imageX, m_imageY, ILD_TRANSPARENT);
    // Text.
    const int length = GetWindowTextLengthW(m_hWnd);
    std::u16string text(static_cast<size_t>(length), u'\0');
    if (length > 0) GetWindowTextW(m_hWnd, reinterpret_cast<wchar_t*>(text.data()), length + 1);
    const std::u16string& shown = m_state.ShownText(text, m_hoverText);
    if (!shown.empty()) {
        HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(m_hWnd, WM_GETFONT, 0, 0)));
        SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, disabled && !m_customText
                               ? GetSysColor(COLOR_GRAYTEXT)
                               : (m_customText ? m_textColor : GetSysColor(COLOR_BTNTEXT)));
        RECT textRect = rect;
        const int shift = skin::CImageButtonState::TextShift(state);
        OffsetRect(&textRect, m_textX + shift, m_textY + shift);
        DrawTextW(dc, reinterpret_cast<const wchar_t*>(shown.c_str()), static_cast<int>(shown.size()),
                  &textRect, (m_centred ? DT_CENTER : DT_LEFT) | DT_VCENTER | DT_SINGLELINE);
        SelectObject(dc, oldFont);
    }
    // Focus rectangle.
    if (m_state.DrawsFocusRect(m_tabStop, focused)) {
        RECT focus = rect;
        InflateRect(&focus, -2, -2);
        DrawFocusRect(dc, &focus);
    }
    // Border, unless underlined.
    if (!m_hasUnderline && m_border != kTransparent) {
        HPEN pen = CreatePen(PS_SOLID, 1, m_border);
        HGDIOBJ oldPen = SelectObject(dc, pen);
        HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(HOLLOW_BRUSH));
        if (m_rounded)
            RoundRect(dc, rect.left, rect.top, rect.right, rect.bottom, m_diameter, m_diameter);
        else
            Rectangle(dc, rect.left, rect.top, rect.right, rect.bottom);
        SelectObject(dc, oldPen);
        SelectObject(dc, oldBrush);
        DeleteObject(pen);
    }
    // Underline.
    if (m_hasUnderline) {
        RECT bar{rect.left, rect.bottom - m_underlineThickness, rect.right, rect.bottom};
        if (m_underlineGradient) {
            Gdiplus::Graphics graphics(dc);
            Gdiplus::LinearGradientBrush brush(Gdiplus::Point(bar.left - 1, 0),
                                               Gdiplus::Point(bar.right + 1, 0), Opaque(m_underline),
                                               Opaque(m_underlineEnd));
            graphics.FillRectangle(
                &brush, Gdiplus::Rect(bar.left, bar.top, bar.right - bar.left, bar.bottom - bar.top));
        } else {
            FillSolid(dc, bar, m_underline);
        }
    }
}

LRESULT CImageButton::OnReflected(UINT reflected, UINT, WPARAM, LPARAM lParam, bool& handled) {
    handled = false;
    if (reflected != UM_REFLECT_DRAWITEM) return 0;
    const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    CDC target;
    CAutoAttach<CDC, HDC> attached(target, item->hDC);
    const RECT rect = item->rcItem;
    CMemoryDC memory(target.GetSafeHdc(), rect.right - rect.left, rect.bottom - rect.top);
    DrawButton(memory.GetSafeHdc(), rect, (item->itemState & ODS_SELECTED) != 0,
               (item->itemState & ODS_DISABLED) != 0, GetFocus() == m_hWnd);
    memory.CopyTo(target.GetSafeHdc(), rect.left, rect.top);
    handled = true;
    return TRUE;
}

LRESULT CImageButton::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_MOUSEMOVE:
            if (m_state.OnMouseMove()) {
                TRACKMOUSEEVENT track{sizeof(TRACKMOUSEEVENT), TME_LEAVE, m_hWnd, 0};
                TrackMouseEvent(&track);
                Invalidate();
            }
            break;
        case WM_MOUSELEAVE:
            m_state.OnMouseLeave();
            Invalidate();
            break;
        case WM_LBUTTONDOWN:
            m_state.OnLeftButtonDown();
            break;
        case WM_SETFOCUS:
            Invalidate();
            break;
        case WM_KILLFOCUS: {
            DWORD process = 0;
            if (wParam) GetWindowThreadProcessId(reinterpret_cast<HWND>(wParam), &process);
            m_state.OnKillFocus(wParam != 0 && process == GetCurrentProcessId());
            Invalidate();
            break;
        }
        case WM_SETCURSOR:
            if (m_handCursor) {
                SetCursor(LoadCursorW(nullptr, IDC_HAND));
                return TRUE;
            }
            break;
        case WM_ERASEBKGND:
            return TRUE;
        case WM_ENABLE:
            Invalidate();
            break;
        default:
            break;
    }
    return Default(message, wParam, lParam);
}

}  // namespace velora
