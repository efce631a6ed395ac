// Escaping, conversions, versions, addresses, rates, clock and scale levels.
#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <limits>

#include "core/TextHelpers.h"

using namespace velora;

namespace {
struct TextCase {
    std::u16string_view in;
    std::u16string_view want;
};
}  // namespace

TEST(JsonEscape, EscapesQuotesBackslashesSlashesAndDropsControls) {
    const TextCase cases[] = {
        {u"a/b", u"a\\/b"},
        {u"say \"hi\"", u"say \\\"hi\\\""},
        {u"C:\\dir", u"C:\\\\dir"},
        {u"a\tb\r\nc", u"abc"},
        {std::u16string_view(u"x\0y\x1f\x7fz", 6), u"xyz"},
        {u"\x80\u00e9\u4e2d\U0001F600", u"\x80\u00e9\u4e2d\U0001F600"},
        {u"", u""},
    };
    for (const auto& c : cases) EXPECT_EQ(JsonEscape(c.in), c.want);
}

// A value cut from an answer goes back as the JSON text it is; only what would break the request mends.
TEST(JsonTextAsCut, KeepsEscapesAndMendsOnlyWhatWouldBreakTheRequest) {
    const TextCase cases[] = {
        {u"otp-1", u"otp-1"},
        {uR"(corp\\alice)", uR"(corp\\alice)"},
        {uR"(a\"b)", uR"(a\"b)"},
        {uR"(a\/b)", uR"(a\/b)"},
        {uR"(\b\f\n\r\t)", uR"(\b\f\n\r\t)"},
        {uR"(caf\u00e9 \u00E9)", uR"(caf\u00e9 \u00E9)"},
        {u"a/b", u"a/b"},
        // What no well-formed answer holds, mended into one value.
        {u"a\"b", u"a\\\"b"},
        {u"a\"b\"", u"a\\\"b\\\""},
        {u"a\\qb", u"a\\\\qb"},
        {u"end\\", u"end\\\\"},
        {u"\\u12g4", u"\\\\u12g4"},
        {u"\\u12", u"\\\\u12"},
        {u"a\tb\r\nc", u"abc"},
        {u"", u""},
    };
    for (const auto& c : cases) EXPECT_EQ(JsonTextAsCut(c.in), c.want) << Utf16ToUtf8(c.in);
}

TEST(UrlEncode, EncodesElevenCharactersAndCopiesTheRest) {
    const TextCase cases[] = {
        {u"a b:c", u"a%20b%3Ac"},
        {u"/&=?#+", u"/&=?#+"},
        {u" \"%:[\\]^{|}", u"%20%22%25%3A%5B%5C%5D%5E%7B%7C%7D"},
        {u"100%", u"100%25"},
        {u"\u4e2d", u"\u4e2d"},
        {u"", u""},
    };
    for (const auto& c : cases) EXPECT_EQ(UrlEncode(c.in), c.want);
}

TEST(UnescapeText, DropsBackslashesAndTurnsEscapedNIntoCrLf) {
    const TextCase cases[] = {
        {u"\\nx", u"\r\nx"},
        {u"a\\\"b", u"a\"b"},
        {u"a\\tb", u"atb"},
        {u"\\\\", u""},
        {u"\\\\n", u"\r\n"},
        {u"n\\", u"n"},
        {u"line1\\nline2", u"line1\r\nline2"},
        {u"plain n", u"plain n"},
        {u"", u""},
    };
    for (const auto& c : cases) EXPECT_EQ(UnescapeText(c.in), c.want);
}

TEST(Utf8Conversion, RoundTripsAndStopsAtNul) {
    const std::u16string mixed = u"ab\u00e9\u4e2d\u6587\U0001F600";
    const std::string utf8 = "ab\xC3\xA9\xE4\xB8\xAD\xE6\x96\x87\xF0\x9F\x98\x80";
    EXPECT_EQ(Utf16ToUtf8(mixed), utf8);
    EXPECT_EQ(Utf8ToUtf16(utf8), mixed);
    EXPECT_EQ(Utf16ToUtf8(std::u16string_view(u"ab\0cd", 5)), "ab");
    EXPECT_EQ(Utf8ToUtf16(std::string_view("ab\0cd", 5)), u"ab");
    EXPECT_EQ(Utf16ToUtf8(u""), "");
    EXPECT_EQ(Utf8ToUtf16(""), u"");
}

