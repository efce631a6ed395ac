// A user-log line taken apart for the log list: date, time, level tag and text, as the log writes them
// ("2026-03-01 08:15:02 [INFO] Reconnect.").
#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace velora::skin {

struct LogLineParts {
    std::u16string date;
    std::u16string time;
    std::u16string level;  // with its brackets
    std::u16string text;

    // Splits at the first three blanks (a trailing line feed is ignored). Nothing when a part is empty or
    // the third word is not a bracketed level tag: such a line has no level and is not shown.
    static std::optional<LogLineParts> Split(std::u16string_view line);
    // The first row's status for the level: INFO 0, NOTICE 1, ERROR 2, WARN 3, anything else 0. Further
    // rows of the entry add 4.
    int FirstRowStatus() const;
};

}  // namespace velora::skin
