// The binding to the helper service's two automation classes: one call per method, each on a fresh
// instance (Windows: a local-server COM object; host: the service's method logic in-process). Texts go in
// as the caller's texts and come back as copies; an output text left empty (nullopt) was not set.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Where a call failed: converting the class identifier, creating the instance, or the method itself.
enum class HelperStep { ClassId, Create, Call };

struct HelperStatus {
    int32_t code = 0;  // the HRESULT (0 on success)
    HelperStep step = HelperStep::Call;
    std::u16string description;  // the service's error description, when it offers one
};

// The system's text for a result code, trailing line break removed; empty when it has none.
std::u16string HelperCodeText(int32_t code);

// ControlHelper
HelperStatus HelperSaveOrchConfigToFile(std::u16string_view commuServer, int32_t orchId, int32_t cpeId,
                                        int32_t customerId, std::u16string_view token, std::u16string_view sn,
                                        std::u16string_view backServer);
HelperStatus HelperSaveFilterConfigToFile(std::u16string_view filterContent);
HelperStatus HelperStartDataPath(std::u16string_view orchDomain, int32_t enableHotSpotOrTransferMode,
                                 int32_t& isErr, int32_t langId, std::optional<std::u16string>& msgErr,
                                 int32_t& isIcsEnable);
HelperStatus HelperStopDataPath(std::optional<std::u16string>& msgErr);
HelperStatus HelperGetSystemInfo(std::u16string_view execPath, std::u16string_view outFilePath);
HelperStatus HelperFixErrAuto(uint32_t errCode);
HelperStatus HelperWifiSpotHotNotify(int32_t& ifIndex, int32_t langId, std::optional<std::u16string>& msg);
HelperStatus HelperProduceNsCtlLog(std::u16string_view path, std::u16string_view name);

// RouteHelper
HelperStatus HelperAddRoute(std::u16string_view routerToGw, std::u16string_view routerToVpn,
                            std::u16string_view l2tpInfName, int32_t mode);
// RemoveRoute once per text, in order, on one instance; stops at the first failing call.
HelperStatus HelperRemoveRoutes(const std::vector<std::u16string>& routes);
HelperStatus HelperAddRouterToGW(std::u16string_view routerToGw);
HelperStatus HelperFindMinMetricInfOfDefaultGW(int32_t exceptL2tpInf, int32_t exceptVirtualInf,
                                               std::u16string_view l2tpInfName, int32_t& index);

}  // namespace platform
