// RouteHelper methods: arguments are checked first; the work itself lands method by method.
#include "logic/RouteHelperLogic.h"

#include "logic/ArgumentRules.h"

namespace corvane {

HResult CRouteHelperLogic::AddRoute(std::u16string_view routerToGw, std::u16string_view routerToVpn,
                                    std::u16string_view l2tpInfName, int32_t) {
    // Address lists may be long; a null character or a line break in them is never an address.
    if (!IsSingleLineText(routerToGw) || !IsSingleLineText(routerToVpn)) return kE_INVALIDARG;
    if (Failed(CheckSingleLine(l2tpInfName, kPathBufferUnits))) return kE_INVALIDARG;
    return kE_NOTIMPL;
}

HResult CRouteHelperLogic::RemoveRoute(std::u16string_view routeToGw) {
    if (!IsSingleLineText(routeToGw)) return kE_INVALIDARG;
    return kE_NOTIMPL;
}

HResult CRouteHelperLogic::AddRouterToGW(std::u16string_view routerToGw) {
    if (!IsSingleLineText(routerToGw)) return kE_INVALIDARG;
    return kE_NOTIMPL;
}

HResult CRouteHelperLogic::FindMinMetricInfOfDefaultGW(int32_t, int32_t, std::u16string_view l2tpInfName,
                                                       int32_t&) {
    if (Failed(CheckSingleLine(l2tpInfName, kPathBufferUnits))) return kE_INVALIDARG;
    return kE_NOTIMPL;
}

}  // namespace corvane
