// The traffic filter list: cache, skip check, download and the summary in the user log. The digest is
// taken over the same bytes on both sides of the skip check, the UTF-8 form of the document, so a list
// with characters beyond ASCII is recognised as current instead of being downloaded on every connect.
#include "engine/FilterList.h"

#include "core/CryptoHelpers.h"
#include "core/Format.h"
#include "core/HttpClient.h"
#include "core/JsonFields.h"
#include "core/Log.h"
#include "core/Settings.h"
#include "core/TextHelpers.h"
#include "engine/EngineState.h"
#include "helper/HelperClient.h"
#include "platform/Files.h"
#include "platform/ProgramFolder.h"
#include "platform/SystemInfo.h"

namespace velora {

namespace {

constexpr std::u16string_view kFilterFile = u"filterConfig.conf";
constexpr std::u16string_view kVerifySetting = u"FilterVerify";
constexpr std::u16string_view kVersionSetting = u"FilterVersion";
constexpr uint16_t kLanguageSimplifiedChinese = 2052;
constexpr std::size_t kDisplayUnits = 20;

constexpr uint32_t kMsgFilterDownloadFailed = 306;
constexpr uint32_t kMsgFilterTunnelOnly = 342;
constexpr uint32_t kMsgFilterBypassOnly = 343;
constexpr uint32_t kMsgFilterOtherMode = 344;
constexpr uint32_t kMsgFilterTunnelList = 345;
constexpr uint32_t kMsgFilterBypassList = 349;

void ReadLists(EngineState& state, std::u16string_view text) {
    state.ipSetMode = GetIntField(text, u"ipSetMode", 99);
    state.whiteIpSet = GetArrayField(text, u"whiteIpSet", u"");
    state.blackIpSet = GetArrayField(text, u"blackIpSet", u"");
}

// Strict UTF-8: no overlong forms, surrogates or values above U+10FFFF.
bool IsUtf8(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t extra = 0;
        uint32_t value = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            value = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            value = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            value = c & 0x07;
        } else {
            return false;
        }
        if (bytes.size() - i <= extra) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto t = static_cast<unsigned char>(bytes[i + k]);
            if ((t & 0xC0) != 0x80) return false;
            value = (value << 6) | (t & 0x3F);
        }
        if ((extra == 2 && (value < 0x800 || (value >= 0xD800 && value <= 0xDFFF))) ||
            (extra == 3 && (value < 0x10000 || value > 0x10FFFF)))
            return false;
        i += extra + 1;
    }
    return true;
}

// The cached file as text: UTF-8 as the client reads it, unless the bytes are not UTF-8. The service
// stores the document as single-byte text (U+0080..U+00FF as one byte each), so such a file is read back
// byte for character and gives the document that was downloaded, whose digest then still matches.
std::u16string CachedText(std::string_view line) {
    if (IsUtf8(line)) return Utf8ToUtf16(line);
    std::u16string text;
    text.reserve(line.size());
    for (const char c : line) text += static_cast<char16_t>(static_cast<unsigned char>(c));
    return text;
}

}  // namespace

std::u16string FilterVersionKey(std::u16string_view url) {
    const std::size_t last = url.rfind(u'/');
    if (last == std::u16string_view::npos || last == 0) return {};
    const std::size_t second = url.rfind(u'/', last - 1);
    if (second == std::u16string_view::npos || second == 0) return {};
    const std::size_t third = url.rfind(u'/', second - 1);
    if (third == std::u16string_view::npos) return {};
    return std::u16string(url.substr(third, last - third));
}

std::u16string ShortenForDisplay(std::u16string_view list, uint16_t uiLanguage) {
    if (list.empty()) return uiLanguage == kLanguageSimplifiedChinese ? u"\u65E0" : u"none";
    if (list.size() <= kDisplayUnits) return std::u16string(list);
    return std::u16string(list.substr(0, kDisplayUnits)) + u"...";
}

void LoadCachedFilterListFrom(std::u16string_view folder) {
    const std::u16string path = std::u16string(folder) + std::u16string(kFilterFile);
    std::string bytes;
    if (!platform::FileExists(path) || !platform::ReadWholeFile(path, bytes)) return;
    // Text mode with a UTF-8 encoding: a byte-order mark is not content, CR LF reads as a line end.
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
    std::string line = bytes.substr(0, bytes.find('\n'));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    EngineState& state = GetEngineState();
    state.filterText = CachedText(line);
    if (!state.filterText.empty()) ReadLists(state, state.filterText);
}

void LoadCachedFilterList() {
    // Beside the client's own file: Velora.exe, or Velora.dll, not the program that loaded the library.
    const std::u16string folder = platform::ModuleFolder();
    if (!folder.empty()) LoadCachedFilterListFrom(folder);
}

bool IsFilterListCurrent(std::u16string_view url, std::u16string_view siteTemplateId,
                         int32_t mobileTrafficVersion) {
    const EngineState& state = GetEngineState();
    if (state.filterText.empty()) return false;
    if (SaltedMd5Hex(Utf16ToUtf8(state.filterText)) != GetSetting(kVerifySetting, u"")) return false;
    const std::u16string expected = !siteTemplateId.empty() && mobileTrafficVersion != -1
                                        ? FormatText(u"/%s/%d", siteTemplateId, mobileTrafficVersion)
                                        : FilterVersionKey(url);
    return !expected.empty() && expected == GetSetting(kVersionSetting, u"");
}

bool DownloadFilterList(std::u16string_view url, int32_t& codeOut, int32_t& detailOut) {
    if (url.empty()) return false;
    std::string body;
    uint32_t status = 0;
    uint32_t error = 0;
    {
        CHttpClient client;
        error = client.GetText(url, body, status);
    }
    if (error != 0 || status != 200) {
        LogFormatMessageId(kMsgFilterDownloadFailed, static_cast<int32_t>(error),
                           static_cast<int32_t>(status), Utf8ToUtf16(body));
        codeOut = kFilterDownloadFailed;
        detailOut = error != 0 ? static_cast<int32_t>(error) : static_cast<int32_t>(status);
        return false;
    }
    detailOut = 0;
    const std::u16string text = Utf8ToUtf16(body);
    EngineState& state = GetEngineState();
    ReadLists(state, text);
    SetSetting(kVerifySetting, SaltedMd5Hex(body));
    SetSetting(kVersionSetting, FilterVersionKey(url));

    const int32_t mode = state.ipSetMode;
    LogMessageIdAtLevel(mode == 1    ? kMsgFilterTunnelOnly
                        : mode == -1 ? kMsgFilterBypassOnly
                                     : kMsgFilterOtherMode,
                        kLogInfo);
    const uint16_t language = platform::UserDefaultUiLanguage();
    if (mode <= 1)
        LogFormatMessageIdAtLevel(kLogInfo, kMsgFilterTunnelList,
                                  ShortenForDisplay(state.whiteIpSet, language));
    if (mode == 0 || mode == -1)
        LogFormatMessageIdAtLevel(kLogInfo, kMsgFilterBypassList,
                                  ShortenForDisplay(state.blackIpSet, language));

    if (SaveFilterConfig(text) < 0) {
        codeOut = kFilterSaveFailed;
        return false;
    }
    state.filterText = text;
    return true;
}

}  // namespace velora
