// One cycle of the engine monitor: the engine the service started (never another process of that name)
// that runs while none of the client's programs runs is ended at the second cycle that sees it so. A
// client program counts only when it runs from a folder an administrator owns: a copy a standard user
// put into a folder of its own, under one of the client's names, does not keep the engine alive. The flag
// survives cycles in between; only a stop attempt clears it. The Windows host runs a cycle every 10 s
// until its stop event is set.
#pragma once
#include <cstdint>

#include "logic/ProcessControl.h"
#include "logic/ServiceStore.h"

namespace corvane {

inline constexpr uint32_t kEngineWatchPeriodMs = 10000;

class CEngineWatch {
public:
    CEngineWatch(CServiceStore& store, CProcessControl& processes) : store_(store), processes_(processes) {}

    // Takes one look; true when it tried to end an engine in this cycle.
    bool RunCycle();
    bool EngineSeenWithoutClient() const { return seenWithoutClient_; }

private:
    CServiceStore& store_;
    CProcessControl& processes_;
    bool IsTrustedClient(const ProcessEntry& entry);
    bool seenWithoutClient_ = false;
};

// The client programs whose presence keeps the engine alive.
bool IsClientImage(std::u16string_view image);

}  // namespace corvane
