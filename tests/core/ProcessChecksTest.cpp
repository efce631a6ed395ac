// Process checks against the running processes: under Wine the real snapshot (this test program runs
// as velora_tests.exe), on the host the simulated list with the same name in it.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/ProcessChecks.h"
#include "platform/Processes.h"
#ifndef _WIN32
#include "platform/host/SimProcesses.h"
#endif

using namespace velora;

namespace {

constexpr std::u16string_view kRunning = u"velora_tests.exe";
constexpr std::u16string_view kAbsent = u"velora-no-such-program.exe";

class ProcessChecks : public testing::Test {
protected:
    void SetUp() override {
#ifndef _WIN32
        platform::host::SetSimulatedProcesses(
            {u"[System Process]", u"System", u"explorer.exe", u"velora_tests.exe"});
#endif
    }
};

}  // namespace

TEST_F(ProcessChecks, SnapshotHoldsThisProgram) {
    std::vector<std::u16string> names;
    ASSERT_TRUE(platform::SnapshotProcessNames(names));
    EXPECT_GE(names.size(), 2u);
    EXPECT_NE(std::find(names.begin() + 1, names.end(), std::u16string(kRunning)), names.end());
}

TEST_F(ProcessChecks, AnyRunningMatchesTrimmedNamesIgnoringCase) {
    struct Case {
        std::u16string_view names;
        bool want;
    };
    const Case cases[] = {
        {u"velora_tests.exe", true},
        {u"VELORA_TESTS.EXE", true},
        {u"  nosuch.exe ,\tVelora_Tests.exe  ", true},
        {u",,velora_tests.exe,,", true},
        {u"velora-no-such-program.exe", false},
        {u"velora_tests", false},
        {u"velora_tests.exe2", false},
        {u"velora_tests.exe;other.exe", false},
        {u"", false},
        {u" , ,\t", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsAnyProcessRunning(c.names), c.want) << std::string(c.names.begin(), c.names.end());
    }
}

TEST_F(ProcessChecks, PairsCombineOperandsByOperator) {
    const std::u16string_view r = kRunning, n = kAbsent;
    struct Case {
        std::u16string_view a;
        std::u16string_view b;
        char16_t op;
        bool want;
    };
    const Case cases[] = {
        {u"1", u"1", u'&', true},  {u"0", u"1", u'&', false}, {u"1", u"0", u'&', false},
        {r, u"1", u'&', true},     {u"1", r, u'&', true},     {n, u"1", u'&', false},
        {u"1", n, u'&', false},    {r, r, u'&', true},        {r, n, u'&', false},
        {n, r, u'&', false},       {u"0", r, u'&', false},    {r, u"0", u'&', false},

        {u"1", u"0", u'|', true},  {u"0", u"1", u'|', true},  {u"0", u"0", u'|', false},
        {r, u"0", u'|', true},     {u"0", r, u'|', true},     {n, u"0", u'|', false},
        {u"0", n, u'|', false},    {n, r, u'|', true},        {r, n, u'|', true},
        {n, n, u'|', false},       {u"1", n, u'|', true},     {n, u"1", u'|', true},

        {u"1", u"1", u'^', false}, {r, r, u'=', false},       {u"1", u"1", u'\0', false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EvaluateProcessPair(c.a, c.b, c.op), c.want)
            << std::string(c.a.begin(), c.a.end()) << ' ' << static_cast<char>(c.op) << ' '
            << std::string(c.b.begin(), c.b.end());
    }
}
