// The service's error catalogue and the user text of an error answer. The maps and the version live
// behind one lock; a download runs outside it (it may take the HTTP time-out) and its result is swapped
// in whole, so a reader sees either the old catalogue or the new one, never a half-parsed mix.
#include "auth/ErrorCatalogue.h"

#include <mutex>
#include <vector>

#include "auth/AuthText.h"
#include "auth/PasswordSignIn.h"
#include "core/HttpClient.h"
#include "core/JsonFields.h"
#include "core/Log.h"
#include "core/ServiceRequest.h"
#include "core/Settings.h"
#include "core/TextHelpers.h"
#include "platform/SystemInfo.h"
#include "platform/Utf16Le.h"
#include "platform/UserLocale.h"
#include "res/MessageIds.h"

namespace velora {
namespace {

constexpr uint16_t kChinesePrc = 2052;
constexpr int32_t kCodeShortMessage = 1999;
constexpr int32_t kCodeLocked = 1019;
constexpr int32_t kCodeNoCatalogueText = 1007;
constexpr int32_t kCodeUnauthorised = 401;
// Real catalogues are a few tens of kilobytes. A larger download is refused rather than written into the
// user's profile, where every start would read it back.
constexpr std::size_t kMaxCatalogueUnits = 2u * 1024 * 1024;

struct Catalogue {
    std::mutex lock;
    std::u16string version;
    std::map<int32_t, std::u16string> english;
    std::map<int32_t, std::u16string> chinese;
};

Catalogue& catalogue() {
    static Catalogue* c = new Catalogue;  // never destroyed: workers may still read it at exit
    return *c;
}

void ReplaceAll(std::u16string& text, std::u16string_view what, std::u16string_view with) {
    if (what.empty()) return;
    for (std::size_t p = text.find(what); p != std::u16string::npos; p = text.find(what, p + with.size())) {
        text.replace(p, what.size(), with);
    }
}

}  // namespace

void loadErrorCatalogue(std::u16string_view path, std::u16string_view authUrl) {
    Catalogue& c = catalogue();
    const std::u16string region = platform::UserDefaultGeoName();
    const int32_t language = platform::UserDefaultLangId();
    {
        std::lock_guard l(c.lock);
        if (!c.version.empty() && !c.english.empty() && !c.chinese.empty()) return;
    }
    const std::u16string cachedVersion = GetSetting(u"OrchErroResVersion", u"");
    std::vector<uint8_t> binary;
    GetSettingBinary(u"OrchErroResBinary", binary);
    if (!cachedVersion.empty() && binary.size() >= 2 && GetSetting(u"GeoId", u"") == region &&
        GetSettingInt(u"LangId", 0) == language) {
        std::map<int32_t, std::u16string> english;
        std::map<int32_t, std::u16string> chinese;
        ParseErrorCatalogue(platform::DecodeUtf16Le(binary), english, chinese);
        std::lock_guard l(c.lock);
        c.english = std::move(english);
        c.chinese = std::move(chinese);
        c.version = cachedVersion;
        return;
    }
    const std::u16string url = ServerRoot(authUrl) + std::u16string(path);
    const ServiceAnswer reply = PostJson({.url = url});
    const uint32_t result = reply.transport;
    const uint32_t status = reply.status;
    const std::u16string& text = reply.text;
    if (result != 0 || status != 200) {
        LogFormatMessageId(kMsgErrorCatalogueAddressFailed, static_cast<int32_t>(result), LogSnippet(text),
                           static_cast<int32_t>(status));
        return;
    }
    LogMessageId(kMsgErrorCatalogueAddressReceived);
    updateErrorCatalogue(text);
}

void updateErrorCatalogue(std::u16string_view answer) {
    Catalogue& c = catalogue();
    const std::u16string version = GetStringField(answer, u"errorResourceVersion", u"");
    const std::u16string url = GetStringField(answer, u"errorResourceDownloadUrl", u"");
    {
        std::lock_guard l(c.lock);
        if (version == c.version) return;
    }
    CHttpClient client;
    std::string body;
    uint32_t status = 0;
    const uint32_t result = client.GetText(url, body, status, u"");
    if (result != 0 || status != 200) {
        LogFormatMessageId(kMsgErrorCatalogueDownloadFailed, static_cast<int32_t>(result),
                           LogSnippet(Utf8ToUtf16(body)), static_cast<int32_t>(status));
        return;
    }
    const std::u16string text = Utf8ToUtf16(body);
    if (text.size() > kMaxCatalogueUnits) {
        LogFormat(u"Error catalogue of %d characters refused",
                  static_cast<int32_t>(std::min<std::size_t>(text.size(), INT32_MAX)));
        return;
    }
    std::vector<uint8_t> bytes;
    platform::AppendUtf16Le(bytes, text);
    SetSettingBinary(u"OrchErroResBinary", bytes.data(), bytes.size());
    StoreSetting(u"OrchErroResVersion", version);
    StoreSetting(u"GeoId", platform::UserDefaultGeoName());
    StoreSettingInt(u"LangId", platform::UserDefaultLangId());
    std::map<int32_t, std::u16string> english;
    std::map<int32_t, std::u16string> chinese;
    ParseErrorCatalogue(text, english, chinese);
    std::lock_guard l(c.lock);
    c.english = std::move(english);
    c.chinese = std::move(chinese);
    c.version = version;
}

std::u16string serverErrorText(std::u16string_view answer) {
    if (answer.empty()) return {};
    const int32_t code = GetIntField(answer, u"code", -1);
    if (code == -1) return {};
    if (code == kCodeShortMessage) {
        std::u16string text = GetStringField(answer, u"message", u"");
        if (const auto dot = text.find(u'.'); dot != std::u16string::npos) text.resize(dot);
        return FormatText(u"%d %s", code, text);
    }
    Catalogue& c = catalogue();
    const std::u16string version = GetStringField(answer, u"errorResourceVersion", u"");
    const std::u16string url = GetStringField(answer, u"errorResourceDownloadUrl", u"");
    if (!version.empty() && !url.empty()) {
        bool stale = false;
        {
            std::lock_guard l(c.lock);
            stale = version != c.version || c.english.empty() || c.chinese.empty();
        }
        if (stale) updateErrorCatalogue(answer);
    }
    std::u16string text;
    {
        std::lock_guard l(c.lock);
        const auto& map = platform::UserDefaultUiLanguage() == kChinesePrc ? c.chinese : c.english;
        if (const auto it = map.find(code); it != map.end()) text = it->second;
    }
    if (text.empty()) {
        if (code == kCodeNoCatalogueText) text = MessageText(kMsgWrongAccountOrPassword);
        if (text.empty()) text = GetStringField(answer, u"message", u"");
    }
    if (code == kCodeUnauthorised) {
        if (GetIntField(answer, u"invalidReasonCode", -1) == 1) {
            text = u"ChangePass";
        } else if (GetBoolField(answer, u"mobileBindDevice", 1) == 0) {
            text = u"BindDevice";
        }
    }
    if (text.empty()) return {};
    if (code == kCodeLocked) {
        ReplaceAll(text, u"30", FormatText(u"%d", GetIntField(answer, u"duration", 30)));
    }
    return FormatText(u"%d %s", code, text);
}

void ResetErrorCatalogueForTest() {
    Catalogue& c = catalogue();
    std::lock_guard l(c.lock);
    c.version.clear();
    c.english.clear();
    c.chinese.clear();
}

std::u16string ErrorCatalogueVersionForTest() {
    Catalogue& c = catalogue();
    std::lock_guard l(c.lock);
    return c.version;
}

}  // namespace velora