TEST(CompareVersions, MorePiecesWinsThenValuesDecide) {
    struct Case {
        std::u16string_view a;
        std::u16string_view b;
        int want;
    };
    const Case cases[] = {
        {u"1.2.10", u"1.2.9", 1}, {u"1.2.9", u"1.2.10", -1},
        {u"1.2", u"1.2", 0},      {u"2.0", u"1.0.5", -1},
        {u"1.0.5", u"2.0", 1},    {u"1.2.3", u"1.2.3.0", -1},
        {u"1..2", u"1.2", 0},  // a run of dots is one separator
        {u"1.2.", u"1.2", 0},     {u".1.2", u"1.2", 0},
        {u"01.2", u"1.2", 0},     {u"1.2x", u"1.2", 0},  // pieces read as the field readers read numbers
        {u"1.-1", u"1.0", -1},    {u"3000000000.1", u"2147483647.1", 0},  // both saturate
        {u"", u"1", -1},          {u"", u"", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CompareVersions(c.a, c.b), c.want)
            << std::string(c.a.begin(), c.a.end()) << " vs " << std::string(c.b.begin(), c.b.end());
    }
}

TEST(IsIpv4Text, AcceptsDottedDecimalOfSevenToFifteenUnits) {
    struct Case {
        std::u16string_view text;
        bool want;
    };
    const Case cases[] = {
        {u"10.0.0.1", true},
        {u"192.168.1.9", true},
        {u"255.255.255.255", true},
        {u"0.0.0.0", true},
        {u"1.2.3.4.5", true},  // the number of pieces is not checked
        {u"1..2.3.4", true},   // a run of dots is one separator
        {u"0000001", true},
        {u"256.1.1.1", false},
        {u"1.2.3.256", false},
        {u"a.b.c.d", false},
        {u"192.168.100.1000", false},  // 16 units
        {u"1.2.3", false},             // 5 units
        {u"1.2.3.-4", false},
        {u" 1.2.3.4", false},
        {u"1.2.3.4 ", false},
        {u"1.2.3.4\u0661", false},                // a digit of another script
        {u"\uff11.\uff12.\uff13.\uff14", false},  // full-width digits
        {u"9999999999.1", false},
        {u".......", false},  // no piece at all
        {u"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsIpv4Text(c.text), c.want) << std::string(c.text.begin(), c.text.end());
}

TEST(FormatIpv4, PrintsLowestByteFirstAndPrefixBelow32) {
    struct Case {
        uint32_t address;
        uint8_t prefix;
        std::u16string_view want;
    };
    const Case cases[] = {
        {0x0100000Au, 24, u"10.0.0.1/24"},     {0x0100000Au, 31, u"10.0.0.1/31"},
        {0x0100000Au, 0, u"10.0.0.1/0"},       {0x0100000Au, 32, u"10.0.0.1"},
        {0x0100000Au, 255, u"10.0.0.1"},       {0x0901A8C0u, 32, u"192.168.1.9"},
        {0xFFFFFFFFu, 32, u"255.255.255.255"}, {0u, 8, u"0.0.0.0/8"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatIpv4(c.address, c.prefix), c.want);
}

TEST(FormatRate, PicksTheUnitByStrictComparison) {
    struct Case {
        int64_t rate;
        std::u16string_view number;
        std::u16string_view unit;
    };
    const Case cases[] = {
        {1500000, u"1.5", u"Mbps"},    {0, u"0.0", u"Kbps"},       {1500, u"1.5", u"Kbps"},
        {1000000, u"1000.0", u"Kbps"}, {1000001, u"1.0", u"Mbps"}, {1000000000, u"1000.0", u"Mbps"},
        {2500000000, u"2.5", u"Gbps"}, {-5000, u"-5.0", u"Kbps"},  {INT64_MAX, u"9223372036.9", u"Gbps"},
    };
    for (const auto& c : cases) {
        std::u16string unit = u"unset";
        EXPECT_EQ(FormatRate(c.rate, unit), c.number) << c.rate;
        EXPECT_EQ(unit, c.unit) << c.rate;
    }
}

TEST(CurrentTimeMillis, CountsMillisecondsSinceTheEpochInUtc) {
    const int64_t before = static_cast<int64_t>(std::time(nullptr)) * 1000;
    const int64_t now = CurrentTimeMillis();
    const int64_t after = static_cast<int64_t>(std::time(nullptr)) * 1000 + 999;
    EXPECT_GE(now, before);
    EXPECT_LE(now, after);
}

TEST(ScaleIndex, MapsScaleFactorsToFiveLevels) {
    struct Case {
        double factor;
        int want;
    };
    const Case cases[] = {
        {-1.0, 0},
        {0.0, 0},
        {1.0, 0},
        {1.39, 0},
        {1.4, 1},
        {1.5, 1},
        {1.89, 1},
        {1.9, 2},
        {2.0, 2},
        {2.39, 2},
        {2.4, 3},
        {2.5, 3},
        {2.89, 3},
        {2.9, 4},
        {3.0, 4},
        {10.0, 4},
        {std::numeric_limits<double>::quiet_NaN(), 0},
        {std::numeric_limits<double>::infinity(), 4},
    };
    for (const auto& c : cases) EXPECT_EQ(ScaleIndex(c.factor), c.want) << c.factor;
}
