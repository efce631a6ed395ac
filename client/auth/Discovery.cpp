// Discovery of the authentication server, the privacy-policy version and routing past a tunnel.
#include "auth/Discovery.h"

#include <memory>
#include <mutex>

#include "auth/AuthText.h"
#include "core/HostResolve.h"
#include "core/HttpClient.h"
#include "core/JsonFields.h"
#include "core/Log.h"
#include "core/Settings.h"
#include "core/TextHelpers.h"
#include "engine/HelperClient.h"

namespace velora {
namespace {

std::mutex g_routerLock;
std::shared_ptr<const GatewayRouterFn> g_router;

std::u16string ConfiguredUrl(std::u16string_view name, std::u16string_view builtIn) {
    const std::u16string url = GetSettingText(name, u"");
    return url.empty() ? std::u16string(builtIn) : url;
}

std::u16string ToLower(std::u16string text) {
    for (char16_t& c : text) {
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    }
    return text;
}

// The privacy version of one discovery server; empty on failure.
std::u16string PrivacyVersionAt(const std::u16string& discoveryUrl) {
    const std::size_t api = discoveryUrl.find(u"/api");
    const std::u16string url = (api == std::u16string::npos ? discoveryUrl : discoveryUrl.substr(0, api)) +
                               u"/static/version/privacyversion.json";
    CHttpClient client;
    std::string answer;
    uint32_t status = 0;
    const uint32_t result = client.GetText(url, answer, status);
    if (result != 0 || status != 200) {
        LogFormat(u"Failed to get privacy policy version, url: %s, statusCode: %d, result: %d", url,
                  static_cast<int32_t>(status), static_cast<int32_t>(result));
        return {};
    }
    return GetStringField(Utf8ToUtf16(answer), u"halvane_privacy_version", u"");
}

}  // namespace

std::u16string PrimaryDiscoveryUrl() {
    return ConfiguredUrl(u"DiscoveryUrl", kDefaultDiscoveryUrl);
}

std::u16string BackupDiscoveryUrl() {
    return ConfiguredUrl(u"DiscoveryBackupUrl", kDefaultDiscoveryBackupUrl);
}

std::u16string authUrlFromDiscovery(std::u16string_view answer) {
    if (answer.empty()) return {};
    LogFormatMessageId(253, LogSnippet(answer));
    std::u16string domain = GetStringField(answer, u"orchDomain", u"");
    if (!domain.empty() && domain.back() == u'/') domain.pop_back();
    const bool address = IsIpv4Text(domain);
    std::u16string url = ToLower(domain + u"/api/mobile/v2/auth");
    if (url.find(u"http") == std::u16string::npos) url = (address ? u"http://" : u"https://") + url;
    LogFormatMessageId(254, url);
    StoreSetting(u"AuthUrl", url);
    return url;
}

std::u16string fetchPrivacyVersion() {
    std::u16string version = PrivacyVersionAt(PrimaryDiscoveryUrl());
    if (version.empty()) version = PrivacyVersionAt(BackupDiscoveryUrl());
    return version;
}

void routeServerViaGateway(std::u16string_view url) {
    std::shared_ptr<const GatewayRouterFn> router;
    {
        std::lock_guard l(g_routerLock);
        router = g_router;
    }
    const std::size_t slashes = url.find(u"//");
    if (slashes == std::u16string_view::npos) {
        LogFormatMessageId(258, url);
        return;
    }
    const std::u16string_view rest = url.substr(slashes + 2);
    const std::size_t slash = rest.find(u'/');
    if (slash == std::u16string_view::npos) {
        LogFormatMessageId(258, url);
        return;
    }
    std::u16string_view host = rest.substr(0, slash);
    // A port is no part of the name to resolve ("127.0.0.1:8443" would never resolve).
    if (const std::size_t colon = host.rfind(u':');
        colon != std::u16string_view::npos && host.find(u']') == std::u16string_view::npos) {
        host = host.substr(0, colon);
    }
    std::u16string addresses;
    if (!ResolveHostIpv4(host, addresses)) {
        LogDebug(addresses);
        return;
    }
    if (router) {
        (*router)(addresses);
    } else {
        AddRouterToGW(addresses);
    }
}

void SetGatewayRouter(GatewayRouterFn router) {
    std::lock_guard l(g_routerLock);
    g_router = router ? std::make_shared<const GatewayRouterFn>(std::move(router)) : nullptr;
}


}  // namespace velora
