// The settings store against the real platform store (a file on the host, the registry under Wine):
// the stored form of encrypted texts, damaged values, migration of plain values, the other value kinds
// and concurrent writers. Each test starts from an empty store.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <thread>
#include <vector>

#include "core/Aes128.h"
#include "core/SettingKeys.h"
#include "core/Settings.h"
#include "platform/Crypto.h"
#include "platform/ProfileStore.h"
#include "platform/Text.h"

namespace {

using velora::CAes128;
using velora::GetSetting;
using velora::SetSetting;

std::vector<uint8_t> FromHex(std::string_view hex) {
    std::vector<uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
    return bytes;
}

std::u16string Stored(std::u16string_view name) {
    std::u16string value;
    EXPECT_TRUE(platform::ReadProfileText(name, value)) << "no stored text";
    return value;
}

class SettingsTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(platform::ClearProfileForTest()); }
};

TEST(Aes128, MatchesTheStandardVectorWithoutChaining) {
    const auto key = FromHex("000102030405060708090a0b0c0d0e0f");
    auto plain = FromHex("00112233445566778899aabbccddeeff");
    plain.insert(plain.end(), plain.begin(), plain.end());  // two equal blocks: ECB gives equal output
    const auto block = FromHex("69c4e0d86a7b0430d8cdb78070b4c55a");
    std::vector<uint8_t> want = block;
    want.insert(want.end(), block.begin(), block.end());

    std::vector<uint8_t> cipher(plain.size());
    std::string step;
    ASSERT_TRUE(platform::Aes128EcbEncrypt(key.data(), plain.data(), plain.size(), cipher.data(), step))
        << step;
    EXPECT_EQ(cipher, want);
    std::vector<uint8_t> back(cipher.size());
    ASSERT_TRUE(platform::Aes128EcbDecrypt(key.data(), cipher.data(), cipher.size(), back.data(), step))
        << step;
    EXPECT_EQ(back, plain);

    const CAes128 aes(key.data());
    std::vector<uint8_t> viaClass(plain.size());
    ASSERT_TRUE(aes.Encrypt(plain.data(), plain.size(), viaClass.data()));
    EXPECT_EQ(viaClass, want);
}

TEST(Aes128, RefusesPartialBlocksAndNamesTheStep) {
    const auto key = FromHex("000102030405060708090a0b0c0d0e0f");
    uint8_t data[15] = {};
    uint8_t out[15] = {};
    std::string step;
    EXPECT_FALSE(platform::Aes128EcbEncrypt(key.data(), data, sizeof data, out, step));
    EXPECT_FALSE(step.empty());
    step.clear();
    EXPECT_FALSE(platform::Aes128EcbDecrypt(key.data(), data, sizeof data, out, step));
    EXPECT_FALSE(step.empty());
}

TEST(RandomBytes, FillsTheBufferWithFreshBytes) {
    std::vector<uint8_t> a(32), b(32);
    ASSERT_TRUE(platform::RandomBytes(a.data(), a.size()));
    ASSERT_TRUE(platform::RandomBytes(b.data(), b.size()));
    EXPECT_NE(a, std::vector<uint8_t>(32, 0));
    EXPECT_NE(a, b);
}

// Values written by any earlier run must stay readable: these forms pin the program's key and format.
TEST_F(SettingsTest, EncryptedTextsHaveTheirFixedStoredForm) {
    struct Case {
        std::u16string value;
        std::u16string stored;
    };
    const Case cases[] = {
        {u"", u"14EC662F09D4C8E3B368E23C93162F37"},
        {u"Velora", u"1FB5165A853305EAF2517A6BF56FFE68"},
        {u"0123456789abcdef", u"DAC8A21DE0009AD5D1F4FBA85ED73D3714EC662F09D4C8E3B368E23C93162F37"},
    };
    for (const auto& c : cases) {
        SetSetting(u"AuthToken", c.value);
        EXPECT_EQ(Stored(u"AuthToken"), c.stored);
        EXPECT_EQ(GetSetting(u"AuthToken", u"unused default"), c.value);
        // Reading accepts lower-case digits as well.
        std::u16string lower = c.stored;
        for (auto& ch : lower) ch = (ch >= u'A' && ch <= u'F') ? ch - u'A' + u'a' : ch;
        ASSERT_TRUE(platform::WriteProfileText(u"AuthToken", lower));
        EXPECT_EQ(GetSetting(u"AuthToken", u"unused default"), c.value);
    }
}

