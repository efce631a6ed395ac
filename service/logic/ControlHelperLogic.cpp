// ControlHelper methods: arguments are checked first, then the work goes to the configuration files, the
// engine lifecycle (DataPath) and the scripts and tool (Diagnostics).
#include "logic/ControlHelperLogic.h"

#include <atomic>

#include "logic/ConfigFiles.h"
#include "logic/DataPath.h"
#include "logic/Diagnostics.h"
#include "logic/HotspotNotify.h"
#include "logic/SimProcessControl.h"
#include "logic/SimSharing.h"

namespace corvane {

namespace {
std::atomic<int32_t> gSharingInterfaceIndex{-1};

// The first refused argument decides.
template <typename... R>
HResult FirstFailure(R... results) {
    HResult out = kS_OK;
    ((out = (out == kS_OK ? results : out)), ...);
    return out;
}

std::u16string_view Or(const InText& text) {
    return text.value_or(std::u16string_view());
}
}  // namespace

CSimProcessControl& SimulatedProcesses() {
    static CSimProcessControl table;
    return table;
}

CSimSharing& SimulatedSharing() {
    static CSimSharing table;
    return table;
}

CControlHelperLogic::CControlHelperLogic(CServiceStore& store, CallerIdentity caller)
    : CControlHelperLogic(store, SimulatedProcesses(), SimulatedSharing(), std::move(caller)) {}

HResult CControlHelperLogic::CheckOwner(std::u16string_view method) {
    if (MayChangeEngine(store_, processes_, caller_)) return kS_OK;
    store_.WriteLog(std::u16string(method) + u" refused: the engine was started by another session or user");
    return kE_ACCESSDENIED;
}

int32_t SharingInterfaceIndex() {
    return gSharingInterfaceIndex.load(std::memory_order_relaxed);
}
void SetSharingInterfaceIndex(int32_t index) {
    gSharingInterfaceIndex.store(index, std::memory_order_relaxed);
}

HResult CControlHelperLogic::SaveOrchConfigToFile(const InText& commuServer, int32_t orchId, int32_t cpeId,
                                                  int32_t customerId, const InText& token, const InText& sn,
                                                  const InText& backServer) {
    if (const HResult hr = CheckOwner(u"SaveOrchConfigToFile"); Failed(hr)) return hr;
    return corvane::SaveOrchConfigToFile(store_, commuServer, orchId, cpeId, customerId, token, sn,
                                         backServer);
}

HResult CControlHelperLogic::SaveFilterConfigToFile(const InText& filterContent) {
    if (const HResult hr = CheckOwner(u"SaveFilterConfigToFile"); Failed(hr)) return hr;
    return corvane::SaveFilterConfigToFile(store_, filterContent);
}

HResult CControlHelperLogic::StartDataPath(const InText& orchDomain, int32_t enableHotSpotOrTransferMode,
                                           int32_t& isErr, int32_t langId,
                                           std::optional<std::u16string>& msgErr, int32_t& isIcsEnable) {
    return CDataPath(store_, processes_, sharing_, caller_)
        .StartDataPath(orchDomain, enableHotSpotOrTransferMode, isErr, langId, msgErr, &isIcsEnable);
}

HResult CControlHelperLogic::StopDataPath(std::optional<std::u16string>& msgErr) {
    return CDataPath(store_, processes_, sharing_, caller_).StopDataPath(msgErr);
}

HResult CControlHelperLogic::GetSystemInfo(const InText& execPath, const InText& outFilePath) {
    // The command line carries quotes by design; Diagnostics takes it apart.
    const HResult checked = FirstFailure(CheckPath(Or(execPath), kPathBufferUnits),
                                         CheckSingleLine(Or(outFilePath), kPathBufferUnits));
    if (Failed(checked)) {
        store_.WriteLog(u"GetSystemInfo refused: an argument is too long or has a line break");
        return checked;
    }
    return CDiagnostics(store_, processes_).GetSystemInfo(execPath, outFilePath);
}

HResult CControlHelperLogic::FixErrAuto(uint32_t errCode) {
    if (const HResult hr = CheckOwner(u"FixErrAuto"); Failed(hr)) return hr;
    return CDiagnostics(store_, processes_).FixErrAuto(errCode);
}

HResult CControlHelperLogic::WifiSpotHotNotify(int32_t& ifIndex, int32_t langId,
                                               std::optional<std::u16string>& msg) {
    return NotifyHotspotChange(store_, sharing_, ifIndex, langId, msg);
}

HResult CControlHelperLogic::ProduceNsCtlLog(const InText& path, const InText& name) {
    const HResult checked =
        FirstFailure(CheckPath(Or(path), kPathBufferUnits), CheckPath(Or(name), kPathBufferUnits));
    if (Failed(checked)) {
        store_.WriteLog(
            u"ProduceNsCtlLog refused: an argument is too long or has a control character or quote");
        return checked;
    }
    return CDiagnostics(store_, processes_).ProduceNsCtlLog(path, name);
}

}  // namespace corvane
