// The cryptographic helpers against published vectors (RFC 4648 Base64, RFC 1321 MD5, the RFC 7636 PKCE
// example) and against a real RSA peer: a key pair made by the openssl command, whose private half must
// turn the client's ciphertext back into the plain text. Bad keys must give an empty text and a log line
// that names the failing step.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/Base64.h"
#include "core/CryptoHelpers.h"
#include "core/Log.h"
#include "core/Md5.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "support/LogFiles.h"

namespace velora {
namespace {

using test::FromUtf16Le;
using test::kLogHeader;
using test::ReadBytes;
using test::WriteBytes;

std::string Encode(std::string_view bytes) {
    std::string text;
    EXPECT_TRUE(Base64Encode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), text));
    return text;
}

std::string Decode(std::string_view text) {
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(Base64Decode(text, bytes));
    return std::string(bytes.begin(), bytes.end());
}

std::string Narrow(std::u16string_view text) {
    return platform::Utf16ToUtf8(text);
}

std::u16string Sha256Url(std::string_view bytes) {
    return Sha256Base64Url(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

// ---- Base64 ---------------------------------------------------------------------------------------

TEST(Base64, EncodesAndDecodesTheRfc4648Vectors) {
    struct Case {
        std::string_view bytes;
        std::string_view text;
    };
    const Case cases[] = {{"", ""},
                          {"f", "Zg=="},
                          {"fo", "Zm8="},
                          {"foo", "Zm9v"},
                          {"foob", "Zm9vYg=="},
                          {"fooba", "Zm9vYmE="},
                          {"foobar", "Zm9vYmFy"},
                          {"abc", "YWJj"},
                          {"ab", "YWI="},
                          {std::string_view("\0\xFF\xFE", 3), "AP/+"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text));
        EXPECT_EQ(Encode(c.bytes), c.text);
        EXPECT_EQ(Decode(c.text), c.bytes);
    }
}

TEST(Base64, EncodingAddsNoLineBreaksAndRoundTripsEveryByte) {
    std::string bytes;
    for (int i = 0; i < 600; ++i) bytes += static_cast<char>((i * 7 + 3) & 0xFF);
    const std::string text = Encode(bytes);
    EXPECT_EQ(text.size(), 800u);
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
    EXPECT_EQ(Decode(text), bytes);
}

// The buffer must hold the length of the text with a line break per 76 characters; one character less
// fails and reports what is required.
TEST(Base64, EncodeDemandsTheLengthOfTheTextWithLineBreaks) {
    for (std::size_t size : {0u, 1u, 2u, 3u, 56u, 57u, 58u, 114u, 1000u}) {
        SCOPED_TRACE(size);
        const std::string bytes(size, 'x');
        const std::size_t text = (size + 2) / 3 * 4;
        const std::size_t required = Base64EncodeRequiredLength(size);
        EXPECT_GE(required, text + 2 * (text / 76)) << "room for a break after each full line";

        std::string buffer(required, '#');
        std::size_t length = required - 1;
        EXPECT_FALSE(
            Base64Encode(reinterpret_cast<const uint8_t*>(bytes.data()), size, buffer.data(), length));
        EXPECT_EQ(length, required);

        length = required;
        ASSERT_TRUE(
            Base64Encode(reinterpret_cast<const uint8_t*>(bytes.data()), size, buffer.data(), length));
        EXPECT_EQ(length, text);
        EXPECT_EQ(buffer.substr(text), std::string(required - text, '#')) << "nothing written past the text";
    }
    EXPECT_EQ(Base64EncodeRequiredLength(SIZE_MAX), 0u);
    std::size_t length = 100;
    char out[100];
    EXPECT_FALSE(Base64Encode(nullptr, 3, out, length)) << "missing input";
}

TEST(Base64, DecodingSkipsForeignCharactersAndStopsAtANulThatStartsAGroup) {
    using namespace std::string_view_literals;
    struct Case {
        const char* name;
        std::string_view text;
        std::string_view bytes;
    };
    const Case cases[] = {
        {"line breaks and blanks", "Zm9v\r\nYm\n F y", "foobar"},
        {"padding is skipped", "Zm9vYg==", "foob"},
        {"no padding", "Zm9vYg", "foob"},
        {"short group of three", "Zm9", "fo"},
        {"short group of two", "Zm", "f"},
        {"a lone character carries no byte", "Z", ""},
        {"padding in the middle does not end the text", "Zg==Zm8=",
         "f\x06"
         "f"},
        {"foreign characters only", "!!!! ==== \t", ""},
        {"empty", "", ""},
        {"NUL at the start of a group ends the text", "Zm9v\0YmFy"sv, "foo"},
        {"NUL inside a group is skipped", "Zm\09vYmFy"sv, "foobar"},
        {"URL-safe characters are foreign", "Zm-_9v", "foo"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Decode(c.text), c.bytes);
    }
    std::size_t size = 3;
    uint8_t out[3];
    ASSERT_TRUE(Base64Decode("Zm9vYmFy", 4, out, size)) << "the given length bounds the text";
    EXPECT_EQ(std::string(out, out + size), "foo");
}

TEST(Base64, DecodeIntoASmallBufferFailsAndReportsTheNeededLength) {
    const char text[] = "Zm9vYmFyYg==";
    uint8_t out[8] = {0};
    std::size_t size = 6;
    EXPECT_FALSE(Base64Decode(text, sizeof text - 1, out, size));
    EXPECT_EQ(size, 7u);
    size = 0;
    EXPECT_FALSE(Base64Decode(text, sizeof text - 1, nullptr, size));
    EXPECT_EQ(size, 7u);
    size = 7;
    ASSERT_TRUE(Base64Decode(text, sizeof text - 1, out, size));
    EXPECT_EQ(std::string(out, out + size), "foobarb");
    EXPECT_EQ(out[7], 0) << "nothing written past the bytes";
}

// ---- MD5 ------------------------------------------------------------------------------------------

TEST(Md5, GivesTheRfc1321Digests) {
    struct Case {
        std::string_view text;
        std::string_view digest;
    };
    const Case cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text));
        EXPECT_EQ(Narrow(Md5Hex(c.text.data(), c.text.size())), c.digest);
    }
}

