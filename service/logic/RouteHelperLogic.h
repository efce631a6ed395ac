// What the methods of the RouteHelper class do, in plain C++ (see CControlHelperLogic for the conventions).
#pragma once
#include <cstdint>
#include <string_view>

#include "logic/HResult.h"

namespace corvane {

class CRouteHelperLogic {
public:
    HResult AddRoute(std::u16string_view routerToGw, std::u16string_view routerToVpn,
                     std::u16string_view l2tpInfName, int32_t mode);
    HResult RemoveRoute(std::u16string_view routeToGw);
    HResult AddRouterToGW(std::u16string_view routerToGw);
    HResult FindMinMetricInfOfDefaultGW(int32_t exceptL2tpInf, int32_t exceptVirtualInf,
                                        std::u16string_view l2tpInfName, int32_t& index);
};

}  // namespace corvane
