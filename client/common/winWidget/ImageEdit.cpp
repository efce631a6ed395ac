// Edit fields.
#include "common/winWidget/ImageEdit.h"

#include "common/winAuto/ControlReflection.h"
#include "ui/skin/ControlMetrics.h"
#include "ui/skin/Palette.h"

namespace velora {

namespace {
constexpr int kSeparatorGap = 6;  // pixels between the icon's separator and the text
}

void CImageEdit::OnAttached() {
    m_password = (GetWindowLongPtrW(m_hWnd, GWL_STYLE) & ES_PASSWORD) != 0;
    if (m_password) {
        const auto current = static_cast<wchar_t>(SendMessageW(m_hWnd, EM_GETPASSWORDCHAR, 0, 0));
        if (current) m_passwordChar = current;
    }
    m_background = CreateSolidBrush(skin::kLightBackground);
    m_lastText = WindowText();
    SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
}

void CImageEdit::SetScale(double scale) {
    m_padding = static_cast<int>(skin::ControlMetrics::EditLeftPaddingUnits() * scale);
    m_iconSize = skin::ControlMetrics::EditIconSize(scale);
    SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
}

std::u16string CImageEdit::WindowText() const {
    const int length = GetWindowTextLengthW(m_hWnd);
    std::u16string text(static_cast<size_t>(length), u'\0');
    if (length > 0) GetWindowTextW(m_hWnd, reinterpret_cast<wchar_t*>(text.data()), length + 1);
    return text;
}

std::u16string CImageEdit::Text() const {
    return m_hintShown ? std::u16string() : WindowText();
}

void CImageEdit::SetHint(const std::u16string& hint) {
    m_hint = hint;
    if (GetFocus() != m_hWnd && (m_hintShown || WindowText().empty())) ShowHint();
}

void CImageEdit::ShowHint() {
    m_hintShown = true;
    m_settingText = true;
    // The hint of a password field is readable.
    if (m_password) SendMessageW(m_hWnd, EM_SETPASSWORDCHAR, 0, 0);
    SetWindowTextW(m_hWnd, reinterpret_cast<const wchar_t*>(m_hint.c_str()));
    m_settingText = false;
    RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ERASE);
}

void CImageEdit::HideHint() {
    if (!m_hintShown) return;
    m_hintShown = false;
    m_settingText = true;
    SetWindowTextW(m_hWnd, L"");
    if (m_password) SendMessageW(m_hWnd, EM_SETPASSWORDCHAR, m_passwordChar, 0);
    m_settingText = false;
    RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ERASE);
}

void CImageEdit::NotifyIfChanged() {
    if (m_hintShown || m_settingText) return;
    const std::u16string text = WindowText();
    if (text == m_lastText) return;
    m_lastText = text;
    HWND parent = GetParent(m_hWnd);
    PostMessageW(parent, m_password ? UM_PASSWORD_EDIT_CHANGED : UM_EDIT_CHANGED, 0, 0);
    if (!text.empty()) PostMessageW(parent, UM_EDIT_STATE, static_cast<WPARAM>(GetDlgCtrlID(m_hWnd)), 1);
}

void CImageEdit::PaintFrame() {
    HDC dc = GetWindowDC(m_hWnd);
    if (!dc) return;
    RECT window;
    GetWindowRect(m_hWnd, &window);
    OffsetRect(&window, -window.left, -window.top);
    RECT client;
    GetClientRect(m_hWnd, &client);
    POINT clientOrigin{0, 0};
    ClientToScreen(m_hWnd, &clientOrigin);
    RECT screen;
    GetWindowRect(m_hWnd, &screen);
    OffsetRect(&client, clientOrigin.x - screen.left, clientOrigin.y - screen.top);
    // Everything outside the client area: background, frame, icon, separator.
    ExcludeClipRect(dc, client.left, client.top, client.right, client.bottom);
    FillRect(dc, &window, m_background);
    const bool active = !m_hintShown;
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(HOLLOW_BRUSH));
    HPEN outer = CreatePen(PS_SOLID, 1, skin::kBorder);
    HGDIOBJ oldPen = SelectObject(dc, outer);
    RoundRect(dc, window.left, window.top, window.right, window.bottom, 6, 6);
    HPEN inner = CreatePen(PS_SOLID, 1, active ? skin::kAccentBlue : skin::kLightBackground);
    SelectObject(dc, inner);
    RoundRect(dc, window.left + 1, window.top + 1, window.right - 1, window.bottom - 1, 5, 5);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(outer);
    DeleteObject(inner);
    if (m_icon) {
        const int y = (window.bottom - m_iconSize) / 2;
        DrawIconEx(dc, m_padding, y, m_icon, m_iconSize, m_iconSize, 0, nullptr, DI_NORMAL);
        HPEN separator = CreatePen(PS_SOLID, 1, skin::kEditSeparator);
        oldPen = SelectObject(dc, separator);
        const int x = m_padding + m_iconSize + m_padding;
        MoveToEx(dc, x, window.top + window.bottom / 4, nullptr);
        LineTo(dc, x, window.bottom - window.bottom / 4);
        SelectObject(dc, oldPen);
        DeleteObject(separator);
    }
    ReleaseDC(m_hWnd, dc);
}