TEST_F(SettingsTest, PaddingAlwaysAddsAZeroByte) {
    struct Case {
        std::size_t length;
        std::size_t digits;
    };
    const Case cases[] = {{0, 32}, {1, 32}, {15, 32}, {16, 64}, {31, 64}, {32, 96}, {100, 224}};
    for (const auto& c : cases) {
        const std::u16string value(c.length, u'x');
        SetSetting(u"Username", value);
        const std::u16string stored = Stored(u"Username");
        EXPECT_EQ(stored.size(), c.digits) << "length " << c.length;
        for (char16_t ch : stored) EXPECT_TRUE((ch >= u'0' && ch <= u'9') || (ch >= u'A' && ch <= u'F'));
        EXPECT_EQ(GetSetting(u"Username", u"default"), value);
    }
}

TEST_F(SettingsTest, EmptyValueReadsBackAsEmptyNotTheDefault) {
    SetSetting(u"Password", u"");
    EXPECT_EQ(Stored(u"Password").size(), 32u);
    EXPECT_EQ(GetSetting(u"Password", u""), u"");
    EXPECT_EQ(GetSetting(u"Password", u"fallback"), u"");
}

TEST_F(SettingsTest, MissingValueOrStoredDefaultIsReturnedWithoutDecrypting) {
    EXPECT_EQ(GetSetting(u"GatewayIp", u"10.0.0.1"), u"10.0.0.1");
    EXPECT_EQ(GetSetting(u"GatewayIp", u""), u"");
    // Plain texts equal to the default would be unreadable as cipher text; they come back as they are.
    ASSERT_TRUE(platform::WriteProfileText(u"GatewayIp", u"ABC"));
    EXPECT_EQ(GetSetting(u"GatewayIp", u"ABC"), u"ABC");
    ASSERT_TRUE(platform::WriteProfileText(u"GatewayIp", u"newest"));
    EXPECT_EQ(GetSetting(u"GatewayIp", u"newest"), u"newest");
}

TEST_F(SettingsTest, DamagedStoredValuesGiveTheDefault) {
    const std::u16string valid = u"1FB5165A853305EAF2517A6BF56FFE68";
    const std::u16string damaged[] = {
        u"ABC",                               // not whole blocks
        u"1FB5165A853305EA",                  // half a block
        u"1FB5165A853305EAF2517A6BF56FFE6G",  // a character that is no hex digit
        u"1FB5165A853305EAF2517A6BF56FFE 8",  // a blank inside
        u"ZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZ",  // no digits at all
        valid + u"1FB5165A853305EAF2517A6BF56FF-68",
    };
    for (const auto& stored : damaged) {
        ASSERT_TRUE(platform::WriteProfileText(u"FilterVersion", stored));
        EXPECT_EQ(GetSetting(u"FilterVersion", u"fallback"), u"fallback")
            << std::string(stored.begin(), stored.end());
    }
    ASSERT_TRUE(platform::WriteProfileText(u"FilterVersion", valid));
    EXPECT_EQ(GetSetting(u"FilterVersion", u"fallback"), u"Velora");
}

TEST_F(SettingsTest, AlteredDigitsDecryptToWhateverTheBlockGives) {
    std::u16string stored = u"1FB5165A853305EAF2517A6BF56FFE68";
    stored[0] = u'2';
    ASSERT_TRUE(platform::WriteProfileText(u"OsList", stored));
    const std::u16string got = GetSetting(u"OsList", u"fallback");
    EXPECT_NE(got, u"Velora");
    EXPECT_NE(got, u"fallback");
}

