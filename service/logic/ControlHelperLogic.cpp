// ControlHelper methods: arguments are checked first; the work itself lands method by method.
#include "logic/ControlHelperLogic.h"

#include <atomic>

#include "logic/ArgumentRules.h"

namespace corvane {

namespace {
std::atomic<int32_t> gSharingInterfaceIndex{-1};

// The first refused argument decides.
template <typename... R>
HResult FirstFailure(R... results) {
    HResult out = kOk;
    ((out = (out == kOk ? results : out)), ...);
    return out;
}
}  // namespace

int32_t SharingInterfaceIndex() {
    return gSharingInterfaceIndex.load(std::memory_order_relaxed);
}
void SetSharingInterfaceIndex(int32_t index) {
    gSharingInterfaceIndex.store(index, std::memory_order_relaxed);
}

HResult CControlHelperLogic::SaveOrchConfigToFile(std::u16string_view commuServer, int32_t, int32_t, int32_t,
                                                  std::u16string_view token, std::u16string_view sn,
                                                  std::u16string_view backServer) {
    // Server addresses become lines of "cpeagent.conf"; token and serial become engine switches.
    const HResult checked = FirstFailure(
        CheckSingleLine(commuServer, kMessageBufferUnits), CheckSingleLine(backServer, kMessageBufferUnits),
        CheckCommandToken(token, kPathBufferUnits), CheckCommandToken(sn, kPathBufferUnits));
    if (Failed(checked)) return checked;
    return kNotImplemented;
}

HResult CControlHelperLogic::SaveFilterConfigToFile(std::u16string_view filterContent) {
    // The filter text is many lines by nature; only a null character would cut it short.
    const HResult checked = CheckNoNull(filterContent);
    if (Failed(checked)) return checked;
    return kNotImplemented;
}

HResult CControlHelperLogic::StartDataPath(std::u16string_view orchDomain, int32_t, int32_t&, int32_t,
                                           std::optional<std::u16string>&, int32_t&) {
    const HResult checked = CheckCommandToken(orchDomain, kPathBufferUnits);
    if (Failed(checked)) return checked;
    return kNotImplemented;
}

HResult CControlHelperLogic::StopDataPath(std::optional<std::u16string>&) {
    return kNotImplemented;
}

HResult CControlHelperLogic::GetSystemInfo(std::u16string_view execPath, std::u16string_view outFilePath) {
    const HResult checked =
        FirstFailure(CheckPath(execPath, kPathBufferUnits), CheckPath(outFilePath, kPathBufferUnits));
    if (Failed(checked)) return checked;
    return kNotImplemented;
}

HResult CControlHelperLogic::FixErrAuto(uint32_t) {
    return kNotImplemented;
}

HResult CControlHelperLogic::WifiSpotHotNotify(int32_t&, int32_t, std::optional<std::u16string>&) {
    return kNotImplemented;
}

HResult CControlHelperLogic::ProduceNsCtlLog(std::u16string_view path, std::u16string_view name) {
    const HResult checked =
        FirstFailure(CheckPath(path, kPathBufferUnits), CheckPath(name, kPathBufferUnits));
    if (Failed(checked)) return checked;
    return kNotImplemented;
}

}  // namespace corvane
