// The UTF-16 printf formatter: conversions, flags, and refusal of mismatched arguments.
#include <gtest/gtest.h>

#include "core/Format.h"

using velora::FormatText;

TEST(FormatText, ConversionsMatchPrintf) {
    struct Case {
        std::u16string got;
        std::u16string want;
    };
    const Case cases[] = {
        {FormatText(u"%s %s %s\n", u"2026-03-01 08:15:02", u"[INFO]", u"Reconnect"),
         u"2026-03-01 08:15:02 [INFO] Reconnect\n"},
        {FormatText(u"%d|%u|%x|%08x|%02X", -5, 7u, 255u, 0xBEEFu, 10u), u"-5|7|ff|0000beef|0A"},
        {FormatText(u"%lld %llu %I64u", int64_t{-9000000000}, uint64_t{18000000000}, uint64_t{42}),
         u"-9000000000 18000000000 42"},
        {FormatText(u"%.1f %c %%", 1.25, u'x'), u"1.2 x %"},
        {FormatText(u"[%5s][%-5s][%5d][%-5d][%05d]", u"ab", u"ab", 42, 42, 42), u"[   ab][ab   ][   42][42   ][00042]"},
        {FormatText(u"%s", u"中文"), u"中文"},
        {FormatText(u"(0x%08x): %s", 0x80070005u, u"Access is denied."), u"(0x80070005): Access is denied."},
    };
    for (const auto& c : cases) EXPECT_EQ(c.got, c.want);
}

TEST(FormatText, MismatchedOrMissingArgumentsAreMarkedNotRead) {
    EXPECT_EQ(FormatText(u"a%sb", 5), u"a<?>b");
    EXPECT_EQ(FormatText(u"a%db", u"text"), u"a<?>b");
    EXPECT_EQ(FormatText(u"%d", int64_t{1}), u"<?>");  // 64-bit value needs %lld
    EXPECT_EQ(FormatText(u"%d %d", 1), u"1 <?>");
    EXPECT_EQ(FormatText(u"%.1f", 3), u"<?>");
    EXPECT_EQ(FormatText(u"100%"), u"100%");
}
