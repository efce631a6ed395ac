// ControlHelper methods: arguments are checked first; the work itself lands method by method.
#include "logic/ControlHelperLogic.h"

#include <atomic>

#include "logic/ConfigFiles.h"

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

int32_t SharingInterfaceIndex() {
    return gSharingInterfaceIndex.load(std::memory_order_relaxed);
}
void SetSharingInterfaceIndex(int32_t index) {
    gSharingInterfaceIndex.store(index, std::memory_order_relaxed);
}

HResult CControlHelperLogic::SaveOrchConfigToFile(const InText& commuServer, int32_t orchId, int32_t cpeId,
                                                  int32_t customerId, const InText& token, const InText& sn,
                                                  const InText& backServer) {
    return corvane::SaveOrchConfigToFile(store_, commuServer, orchId, cpeId, customerId, token, sn,
                                         backServer);
}

HResult CControlHelperLogic::SaveFilterConfigToFile(const InText& filterContent) {
    return corvane::SaveFilterConfigToFile(store_, filterContent);
}

HResult CControlHelperLogic::StartDataPath(const InText& orchDomain, int32_t, int32_t&, int32_t,
                                           std::optional<std::u16string>&, int32_t&) {
    // The domain becomes one engine switch value on a command line built in a 260-unit buffer.
    const HResult checked = CheckCommandToken(Or(orchDomain), kPathBufferUnits);
    if (Failed(checked)) return checked;
    return kE_NOTIMPL;
}

HResult CControlHelperLogic::StopDataPath(std::optional<std::u16string>&) {
    return kE_NOTIMPL;
}

HResult CControlHelperLogic::GetSystemInfo(const InText& execPath, const InText& outFilePath) {
    const HResult checked =
        FirstFailure(CheckPath(Or(execPath), kPathBufferUnits), CheckPath(Or(outFilePath), kPathBufferUnits));
    if (Failed(checked)) return checked;
    return kE_NOTIMPL;
}

HResult CControlHelperLogic::FixErrAuto(uint32_t) {
    return kE_NOTIMPL;
}

HResult CControlHelperLogic::WifiSpotHotNotify(int32_t&, int32_t, std::optional<std::u16string>&) {
    return kE_NOTIMPL;
}

HResult CControlHelperLogic::ProduceNsCtlLog(const InText& path, const InText& name) {
    const HResult checked =
        FirstFailure(CheckPath(Or(path), kPathBufferUnits), CheckPath(Or(name), kPathBufferUnits));
    if (Failed(checked)) return checked;
    return kE_NOTIMPL;
}

}  // namespace corvane
