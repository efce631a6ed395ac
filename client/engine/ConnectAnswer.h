// What the orchestrator's answer to a connect request holds, read once from its text ("parse, then act"):
// the values the connect worker stores and acts on and those the mode's bring-up needs, each with its
// default when the answer lacks it or holds it in another type, and the mode the answer selects. The
// bring-ups get this reading, never the text.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/ConnectContext.h"
#include "engine/TunnelValues.h"

namespace velora {

// The defaults of the two heartbeat values when the answer lacks them. Values below 1 are stored as
// sent: the monitors handle them where they use them (an interval of 0 or less makes a heartbeat due in
// every pass, and every pass waits; the mobile-detect failure limit never falls below its floor).
inline constexpr int32_t kDefaultHeartbeatInterval = 10;           // seconds
inline constexpr int32_t kDefaultMobileDetectMaxInvalid = 120000;  // ms

struct ConnectAnswer {
    std::u16string heartbeatUrl;                                          // [""] -> "HeartbeatUrl"
    int32_t heartbeatInterval = kDefaultHeartbeatInterval;                // [10] -> "HeartbeatInterval"
    int32_t mobileDetectMaxInvalidTime = kDefaultMobileDetectMaxInvalid;  // [120000] -> "HeartbeatTimeout"
    std::u16string connectMode = u"NATIVE";                               // as the answer spells it
    std::u16string mobileTrafficDownloadUrl;                              // [""] the filter list
    std::u16string siteTemplateId;                                        // [""]
    int32_t mobileTrafficVersion = -1;                                    // [-1]
    bool mobileDetect = false;
    bool popIpsEnable = false;
    std::u16string remoteIps;    // [""] the array's inside, without quotes
    std::u16string lanAssignIp;  // [""]
    bool allowClientSpecifyMode = false;
    int32_t cpeId = -1;  // [-1] -> "CpeId"
    // For the native bring-up: the orchestrator's servers and the engine's configuration.
    std::u16string commuServerAddr;       // [""] "host:port"
    std::u16string orchDomains;           // [""] the array's inside: host names separated by ","
    int32_t orchId = 0;                   // [0]
    int32_t engineCpeId = 0;              // `cpeId` as the engine's configuration takes it: [0]
    int32_t customerId = 0;               // [0]
    std::u16string candidateCommServers;  // [""] the array's inside
    // For the tunnel bring-ups: the check URL's plan (both modes), and VCPE's gateway and credentials.
    VcpeValues vcpe;
};

// Reads the answer text; never fails (missing or unreadable values keep their defaults).
ConnectAnswer ParseConnectAnswer(std::u16string_view answer);

// The mode the answer selects: MOBILE_DETECT whenever `mobileDetect` is set, else the upper-cased
// `connectMode` ("NATIVE", "VCPE", "DCPE"), any other value NATIVE.
ConnectionMode ChooseConnectionMode(const ConnectAnswer& answer);

// The connect URL of an auth URL: cut before its last "/", then "/connect" (no "/": unchanged).
std::u16string ConnectUrl(std::u16string_view authUrl);

// The request body for these values; `windows6` and `useClientSpecifyMode` choose the template.
std::u16string ConnectBody(bool windows6, bool useClientSpecifyMode, std::u16string_view internalIp,
                           std::u16string_view productVersion, std::u16string_view serial,
                           bool connectPopFailed);

}  // namespace velora
