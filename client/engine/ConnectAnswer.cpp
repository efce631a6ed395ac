// Reading the connect answer, choosing the mode, and the connect request's URL and body templates (their
// spacing is part of the protocol: the blanks after some commas are sent as they are).
#include "engine/ConnectAnswer.h"

#include "core/Format.h"
#include "core/JsonFields.h"

namespace velora {
namespace {

constexpr char16_t kBodyWindows6[] =
    u"{\"internalIp\":\"%s\",\"deviceModel\":\"windows\",\"mobileVersion\":\"%s\",\"sn\":\"%s\","
    u"\"needIpsecKey\":true,\"deviceSupportMode\":\"vpn\",\"supportFeature\":{\"supportHttps\":true,"
    u"\"supportIpFilterDownloadUrlV2\":true, \"supportHeartBeat\":true}, "
    u"\"clientDeviceInfo\":{\"windows_32_bit\":false},\"connectExtraInfo\":{\"connectPopFailed\":%s}}";
constexpr char16_t kBodyClientSpecifyMode[] =
    u"{\"internalIp\":\"%s\",\"deviceModel\":\"windows\",\"connectMode\":3,\"mobileVersion\":\"%s\","
    u"\"sn\":\"%s\",\"needIpsecKey\":true,\"deviceSupportMode\":\"hybird\",\"supportFeature\":"
    u"{\"supportHttps\":true, \"supportIpFilterDownloadUrlV2\":true, \"supportHeartBeat\":true},"
    u"\"clientDeviceInfo\":{\"windows_32_bit\":false},\"connectExtraInfo\":{\"connectPopFailed\":%s,"
    u"\"useClientSpecifyMode\":true}}";
constexpr char16_t kBodyHybrid[] =
    u"{\"internalIp\":\"%s\",\"deviceModel\":\"windows\",\"mobileVersion\":\"%s\",\"sn\":\"%s\","
    u"\"needIpsecKey\":true,\"deviceSupportMode\":\"hybird\",\"supportFeature\":{\"supportHttps\":true, "
    u"\"supportIpFilterDownloadUrlV2\":true, \"supportHeartBeat\":true},\"clientDeviceInfo\":"
    u"{\"windows_32_bit\":false},\"connectExtraInfo\":{\"connectPopFailed\":%s}}";

std::u16string Upper(std::u16string_view text) {
    std::u16string upper(text);
    for (char16_t& c : upper)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    return upper;
}

}  // namespace

ConnectAnswer ParseConnectAnswer(std::u16string_view text) {
    ConnectAnswer a;
    a.heartbeatUrl = GetStringField(text, u"heartbeatUrl", u"");
    a.heartbeatInterval = GetIntField(text, u"heartbeatInterval", kDefaultHeartbeatInterval);
    a.mobileDetectMaxInvalidTime =
        GetIntField(text, u"mobileDetectMaxInvalidTime", kDefaultMobileDetectMaxInvalid);
    a.connectMode = GetStringField(text, u"connectMode", u"NATIVE");
    a.mobileTrafficDownloadUrl = GetStringField(text, u"mobileTrafficDownloadUrl", u"");
    a.siteTemplateId = GetStringField(text, u"siteTemplateId", u"");
    a.mobileTrafficVersion = GetIntField(text, u"mobileTrafficVersion", -1);
    a.mobileDetect = GetBoolField(text, u"mobileDetect", 0) != 0;
    a.popIpsEnable = GetBoolField(text, u"popIpsEnable", 0) != 0;
    a.remoteIps = GetArrayField(text, u"remoteIps", u"");
    a.lanAssignIp = GetStringField(text, u"lanAssignIp", u"");
    a.allowClientSpecifyMode = GetBoolField(text, u"allowClientSpecifyMode", 0) != 0;
    a.cpeId = GetIntField(text, u"cpeId", -1);
    a.commuServerAddr = GetStringField(text, u"commuServerAddr", u"");
    a.orchDomains = GetArrayField(text, u"orchDomains", u"");
    a.orchId = GetIntField(text, u"orchId", 0);
    a.engineCpeId = GetIntField(text, u"cpeId", 0);
    a.customerId = GetIntField(text, u"customerId", 0);
    a.candidateCommServers = GetArrayField(text, u"candidateCommServers", u"");
    a.vcpe = ReadVcpeValues(text);
    return a;
}

ConnectionMode ChooseConnectionMode(const ConnectAnswer& answer) {
    if (answer.mobileDetect) return MOBILE_DETECT;
    const std::u16string mode = Upper(answer.connectMode);
    if (mode == u"VCPE") return VCPE;
    if (mode == u"DCPE") return DCPE;
    return NATIVE;
}

std::u16string ConnectUrl(std::u16string_view authUrl) {
    const std::size_t slash = authUrl.rfind(u'/');
    if (slash == std::u16string_view::npos) return std::u16string(authUrl);
    return std::u16string(authUrl.substr(0, slash)) + u"/connect";
}

std::u16string ConnectBody(bool windows6, bool useClientSpecifyMode, std::u16string_view internalIp,
                           std::u16string_view productVersion, std::u16string_view serial,
                           bool connectPopFailed) {
    const char16_t* format = windows6               ? kBodyWindows6
                             : useClientSpecifyMode ? kBodyClientSpecifyMode
                                                    : kBodyHybrid;
    return FormatText(format, internalIp, productVersion, serial, connectPopFailed ? u"true" : u"false");
}

}  // namespace velora
