// The settings store: encrypted texts (narrow code page, zero padding, AES-128 per block, upper-case
// hex), plain texts, integers and binary values, all in the platform's per-user section "Settings". The
// kind of each listed setting comes from core/SettingKeys.h, not from the getter the caller picked.
#include "core/Settings.h"

#include <algorithm>
#include <array>
#include <mutex>
#include <set>

#include "core/Aes128.h"
#include "core/Log.h"
#include "core/SettingKeys.h"
#include "platform/ProfileStore.h"
#include "platform/Text.h"
#include "res/MessageIds.h"

namespace velora {
namespace {

int HexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    return -1;
}

bool DecodeHex(std::u16string_view hex, std::vector<uint8_t>& bytes) {
    if (hex.size() % 2 != 0) return false;
    bytes.resize(hex.size() / 2);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const int hi = HexValue(hex[2 * i]);
        const int lo = HexValue(hex[2 * i + 1]);
        if (hi < 0 || lo < 0) return false;
        bytes[i] = static_cast<uint8_t>(hi * 16 + lo);
    }
    return true;
}

std::u16string EncodeHex(const std::vector<uint8_t>& bytes) {
    static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    std::u16string hex;
    hex.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        hex += kDigits[b >> 4];
        hex += kDigits[b & 0xF];
    }
    return hex;
}

// Whether a getter or setter of this kind may touch the setting. A listed setting of another kind is
// refused, and the refusal logged once per setting and kind: it is a fault of the caller, and a loop
// that repeats it must not flood the log.
bool KindMatches(std::u16string_view name, SettingKind used) {
    const auto listed = FindSettingKind(name);
    if (!listed || *listed == used) return true;
    static std::mutex mutex;
    static std::set<std::pair<std::u16string, SettingKind>> reported;
    bool first = false;
    {
        const std::lock_guard lock(mutex);
        first = reported.emplace(std::u16string(name), used).second;
    }
    if (first) LogFormat(u"The setting %s is not of the kind asked for; the request is refused", name);
    return false;
}

}  // namespace

std::u16string GetSetting(std::u16string_view name, std::u16string_view defaultValue) {
    if (!KindMatches(name, SettingKind::Encoded)) return std::u16string(defaultValue);
    std::u16string stored;
    if (!platform::ReadProfileText(name, stored)) stored = std::u16string(defaultValue);
    if (stored == defaultValue) return stored;

    // Every value this store writes is whole cipher blocks (32 digits each). A partial block or a
    // character that is no hex digit means the value was damaged outside the program: decoding it
    // anyway would read past the data or turn the damage into a plausible-looking text.
    std::vector<uint8_t> cipher;
    if (stored.size() % 32 != 0 || !DecodeHex(stored, cipher)) {
        LogFormatMessageIdAtLevel(kLogError, kMsgStoredSettingUnreadable, name);
        return std::u16string(defaultValue);
    }
    std::vector<uint8_t> plain(cipher.size());
    if (!CAes128::Program().Decrypt(cipher.data(), cipher.size(), plain.data()))
        return std::u16string(defaultValue);
    const auto end = std::find(plain.begin(), plain.end(), uint8_t{0});
    return platform::NarrowToUtf16(std::string(plain.begin(), end));
}

void SetSetting(std::u16string_view name, std::u16string_view value) {
    if (!KindMatches(name, SettingKind::Encoded)) return;
    const std::string bytes = platform::Utf16ToNarrow(value);
    // Always at least one zero byte, so a reader finds the end of the text inside the last block.
    std::vector<uint8_t> plain(bytes.size() - bytes.size() % 16 + 16, 0);
    std::copy(bytes.begin(), bytes.end(), plain.begin());
    std::vector<uint8_t> cipher(plain.size());
    if (!CAes128::Program().Encrypt(plain.data(), plain.size(), cipher.data())) return;
    if (!platform::WriteProfileText(name, EncodeHex(cipher)))
        LogFormat(u"Failed to store the setting %s", name);
}

