// The hotspot reading through the real Windows Runtime under Wine: the activation objects are made once
// and serve later readings on other threads (each monitor runs on a thread of its own), and a reading
// that finds no profile or no manager changes nothing in the watcher.
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "engine/Hotspot.h"
#include "platform/ComApartment.h"
#include "platform/Tethering.h"
#include "support/LogFiles.h"
#include "support/RecordingWindow.h"

namespace velora {
namespace {

platform::TetheringProbe ProbeOnOwnThread() {
    platform::TetheringProbe probe;
    std::thread t([&] {
        const platform::CComApartment com;
        probe = platform::ProbeTethering();
    });
    t.join();
    return probe;
}

TEST(TetheringWin, ReadingsOnSeparateMonitorThreadsAgree) {
    const platform::TetheringProbe first = ProbeOnOwnThread();
    const platform::TetheringProbe second = ProbeOnOwnThread();
    EXPECT_EQ(first.stage, second.stage);
    EXPECT_EQ(first.on, second.on);
    if (first.stage != platform::TetheringStage::kRead) {
        EXPECT_FALSE(first.on);
    }
    std::printf("tethering reading under this system: stage %d, on %d\n", static_cast<int>(first.stage),
                first.on ? 1 : 0);
}

// The watcher's step over the real reading: without a reading it keeps its state and tells no one; with
// one (a system that has the hotspot) it settles on what it read.
TEST(TetheringWin, WatcherStepOverTheRealReading) {
    const platform::CComApartment com;
    test::CLogCapture log;
    test::CRecordingWindow window;
    const platform::TetheringProbe probe = platform::ProbeTethering();
    class CNoService : public CHotspotPort {
    public:
        int32_t WifiSpotHotNotify() override { return 0; }  // no sharing interface: the engine is not told
        int32_t SetShareInterface(int32_t) override { return 0; }
    } port;
    for (bool start : {false, true}) {
        bool last = start;
        PollHotspot(last, window.Handle(), true, port);
        EXPECT_EQ(last, probe.stage == platform::TetheringStage::kRead ? probe.on : start);
    }
    EXPECT_EQ(window.Count(), 0u);
    if (probe.stage == platform::TetheringStage::kNoProfile) {
        EXPECT_NE(log.Text().find("Not find connection profile"), std::string::npos) << log.Text();
    }
}

}  // namespace
}  // namespace velora
