// The table of settings and their kinds.
#include "core/SettingKeys.h"

#include <algorithm>
#include <array>

namespace velora {
namespace {

using enum SettingKind;

constexpr std::array<SettingKey, 37> kKeys = {{
    {u"Username", Encoded},
    {u"Password", Encoded},
    {u"CustomerId", Encoded},
    {u"AuthUrl", Encoded},
    {u"AuthToken", Encoded},
    {u"HeartbeatUrl", Encoded},
    {u"Serial", Encoded},
    {u"FilterVerify", Encoded},
    {u"FilterVersion", Encoded},
    {u"GatewayIp", Encoded},
    {u"ProcessList", Encoded},
    {u"OsList", Encoded},
    {u"OtpRecover", Encoded},
    {u"ThirdPartyUser", Encoded},
    {u"OauthBrowerRet", Encoded},
    {u"PrivacyVersion", Encoded},
    {u"SkipVersion", Encoded},
    {u"UpgradeLaterBtnClickDate", Encoded},
    {u"UpgradeLaterBtnClickVersion", Encoded},
    {u"OrchErroResVersion", Encoded},
    {u"GeoId", Encoded},
    {u"OrchErroResBinary", Binary},
    {u"LangId", Integer},
    {u"DebugOrchUrl", Plain},
    {u"OauthDebugRet", Plain},
    {u"DiagnosisPingTargets", Plain},
    {u"OtpToken", Integer},
    {u"EnableOuterAuth2", Integer},
    {u"AgreePrivacyPolicy", Integer},
    {u"DisableUpgrade", Integer},
    {u"EnableHotspot", Integer},
    {u"HeartbeatInterval", Integer},
    {u"HeartbeatTimeout", Integer},
    {u"CpeId", Integer},
    {u"DiagnosisResult", Integer},
    {u"ErrorHasFix", Integer},
    {u"AutoStart", Integer},
}};

}  // namespace

std::span<const SettingKey> SettingKeys() {
    return kKeys;
}

std::optional<SettingKind> FindSettingKind(std::u16string_view name) {
    const auto it =
        std::find_if(kKeys.begin(), kKeys.end(), [&](const SettingKey& key) { return key.name == name; });
    if (it == kKeys.end()) return std::nullopt;
    return it->kind;
}

}  // namespace velora
