// Process checks over the platform's process snapshot.
#include "core/ProcessChecks.h"

#include <string>
#include <vector>

#include "platform/Processes.h"

namespace velora {
namespace {

bool IsBlank(char16_t c) {
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

char16_t FoldCase(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool EqualsIgnoringCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i])) return false;
    }
    return true;
}

std::vector<std::u16string_view> SplitNames(std::u16string_view list) {
    std::vector<std::u16string_view> names;
    std::size_t i = 0;
    while (i <= list.size()) {
        std::size_t end = list.find(u',', i);
        if (end == std::u16string_view::npos) end = list.size();
        std::u16string_view name = list.substr(i, end - i);
        while (!name.empty() && IsBlank(name.front())) name.remove_prefix(1);
        while (!name.empty() && IsBlank(name.back())) name.remove_suffix(1);
        if (!name.empty()) names.push_back(name);
        i = end + 1;
    }
    return names;
}

}  // namespace

bool IsAnyProcessRunning(std::u16string_view names) {
    const std::vector<std::u16string_view> wanted = SplitNames(names);
    if (wanted.empty()) return false;
    std::vector<std::u16string> running;
    if (!platform::SnapshotProcessNames(running)) return false;
    for (std::size_t i = 1; i < running.size(); ++i) {
        for (const std::u16string_view name : wanted) {
            if (EqualsIgnoringCase(running[i], name)) return true;
        }
    }
    return false;
}

bool EvaluateProcessPair(std::u16string_view a, std::u16string_view b, char16_t op) {
    if (op == u'&') {
        if (a == u"0" || b == u"0") return false;
        if (a != u"1" && !IsAnyProcessRunning(a)) return false;
        return b == u"1" || IsAnyProcessRunning(b);
    }
    if (op == u'|') {
        if (a == u"1" || b == u"1") return true;
        if (a != u"0" && IsAnyProcessRunning(a)) return true;
        return b != u"0" && IsAnyProcessRunning(b);
    }
    return false;
}

}  // namespace velora
