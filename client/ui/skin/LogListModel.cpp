// The log list's rows.
#include "ui/skin/LogListModel.h"

#include <optional>

#include "ui/skin/LogLineParts.h"

namespace velora::skin {

namespace {

constexpr size_t kNone = static_cast<size_t>(-1);

bool StartsWith(std::u16string_view text, std::u16string_view start) {
    return text.size() >= start.size() && text.substr(0, start.size()) == start;
}

}  // namespace

// Only header rows are searched: an entry whose text happens to begin with a date must not be taken for
// that date's header (its entries would land inside another day).
size_t CLogListModel::FindHeader(std::u16string_view date) const {
    for (size_t i = 0; i < m_rows.size(); ++i) {
        const LogListRow& row = m_rows[i];
        if (row.status == LogListRow::kHeaderStatus && !row.text.empty() && StartsWith(row.text, date))
            return i;
    }
    return kNone;
}

size_t CLogListModel::InsertEntry(size_t at, const std::u16string& time, int firstStatus,
                                  const std::vector<std::u16string>& textRows) {
    std::vector<LogListRow> rows;
    rows.reserve(textRows.size() + 1);
    for (size_t i = 0; i < textRows.size(); ++i) {
        rows.push_back(LogListRow{textRows[i], i == 0 ? firstStatus : firstStatus + 4});
    }
    rows.push_back(LogListRow{time, LogListRow::kTimeStatus});
    m_rows.insert(m_rows.begin() + static_cast<std::ptrdiff_t>(at), rows.begin(), rows.end());
    return rows.size();
}

CLogListModel::Insertion CLogListModel::Append(std::u16string_view line, int maxWidth,
                                               const MeasureText& measure) {
    const std::optional<LogLineParts> parts = LogLineParts::Split(line);
    if (!parts) return {};
    Insertion result;
    size_t at;
    const size_t header = FindHeader(parts->date);
    if (header == kNone) {
        const LogListRow headerRows[3] = {{u"", LogListRow::kHeaderStatus},
                                          {parts->date, LogListRow::kHeaderStatus},
                                          {u"", LogListRow::kHeaderStatus}};
        m_rows.insert(m_rows.begin(), std::begin(headerRows), std::end(headerRows));
        result.index = 0;
        result.count = 3;
        at = 3;
    } else {
        at = header + 2;
        if (at > m_rows.size()) at = m_rows.size();
        result.index = at;
    }
    result.count +=
        InsertEntry(at, parts->time, parts->FirstRowStatus(), WrapLogText(parts->text, maxWidth, measure));
    return result;
}

const std::u16string& CLogListModel::BeginViewAll() {
    m_extended = true;
    m_markerA = m_rows.empty() ? std::u16string() : m_rows.back().text;
    m_markerB = m_rows.size() < 2 ? std::u16string() : m_rows[m_rows.size() - 2].text;
    m_passDates.clear();
    return m_markerA;
}

CLogListModel::Insertion CLogListModel::AppendOlder(std::u16string_view line, int maxWidth,
                                                    const MeasureText& measure) {
    const std::optional<LogLineParts> parts = LogLineParts::Split(line);
    if (!parts) return {};
    Insertion result{m_rows.size(), 0};
    if (!m_passDates.contains(parts->date) && FindHeader(parts->date) == kNone) {
        m_rows.push_back({u"", LogListRow::kHeaderStatus});
        m_rows.push_back({parts->date, LogListRow::kHeaderStatus});
        m_rows.push_back({u"", LogListRow::kHeaderStatus});
        result.count = 3;
    }
    m_passDates.insert(parts->date);
    result.count += InsertEntry(m_rows.size(), parts->time, parts->FirstRowStatus(),
                                WrapLogText(parts->text, maxWidth, measure));
    return result;
}

size_t CLogListModel::TrimOnOpen(const IsRecent& isRecent) {
    if (m_extended) {
        m_extended = false;
        // A pass started on an empty list has no markers: nothing tells its rows apart, so none go.
        for (size_t i = m_markerA.empty() ? m_rows.size() : 1; i < m_rows.size(); ++i) {
            if (StartsWith(m_rows[i].text, m_markerA) && m_rows[i - 1].text == m_markerB) {
                m_rows.erase(m_rows.begin() + static_cast<std::ptrdiff_t>(i + 1), m_rows.end());
                break;
            }
        }
    }
    for (size_t i = 0; i < m_rows.size(); ++i) {
        const LogListRow& row = m_rows[i];
        if (row.status != LogListRow::kHeaderStatus || row.text.empty()) continue;
        std::u16string text = row.text;
        if (text.find(u' ') == std::u16string::npos) text.push_back(u' ');
        if (!isRecent(text)) {
            m_rows.erase(m_rows.begin() + static_cast<std::ptrdiff_t>(i), m_rows.end());
            break;
        }
    }
    return m_rows.size();
}

}  // namespace velora::skin
