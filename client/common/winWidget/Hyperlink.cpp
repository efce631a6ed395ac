// Links.
#include "common/winWidget/Hyperlink.h"

#include <string>

#include "common/winAuto/ControlReflection.h"
#include "ui/skin/ControlMetrics.h"

namespace velora {

CHyperlink::~CHyperlink() {
    if (m_font) DeleteObject(m_font);
    if (m_underlined) DeleteObject(m_underlined);
}

void CHyperlink::OnAttached() {
    const LONG_PTR style = GetWindowLongPtrW(m_hWnd, GWL_STYLE);
    SetWindowLongPtrW(m_hWnd, GWL_STYLE, (style & ~static_cast<LONG_PTR>(BS_TYPEMASK)) | BS_OWNERDRAW);
    m_normal = GetSysColor(COLOR_HOTLIGHT);
    m_hoverColor = GetSysColor(COLOR_HIGHLIGHT);
}

void CHyperlink::SetLinkColor(COLORREF color) {
    m_normal = m_hoverColor = m_visitedColor = color;
    m_customColor = true;
    Invalidate();
}

void CHyperlink::EnsureFont() {
    if (m_font) return;
    LOGFONTW parentFont{};
    HFONT source = reinterpret_cast<HFONT>(SendMessageW(GetParent(m_hWnd), WM_GETFONT, 0, 0));
    if (!source) source = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    GetObjectW(source, sizeof parentFont, &parentFont);
    LOGFONTW font{};
    wcsncpy(font.lfFaceName, parentFont.lfFaceName, LF_FACESIZE - 1);
    font.lfHeight = parentFont.lfHeight;
    font.lfWeight = skin::ControlMetrics::LinkWeight(parentFont.lfWeight);
    font.lfItalic = parentFont.lfItalic;
    font.lfCharSet = parentFont.lfCharSet;
    m_font = CreateFontIndirectW(&font);
    font.lfUnderline = TRUE;
    m_underlined = CreateFontIndirectW(&font);
}

void CHyperlink::SizeToContent(bool centreHorizontally, bool centreVertically) {
    EnsureFont();
    const int length = GetWindowTextLengthW(m_hWnd);
    std::wstring text(static_cast<size_t>(length), L'\0');
    if (length > 0) GetWindowTextW(m_hWnd, text.data(), length + 1);
    HDC dc = GetDC(m_hWnd);
    HGDIOBJ old = SelectObject(dc, m_font);
    RECT measure{0, 0, 0, 0};
    DrawTextW(dc, text.c_str(), length, &measure, DT_SINGLELINE | DT_CALCRECT);
    SelectObject(dc, old);
    ReleaseDC(m_hWnd, dc);
    const int width = measure.right + 12, height = measure.bottom + 12;
    RECT rect;
    GetWindowRect(m_hWnd, &rect);
    MapWindowPoints(nullptr, GetParent(m_hWnd), reinterpret_cast<POINT*>(&rect), 2);
    int x = rect.left, y = rect.top;
    if (centreHorizontally) x = rect.left + (rect.right - rect.left - width) / 2;
    if (centreVertically) y = rect.top + (rect.bottom - rect.top - height) / 2;
    SetWindowPos(m_hWnd, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void CHyperlink::Activate() {
    m_visited = true;
    Invalidate();
    SendMessageW(GetParent(m_hWnd), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(m_hWnd), BN_CLICKED),
                 reinterpret_cast<LPARAM>(m_hWnd));
}

LRESULT CHyperlink::OnReflected(UINT reflected, UINT, WPARAM, LPARAM lParam, bool& handled) {
    handled = false;
    if (reflected != UM_REFLECT_DRAWITEM) return 0;
    EnsureFont();
    const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    HDC dc = item->hDC;
    RECT rect = item->rcItem;
    // The parent's background shows through.
    HWND parent = GetParent(m_hWnd);
    POINT origin{0, 0};
    MapWindowPoints(m_hWnd, parent, &origin, 1);
    POINT old;
    OffsetViewportOrgEx(dc, -origin.x, -origin.y, &old);
    SendMessageW(parent, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    SetViewportOrgEx(dc, old.x, old.y, nullptr);

    const bool pressed = (item->itemState & ODS_SELECTED) != 0;
    const int length = GetWindowTextLengthW(m_hWnd);
    std::wstring text(static_cast<size_t>(length), L'\0');
    if (length > 0) GetWindowTextW(m_hWnd, text.data(), length + 1);
    HGDIOBJ oldFont = SelectObject(dc, m_hover || pressed ? m_underlined : m_font);
    SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, m_hover ? m_hoverColor : (m_visited ? m_visitedColor : m_normal));
    UINT format = DT_SINGLELINE | DT_VCENTER | DT_WORD_ELLIPSIS;
    format |= m_align == kRight ? DT_RIGHT : (m_align == kCentre ? DT_CENTER : DT_LEFT);
    DrawTextW(dc, text.c_str(), length, &rect, format);
    SelectObject(dc, oldFont);
    handled = true;
    return TRUE;
}

LRESULT CHyperlink::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_GETDLGCODE:
            // Enter and Space reach the link instead of the dialog's default button.
            if (lParam) {
                const auto* msg = reinterpret_cast<const MSG*>(lParam);
                if ((msg->message == WM_KEYDOWN || msg->message == WM_CHAR) &&
                    (msg->wParam == VK_RETURN || msg->wParam == VK_SPACE)) {
                    return Default(message, wParam, lParam) | DLGC_WANTMESSAGE;
                }
            }
            break;
        case WM_KEYDOWN:
        case WM_KEYUP:
        case WM_CHAR:
            // Space is handled exactly as Enter.
            if (wParam == VK_SPACE) wParam = VK_RETURN;
            if (message == WM_KEYDOWN && wParam == VK_RETURN) {
                Activate();
                return 0;
            }
            if (wParam == VK_RETURN) return 0;
            break;
        case WM_LBUTTONUP:
            if ((SendMessageW(m_hWnd, BM_GETSTATE, 0, 0) & BST_PUSHED) != 0) m_visited = true;
            break;
        case WM_MOUSEMOVE:
            if (!m_hover) {
                m_hover = true;
                TRACKMOUSEEVENT track{sizeof(TRACKMOUSEEVENT), TME_LEAVE, m_hWnd, 0};
                TrackMouseEvent(&track);
                Invalidate();
            }
            break;
        case WM_MOUSELEAVE:
            m_hover = false;
            Invalidate();
            break;
        case WM_SETCURSOR:
            SetCursor(LoadCursorW(nullptr, IDC_HAND));
            return TRUE;
        case WM_ERASEBKGND:
            return TRUE;
        default:
            break;
    }
    return Default(message, wParam, lParam);
}

}  // namespace velora
