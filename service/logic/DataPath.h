// The engine's lifecycle: StartDataPath, StopDataPath and the look-up and termination they share. The
// engine is found by its image name every time; nothing about it is kept between calls.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "logic/ArgumentRules.h"
#include "logic/HResult.h"
#include "logic/ProcessControl.h"
#include "logic/ServiceStore.h"
#include "logic/Sharing.h"

namespace corvane {

inline constexpr uint32_t kEngineEndWaitMs = 3000;

class CDataPath {
public:
    CDataPath(CServiceStore& store, CProcessControl& processes, CSharing& sharing)
        : store_(store), processes_(processes), sharing_(sharing) {}

    HResult StartDataPath(const InText& orchDomain, int32_t enableHotSpotOrTransferMode, int32_t& isErr,
                          int32_t langId, std::optional<std::u16string>& msgErr, int32_t* isIcsEnable);
    HResult StopDataPath(std::optional<std::u16string>& msgErr);

    // The first running engine, opened; none when there is none (or it cannot be opened).
    std::unique_ptr<CRunningProcess> FindEngineProcess();
    HResult TerminateEngine(std::unique_ptr<CRunningProcess>& process, std::optional<std::u16string>& msgErr);

private:
    void Log(std::u16string_view text) { store_.WriteLog(text); }
    std::u16string Suffix(HResult hr) { return HresultSuffix(hr, store_.DescribeHResult(hr)); }
    void DetectSharing(std::u16string& commandLine, int32_t& isErr, int32_t langId,
                       std::optional<std::u16string>& msgErr, int32_t* isIcsEnable);

    CServiceStore& store_;
    CProcessControl& processes_;
    CSharing& sharing_;
};

}  // namespace corvane
