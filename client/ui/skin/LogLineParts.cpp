// Splitting user-log lines.
#include "ui/skin/LogLineParts.h"

namespace velora::skin {

std::optional<LogLineParts> LogLineParts::Split(std::u16string_view line) {
    while (!line.empty() && (line.back() == u'\n' || line.back() == u'\r')) line.remove_suffix(1);
    std::u16string_view parts[3];
    for (auto& part : parts) {
        const size_t blank = line.find(u' ');
        if (blank == std::u16string_view::npos) return std::nullopt;
        part = line.substr(0, blank);
        line.remove_prefix(blank + 1);
        if (part.empty()) return std::nullopt;
    }
    if (line.empty()) return std::nullopt;
    const std::u16string_view level = parts[2];
    if (level.size() < 3 || level.front() != u'[' || level.back() != u']') return std::nullopt;
    return LogLineParts{std::u16string(parts[0]), std::u16string(parts[1]), std::u16string(level),
                        std::u16string(line)};
}

int LogLineParts::FirstRowStatus() const {
    if (level == u"[NOTICE]") return 1;
    if (level == u"[ERROR]") return 2;
    if (level == u"[WARN]") return 3;
    return 0;
}

}  // namespace velora::skin
