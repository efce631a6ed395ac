// Device facts against the platform as it is: the host's simulated Windows, or the real system calls
// under Wine. The checks are about shapes and consistency rather than the machine's own values: every
// fact comes back in the form the service expects, the allowed-list check agrees with the running
// system, and the installation serial is made once and kept.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/DeviceInfo.h"
#include "core/Settings.h"
#include "core/TextHelpers.h"
#include "platform/Network.h"
#include "platform/ProfileStore.h"
#include "platform/Text.h"

namespace {

using namespace velora;

std::string Narrow(std::u16string_view text) {
    return platform::Utf16ToUtf8(text);
}

bool IsUpperHex(std::u16string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char16_t c) { return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F'); });
}

TEST(DeviceInfo, RunningSystemHasAKnownShortName) {
    const std::u16string shortName = GetOsShortName();
    static const std::set<std::u16string> windows6 = {u"win7",      u"win8",    u"win8.1",
                                                      u"win2008R2", u"win2012", u"win2012R2"};
    static const std::set<std::u16string> windows10 = {u"win10", u"win11", u"win2016_2019"};
    ASSERT_TRUE(windows6.count(shortName) || windows10.count(shortName)) << Narrow(shortName);
    EXPECT_FALSE(GetOsDisplayName(shortName).empty());
    EXPECT_EQ(IsWindows6(), windows6.count(shortName) == 1);
}

TEST(DeviceInfo, DisplayNamesIgnoreCaseOnly) {
    struct Case {
        const char16_t* shortName;
        const char16_t* display;
    } const cases[] = {
        {u"WIN11", u"Windows 11"},
        {u"Win2012r2", u"Windows Server 2012 R2"},
        {u"win2016_2019", u"Windows Server 2016/2019"},
        {u"WIN8.1", u"Windows 8.1"},
        {u"win10 ", u""},
        {u"win2016", u""},
        {u"", u""},
    };
    for (const Case& c : cases) EXPECT_EQ(GetOsDisplayName(c.shortName), c.display) << Narrow(c.shortName);
}

TEST(DeviceInfo, AllowedListIsCheckedAgainstTheRunningSystem) {
    const std::u16string shortName = GetOsShortName();
    const std::u16string other = shortName == u"win7" ? u"win8" : u"win7";
    std::u16string os, edition;
    ASSERT_TRUE(CheckOsAllowed(u"{\"arch\":\"x64\"}", os, edition));
    const std::u16string english = edition;  // tests run with an English user interface
    struct Case {
        std::u16string list;
        bool allowed;
    } const cases[] = {
        {u"{\"version\":\"" + shortName + u"\"}", true},
        {u"{\"version\":\"" + other + u"\"}", false},
        {u"{\"arch\":\"x86\"}", false},
        {u"{\"version\":\"" + other + u"\"} ", true},
        {u"{\"version\":\"" + other + u"\"},{\"version\":\"" + shortName + u"\",\"edition\":\"" + english +
             u"\"}",
         true},
        {u"{\"edition\":\"no such edition\"}", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.list));
        os = u"stale";
        edition = u"stale";
        EXPECT_EQ(CheckOsAllowed(c.list, os, edition), c.allowed);
        EXPECT_EQ(os, GetOsDisplayName(shortName));
        EXPECT_EQ(edition, english);
    }
    os = u"stale";
    edition = u"stale";
    EXPECT_TRUE(CheckOsAllowed(u"", os, edition));
    EXPECT_TRUE(os.empty());
    EXPECT_TRUE(edition.empty());
}

TEST(DeviceInfo, LocalAddressesAreDottedWithPrefixAndWithoutLoopback) {
    const std::u16string list = GetLocalIpList();
    EXPECT_EQ(list.find(u"127.0.0.1"), std::u16string::npos) << Narrow(list);
    if (list.empty()) return;
    EXPECT_NE(list.back(), u',');
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t comma = std::min(list.find(u',', start), list.size());
        const std::u16string entry = list.substr(start, comma - start);
        const std::size_t slash = entry.find(u'/');
        EXPECT_TRUE(IsIpv4Text(entry.substr(0, slash))) << Narrow(entry);
        if (slash != std::u16string::npos) {
            const int prefix = std::stoi(Narrow(entry.substr(slash + 1)));
            EXPECT_TRUE(prefix >= 0 && prefix <= 31) << Narrow(entry);
        }
        start = comma + 1;
    }
}

