// The host's simulated process list: the idle entry is never matched and a failed snapshot finds
// nothing, as with the real snapshot.
#include <gtest/gtest.h>

#include "core/ProcessChecks.h"
#include "platform/host/SimProcesses.h"

using namespace velora;

TEST(SimProcesses, FirstEntryIsPassedOver) {
    platform::host::SetSimulatedProcesses({u"first.exe", u"second.exe"});
    EXPECT_FALSE(IsAnyProcessRunning(u"first.exe"));
    EXPECT_TRUE(IsAnyProcessRunning(u"first.exe,second.exe"));
    platform::host::SetSimulatedProcesses({});
    EXPECT_FALSE(IsAnyProcessRunning(u"first.exe"));
}

TEST(SimProcesses, FailedSnapshotFindsNothing) {
    platform::host::SetSimulatedProcesses({u"[System Process]", u"app.exe"});
    platform::host::SetSimulatedSnapshotFailure(true);
    EXPECT_FALSE(IsAnyProcessRunning(u"app.exe"));
    EXPECT_FALSE(EvaluateProcessPair(u"app.exe", u"1", u'&'));
    EXPECT_TRUE(EvaluateProcessPair(u"1", u"1", u'&'));  // constants need no snapshot
    platform::host::SetSimulatedSnapshotFailure(false);
    EXPECT_TRUE(IsAnyProcessRunning(u"app.exe"));
}