// Pieces that straddle the 64-byte blocks and the 56-byte padding boundary in every way.
TEST(Md5, PiecesOfAnySizeGiveTheOneShotDigest) {
    std::string data;
    for (int i = 0; i < 1000; ++i) data += static_cast<char>((i * 131 + 17) & 0xFF);
    for (std::size_t total : {0u, 55u, 56u, 63u, 64u, 65u, 119u, 120u, 1000u}) {
        const std::u16string expected = Md5Hex(data.data(), total);
        for (std::size_t piece : {1u, 3u, 55u, 63u, 64u, 65u, 127u, 500u}) {
            SCOPED_TRACE(testing::Message() << total << " bytes in pieces of " << piece);
            CMd5 md5;
            md5.Start();
            for (std::size_t at = 0; at < total; at += piece)
                md5.Update(data.data() + at, std::min(piece, total - at));
            EXPECT_EQ(md5.FinishHex(), expected);
        }
    }
}

TEST(Md5, StartResetsAUsedContextAndAMillionBytesGiveTheKnownDigest) {
    CMd5 md5;
    md5.Update("some earlier message", 20);
    md5.Start();
    const std::string chunk(4096, 'a');
    std::size_t left = 1000000;
    while (left > 0) {
        const std::size_t n = std::min(left, chunk.size());
        md5.Update(chunk.data(), n);
        left -= n;
    }
    EXPECT_EQ(Narrow(md5.FinishHex()), "7707d6ae4e027c70eea2a935c2296f21");
}

TEST(SaltedMd5Hex, HashesTheBytesFollowedByTheSalt) {
    using namespace std::string_view_literals;
    struct Case {
        std::string_view bytes;
        std::string_view digest;
    };
    const Case cases[] = {
        {"", "aaf903a3d867b25169d3fff556144dea"},
        {"{\"filter\":[]}", "84b518b1d1a00935fd0e73eb9a1deb0c"},
        {"a\0b"sv, "32923bccc698e980557481f5747d7204"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.digest));
        EXPECT_EQ(Narrow(SaltedMd5Hex(c.bytes)), c.digest);
        const std::string salted = std::string(c.bytes) + "Rk71M38QB5@zx";
        EXPECT_EQ(SaltedMd5Hex(c.bytes), Md5Hex(salted.data(), salted.size()));
    }
}

// ---- SHA-256 --------------------------------------------------------------------------------------

TEST(Sha256Base64Url, GivesThePkceChallengeOfRfc7636) {
    EXPECT_EQ(Narrow(Sha256Url("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk")),
              "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM");
}

TEST(Sha256Base64Url, AcceptsUpTo128BytesAndRefusesMore) {
    std::string bytes;
    for (int i = 0; i < 129; ++i) bytes += static_cast<char>(i);
    EXPECT_EQ(Narrow(Sha256Url(std::string_view(bytes).substr(0, 128))),
              "Rx-5Q6ojxRH29y-NFlLZyIDPo5KtgFAxIFR3A-VqK-U");
    EXPECT_EQ(Narrow(Sha256Url("")), "47DEQpj8HBSa-_TImW-5JCeuQeRkm5NMpJWZG3hSuFU") << "digest of nothing";
    EXPECT_EQ(Sha256Url(bytes), u"") << "129 bytes";
    EXPECT_EQ(Sha256Base64Url(nullptr, 0), u"") << "missing input";
}

