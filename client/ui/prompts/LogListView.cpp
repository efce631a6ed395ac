// The log list.
#include "ui/prompts/LogListView.h"

#include <vector>

#include "core/Log.h"
#include "ui/skin/LogTextWrap.h"
#include "ui/skin/Palette.h"

namespace velora {

template <class AppendFn>
void CLogListView::WithMeasure(AppendFn append) {
    HWND list = m_list.GetSafeHwnd();
    HDC dc = GetDC(list);
    HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0)));
    RECT client;
    GetClientRect(list, &client);
    const int logPixels = GetDeviceCaps(dc, LOGPIXELSX);
    const int width = skin::LogWrapWidth(client.right, logPixels > 0 ? logPixels / 96.0 : 1.0,
                                         GetSystemMetrics(SM_CXVSCROLL));
    const skin::MeasureText measure = [dc](std::u16string_view text) {
        SIZE size{0, 0};
        GetTextExtentPoint32W(dc, reinterpret_cast<const wchar_t*>(text.data()),
                              static_cast<int>(text.size()), &size);
        return static_cast<int>(size.cx);
    };
    append(width, measure);
    SelectObject(dc, oldFont);
    ReleaseDC(list, dc);
}

void CLogListView::Mirror(const skin::CLogListModel::Insertion& inserted) {
    const auto& rows = m_model.Rows();
    for (size_t i = 0; i < inserted.count; ++i) {
        const skin::LogListRow& row = rows[inserted.index + i];
        m_list.InsertRow(static_cast<int>(inserted.index + i), row.text, row.status);
    }
}

void CLogListView::AppendLogLine(const std::u16string& line) {
    WithMeasure(
        [&](int width, const skin::MeasureText& measure) { Mirror(m_model.Append(line, width, measure)); });
}

void CLogListView::ViewAll() {
    if (m_viewAll) {
        m_viewAll->SetLinkColor(skin::kStatusGrey);
        EnableWindow(m_viewAll->GetSafeHwnd(), FALSE);
    }
    m_model.BeginViewAll();
    std::vector<std::u16string> lines;
    ReadRecentLogLines(m_model.MarkerA(), m_model.MarkerB(), lines);
    SendMessageW(m_list.GetSafeHwnd(), WM_SETREDRAW, FALSE, 0);
    // The file holds the lines oldest first; taken newest first they continue the list's order below its
    // last entry (read in file order, the oldest date would follow the list's last one, and the dates
    // would climb again towards the bottom).
    WithMeasure([&](int width, const skin::MeasureText& measure) {
        for (auto line = lines.rbegin(); line != lines.rend(); ++line)
            Mirror(m_model.AppendOlder(*line, width, measure));
    });
    SendMessageW(m_list.GetSafeHwnd(), WM_SETREDRAW, TRUE, 0);
    InvalidateRect(m_list.GetSafeHwnd(), nullptr, TRUE);
}

void CLogListView::TrimLogOnOpen() {
    if (m_viewAll) {
        m_viewAll->SetLinkColor(skin::kAccentBlue);
        EnableWindow(m_viewAll->GetSafeHwnd(), TRUE);
    }
    const size_t keep =
        m_model.TrimOnOpen([](std::u16string_view text) { return IsRecentLogLine(text, 15); });
    if (static_cast<int>(keep) < m_list.RowCount()) m_list.DeleteFrom(static_cast<int>(keep));
}

}  // namespace velora
