// What the L2TP/IPsec bring-up reads from the orchestrator: the tunnel fields of the connect answer and of
// the DCPE check answer (with their defaults), whether a VCPE check answer says the gateway is live, the
// rule that says whether the traffic filter list gets routes, and the dial-up entry the tunnel is built on.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/DialUp.h"

namespace velora {

inline constexpr char16_t kDefaultIpsecName[] = u"qzvp";
inline constexpr char16_t kDefaultIpsecPassword[] = u"qzvp";
inline constexpr char16_t kDefaultPresharedKey[] = u"mordalvtrx";
inline constexpr int32_t kDefaultCheckRepeatTimes = 8;

struct TunnelCredentials {
    std::u16string ipsecName = kDefaultIpsecName;
    std::u16string ipsecPassword = kDefaultIpsecPassword;
    std::u16string psk = kDefaultPresharedKey;
};

// The connect answer's part both modes read.
struct TunnelCheckPlan {
    std::u16string checkStatusUrl;
    int32_t checkRepeatTimes = kDefaultCheckRepeatTimes;
    int32_t specialCaseCode = 0;
};

struct VcpeValues {
    TunnelCheckPlan plan;
    std::u16string vgwIp;
    std::u16string publicIp;
    TunnelCredentials credentials;
};

struct DcpeCheckValues {
    std::u16string popIp;
    int32_t statusCode = 1;
    TunnelCredentials credentials;
};

TunnelCheckPlan ReadTunnelCheckPlan(std::u16string_view connectAnswer);
VcpeValues ReadVcpeValues(std::u16string_view connectAnswer);
DcpeCheckValues ReadDcpeCheckValues(std::u16string_view checkAnswer);
// True when the DCPE check answer names a live gateway (an address and status 0).
bool IsDcpeGatewayLive(const DcpeCheckValues& values);
// True when the VCPE check answer holds the four letters "true" anywhere (also inside a longer word).
bool IsVcpeGatewayLive(std::string_view checkAnswer);

// Whether the filter list gets routes, by `ipSetMode`: 1 needs a tunnel list, -1 a bypass list, 0 either;
// any other mode never.
bool TunnelRoutesWanted(int32_t ipSetMode, std::u16string_view whiteIpSet, std::u16string_view blackIpSet);

// The entry "Hal-Vane" for a gateway: the default route goes through the tunnel only when there is no
// tunnel list, and class-based routes are off when there is one.
platform::DialUpEntry TunnelEntryFor(std::u16string_view gateway, std::u16string_view whiteIpSet);

}  // namespace velora
