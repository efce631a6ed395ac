// Starting programs through the shell, hidden and without waiting: a program that exists starts, one
// that does not is reported as a failure.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/Processes.h"

namespace {

TEST(ShellExecuteHidden, StartsExistingProgramsAndReportsMissingOnes) {
    EXPECT_TRUE(platform::ShellExecuteHidden(u"open", u"cmd.exe", u"/c exit 0"));
    EXPECT_FALSE(platform::ShellExecuteHidden(u"open", u"velora-no-such-program.exe", u""));
}

}  // namespace
