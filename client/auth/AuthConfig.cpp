// The customer's sign-in methods.
#include "auth/AuthConfig.h"

#include "auth/AuthText.h"
#include "auth/PasswordSignIn.h"
#include "core/JsonFields.h"
#include "core/Log.h"
#include "core/ServiceRequest.h"
#include "core/TextHelpers.h"
#include "res/MessageIds.h"

namespace velora {

bool fetchAuthConfig(SignInContext& context, AuthConfig& config) {
    config = AuthConfig();
    const std::u16string root = ServerRoot(context.authUrl);
    const std::u16string body = FormatText(u"{\"customerId\":%s}", context.customerId);
    LogMessageId(kMsgAskingForSignInMethods);
    const ServiceAnswer reply = PostJson({.url = root + u"api/mobile/auth/config", .body = body});
    const uint32_t result = reply.transport;
    const uint32_t status = reply.status;
    const std::u16string& answer = reply.text;
    if (result != 0 || status != 200) {
        if (result == 0 && status == 404) return true;
        LogDebug(u"Failed to get type of customerID");
        LogFormatMessageId(kMsgResultStatus, static_cast<int32_t>(result), static_cast<int32_t>(status));
        reportRequestFailure(answer, result, status, context);
        return false;
    }
    LogDebug(LogSnippet(answer));
    if (const auto list = answer.find(u"authConfigs"); list != std::u16string::npos) {
        std::size_t start = list;
        while (start < answer.size()) {
            std::size_t end = answer.find(u'}', start);
            if (end == std::u16string::npos) end = answer.size();
            const std::u16string_view element = std::u16string_view(answer).substr(start, end - start);
            if (GetStringField(element, u"authenticationProtocol", u"") == u"authorization-code") {
                config.identityProvider = GetStringField(element, u"identityProvider", u"");
                config.configUrl = GetStringField(element, u"configUrl", u"");
                break;
            }
            start = end + 1;
        }
    }
    const bool ordinary = GetBoolField(answer, u"supportedOrdinaryAuthentication", 0) == 1;
    if (!config.configUrl.empty()) {
        if (config.configUrl.front() == u'/') config.configUrl.erase(0, 1);
        config.configUrl = root + config.configUrl;
    }
    config.type = config.configUrl.empty() ? kAuthConfigPasswordOnly
                  : ordinary               ? kAuthConfigExternalAndPassword
                                           : kAuthConfigExternalOnly;
    static constexpr uint32_t kTypeLog[] = {1306, 1303, 1304};
    LogMessageId(kTypeLog[config.type]);
    return true;
}

}  // namespace velora
