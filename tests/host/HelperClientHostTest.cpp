// The client's helper-service operations against the in-process service: which status codes count as
// success, which are kept out of the logs, which outputs survive an unreachable service, and the refusal
// of a thread that has not joined COM.
#include <gtest/gtest.h>

#include <thread>

#include "core/Log.h"
#include "helper/HelperClient.h"
#include "inprocess/SimHelperService.h"
#include "platform/ComApartment.h"
#include "platform/Text.h"
#include "support/LogFiles.h"

using namespace velora;
namespace sim = corvane::inprocess;

namespace {

class HelperClientTest : public testing::Test {
protected:
    void SetUp() override {
        StartLog(nullptr);
        path_ = scratch_.Path(u"client.log");
        test::WriteBytes(path_, test::kLogHeader);
        SetLogFilePath(path_);
        sim::ClearHelperAnswers();
        sim::SetHelperServiceReachable(true);
    }
    std::u16string Log() const { return test::FromUtf16Le(test::ReadBytes(path_), test::kLogHeader.size()); }
    bool Logged(uint32_t id) const {
        std::u16string text = MessageText(id);
        const auto cut = text.find(u'%');
        if (cut != std::u16string::npos) text.resize(cut);
        return Log().find(text) != std::u16string::npos;
    }

    // The test's thread calls as a worker does, which joins COM at its start.
    const platform::CComApartment com_;
    test::CScratchFolder scratch_;
    std::u16string path_;
};

}  // namespace

TEST_F(HelperClientTest, AddingAnExistingRouteCountsAsSuccess) {
    sim::SetHelperAnswer(u"AddRoute", kHelperRouteExists);
    EXPECT_EQ(UpdateRoutes(kRoutesAdd, true, u"1.1.1.1", u"2.2.2.2", 2), 0);
    EXPECT_TRUE(Logged(329));
    EXPECT_FALSE(Logged(330));
    EXPECT_EQ(AddRouterToGW(u"3.3.3.3"), static_cast<int32_t>(0x80004001))
        << "the simulated table starts without a default route";
    sim::SetHelperAnswer(u"AddRouterToGW", kHelperRouteExists);
    const auto before = Log();
    EXPECT_EQ(AddRouterToGW(u"3.3.3.3"), kHelperRouteExists);
    EXPECT_EQ(Log(), before) << "an existing route is not logged";
}

TEST_F(HelperClientTest, RemoveRoutesMakesOneCallPerNonEmptyListAndStopsAtAFailure) {
    EXPECT_EQ(UpdateRoutes(kRoutesRemove, true, u"", u"", 0), 0);
    EXPECT_EQ(sim::HelperCallCount(u"RemoveRoute"), 0);
    EXPECT_TRUE(Logged(331));

    sim::SetHelperAnswer(u"RemoveRoute", kHelperRouteMissing);
    EXPECT_EQ(UpdateRoutes(kRoutesRemove, true, u"1.1.1.1", u"2.2.2.2", 0), kHelperRouteMissing);
    EXPECT_EQ(sim::HelperCallCount(u"RemoveRoute"), 1) << "a failing first removal skips the second";
    EXPECT_FALSE(Logged(332)) << "a missing route is not logged";

    sim::SetHelperAnswer(u"RemoveRoute", 0);
    EXPECT_EQ(UpdateRoutes(kRoutesRemove, false, u"1.1.1.1", u"2.2.2.2", 0), 0);
    EXPECT_EQ(sim::HelperCallCount(u"RemoveRoute"), 3);
    EXPECT_EQ(UpdateRoutes(7, true, u"1.1.1.1", u"", 0), 0);
    EXPECT_EQ(sim::HelperCallCount(u"RemoveRoute") + sim::HelperCallCount(u"AddRoute"), 3);
}

TEST_F(HelperClientTest, StoppingWhenNothingRunsLogsNothing) {
    sim::SetHelperAnswer(u"StopDataPath", kHelperNothingToStop);
    EXPECT_EQ(StopDataPath(), kHelperNothingToStop);
    EXPECT_TRUE(Log().empty());
    sim::SetHelperAnswer(u"StopDataPath", 0);
    EXPECT_EQ(StopDataPath(), 0);
    EXPECT_TRUE(Logged(291));
}

TEST_F(HelperClientTest, UnreachableServiceFailsAtCreationAndLeavesOutputs) {
    sim::SetHelperServiceReachable(false);
    int32_t index = 42;
    EXPECT_EQ(FindDefaultGatewayInterface(0, 1, u"", index), static_cast<int32_t>(0x80040154));
    EXPECT_EQ(index, 42);
    EXPECT_TRUE(Logged(293));
    EXPECT_EQ(WifiSpotHotNotify(1033), 0);
    EXPECT_EQ(sim::HelperCallCount(u"FindMinMetricInfOfDefaultGW"), 0);
}

TEST_F(HelperClientTest, RefusedArgumentsReachTheCallerAsInvalidArgument) {
    OrchConfig config;
    config.commuServer = u"10.0.0.1\r\nbakcommaddr=attacker";
    EXPECT_EQ(SaveOrchConfig(config), static_cast<int32_t>(0x80070057));
    EXPECT_TRUE(Logged(297));
    int32_t ics = 5;
    EXPECT_EQ(StartDataPath(u"orch -I 9", 0, 1033, ics), static_cast<int32_t>(0x80070057));
    EXPECT_EQ(ics, 0) << "the sharing flag is zeroed before the call";
    EXPECT_TRUE(Logged(292));
}

TEST_F(HelperClientTest, AThreadOutsideCOMIsRefusedAtCreationAsOnWindows) {
    const int calls = sim::HelperCallCount(u"AddRouterToGW");
    int32_t code = 0;
    bool inside = true;
    std::thread outside([&] {
        inside = platform::ThreadInComApartment();
        code = AddRouterToGW(u"3.3.3.3");
    });
    outside.join();
    EXPECT_FALSE(inside);
    EXPECT_EQ(code, static_cast<int32_t>(0x800401F0)) << "CO_E_NOTINITIALIZED";
    EXPECT_EQ(sim::HelperCallCount(u"AddRouterToGW"), calls) << "the call never reached the service";
    EXPECT_NE(Log().find(u"(0x800401f0): CoInitialize has not been called."), std::u16string::npos) << "message 293";

    std::thread joined([&] {
        const platform::CComApartment com;
        inside = platform::ThreadInComApartment();
        code = AddRouterToGW(u"3.3.3.3");
    });
    joined.join();
    EXPECT_TRUE(inside);
    EXPECT_EQ(sim::HelperCallCount(u"AddRouterToGW"), calls + 1);
}