// ---- RSA ------------------------------------------------------------------------------------------

// The log started once and pointed at a file of the test's own, so a test can read what was logged.
class CryptoLogTest : public testing::Test {
protected:
    void SetUp() override {
        StartLog(nullptr);
        path_ = scratch_.Path(u"crypto.log");
        WriteBytes(path_, kLogHeader);
        SetLogFilePath(path_);
    }

    std::u16string LogText() const { return FromUtf16Le(ReadBytes(path_), kLogHeader.size()); }

    // The failure line of `step`: message 1118 with the step's name, then an 8-digit status.
    void ExpectFailedStepLogged(std::u16string_view step) const {
        const std::u16string format = MessageText(1118);
        const std::size_t status = format.find(u"%08x");
        ASSERT_NE(status, std::u16string::npos) << "message 1118 carries the status";
        const std::u16string head = FormatText(format.substr(0, status), std::u16string(step));
        const std::u16string log = LogText();
        const std::size_t at = log.find(head);
        ASSERT_NE(at, std::u16string::npos) << Narrow(step) << " not in: " << Narrow(log);
        const std::u16string digits = log.substr(at + head.size(), 8);
        EXPECT_EQ(digits.find_first_not_of(u"0123456789abcdef"), std::u16string::npos) << Narrow(digits);
        EXPECT_NE(log.find(u"[DEBUG]"), std::u16string::npos) << "logged at debug level";
        EXPECT_EQ(log.find(head, at + 1), std::u16string::npos) << "one failure, one line";
    }

    test::CScratchFolder scratch_;
    std::u16string path_;
};

using RsaBadKey = CryptoLogTest;

TEST_F(RsaBadKey, GivesAnEmptyTextAndLogsTheFailingStep) {
    struct Case {
        const char* name;
        std::u16string_view key;
        std::u16string_view step;
    };
    const Case cases[] = {
        {"empty key", u"", u"Base64Decode"},
        {"no Base64 at all", u"!!!! ---- ****", u"Base64Decode"},
        {"Base64 of text", u"bm90IGEga2V5IGF0IGFsbA==", u"CryptDecodeObject X509_PUBLIC_KEY_INFO size"},
        {"truncated RSA key",
         u"MIIBIjANBgkqhkiG9w0BAQEFAAOCAQ8AMIIBCgKCAQEA0878Zf1XT/"
         u"ayEheB5iPC3YHnFsIS7yvFhqU4qbHJPyHYZhcFF+dzeSbM",
         u"CryptDecodeObject X509_PUBLIC_KEY_INFO size"},
        {"elliptic-curve key",
         u"MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEfophjBZ6nFDlS/"
         u"gV9ymuVT+zqMn2qf1C8YGoMGcVmOtNL2Q42hKiy1CoOyblFJia04TZK9VGvRNypQGf5b0+UQ==",
         u"CryptDecodeObject CNG_RSA_PUBLIC_KEY_BLOB size"},
        {"Ed25519 key", u"MCowBQYDK2VwAyEAlbKEy30rLU+UPNszUdPK8nxZoCEjxXRdpqKzcfxhNDc=",
         u"CryptDecodeObject CNG_RSA_PUBLIC_KEY_BLOB size"},
        {"RSA identifier over bits that are no RSA key", u"MBYwDQYJKoZIhvcNAQEBBQADBQAEAkFC",
         u"CryptDecodeObject CNG_RSA_PUBLIC_KEY_BLOB size"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(path_, kLogHeader);
        EXPECT_EQ(RsaEncryptBase64(u"secret\n1700000000000", c.key), u"");
        ExpectFailedStepLogged(c.step);
    }
}

// The plain texts the peer check encrypts: the credential form the sign-in sends, non-ASCII text (the
// key must see its UTF-8 form), nothing, and the longest text a 2048-bit key takes.
struct PlainCase {
    std::u16string text;
    std::string utf8;
};

std::vector<PlainCase> PlainCases() {
    return {
        {u"s3cret!\n1700000000000", "s3cret!\n1700000000000"},
        {u"p\u00e4ssw\u00f6rd \u5bc6\u7801 \U0001F511",
         "p\xC3\xA4ssw\xC3\xB6rd \xE5\xAF\x86\xE7\xA0\x81 \xF0\x9F\x94\x91"},
        {u"", ""},
        {std::u16string(245, u'x'), std::string(245, 'x')},
    };
}

std::u16string PeerPath(const std::u16string& folder, std::u16string_view name) {
    std::u16string path = folder;
    path += platform::kPathSeparator;
    path += name;
    return path;
}

#ifndef _WIN32
// Runs a command through the shell; true when it exits with 0.
bool RunShell(const std::string& command) {
    return std::system(command.c_str()) == 0;
}
std::string Quoted(const std::u16string& path) {
    return "'" + Narrow(path) + "'";
}
#endif

// A 2048-bit key pair from the openssl command. On the host the test makes it; a Windows test program
// cannot run it, so there the build makes it and names its folder in VELORA_RSA_PEER_DIR, and the
// ciphertexts go back to the build machine, whose openssl decrypts them in the step after this test.
class RsaPeer : public CryptoLogTest {
protected:
    void SetUp() override {
        CryptoLogTest::SetUp();
#ifdef _WIN32
        const char* dir = std::getenv("VELORA_RSA_PEER_DIR");
        if (dir == nullptr || *dir == '\0') {
            GTEST_SKIP() << "runs as the RsaPeer CTest steps, which hand over the key pair from the build";
        }
        folder_ = platform::Utf8ToUtf16(dir);
#else
        folder_ = scratch_.Path(u"peer");
        ASSERT_TRUE(RunShell("mkdir -p " + Quoted(folder_) +
                             " && openssl genpkey -algorithm RSA -pkeyopt "
                             "rsa_keygen_bits:2048 -out " +
                             Quoted(PeerPath(folder_, u"private.pem")) + " 2>/dev/null && openssl pkey -in " +
                             Quoted(PeerPath(folder_, u"private.pem")) +
                             " -pubout -outform DER | openssl base64 -A -out " +
                             Quoted(PeerPath(folder_, u"public.b64"))));
#endif
        std::string key = ReadBytes(PeerPath(folder_, u"public.b64"));
        while (!key.empty() && (key.back() == '\n' || key.back() == '\r')) key.pop_back();
        ASSERT_FALSE(key.empty());
        key_ = platform::Utf8ToUtf16(key);
    }

    std::u16string folder_;
    std::u16string key_;
};

TEST_F(RsaPeer, CiphertextDecryptsWithTheOpensslPrivateKey) {
    const std::vector<PlainCase> cases = PlainCases();
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::u16string n = platform::Utf8ToUtf16(std::to_string(i));
        platform::DeleteOneFile(PeerPath(folder_, u"cipher-" + n + u".b64"));
        platform::DeleteOneFile(PeerPath(folder_, u"expected-" + n + u".bin"));
    }
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].utf8.substr(0, 24));
        const std::u16string cipher = RsaEncryptBase64(cases[i].text, key_);
        ASSERT_EQ(cipher.size(), 344u) << "one 256-byte block in Base64";
        const std::u16string n = platform::Utf8ToUtf16(std::to_string(i));
        const std::u16string cipherPath = PeerPath(folder_, u"cipher-" + n + u".b64");
        const std::u16string expectedPath = PeerPath(folder_, u"expected-" + n + u".bin");
        WriteBytes(cipherPath, Narrow(cipher));
        WriteBytes(expectedPath, cases[i].utf8);