int32_t GetSettingInt(std::u16string_view name, int32_t defaultValue) {
    if (!KindMatches(name, SettingKind::Integer)) return defaultValue;
    int32_t value = 0;
    return platform::ReadProfileInt(name, value) ? value : defaultValue;
}

void SetSettingInt(std::u16string_view name, int32_t value) {
    if (!KindMatches(name, SettingKind::Integer)) return;
    if (!platform::WriteProfileInt(name, value)) LogFormat(u"Failed to store the setting %s", name);
}

std::u16string GetSettingText(std::u16string_view name, std::u16string_view defaultValue) {
    if (!KindMatches(name, SettingKind::Plain)) return std::u16string(defaultValue);
    std::u16string value;
    return platform::ReadProfileText(name, value) ? value : std::u16string(defaultValue);
}

void SetSettingText(std::u16string_view name, std::u16string_view value) {
    if (!KindMatches(name, SettingKind::Plain)) return;
    if (!platform::WriteProfileText(name, value)) LogFormat(u"Failed to store the setting %s", name);
}

bool GetSettingBinary(std::u16string_view name, std::vector<uint8_t>& value) {
    if (!KindMatches(name, SettingKind::Binary)) return false;
    return platform::ReadProfileBinary(name, value);
}

void SetSettingBinary(std::u16string_view name, const uint8_t* data, std::size_t size) {
    if (!KindMatches(name, SettingKind::Binary)) return;
    if (!platform::WriteProfileBinary(name, data, size)) LogFormat(u"Failed to store the setting %s", name);
}

namespace {

// What SetSetting writes: whole blocks of upper-case digits that decrypt to a text followed by its zero
// padding, all inside the last block. A plain value of hexadecimal digits (an MD5 in lower or mixed case,
// a token) fails one of these and is migrated; a value that is already encrypted passes and is never
// encrypted a second time.
bool LooksEncrypted(std::u16string_view stored) {
    if (stored.empty() || stored.size() % 32 != 0) return false;
    const bool upperHex = std::all_of(stored.begin(), stored.end(), [](char16_t c) {
        return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F');
    });
    std::vector<uint8_t> cipher;
    if (!upperHex || !DecodeHex(stored, cipher)) return false;
    std::vector<uint8_t> plain(cipher.size());
    if (!CAes128::Program().Decrypt(cipher.data(), cipher.size(), plain.data())) return false;
    const auto end = std::find(plain.begin(), plain.end(), uint8_t{0});
    if (end == plain.end() || static_cast<std::size_t>(end - plain.begin()) < plain.size() - 16) return false;
    return std::all_of(end, plain.end(), [](uint8_t b) { return b == 0; });
}

// The stored text as it is: migration reads encoded settings before they are encoded.
std::u16string StoredText(std::u16string_view name) {
    std::u16string value;
    return platform::ReadProfileText(name, value) ? value : std::u16string();
}

}  // namespace

void MigratePlainSettings() {
    // An old version kept these as plain text; encrypted values are always whole 32-digit blocks.
    static constexpr std::array<std::u16string_view, 5> kProbe = {u"Username", u"Password", u"CustomerId",
                                                                  u"AuthUrl", u"HeartbeatUrl"};
    const bool allEncrypted = std::all_of(kProbe.begin(), kProbe.end(), [](std::u16string_view name) {
        return StoredText(name).size() % 32 == 0;
    });
    if (allEncrypted) return;

    static constexpr std::array<std::u16string_view, 9> kMigrated = {
        u"Username",     u"Password",      u"CustomerId",   u"AuthUrl",  u"Serial",
        u"FilterVerify", u"FilterVersion", u"HeartbeatUrl", u"AuthToken"};
    for (const auto name : kMigrated) {
        const std::u16string plain = StoredText(name);
        if (plain.empty()) continue;
        // A plain serial has 32 characters; a longer one is already the encrypted form.
        if (name == u"Serial") {
            if (plain.size() > 64) continue;
        } else if (LooksEncrypted(plain)) {
            // One plain value triggers the migration; the values that are already encrypted must not be
            // encrypted a second time, or they would read back as cipher text.
            continue;
        }
        SetSetting(name, plain);
    }
}

}  // namespace velora
