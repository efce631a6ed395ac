// Vertically centred static text.
#include "common/winWidget/VCenterStatic.h"

#include <string>

namespace velora {

LRESULT CVCenterStatic::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ERASEBKGND) return TRUE;
    if (message != WM_PAINT) return Default(message, wParam, lParam);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(m_hWnd, &paint);
    RECT client;
    GetClientRect(m_hWnd, &client);
    // The parent's background behind the text (the skinned dialogs paint theirs from a cache).
    HWND parent = GetParent(m_hWnd);
    POINT origin{0, 0};
    MapWindowPoints(m_hWnd, parent, &origin, 1);
    POINT old;
    OffsetViewportOrgEx(dc, -origin.x, -origin.y, &old);
    SendMessageW(parent, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    SetViewportOrgEx(dc, old.x, old.y, nullptr);

    const int length = GetWindowTextLengthW(m_hWnd);
    std::wstring text(static_cast<size_t>(length), L'\0');
    if (length > 0) GetWindowTextW(m_hWnd, text.data(), length + 1);
    HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(m_hWnd, WM_GETFONT, 0, 0)));
    RECT measure = client;
    DrawTextW(dc, text.c_str(), length, &measure, DT_WORDBREAK | DT_CALCRECT);
    RECT target = client;
    target.top = (client.bottom - (measure.bottom - measure.top)) / 2;
    SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, m_color);
    DrawTextW(dc, text.c_str(), length, &target, DT_WORDBREAK);
    SelectObject(dc, oldFont);
    EndPaint(m_hWnd, &paint);
    return 0;
}

}  // namespace velora
