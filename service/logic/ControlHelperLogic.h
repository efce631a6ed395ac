// What the methods of the ControlHelper class do, in plain C++: the Windows host wraps automation strings
// (a null string arrives as an empty InText) and hands the outputs back. An output left as it came in (an
// empty optional for a text) is an output the method did not set. Files, registry values and the service
// log are reached through the store the host gives.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "logic/ArgumentRules.h"
#include "logic/CallerIdentity.h"
#include "logic/HResult.h"
#include "logic/ProcessControl.h"
#include "logic/ServiceStore.h"
#include "logic/Sharing.h"

namespace corvane {

class CControlHelperLogic {
public:
    // Processes and sharing detection default to the simulated ones (SimulatedProcesses, SimulatedSharing).
    explicit CControlHelperLogic(CServiceStore& store, CallerIdentity caller = {});
    // `caller` is bound to what it starts: the configuration, engine and repair methods are refused to a
    // standard caller of another session or user while the engine another caller started runs.
    CControlHelperLogic(CServiceStore& store, CProcessControl& processes, CSharing& sharing,
                        CallerIdentity caller = {})
        : store_(store), processes_(processes), sharing_(sharing), caller_(std::move(caller)) {}

    HResult SaveOrchConfigToFile(const InText& commuServer, int32_t orchId, int32_t cpeId, int32_t customerId,
                                 const InText& token, const InText& sn, const InText& backServer);
    HResult SaveFilterConfigToFile(const InText& filterContent);
    HResult StartDataPath(const InText& orchDomain, int32_t enableHotSpotOrTransferMode, int32_t& isErr,
                          int32_t langId, std::optional<std::u16string>& msgErr, int32_t& isIcsEnable);
    HResult StopDataPath(std::optional<std::u16string>& msgErr);
    HResult GetSystemInfo(const InText& execPath, const InText& outFilePath);
    HResult FixErrAuto(uint32_t errCode);
    HResult WifiSpotHotNotify(int32_t& ifIndex, int32_t langId, std::optional<std::u16string>& msg);
    HResult ProduceNsCtlLog(const InText& path, const InText& name);

private:
    HResult CheckOwner(std::u16string_view method);

    CServiceStore& store_;
    CProcessControl& processes_;
    CSharing& sharing_;
    CallerIdentity caller_;
};

// Interface index of the current hotspot or connection-sharing interface; -1 means none. Last writer
// wins between concurrent callers, by design.
int32_t SharingInterfaceIndex();
void SetSharingInterfaceIndex(int32_t index);

class CSimProcessControl;
class CSimSharing;
// The process-wide simulated process table and sharing answers (host build, tests).
CSimProcessControl& SimulatedProcesses();
CSimSharing& SimulatedSharing();

}  // namespace corvane
