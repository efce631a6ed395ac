// The binding URI and its QR symbol, checked without a decoder: the size that the version must have,
// the finder, timing and dark modules every symbol carries, and the error-correction level read back
// from the format bits (medium, boosted where the version leaves room).
#include <gtest/gtest.h>

#include <string>

#include "auth/Qr.h"

namespace velora {
namespace {

// Error-correction level from the first copy of the format bits: 0 medium, 1 low, 2 high, 3 quartile.
int EccLevel(const QrMatrix& m) {
    int bits = 0;
    for (int i = 0; i <= 5; ++i) bits |= (m.Dark(8, i) ? 1 : 0) << i;
    bits |= (m.Dark(8, 7) ? 1 : 0) << 6;
    bits |= (m.Dark(8, 8) ? 1 : 0) << 7;
    bits |= (m.Dark(7, 8) ? 1 : 0) << 8;
    for (int i = 9; i < 15; ++i) bits |= (m.Dark(14 - i, 8) ? 1 : 0) << i;
    bits ^= 0x5412;
    return (bits >> 13) & 3;
}

void ExpectFunctionPatterns(const QrMatrix& m) {
    const int n = m.size;
    const int corners[3][2] = {{0, 0}, {n - 7, 0}, {0, n - 7}};
    for (const auto& c : corners) {
        for (int dy = 0; dy < 7; ++dy) {
            for (int dx = 0; dx < 7; ++dx) {
                const int ring = std::max(std::abs(dx - 3), std::abs(dy - 3));
                EXPECT_EQ(m.Dark(c[0] + dx, c[1] + dy), ring != 2) << "finder at " << c[0] << "," << c[1];
            }
        }
    }
    for (int i = 0; i < 8; ++i) {
        EXPECT_FALSE(m.Dark(7, i)) << "separator";
        EXPECT_FALSE(m.Dark(i, 7)) << "separator";
    }
    for (int i = 8; i < n - 8; ++i) {
        EXPECT_EQ(m.Dark(i, 6), i % 2 == 0) << "timing row";
        EXPECT_EQ(m.Dark(6, i), i % 2 == 0) << "timing column";
    }
    EXPECT_TRUE(m.Dark(8, n - 8)) << "the dark module";
}

TEST(Qr, BindingUriIsExact) {
    EXPECT_EQ(otpBindingUri(u"alice", u"JBSWY3DPEHPK3PXP"), "otpauth://totp/alice?secret=JBSWY3DPEHPK3PXP");
    EXPECT_EQ(otpBindingUri(u"", u""), "otpauth://totp/?secret=");
}

TEST(Qr, SymbolsHaveTheirVersionSizeAndLevel) {
    struct Case {
        std::string text;
        int size;
        int ecc;
    } cases[] = {
        {"otpauth://totp/alice?secret=JBSWY3DPEHPK3PXP", 33, 3},  // 45 bytes: version 4, room for quartile
        {"12345678901234567890", 21, 3},                          // numeric: version 1
        {"HELLO WORLD", 21, 3},            // alphanumeric: version 1, boosted to quartile
        {std::string(2331, 'a'), 177, 0},  // the largest medium byte symbol
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 40));
        QrMatrix m;
        ASSERT_TRUE(EncodeQrText(c.text, m));
        EXPECT_EQ(m.size, c.size);
        EXPECT_EQ(m.modules.size(), static_cast<std::size_t>(c.size * c.size));
        EXPECT_EQ(EccLevel(m), c.ecc);
        ExpectFunctionPatterns(m);
    }
}

TEST(Qr, TextsThatDoNotFitGiveNoSymbol) {
    QrMatrix m;
    EXPECT_FALSE(EncodeQrText(std::string(2332, 'a'), m));
    EXPECT_EQ(m.size, 0);
    EXPECT_TRUE(m.modules.empty());
    // A NUL ends the text, as for every narrow text of the client.
    std::string withNul = "HELLO WORLD";
    withNul += '\0';
    withNul += std::string(3000, 'x');
    ASSERT_TRUE(EncodeQrText(withNul, m));
    EXPECT_EQ(m.size, 21);
    EXPECT_FALSE(m.Dark(-1, 0));
    EXPECT_FALSE(m.Dark(0, 21));
}

TEST(Qr, BindingSymbolMatchesItsUri) {
    QrMatrix fromUri;
    QrMatrix binding;
    ASSERT_TRUE(EncodeQrText(otpBindingUri(u"alice@corp", u"JBSWY3DPEHPK3PXP"), fromUri));
    ASSERT_TRUE(otpBindingQr(u"alice@corp", u"JBSWY3DPEHPK3PXP", binding));
    EXPECT_EQ(binding.modules, fromUri.modules);
}

}  // namespace
}  // namespace velora