TEST_F(SettingsTest, TextsGoThroughTheNarrowCodePage) {
    const std::u16string values[] = {u"https://auth.example.test:8443/login?x=1&y=2", u"中文用户名",
                                     u"Ünïcødé ß"};
    for (const auto& value : values) {
        SetSetting(u"ThirdPartyUser", value);
        const std::string narrow = platform::Utf16ToNarrow(value);
        // The stored form is exactly the narrow bytes, zero padded, encrypted under the program key.
        const std::u16string stored = Stored(u"ThirdPartyUser");
        const auto cipher = FromHex(std::string(stored.begin(), stored.end()));
        std::vector<uint8_t> plain(cipher.size());
        ASSERT_TRUE(CAes128::Program().Decrypt(cipher.data(), cipher.size(), plain.data()));
        std::vector<uint8_t> want(narrow.begin(), narrow.end());
        want.resize(narrow.size() - narrow.size() % 16 + 16, 0);
        EXPECT_EQ(plain, want);
        EXPECT_EQ(GetSetting(u"ThirdPartyUser", u""), platform::NarrowToUtf16(narrow));
    }
}

TEST_F(SettingsTest, IntegersPlainTextsAndBinaryValues) {
    EXPECT_EQ(velora::GetSettingInt(u"CpeId", -1), -1);
    for (int32_t v : {0, 1, -1, 120000, INT_MIN, INT_MAX}) {
        velora::SetSettingInt(u"CpeId", v);
        EXPECT_EQ(velora::GetSettingInt(u"CpeId", 7), v);
    }

    EXPECT_EQ(velora::GetSettingText(u"DebugOrchUrl", u"none"), u"none");
    for (const std::u16string v : {u"", u"https://127.0.0.1:9/x", u"-logout redirect?code=中文"}) {
        velora::SetSettingText(u"DebugOrchUrl", v);
        EXPECT_EQ(velora::GetSettingText(u"DebugOrchUrl", u"none"), v);
    }

    std::vector<uint8_t> bin = {1, 2, 3};
    EXPECT_FALSE(velora::GetSettingBinary(u"OrchErroResBinary", bin));
    const std::vector<std::vector<uint8_t>> blobs = {{}, {0, 0, 0}, {0xFF, 0x00, 0x41, 0x00, 0x0A, 0x0D}};
    for (const auto& blob : blobs) {
        velora::SetSettingBinary(u"OrchErroResBinary", blob.data(), blob.size());
        ASSERT_TRUE(velora::GetSettingBinary(u"OrchErroResBinary", bin));
        EXPECT_EQ(bin, blob);
    }

    // A value of another kind reads as missing.
    EXPECT_EQ(velora::GetSettingText(u"CpeId", u"none"), u"none");
    EXPECT_EQ(velora::GetSettingInt(u"DebugOrchUrl", 5), 5);
    EXPECT_FALSE(velora::GetSettingBinary(u"CpeId", bin));
}

// Every listed setting goes through the getter and setter of its kind, and no other: a value written by
// its own setter reads back through its own getter, every getter of another kind gives the default, and
// every setter of another kind leaves the stored value as it was.
TEST_F(SettingsTest, EverySettingIsReadAndWrittenOnlyAsItsKind) {
    using velora::SettingKind;
    const std::vector<uint8_t> blob = {0x41, 0x00, 0xFF};
    for (const auto& key : velora::SettingKeys()) {
        SCOPED_TRACE(platform::Utf16ToUtf8(key.name));
        const std::u16string name(key.name);
        switch (key.kind) {
        case SettingKind::Encoded:
            SetSetting(name, u"secret");
            break;
        case SettingKind::Plain:
            velora::SetSettingText(name, u"plain");
            break;
        case SettingKind::Integer:
            velora::SetSettingInt(name, 4242);
            break;
        case SettingKind::Binary:
            velora::SetSettingBinary(name, blob.data(), blob.size());
            break;
        }
        // The wrong setters are refused, so the value above survives them.
        if (key.kind != SettingKind::Encoded) SetSetting(name, u"overwritten");
        if (key.kind != SettingKind::Plain) velora::SetSettingText(name, u"overwritten");
        if (key.kind != SettingKind::Integer) velora::SetSettingInt(name, 7);
        if (key.kind != SettingKind::Binary) velora::SetSettingBinary(name, blob.data(), 1);

        std::vector<uint8_t> bin;
        EXPECT_EQ(GetSetting(name, u"default"), key.kind == SettingKind::Encoded ? u"secret" : u"default");
        EXPECT_EQ(velora::GetSettingText(name, u"default"), key.kind == SettingKind::Plain ? u"plain" : u"default");
        EXPECT_EQ(velora::GetSettingInt(name, -5), key.kind == SettingKind::Integer ? 4242 : -5);
        EXPECT_EQ(velora::GetSettingBinary(name, bin), key.kind == SettingKind::Binary);
        if (key.kind == SettingKind::Binary) {
            EXPECT_EQ(bin, blob);
        }
        if (key.kind == SettingKind::Encoded) {
            EXPECT_EQ(Stored(name).size(), 32u);
        }
    }
}

