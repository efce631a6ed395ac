// The table of result codes and fixed texts: every text byte for byte as users and API callers see it,
// numbered texts led by their number, and no number or connect code listed twice.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>

#include "core/ResultCodes.h"

namespace velora {
namespace {

struct ExpectedText {
    std::u16string_view text;
    int32_t code;  // 0 where the code is the number filled into the text or varies by caller
};

// The texts written out once more here, independently of the table, so that an edit of a text in the
// table shows up as a failure instead of silently changing what users quote.
const ExpectedText kExpectedNumbered[] = {
    {u"2009 Unknown error code(%d)", 0},
    {u"2010 Request time out. The network might be unavailable", 30103},
    {u"2011 The token is invalid, please login again", 30113},
    {u"2012 Can not get filter list", 30104},
    {u"2013 The driver is not running, reinstall and try again", 30105},
    {u"2014 Unable to parse the authorization result", 501},
    {u"2015 Invalid customer ID", 87},
    {u"2016 Invalid username", 87},
    {u"2017 Invalid password", 87},
    {u"2018 Failed to save configuration file", 30101},
    {u"2019 Can not start datapath", 30102},
    {u"2020 Invalid Token", 30106},
    {u"2033 The service is not running, reinstall and try again", 30112},
    {u"2039 Asynchronous authentication timed out, please try again", 4082},
};

const ExpectedText kExpectedFixed[] = {
    {u"Request time out.The network or the server might be unavailable", 0},
    {u"Authentication failed with code=%d", 0},
    {u"Stopped because of a disconnect command", 329},
    {u"Not supported", 50},
    {u"Unknow error %d", 0},
    {u"No active VCPE found", 30100},
    {u"No active DCPE found", 30100},
    {u"Invalid gateway", 502},
    {u"Invalid check url", 502},
    {u"Check URL returned by Orch is null", 502},
    {u"Can not malloc memory", 8},
    {u"Already reconnecting", 329},
    {u"Already connecting", 329},
    {u"Already connected", 329},
    {u"Already disconnecting", 329},
    {u"Already disconnected", 0},
    {u"Can not start statics thread", 0},
    {u"Can not start monitor thread", 0},
};

const int32_t kExpectedConnectCodes[] = {30100, 30101, 30102, 30103, 30104, 30105, 30106,
                                         30107, 30108, 30109, 30111, 30112, 30113, 30114,
                                         30115, 30116, 30117, 30118, 30119, 40001};

const int32_t kExpectedForeignCodes[] = {0, 8, 50, 87, 329, 501, 502, 4082, 12002, 12007, 12029, 12037};

std::vector<const ResultEntry*> EntriesOf(ResultKind kind) {
    std::vector<const ResultEntry*> out;
    for (const ResultEntry& entry : ResultTable()) {
        if (entry.kind == kind) out.push_back(&entry);
    }
    return out;
}

std::string Narrow(std::u16string_view text) {
    return std::string(text.begin(), text.end());
}

TEST(ResultCodes, TextsAreExactlyTheUsersTextsWithTheirCodes) {
    const struct {
        ResultKind kind;
        std::span<const ExpectedText> expected;
    } groups[] = {{ResultKind::NumberedText, kExpectedNumbered}, {ResultKind::FixedText, kExpectedFixed}};
    for (const auto& group : groups) {
        const auto entries = EntriesOf(group.kind);
        ASSERT_EQ(entries.size(), group.expected.size());
        for (std::size_t i = 0; i < entries.size(); ++i) {
            EXPECT_EQ(Narrow(entries[i]->text), Narrow(group.expected[i].text)) << entries[i]->name;
            EXPECT_EQ(entries[i]->code, group.expected[i].code) << entries[i]->name;
        }
    }
}

TEST(ResultCodes, NumberedTextsLeadWithAnUnrepeatedFourDigitNumber) {
    std::set<std::u16string_view> numbers;
    for (const ResultEntry* entry : EntriesOf(ResultKind::NumberedText)) {
        const std::u16string_view text = entry->text;
        ASSERT_GT(text.size(), 5u) << entry->name;
        EXPECT_TRUE(std::all_of(text.begin(), text.begin() + 4, [](char16_t c) {
            return c >= u'0' && c <= u'9';
        })) << entry->name;
        EXPECT_EQ(text[4], u' ') << entry->name;
        EXPECT_NE(text[5], u' ') << entry->name;
        EXPECT_TRUE(numbers.insert(text.substr(0, 4)).second) << "number listed twice: " << entry->name;
        // The constant's name carries the number, so a producer's code reads like the message it shows.
        EXPECT_EQ(entry->name.substr(0, 9), "kText" + Narrow(text.substr(0, 4))) << entry->name;
    }
    for (const ResultEntry* entry : EntriesOf(ResultKind::FixedText)) {
        EXPECT_FALSE(entry->text.empty()) << entry->name;
        EXPECT_FALSE(entry->text[0] >= u'0' && entry->text[0] <= u'9') << entry->name;
    }
}

TEST(ResultCodes, CodesAreListedOnceAndOnlyTheKnownOnes) {
    const struct {
        ResultKind kind;
        std::span<const int32_t> expected;
    } groups[] = {{ResultKind::ConnectCode, kExpectedConnectCodes},
                  {ResultKind::ForeignCode, kExpectedForeignCodes}};
    for (const auto& group : groups) {
        std::vector<int32_t> codes;
        for (const ResultEntry* entry : EntriesOf(group.kind)) {
            EXPECT_TRUE(entry->text.empty()) << entry->name;
            EXPECT_FALSE(entry->situation.empty()) << entry->name;
            codes.push_back(entry->code);
        }
        EXPECT_EQ(codes, std::vector<int32_t>(group.expected.begin(), group.expected.end()));
    }
    // Every code that travels with a text is itself in the table, so no producer reports an unlisted one.
    std::set<int32_t> listed;
    for (const ResultEntry& entry : ResultTable()) {
        if (entry.kind == ResultKind::ConnectCode || entry.kind == ResultKind::ForeignCode)
            listed.insert(entry.code);
    }
    std::set<std::string_view> names;
    for (const ResultEntry& entry : ResultTable()) {
        EXPECT_TRUE(listed.contains(entry.code)) << entry.name;
        EXPECT_TRUE(names.insert(entry.name).second) << "listed twice: " << entry.name;
    }
}

}  // namespace
}  // namespace velora