TEST(DeviceInfo, InterfaceAddressIsTheFirstOfItsInterface) {
    const platform::Ipv4AddressTable table = platform::ReadIpv4AddressTable();
    ASSERT_EQ(table.error, 0u);
    ASSERT_FALSE(table.rows.empty());
    std::set<uint32_t> seen;
    for (const platform::Ipv4AddressRow& row : table.rows) {
        if (!seen.insert(row.interfaceIndex).second) continue;
        const std::u16string text = GetInterfaceIp(row.interfaceIndex);
        EXPECT_TRUE(IsIpv4Text(text)) << Narrow(text);
        EXPECT_EQ(text, FormatIpv4(row.address, 32));
    }
    uint32_t unused = 0x7FFFFFF0;
    while (seen.count(unused)) ++unused;
    EXPECT_EQ(GetInterfaceIp(unused), u"");

    const uint32_t first = table.rows.front().interfaceIndex;
    EXPECT_EQ(GetInternalIp([&](int32_t& index) {
                  index = static_cast<int32_t>(first);
                  return 0;
              }),
              GetInterfaceIp(first));
    EXPECT_EQ(GetInternalIp([&](int32_t& index) {
                  index = static_cast<int32_t>(first);
                  return -1;
              }),
              u"");
}

TEST(DeviceInfo, TextsForRequestsAreTrimmedAndEscaped) {
    std::u16string model, manufacturer;
    if (GetDeviceModel(model, manufacturer)) {
        for (const std::u16string& text : {model, manufacturer}) {
            EXPECT_EQ(text, JsonEscape(UnescapeText(text))) << Narrow(text);
            if (!text.empty()) {
                EXPECT_NE(text.front(), u' ');
                EXPECT_NE(text.back(), u' ');
            }
        }
    }
    const std::u16string host = GetHostName();
    EXPECT_FALSE(host.empty());
    EXPECT_EQ(host, JsonEscape(host));
}

TEST(DeviceInfo, DeviceIdIsStableUpperCaseAndNoPlaceholder) {
    const std::u16string id = GetDeviceId();
    ASSERT_FALSE(id.empty());
    EXPECT_EQ(id, GetDeviceId());
    EXPECT_NE(id, u"FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF");
    EXPECT_TRUE(std::none_of(id.begin(), id.end(), [](char16_t c) { return c >= u'a' && c <= u'z'; }))
        << Narrow(id);
}

class InstallationSerial : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(platform::ClearProfileForTest()); }
};

TEST_F(InstallationSerial, MadeOnceAndKept) {
    const std::u16string serial = GetInstallationSerial();
    ASSERT_EQ(serial.size(), 32u);
    EXPECT_TRUE(IsUpperHex(serial)) << Narrow(serial);
    EXPECT_EQ(GetSetting(u"Serial", u""), serial);
    EXPECT_EQ(GetInstallationSerial(), serial);
}

TEST_F(InstallationSerial, OnlyAThirtyTwoCharacterValueIsKept) {
    struct Case {
        std::u16string stored;
        bool kept;
    } const cases[] = {
        {std::u16string(31, u'A'), false},
        {std::u16string(33, u'A'), false},
        {u"", false},
        {std::u16string(32, u'z'), true},  // kept as it is, whatever its digits
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.stored));
        SetSetting(u"Serial", c.stored);
        const std::u16string serial = GetInstallationSerial();
        ASSERT_EQ(serial.size(), 32u);
        if (c.kept) {
            EXPECT_EQ(serial, c.stored);
        } else {
            EXPECT_TRUE(IsUpperHex(serial)) << Narrow(serial);
            EXPECT_EQ(GetSetting(u"Serial", u""), serial);
        }
    }
}

TEST_F(InstallationSerial, FirstUsesAtOnceAgreeOnOneSerial) {
    std::vector<std::u16string> serials(8);
    std::vector<std::thread> threads;
    for (auto& serial : serials) threads.emplace_back([&serial] { serial = GetInstallationSerial(); });
    for (auto& thread : threads) thread.join();
    for (const auto& serial : serials) EXPECT_EQ(serial, serials.front());
    EXPECT_EQ(GetSetting(u"Serial", u""), serials.front());
}

}  // namespace