// A name the table does not list keeps the kind of the getter the caller picked, as before.
TEST_F(SettingsTest, UnlistedSettingsKeepTheCallersKind) {
    EXPECT_FALSE(velora::FindSettingKind(u"DiscoveryUrl"));
    velora::SetSettingText(u"DiscoveryUrl", u"https://127.0.0.1:9/orchinfo");
    EXPECT_EQ(velora::GetSettingText(u"DiscoveryUrl", u""), u"https://127.0.0.1:9/orchinfo");
    SetSetting(u"Unlisted", u"value");
    EXPECT_EQ(GetSetting(u"Unlisted", u""), u"value");
}

TEST_F(SettingsTest, MigrationEncryptsPlainValuesAndSparesAnEncryptedSerial) {
    const std::u16string serial96 =
        u"DAC8A21DE0009AD5D1F4FBA85ED73D37DAC8A21DE0009AD5D1F4FBA85ED73D3714EC662F09D4C8E3B368E23C93162F37";
    ASSERT_TRUE(platform::WriteProfileText(u"Username", u"alice"));
    ASSERT_TRUE(platform::WriteProfileText(u"CustomerId", u"acme"));
    ASSERT_TRUE(platform::WriteProfileText(u"AuthUrl", u"https://auth.example.test"));
    ASSERT_TRUE(platform::WriteProfileText(u"FilterVersion", u"42"));
    ASSERT_TRUE(platform::WriteProfileText(u"Serial", serial96));

    velora::MigratePlainSettings();

    EXPECT_EQ(GetSetting(u"Username", u""), u"alice");
    EXPECT_EQ(GetSetting(u"CustomerId", u""), u"acme");
    EXPECT_EQ(GetSetting(u"AuthUrl", u""), u"https://auth.example.test");
    EXPECT_EQ(GetSetting(u"FilterVersion", u""), u"42");
    EXPECT_EQ(Stored(u"Username").size(), 32u);
    EXPECT_EQ(Stored(u"Serial"), serial96);
    // Empty or missing values stay as they are.
    std::u16string ignored;
    EXPECT_FALSE(platform::ReadProfileText(u"Password", ignored));
    EXPECT_FALSE(platform::ReadProfileText(u"AuthToken", ignored));
}

TEST_F(SettingsTest, MigrationEncryptsAPlainSerial) {
    const std::u16string serial = u"0123456789ABCDEF0123456789ABCDEF";
    ASSERT_TRUE(platform::WriteProfileText(u"HeartbeatUrl", u"https://hb.example.test/beat"));
    ASSERT_TRUE(platform::WriteProfileText(u"Serial", serial));
    velora::MigratePlainSettings();
    EXPECT_EQ(Stored(u"Serial").size(), 96u);
    EXPECT_EQ(GetSetting(u"Serial", u""), serial);
    EXPECT_EQ(GetSetting(u"HeartbeatUrl", u""), u"https://hb.example.test/beat");
}

