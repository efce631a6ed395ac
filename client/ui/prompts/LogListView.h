// The main window's log list: the rows of the user log grouped by date in a status list, "View All" for
// the older lines of the last 15 days (newest first, below the entries on show), and the trim back to the
// recent ones when the log page opens.
#pragma once
#include <windows.h>

#include <string>

#include "common/winWidget/Hyperlink.h"
#include "common/winWidget/SuperListCtrl.h"
#include "ui/skin/LogListModel.h"

namespace velora {

class CLogListView {
public:
    // The list and the "View All" link (may be null) stay the caller's.
    CLogListView(CSuperListCtrl& list, CHyperlink* viewAll) : m_list(list), m_viewAll(viewAll) {}

    // A line of UM_LOG_LINE.
    void AppendLogLine(const std::u16string& line);
    void ViewAll();
    void TrimLogOnOpen();
    const skin::CLogListModel& Model() const { return m_model; }

private:
    void Mirror(const skin::CLogListModel::Insertion& inserted);
    template <class AppendFn>
    void WithMeasure(AppendFn append);

    CSuperListCtrl& m_list;
    CHyperlink* m_viewAll;
    skin::CLogListModel m_model;
};

}  // namespace velora
