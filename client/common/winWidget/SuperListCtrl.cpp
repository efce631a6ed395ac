// The status list.
#include "common/winWidget/SuperListCtrl.h"

#include <commctrl.h>

#include "common/winAuto/ControlReflection.h"
#include "ui/skin/ControlMetrics.h"
#include "ui/skin/Palette.h"

namespace velora {

CSuperListCtrl::~CSuperListCtrl() {
    if (m_background) DeleteObject(m_background);
}

void CSuperListCtrl::OnAttached() {
    ListView_SetExtendedListViewStyle(m_hWnd, LVS_EX_FULLROWSELECT | LVS_EX_FLATSB);
    ListView_SetBkColor(m_hWnd, skin::kLightBackground);
    m_background = CreateSolidBrush(skin::kLightBackground);
    if (!ListView_GetColumnWidth(m_hWnd, 0)) {
        RECT client;
        GetClientRect(m_hWnd, &client);
        LVCOLUMNW column{};
        column.mask = LVCF_WIDTH;
        column.cx = client.right - GetSystemMetrics(SM_CXVSCROLL);
        ListView_InsertColumn(m_hWnd, 0, &column);
    }
}

double CSuperListCtrl::Scale() const {
    HDC dc = GetDC(m_hWnd);
    const int pixels = dc ? GetDeviceCaps(dc, LOGPIXELSX) : 96;
    if (dc) ReleaseDC(m_hWnd, dc);
    return pixels > 0 ? pixels / 96.0 : 1.0;
}

int CSuperListCtrl::InsertRow(int index, const std::u16string& text, int status) {
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = index;
    item.pszText = const_cast<wchar_t*>(reinterpret_cast<const wchar_t*>(text.c_str()));
    item.lParam = status;
    return static_cast<int>(SendMessageW(m_hWnd, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

void CSuperListCtrl::DeleteFrom(int index) {
    SendMessageW(m_hWnd, WM_SETREDRAW, FALSE, 0);
    for (int last = RowCount() - 1; last >= index && last >= 0; --last) ListView_DeleteItem(m_hWnd, last);
    SendMessageW(m_hWnd, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(m_hWnd, nullptr, TRUE);
}

int CSuperListCtrl::RowCount() const {
    return static_cast<int>(ListView_GetItemCount(m_hWnd));
}

std::u16string CSuperListCtrl::RowText(int index) const {
    wchar_t buffer[4096] = {0};
    ListView_GetItemText(m_hWnd, index, 0, buffer, 4096);
    return reinterpret_cast<const char16_t*>(buffer);
}

int CSuperListCtrl::RowStatus(int index) const {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = index;
    if (!SendMessageW(m_hWnd, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return -1;
    return static_cast<int>(item.lParam);
}

void CSuperListCtrl::DrawRow(HDC dc, int item, const RECT& cell) {
    const int status = RowStatus(item);
    const auto style = skin::ControlMetrics::StatusRowStyle(status);
    FillRect(dc, &cell, m_background);
    const double scale = Scale();
    const int lineX = cell.left + static_cast<int>(5 * scale);
    if (style && style->marker != skin::ControlMetrics::Marker::None) {
        HPEN line = CreatePen(PS_SOLID, 1, skin::kBorder);
        HGDIOBJ oldPen = SelectObject(dc, line);
        MoveToEx(dc, lineX, cell.top, nullptr);
        LineTo(dc, lineX, cell.bottom);
        SelectObject(dc, oldPen);
        DeleteObject(line);
        if (style->marker == skin::ControlMetrics::Marker::Circle) {
            const int r = static_cast<int>(3 * scale);
            const int cy = (cell.top + cell.bottom) / 2;
            const COLORREF fill = style->circleColor.value_or(skin::kBorder);
            HBRUSH brush = CreateSolidBrush(fill);
            HPEN pen = CreatePen(PS_SOLID, 1, fill);
            HGDIOBJ oldBrush = SelectObject(dc, brush);
            oldPen = SelectObject(dc, pen);
            Ellipse(dc, lineX - r, cy - r, lineX + r + 1, cy + r + 1);
            SelectObject(dc, oldBrush);
            SelectObject(dc, oldPen);
            DeleteObject(brush);
            DeleteObject(pen);
        }
    }
    RECT textRect = cell;
    if (!style || style->indented) textRect.left += static_cast<int>(20 * scale);
    const std::u16string text = RowText(item);
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(m_hWnd, WM_GETFONT, 0, 0));
    if (style && style->secondFont && m_secondFont) font = m_secondFont;
    HGDIOBJ oldFont = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, style && style->textColor ? *style->textColor : m_textColor);
    DrawTextW(dc, reinterpret_cast<const wchar_t*>(text.c_str()), static_cast<int>(text.size()), &textRect,
              DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
    SelectObject(dc, oldFont);
}

LRESULT CSuperListCtrl::OnReflected(UINT reflected, UINT, WPARAM, LPARAM lParam, bool& handled) {
    handled = false;
    if (reflected != UM_REFLECT_NOTIFY) return 0;
    auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(lParam);
    if (draw->nmcd.hdr.code != NM_CUSTOMDRAW) return 0;
    handled = true;
    switch (draw->nmcd.dwDrawStage) {
        case CDDS_PREPAINT:
            return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT: {
            const int item = static_cast<int>(draw->nmcd.dwItemSpec);
            if (!skin::ControlMetrics::StatusRowStyle(RowStatus(item))) return CDRF_DODEFAULT;
            RECT cell{};
            ListView_GetItemRect(m_hWnd, item, &cell, LVIR_BOUNDS);
            DrawRow(draw->nmcd.hdc, item, cell);
            return CDRF_SKIPDEFAULT;
        }
        default:
            return CDRF_DODEFAULT;
    }
}

LRESULT CSuperListCtrl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ERASEBKGND) {
        RECT client;
        GetClientRect(m_hWnd, &client);
        FillRect(reinterpret_cast<HDC>(wParam), &client, m_background);
        return TRUE;
    }
    return Default(message, wParam, lParam);
}

}  // namespace velora