#ifndef _WIN32
        const std::u16string decrypted = PeerPath(folder_, u"decrypted-" + n + u".bin");
        ASSERT_TRUE(RunShell("openssl base64 -d -A -in " + Quoted(cipherPath) +
                             " | openssl pkeyutl -decrypt -inkey " +
                             Quoted(PeerPath(folder_, u"private.pem")) + " -out " + Quoted(decrypted)));
        EXPECT_EQ(ReadBytes(decrypted), cases[i].utf8);
#endif
    }
    EXPECT_EQ(LogText(), u"") << "nothing failed";
}

TEST_F(RsaPeer, EachEncryptionIsFreshlyPaddedAndTheKeyTextMayBeWrapped) {
    const std::u16string first = RsaEncryptBase64(u"same text", key_);
    const std::u16string second = RsaEncryptBase64(u"same text", key_);
    ASSERT_EQ(first.size(), 344u);
    EXPECT_NE(first, second) << "PKCS #1 v1.5 padding is random";

    // The key as a PEM body: 64-character lines with CR LF.
    std::u16string wrapped;
    for (std::size_t at = 0; at < key_.size(); at += 64) wrapped += key_.substr(at, 64) + u"\r\n";
    EXPECT_EQ(RsaEncryptBase64(u"same text", wrapped).size(), 344u);
    EXPECT_EQ(LogText(), u"");
}

TEST_F(RsaPeer, TextLongerThanTheKeyTakesFailsAtEncryption) {
    EXPECT_EQ(RsaEncryptBase64(std::u16string(246, u'x'), key_), u"");
    const std::u16string log = LogText();
    EXPECT_NE(log.find(u"BCryptEncrypt"), std::u16string::npos) << Narrow(log);
    // 246 bytes in UTF-8, though only 124 UTF-16 units.
    EXPECT_EQ(RsaEncryptBase64(std::u16string(122, u'\u00e4') + u"ab", key_), u"") << "the UTF-8 form counts";
}

}  // namespace
}  // namespace velora
