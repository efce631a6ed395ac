// Fixed identity of the helper service: names, identifier texts and registry places.
#pragma once

namespace corvane::win32 {

inline constexpr wchar_t kServiceNameFallback[] = L"Corvane";
inline constexpr unsigned kServiceNameStringId = 100;

inline constexpr wchar_t kAppIdText[] = L"{7442374d-d8b6-44d5-97d6-03a64523c27d}";
inline constexpr wchar_t kLibIdText[] = L"{7442374d-d8b6-44d5-97d6-03a64523c27d}";

struct ClassIdentity {
    const wchar_t* clsidText;
    const wchar_t* progId;
    const wchar_t* versionIndependentProgId;
    const wchar_t* progIdDescription;  // default value of the ProgID keys
    const wchar_t* clsidDescription;   // default value of the CLSID key
};

inline constexpr ClassIdentity kControlHelperIdentity = {L"{bad0a0ad-c16e-4380-9ece-65a51b28a63a}",
                                                         L"Corvane.ControlHelper.1", L"Corvane.ControlHelper",
                                                         L"ControlHelper Class", L"ControlHelper class"};
inline constexpr ClassIdentity kRouteHelperIdentity = {L"{bb4f20ea-f314-4ccf-9ef2-fa503f862a53}",
                                                       L"Corvane.RouteHelper.1", L"Corvane.RouteHelper",
                                                       L"RouteHelper Class", L"RouteHelper class"};

}  // namespace corvane::win32
