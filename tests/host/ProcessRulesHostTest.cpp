// The process rule over the host's simulated process list: precedence, grouping, blanks next to
// parentheses, and malformed rules.
#include <gtest/gtest.h>

#include "auth/ProcessRules.h"
#include "platform/host/SimProcesses.h"

namespace velora::test {
namespace {

TEST(ProcessRules, EvaluatesAgainstTheRunningPrograms) {
    struct Case {
        const char16_t* rule;
        std::vector<std::u16string> running;
        bool satisfied;
        bool malformed;
    };
    const Case cases[] = {
        {u"a.exe,b.exe", {u"B.EXE"}, true, false},
        {u"a.exe, b.exe", {u"b.exe"}, true, false},
        {u"a.exe", {}, false, false},
        {u"x.exe || y.exe && z.exe", {u"x.exe"}, true, false},
        {u"x.exe || y.exe && z.exe", {u"y.exe"}, false, false},
        {u"x.exe&&(y.exe||z.exe)", {u"x.exe", u"z.exe"}, true, false},
        {u"x.exe&&(y.exe||z.exe)", {u"x.exe"}, false, false},
        // Blanks next to the parentheses are layout, not operands.
        {u"x.exe && (y.exe || z.exe)", {u"x.exe", u"y.exe"}, true, false},
        {u"( x.exe || y.exe ) && z.exe", {u"y.exe", u"z.exe"}, true, false},
        {u"(x.exe || y.exe) && z.exe", {u"y.exe"}, false, false},
        {u"(a.exe)", {u"a.exe"}, false, false},
        {u"a.exe && b.exe && c.exe", {u"a.exe", u"b.exe", u"c.exe"}, true, false},
        {u"a.exe & b.exe", {u"a.exe", u"b.exe"}, false, true},
        {u"a.exe |b.exe", {u"a.exe"}, false, true},
        {u"C:\\a.exe", {u"a.exe"}, false, true},
        {u"a.exe&&&b.exe", {u"a.exe", u"b.exe"}, false, true},
        {u"a.exe &&", {u"a.exe"}, false, true},
        {u"&& a.exe", {u"a.exe"}, false, true},
        {u"((a.exe && b.exe)", {u"a.exe", u"b.exe"}, false, true},
        {u"(a.exe && b.exe))", {u"a.exe", u"b.exe"}, false, true},
        {u"()&&()", {}, false, true},
    };
    for (const Case& k : cases) {
        std::vector<std::u16string> list{u"[System Process]"};
        list.insert(list.end(), k.running.begin(), k.running.end());
        platform::host::SetSimulatedProcesses(list);
        const ProcessRuleResult r = checkProcesses(k.rule);
        EXPECT_EQ(r.satisfied, k.satisfied) << std::string(k.rule, k.rule + std::char_traits<char16_t>::length(k.rule));
        EXPECT_EQ(r.malformed, k.malformed) << std::string(k.rule, k.rule + std::char_traits<char16_t>::length(k.rule));
    }
}

}  // namespace
}  // namespace velora::test