TEST_F(SettingsTest, MigrationLeavesValuesThatAreAlreadyEncrypted) {
    // One plain value among encrypted ones: the encrypted ones must still read back afterwards.
    SetSetting(u"AuthUrl", u"https://auth.example.test");
    SetSetting(u"AuthToken", u"token-123");
    const std::u16string authUrl = Stored(u"AuthUrl");
    ASSERT_TRUE(platform::WriteProfileText(u"Username", u"alice"));
    velora::MigratePlainSettings();
    EXPECT_EQ(Stored(u"AuthUrl"), authUrl);
    EXPECT_EQ(GetSetting(u"AuthUrl", u""), u"https://auth.example.test");
    EXPECT_EQ(GetSetting(u"AuthToken", u""), u"token-123");
    EXPECT_EQ(GetSetting(u"Username", u""), u"alice");
}

// Plain values that happen to be whole blocks of hexadecimal digits are still plain: only what the
// store itself writes (upper-case digits of a well-padded cipher text) counts as encrypted.
TEST_F(SettingsTest, MigrationTellsHexLookingPlainValuesFromEncryptedOnes) {
    struct Case {
        const char16_t* name;
        const char16_t* plain;
    };
    const Case cases[] = {
        {u"FilterVerify", u"9e107d9d372bb6826bd81d3542a419d6"},   // an MD5 in lower case
        {u"AuthToken", u"0123456789abcdef0123456789abcdef"},      // a 32-digit token
        {u"FilterVersion", u"0123456789ABCDEF0123456789abcdef"},  // mixed case
        {u"HeartbeatUrl", u"9E107D9D372BB6826BD81D3542A419D6"},   // upper case, but no cipher text of ours
    };
    ASSERT_TRUE(platform::WriteProfileText(u"Username", u"alice"));  // one short plain value starts it
    SetSetting(u"AuthUrl", u"https://auth.example.test");
    const std::u16string encryptedUrl = Stored(u"AuthUrl");
    for (const Case& c : cases) ASSERT_TRUE(platform::WriteProfileText(c.name, c.plain));

    velora::MigratePlainSettings();

    for (const Case& c : cases) {
        SCOPED_TRACE(platform::Utf16ToUtf8(c.name));
        EXPECT_EQ(GetSetting(c.name, u""), c.plain);
        EXPECT_EQ(Stored(c.name).size(), 96u);  // 32 characters and their zero padding: three blocks
    }
    EXPECT_EQ(Stored(u"AuthUrl"), encryptedUrl);
    EXPECT_EQ(GetSetting(u"Username", u""), u"alice");
}

TEST_F(SettingsTest, MigrationDoesNothingWhenTheProbedValuesAreWholeBlocks) {
    SetSetting(u"Username", u"alice");
    SetSetting(u"Password", u"*****");
    const std::u16string serial = u"0123456789ABCDEF0123456789ABCDEF";  // plain, but not probed
    ASSERT_TRUE(platform::WriteProfileText(u"Serial", serial));
    const std::u16string username = Stored(u"Username");
    velora::MigratePlainSettings();
    EXPECT_EQ(Stored(u"Username"), username);
    EXPECT_EQ(Stored(u"Serial"), serial);
}

TEST_F(SettingsTest, ConcurrentWritersLoseNothing) {
    constexpr int kThreads = 8;
    constexpr int kPerThread = 12;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kPerThread; ++i) {
                const std::u16string suffix =
                    platform::Utf8ToUtf16(std::to_string(t) + "_" + std::to_string(i));
                SetSetting(u"Enc" + suffix, u"value " + suffix);
                velora::SetSettingInt(u"Int" + suffix, t * 1000 + i);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kPerThread; ++i) {
            const std::u16string suffix = platform::Utf8ToUtf16(std::to_string(t) + "_" + std::to_string(i));
            EXPECT_EQ(GetSetting(u"Enc" + suffix, u"lost"), u"value " + suffix);
            EXPECT_EQ(velora::GetSettingInt(u"Int" + suffix, -1), t * 1000 + i);
        }
    }
}

}  // namespace
