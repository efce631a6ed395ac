// The engine's lifecycle: StartDataPath, StopDataPath and the look-up and termination they share. The
// engine is the process the service itself started from "ferronwin.exe" in its own folder, recognised by
// its process id, creation time and full image path (kept in the service's state, CServiceState): a
// program of that name elsewhere, or a process that got the engine's id later, is never taken for it.
// The engine belongs to the caller that started it; another standard caller may not stop or replace it.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "logic/ArgumentRules.h"
#include "logic/CallerIdentity.h"
#include "logic/HResult.h"
#include "logic/ProcessControl.h"
#include "logic/ServiceState.h"
#include "logic/ServiceStore.h"
#include "logic/Sharing.h"

namespace corvane {

inline constexpr uint32_t kEngineEndWaitMs = 3000;

// The engine the state names, opened, when it still runs as that very process from `enginePath`; none
// otherwise. A record whose process is gone is dropped from `state` (the caller saves it).
std::unique_ptr<CRunningProcess> OpenRecordedEngine(CProcessControl& processes, CServiceState& state,
                                                    std::u16string_view enginePath);
// The full path of the engine beside the service executable; false when the module path has no folder.
bool EnginePathOf(CServiceStore& store, std::u16string& enginePath);
// True when `caller` may change what the running engine depends on: no engine of the service runs, or
// it runs for this caller's session and user, or the caller is an administrator. `owner` names the
// engine's owner when it is refused.
bool MayChangeEngine(CServiceStore& store, CProcessControl& processes, const CallerIdentity& caller);

class CDataPath {
public:
    CDataPath(CServiceStore& store, CProcessControl& processes, CSharing& sharing, CallerIdentity caller = {})
        : store_(store), processes_(processes), sharing_(sharing), caller_(std::move(caller)) {}

    HResult StartDataPath(const InText& orchDomain, int32_t enableHotSpotOrTransferMode, int32_t& isErr,
                          int32_t langId, std::optional<std::u16string>& msgErr, int32_t* isIcsEnable);
    HResult StopDataPath(std::optional<std::u16string>& msgErr);

    // The service's running engine, opened; none when there is none (or it cannot be opened).
    std::unique_ptr<CRunningProcess> FindEngineProcess();
    HResult TerminateEngine(std::unique_ptr<CRunningProcess>& process, std::optional<std::u16string>& msgErr);

private:
    void Log(std::u16string_view text) { store_.WriteLog(text); }
    std::u16string Suffix(HResult hr) { return HresultSuffix(hr, store_.DescribeHResult(hr)); }
    void DetectSharing(std::u16string& commandLine, int32_t& isErr, int32_t langId,
                       std::optional<std::u16string>& msgErr, int32_t* isIcsEnable);
    std::unique_ptr<CRunningProcess> FindEngine(CServiceState& state);

    CServiceStore& store_;
    CProcessControl& processes_;
    CSharing& sharing_;
    CallerIdentity caller_;
};

}  // namespace corvane
