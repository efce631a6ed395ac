// What the host benchmarks of a NATIVE connection through the exported API share: the run with the
// in-process Corvane starting the host's engine stand-in (its folder and scenario in the run's folder), and
// a tenant with one account whose orchestrator answers the connect in NATIVE mode, signed in to.
#pragma once
#include <benchmark/benchmark.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "HostEngineStandIn.h"
#include "api/ClientApi.h"
#include "engine/EnginePipe.h"
#include "inprocess/SimHelperService.h"

#include "StandInRun.h"

namespace velora::bench {

// `engineDelayMs`: how long the engine stand-in takes to announce itself connected.
inline int RunNativeConnectBenchmarks(int argc, char** argv, const char* program, double engineDelayMs,
                                      CStandIn*& standIn) {
    StandInRunSteps steps;
    steps.program = program;
    steps.serviceFolder = true;
    std::ostringstream scenario;
    scenario << "connectDelayMs=" << engineDelayMs << "\n";
    steps.engineScenario = scenario.str();
    steps.setUp = [](const std::string& dir) {
        corvane::inprocess::SetHelperServiceFolder(std::filesystem::path(dir) / "Corvane");
        sim::InstallHostEngineStandIn();
        ApiInit(nullptr, nullptr);
    };
    steps.tearDown = [] {
        CloseEnginePipe();
        sim::UninstallHostEngineStandIn();
    };
    return RunBenchmarksWithStandIn(argc, argv, steps, standIn);
}

// Tenant `name` (the filter list a white list of 10.0.0.0/8), then ValidateUser as alice; false (the
// benchmark skipped with an error) when the sign-in fails. `buffer` holds 256 characters.
inline bool SignInToNativeTenant(benchmark::State& state, const CStandIn& standIn, const std::u16string& name,
                                 char16_t* buffer) {
    UseTenant(
        standIn, name,
        u"{\"customers\":[\"12\"],\"privacyVersion\":\"1\",\"errorCatalogue\":{\"version\":\"1\","
        u"\"entries\":[]},"
        u"\"accounts\":[{\"customerId\":\"12\",\"name\":\"alice\",\"password\":\"secret1\"}],"
        u"\"orch\":{\"connect\":{\"mode\":\"NATIVE\"},\"filter\":{\"siteTemplateId\":\"b\",\"version\":1,"
        u"\"ipSetMode\":0,\"whiteIpSet\":[\"10.0.0.0/8\"]}}}");
    if (ApiValidateUser(u"12", u"alice", u"secret1", buffer, 256) != 0) {
        state.SkipWithError("sign-in failed");
        return false;
    }
    return true;
}

}  // namespace velora::bench
