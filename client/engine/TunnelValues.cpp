// The tunnel fields of the orchestrator's answers, the route rule and the tunnel's dial-up entry.
#include "engine/TunnelValues.h"

#include "core/JsonFields.h"

namespace velora {
namespace {

constexpr uint32_t kInterfaceMetric = 1;
constexpr uint32_t kNetworkOutageSeconds = 60;

TunnelCredentials ReadCredentials(std::u16string_view answer) {
    TunnelCredentials credentials;
    credentials.ipsecName = GetStringField(answer, u"ipsecName", kDefaultIpsecName);
    credentials.ipsecPassword = GetStringField(answer, u"ipsecPassword", kDefaultIpsecPassword);
    credentials.psk = GetStringField(answer, u"psk", kDefaultPresharedKey);
    return credentials;
}

}  // namespace

TunnelCheckPlan ReadTunnelCheckPlan(std::u16string_view connectAnswer) {
    TunnelCheckPlan plan;
    plan.checkStatusUrl = GetStringField(connectAnswer, u"checkStatusUrl", u"");
    plan.checkRepeatTimes = GetIntField(connectAnswer, u"checkRepeatTimes", kDefaultCheckRepeatTimes);
    plan.specialCaseCode = GetIntField(connectAnswer, u"specialCaseCode", 0);
    return plan;
}

VcpeValues ReadVcpeValues(std::u16string_view connectAnswer) {
    VcpeValues values;
    values.plan = ReadTunnelCheckPlan(connectAnswer);
    values.vgwIp = GetStringField(connectAnswer, u"vgwIp", u"");
    values.publicIp = GetStringField(connectAnswer, u"publicIp", u"");
    values.credentials = ReadCredentials(connectAnswer);
    return values;
}

DcpeCheckValues ReadDcpeCheckValues(std::u16string_view checkAnswer) {
    DcpeCheckValues values;
    values.popIp = GetStringField(checkAnswer, u"popIp", u"");
    values.statusCode = GetIntField(checkAnswer, u"statusCode", 1);
    values.credentials = ReadCredentials(checkAnswer);
    return values;
}

bool IsDcpeGatewayLive(const DcpeCheckValues& values) {
    return !values.popIp.empty() && values.statusCode == 0;
}

bool IsVcpeGatewayLive(std::string_view checkAnswer) {
    return checkAnswer.find("true") != std::string_view::npos;
}

bool TunnelRoutesWanted(int32_t ipSetMode, std::u16string_view whiteIpSet, std::u16string_view blackIpSet) {
    switch (ipSetMode) {
        case 1:
            return !whiteIpSet.empty();
        case -1:
            return !blackIpSet.empty();
        case 0:
            return !whiteIpSet.empty() || !blackIpSet.empty();
        default:
            return false;
    }
}

platform::DialUpEntry TunnelEntryFor(std::u16string_view gateway, std::u16string_view whiteIpSet) {
    platform::DialUpEntry entry;
    entry.type = platform::kDialUpEntryTypeVpn;
    entry.networkProtocols = platform::kDialUpProtocolIp;
    entry.encryptionType = platform::kDialUpEncryptionOptional;
    entry.localPhoneNumber = std::u16string(gateway);
    entry.deviceType = u"vpn";
    entry.vpnStrategy = platform::kDialUpVpnL2tpOnly;
    entry.options = platform::kDialUpRequireEncryptedPw;
    if (whiteIpSet.empty()) entry.options |= platform::kDialUpRemoteDefaultGateway;
    entry.options2 = platform::kDialUpUsePreSharedKey | platform::kDialUpIpv4ExplicitMetric;
    if (!whiteIpSet.empty()) entry.options2 |= platform::kDialUpDisableClassBasedStaticRoute;
    entry.ipv4InterfaceMetric = kInterfaceMetric;
    entry.networkOutageTime = kNetworkOutageSeconds;
    return entry;
}

}  // namespace velora
