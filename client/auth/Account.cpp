// Account operations. Failures of the sign-out are ignored on purpose: the local token is what matters.
#include "auth/Account.h"

#include "auth/AccountHelpers.h"
#include "auth/ErrorCatalogue.h"
#include "auth/PasswordSignIn.h"
#include "auth/SignInState.h"
#include "core/DeviceInfo.h"
#include "core/Format.h"
#include "core/JsonFields.h"
#include "core/ServiceRequest.h"
#include "core/Settings.h"
#include "core/TextHelpers.h"
#include "core/WindowMessages.h"

namespace velora {
namespace {

constexpr std::u16string_view kMonths[] = {u"January",   u"February", u"March",    u"April",
                                           u"May",       u"June",     u"July",     u"August",
                                           u"September", u"October",  u"November", u"December"};

}  // namespace

std::u16string privacyDateText(std::u16string_view version, uint16_t uiLanguage) {
    if (version.size() != 8) return {};
    const std::u16string year(version.substr(0, 4));
    const std::u16string month(version.substr(4, 2));
    const std::u16string day(version.substr(6, 2));
    if (uiLanguage == kLanguageChinese) return FormatText(u"更新于%s年%s月%s日", year, month, day);
    // Two decimal digits only: "+5" or " 5" would pass a lenient number reader.
    if (month[0] < u'0' || month[0] > u'9' || month[1] < u'0' || month[1] > u'9') return {};
    const int number = (month[0] - u'0') * 10 + (month[1] - u'0');
    if (number < 1 || number > 12) return {};
    return FormatText(u"Updated on %s %s, %s", kMonths[number - 1], day, year);
}

void AcceptPrivacyPolicy() {
    agreeToPrivacy = true;
    const std::u16string version = privacyVersion.Get();
    SetSettingInt(u"AgreePrivacyPolicy", 1);
    SetSetting(u"PrivacyVersion", version.empty() ? std::u16string(u"newest") : version);
}

bool PrivacyPolicyAccepted() {
    return GetSettingInt(u"AgreePrivacyPolicy", 0) == 1;
}

void changePassword(std::u16string_view oldPassword, std::u16string_view newPassword,
                    platform::WindowHandle mainWindow) {
    const std::u16string authUrl = GetSetting(u"AuthUrl", u"");
    const std::u16string token = GetSetting(u"AuthToken", u"");
    const std::u16string url = CutBeforeFirst(authUrl, u"/api") + u"/api/mobile/v2/resetpassword";
    if (token.empty()) {
        PostCode(mainWindow, UM_CONNECT_RESULT, kNoAuthToken);
        return;
    }
    const std::u16string serial = GetInstallationSerial();

    // The key request is that of the sign-in, but its failure is silent: the clear body goes instead.
    // The key of an earlier sign-in is dropped first, so a failed request really leaves no key to
    // encrypt with.
    serverPublicKey.Clear();
    if (const ServiceAnswer key = PostJson({.url = ServerRoot(authUrl) + std::u16string(kPublicKeyPath)});
        key.Succeeded()) {
        serverPublicKey.Set(GetStringField(key.text, u"key", u""));
    }
    // The passwords are escaped in both bodies: in the clear one a quotation mark typed in one would
    // otherwise end the value early and the rest would be read as further keys of the request; the
    // encrypted ones carry the escaped text as the sign-in's do, so the service reads a password the same
    // way whichever request brought it.
    const std::u16string oldEncrypted = encryptCredential(JsonEscape(oldPassword));
    const std::u16string newEncrypted = encryptCredential(JsonEscape(newPassword));
    const std::u16string body =
        !oldEncrypted.empty() && !newEncrypted.empty()
            ? FormatText(u"{\"oldEncryptPassword\":\"%s\",\"newEncryptPassword\":\"%s\"}", oldEncrypted,
                         newEncrypted)
            : FormatText(u"{\"oldPassword\":\"%s\",\"newPassword\":\"%s\"}", JsonEscape(oldPassword),
                         JsonEscape(newPassword));

    // The password change names its auth line first, then the device's lines.
    const ServiceAnswer reply =
        PostJson({.url = url, .body = body, .serial = serial, .token = token, .tokenFirst = true});
    const uint32_t result = reply.transport;
    const uint32_t status = reply.status;
    const std::string& answer = reply.bytes;
    if (reply.Succeeded()) {
        PostCode(mainWindow, UM_PASSWORD_CHANGED, 0);
        return;
    }
    if (AnswerCarries(answer, "i18nKey")) {
        const std::u16string wide = Utf8ToUtf16(answer);
        const int32_t code = GetIntField(wide, u"code", 0);
        const std::u16string text =
            code == 406 ? GetStringField(wide, u"i18nKey", u"") : serverErrorText(wide);
        SendTextMessage(mainWindow, UM_PASSWORD_CHANGED, static_cast<uint32_t>(code), text);
        return;
    }
    PostCode(mainWindow, UM_PASSWORD_CHANGED, result != 0 ? result : status);
}

std::unique_ptr<platform::Thread> StartChangePassword(std::u16string oldPassword, std::u16string newPassword,
                                                      platform::WindowHandle mainWindow, uint32_t& error) {
    platform::ThreadCreation created =
        platform::StartThread([oldPassword = std::move(oldPassword), newPassword = std::move(newPassword),
                               mainWindow]() -> uint32_t {
            changePassword(oldPassword, newPassword, mainWindow);
            return 0;
        });
    error = created.error;
    return std::move(created.thread);
}

void signOut(bool forgetToken) {
    const std::u16string authUrl = GetSetting(u"AuthUrl", u"");
    const std::u16string token = GetSetting(u"AuthToken", u"");
    if (forgetToken) SetSetting(u"AuthToken", u"");
    const std::u16string url = CutBeforeLast(authUrl, u"/") + u"/signout";
    if (authUrl.empty() || token.empty()) return;
    PostJson({.url = url, .serial = GetInstallationSerial(), .token = token});
}

std::unique_ptr<platform::Thread> StartSignOut(bool forgetToken, uint32_t& error) {
    platform::ThreadCreation created = platform::StartThread([forgetToken]() -> uint32_t {
        signOut(forgetToken);
        return 0;
    });
    error = created.error;
    return std::move(created.thread);
}

}  // namespace velora
