// One row of the log list: its text and its status value (the list's row marker).
#pragma once
#include <string>

namespace velora::skin {

struct LogListRow {
    // 0-3 first text row of an INFO/NOTICE/ERROR/WARN entry, 4-7 its further rows, 8 the entry's time,
    // 9 a date header or the empty row around one.
    static constexpr int kTimeStatus = 8;
    static constexpr int kHeaderStatus = 9;

    std::u16string text;
    int status = 0;
    bool operator==(const LogListRow&) const = default;
};

}  // namespace velora::skin