LRESULT CImageEdit::OnReflected(UINT reflected, UINT, WPARAM wParam, LPARAM, bool& handled) {
    handled = false;
    if (reflected != UM_REFLECT_CTLCOLOR) return 0;
    HDC dc = reinterpret_cast<HDC>(wParam);
    ::SetTextColor(dc, m_hintShown ? skin::kHintText : skin::kNormalText);
    SetBkColor(dc, skin::kLightBackground);
    handled = true;
    return reinterpret_cast<LRESULT>(m_background);
}

LRESULT CImageEdit::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NCCALCSIZE: {
            auto* rect = reinterpret_cast<RECT*>(lParam);  // the first rectangle of either form
            const int height = rect->bottom - rect->top;
            // One line of text (measured with "Kg") sits in the middle; the text starts after the icon.
            HDC dc = GetDC(m_hWnd);
            HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(m_hWnd, WM_GETFONT, 0, 0)));
            SIZE line{0, 0};
            GetTextExtentPoint32W(dc, L"Kg", 2, &line);
            SelectObject(dc, old);
            ReleaseDC(m_hWnd, dc);
            const int top = height > line.cy ? (height - line.cy) / 2 : 0;
            rect->top += top;
            rect->bottom = rect->top + (height > line.cy ? line.cy : height);
            rect->left += m_icon ? m_padding * 2 + m_iconSize + kSeparatorGap : m_padding + 2;
            rect->right -= m_padding + 2;
            if (rect->right < rect->left) rect->right = rect->left;
            return 0;
        }
        case WM_NCPAINT:
            PaintFrame();
            return 0;
        case WM_SETFOCUS: {
            HideHint();
            const LRESULT result = Default(message, wParam, lParam);
            RedrawWindow(m_hWnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE);
            return result;
        }
        case WM_KILLFOCUS: {
            const LRESULT result = Default(message, wParam, lParam);
            if (WindowText().empty()) ShowHint();
            RedrawWindow(m_hWnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE);
            return result;
        }
        case WM_KEYDOWN:
            if (wParam == VK_BACK && !m_hintShown && WindowText().empty()) {
                PostMessageW(GetParent(m_hWnd), UM_EDIT_STATE, static_cast<WPARAM>(GetDlgCtrlID(m_hWnd)), 2);
            }
            [[fallthrough]];
        case WM_CHAR:
        case WM_PASTE:
        case WM_CUT:
        case WM_CLEAR:
        case WM_UNDO:
        case EM_REPLACESEL:
        case WM_SETTEXT: {
            if (message == WM_SETTEXT && !m_settingText && m_hintShown) {
                // The owner puts real text in: the hint goes.
                m_hintShown = false;
                if (m_password) SendMessageW(m_hWnd, EM_SETPASSWORDCHAR, m_passwordChar, 0);
            }
            const LRESULT result = Default(message, wParam, lParam);
            NotifyIfChanged();
            return result;
        }
        case WM_DESTROY:
            if (m_background) DeleteObject(m_background);
            m_background = nullptr;
            break;
        default:
            break;
    }
    return Default(message, wParam, lParam);
}

}  // namespace velora
