// The rows of the main window's log list: entries grouped under date headers, newest date and newest
// entry on top; "View All" appends older lines at the bottom and opening the log page trims back to
// the recent ones. The view mirrors every change it reports.
#pragma once
#include <cstddef>
#include <deque>
#include <functional>
#include <set>
#include <string>
#include <string_view>

#include "ui/skin/LogListRow.h"
#include "ui/skin/LogTextWrap.h"

namespace velora::skin {

class CLogListModel {
public:
    // Rows inserted by one operation: `count` rows from `index` on (count 0: the line was dropped).
    struct Insertion {
        size_t index = 0;
        size_t count = 0;
    };
    // Whether a line (its first word a date) is recent enough to stay in the list.
    using IsRecent = std::function<bool(std::u16string_view)>;

    // A new line of the user log: under its date's header (a new header goes on top), above the entries
    // already there. Lines without a level or with an empty part are dropped.
    Insertion Append(std::u16string_view line, int maxWidth, const MeasureText& measure);

    // Starts a "View All" pass: the list becomes extended, the markers are taken from the last two rows
    // and the pass's set of dates is emptied. Answers marker A (the oldest entry's time) and B.
    const std::u16string& BeginViewAll();
    const std::u16string& MarkerA() const { return m_markerA; }
    const std::u16string& MarkerB() const { return m_markerB; }
    // An older line of the pass, at the bottom, with a header when its date has none yet.
    Insertion AppendOlder(std::u16string_view line, int maxWidth, const MeasureText& measure);

    // Opening the log page: drops the rows a "View All" added, then everything from the first date
    // header that is no longer recent. Answers the new row count (the view deletes the rows from there).
    size_t TrimOnOpen(const IsRecent& isRecent);

    bool Extended() const { return m_extended; }
    const std::deque<LogListRow>& Rows() const { return m_rows; }

private:
    size_t FindHeader(std::u16string_view date) const;
    size_t InsertEntry(size_t at, const std::u16string& time, int firstStatus,
                       const std::vector<std::u16string>& textRows);

    std::deque<LogListRow> m_rows;
    std::set<std::u16string> m_passDates;
    std::u16string m_markerA;
    std::u16string m_markerB;
    bool m_extended = false;
};

}  // namespace velora::skin
