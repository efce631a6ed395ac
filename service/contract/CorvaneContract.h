// What the client and the helper service agree on, written once: the automation method names, the result
// codes the client treats specially, and the buffer sizes the methods hold texts in. The service logic, the
// Windows client binding and the host's in-process binding all read it; it needs no Windows header.
#pragma once
#include <cstddef>
#include <cstdint>

namespace corvane {

// Result codes the client tells apart (HRESULT values, signed as the methods return them).
inline constexpr int32_t kRouteExists = static_cast<int32_t>(0x80071392u);         // AddRoute, AddRouterToGW
inline constexpr int32_t kRouteMissing = static_cast<int32_t>(0x80070002u);        // RemoveRoute
inline constexpr int32_t kNothingToStop = static_cast<int32_t>(0x80090011u);       // StopDataPath
inline constexpr int32_t kClassNotRegistered = static_cast<int32_t>(0x80040154u);  // service not installed

// The client's tunnel interface: the only adapter the route helper adds routes on.
inline constexpr char16_t kTunnelInterfaceName[] = u"Hal-Vane";

// Buffers the methods copy their texts into (UTF-16 units, terminator included).
inline constexpr std::size_t kPathBufferUnits = 260;
inline constexpr std::size_t kMessageBufferUnits = 1024;

// Automation names of the methods (ControlHelper, then RouteHelper).
namespace method {
inline constexpr char16_t kSaveOrchConfigToFile[] = u"SaveOrchConfigToFile";
inline constexpr char16_t kSaveFilterConfigToFile[] = u"SaveFilterConfigToFile";
inline constexpr char16_t kStartDataPath[] = u"StartDataPath";
inline constexpr char16_t kStopDataPath[] = u"StopDataPath";
inline constexpr char16_t kGetSystemInfo[] = u"GetSystemInfo";
inline constexpr char16_t kFixErrAuto[] = u"FixErrAuto";
inline constexpr char16_t kWifiSpotHotNotify[] = u"WifiSpotHotNotify";
inline constexpr char16_t kProduceNsCtlLog[] = u"ProduceNsCtlLog";
inline constexpr char16_t kAddRoute[] = u"AddRoute";
inline constexpr char16_t kRemoveRoute[] = u"RemoveRoute";
inline constexpr char16_t kAddRouterToGW[] = u"AddRouterToGW";
inline constexpr char16_t kFindMinMetricInfOfDefaultGW[] = u"FindMinMetricInfOfDefaultGW";
}  // namespace method

}  // namespace corvane
