// The client's operations on the helper service: each makes one call on a fresh instance, logs as the
// connection engine expects and returns the status code. Callers must have initialised COM on their thread.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "contract/CorvaneContract.h"

namespace velora {

// Status codes the operations treat specially (the service's contract).
constexpr int32_t kHelperRouteExists = corvane::kRouteExists;
constexpr int32_t kHelperRouteMissing = corvane::kRouteMissing;
constexpr int32_t kHelperNothingToStop = corvane::kNothingToStop;

// `op` of UpdateRoutes.
constexpr int32_t kRoutesAdd = 131;
constexpr int32_t kRoutesRemove = 132;

// The tunnel's interface name handed to the route methods.
inline constexpr std::u16string_view kTunnelInterfaceName = corvane::kTunnelInterfaceName;

struct OrchConfig {
    std::u16string commuServer;
    int32_t orchId = 0;
    int32_t cpeId = 0;
    int32_t customerId = 0;
    std::u16string token;
    std::u16string sn;
    std::u16string backServer;
};

// The system's text for a status code of the helper service, or, where the system has none (Wine has no
// text for several COM codes), what the code means to the client; never empty.
std::u16string HelperResultText(int32_t code);

int32_t SaveOrchConfig(const OrchConfig& config);
int32_t SaveFilterConfig(std::u16string_view filterText);
int32_t StartDataPath(std::u16string_view domain, int32_t mode, int32_t langId, int32_t& icsOut);
int32_t StopDataPath();
int32_t GetSystemInfo(std::u16string_view execPath, std::u16string_view outFilePath);
int32_t FixErrAuto(uint32_t code);
// The interface index the service reports; 0 on failure.
int32_t WifiSpotHotNotify(int32_t langId);
void ProduceNsCtlLog(std::u16string_view path, std::u16string_view name);
int32_t AddRouterToGW(std::u16string_view address);
int32_t AddTunnelRoute(std::u16string_view address);
int32_t UpdateRoutes(int32_t op, bool log, std::u16string_view gwRoutes, std::u16string_view vpnRoutes,
                     int32_t mode);
int32_t FindDefaultGatewayInterface(int32_t exceptTunnel, int32_t exceptVirtual, std::u16string_view name,
                                    int32_t& indexOut);

}  // namespace velora
