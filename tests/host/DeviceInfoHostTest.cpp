// Device facts over the host's simulated Windows: the version and edition tables, the allowed-list
// check, address lists, the model read with its placeholder, and the fall-back chain of the device
// identifier, each with what it logs.
#include <gtest/gtest.h>

#include <string>

#include "core/DeviceInfo.h"
#include "core/Log.h"
#include "core/Settings.h"
#include "platform/ProfileStore.h"
#include "platform/Text.h"
#include "platform/host/SimDevice.h"
#include "platform/host/SimSystem.h"
#include "support/LogFiles.h"

namespace {

using namespace velora;
using platform::host::SimulatedDevice;

constexpr char16_t kBiosKey[] = u"HARDWARE\\DESCRIPTION\\System\\BIOS";
constexpr char16_t kOemKey[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\OEMInformation";
constexpr char16_t kEditionKey[] = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr char16_t kCryptographyKey[] = u"SOFTWARE\\Microsoft\\Cryptography";
constexpr char16_t kAllOnes[] = u"FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF";

// Each test starts from the default simulated device, an empty settings store and a log of its own.
class DeviceHostTest : public testing::Test {
protected:
    void SetUp() override {
        platform::host::ResetSimulatedDevice();
        platform::host::ResetSimulatedSystem();
        ASSERT_TRUE(platform::ClearProfileForTest());
        StartLog(nullptr);
        logPath_ = scratch_.Path(u"device.log");
        test::WriteBytes(logPath_, test::kLogHeader);
        SetLogFilePath(logPath_);
        device_ = platform::host::DefaultSimulatedDevice();
    }
    void TearDown() override { platform::host::ResetSimulatedDevice(); }

    void Apply() { platform::host::SetSimulatedDevice(device_); }
    std::u16string LogText() const {
        return test::FromUtf16Le(test::ReadBytes(logPath_), test::kLogHeader.size());
    }
    bool Logged(std::u16string_view text) const { return LogText().find(text) != std::u16string::npos; }
    void ExpectLogged(const char* text) const {
        if (text == nullptr) return;
        EXPECT_TRUE(Logged(platform::Utf8ToUtf16(text))) << text << "\n" << platform::Utf16ToUtf8(LogText());
    }

    SimulatedDevice device_;
    test::CScratchFolder scratch_;
    std::u16string logPath_;
};

TEST_F(DeviceHostTest, ShortNamesFollowVersionProductTypeAndBuild) {
    struct Case {
        bool read;
        uint32_t major, minor;
        uint8_t productType;
        uint32_t build;
        const char16_t* shortName;
        const char16_t* display;
        bool windows6;
    } const cases[] = {
        {true, 10, 0, 1, 22000, u"win11", u"Windows 11", false},
        {true, 10, 0, 1, 21999, u"win10", u"Windows 10", false},
        {true, 10, 0, 1, 26100, u"win11", u"Windows 11", false},
        {true, 10, 0, 3, 20348, u"win2016_2019", u"Windows Server 2016/2019", false},  // Server 2022 too
        {true, 10, 0, 2, 17763, u"win2016_2019", u"Windows Server 2016/2019", false},  // domain controller
        {true, 6, 3, 1, 9600, u"win8.1", u"Windows 8.1", true},
        {true, 6, 3, 3, 9600, u"win2012R2", u"Windows Server 2012 R2", true},
        {true, 6, 2, 1, 9200, u"win8", u"Windows 8", true},
        {true, 6, 2, 3, 9200, u"win2012", u"Windows Server 2012", true},
        {true, 6, 1, 1, 7601, u"win7", u"Windows 7", true},
        {true, 6, 1, 3, 7601, u"win2008R2", u"Windows Server 2008 R2", true},
        {true, 6, 0, 1, 6002, u"", u"", true},
        {true, 5, 1, 1, 2600, u"", u"", false},
        {true, 10, 1, 1, 22000, u"", u"", false},
        {false, 0, 0, 0, 0, u"", u"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::Utf16ToUtf8(c.shortName) + " " + std::to_string(c.major) + "." +
                     std::to_string(c.minor) + " type " + std::to_string(c.productType));
        device_.version = platform::OsVersion{c.read, c.major, c.minor, 0, 0, 0, c.productType};
        Apply();
        platform::host::SetSimulatedOsBuildNumber(c.build);
        EXPECT_EQ(GetOsShortName(), c.shortName);
        EXPECT_EQ(GetOsDisplayName(GetOsShortName()), c.display);
        EXPECT_EQ(IsWindows6(), c.windows6);
    }
}

TEST_F(DeviceHostTest, GovernmentMarkInModelOrEditionText) {
    struct Case {
        const char* name;
        std::map<std::u16string, std::map<std::u16string, std::u16string>> keys;
        bool government;
    } const cases[] = {
        {"OEM model", {{kOemKey, {{u"Model", u"XX政府采购版"}}}}, true},
        {"edition text", {{kEditionKey, {{u"EditionSubstring", u"政府"}}}}, true},
        {"model without the mark, edition with it",
         {{kOemKey, {{u"Model", u"Desktop"}}}, {kEditionKey, {{u"EditionSubstring", u"政府版"}}}},
         true},
        {"neither", {{kOemKey, {{u"Model", u"政"}}}, {kEditionKey, {{u"EditionSubstring", u"府"}}}}, false},
        {"keys without the values", {{kOemKey, {}}, {kEditionKey, {}}}, false},
        {"no keys", {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        device_.machineKeys = c.keys;
        Apply();
        EXPECT_EQ(IsGovernmentEdition(), c.government);
    }
}

TEST_F(DeviceHostTest, EditionFromProductTypeInTheUsersLanguage) {
    struct Case {
        bool read;
        uint32_t type;
        bool government;
        const char16_t* english;
        const char16_t* chinese;
    } const cases[] = {
        {true, 11, false, u"Starter", u"简易版"},
        {true, 66, false, u"Starter", u"简易版"},
        {true, 1, false, u"Ultimate", u"旗舰版"},
        {true, 71, false, u"Ultimate", u"旗舰版"},
        {true, 101, false, u"Home", u"家庭版"},
        {true, 2, false, u"Home", u"家庭版"},
        {true, 121, false, u"Education", u"教育版"},
        {true, 122, false, u"Education", u"教育版"},
        {true, 4, false, u"Enterprise", u"企业版"},
        {true, 171, false, u"Enterprise", u"企业版"},
        {true, 48, false, u"Professional", u"专业版"},
        {true, 162, false, u"Professional", u"专业版"},
        {true, 48, true, u"Government", u"政府版"},
        {false, 0, true, u"Government", u"政府版"},
        {true, 999, false, u"", u""},
        {true, 0, false, u"", u""},
        {false, 48, false, u"", u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("type " + std::to_string(c.type) + (c.read ? "" : " unread") +
                     (c.government ? " gov" : ""));
        device_.productTypeRead = c.read;
        device_.productType = c.type;
        if (c.government)
            device_.machineKeys[kOemKey][u"Model"] = u"政府";
        else
            device_.machineKeys.erase(kOemKey);
        Apply();
        for (const uint16_t language : {uint16_t{0x0409}, uint16_t{2052}}) {
            platform::host::SetSimulatedUiLanguage(language);
            std::u16string os = u"stale", edition = u"stale";
            // The English name is the one matched, whatever the language shown.
            const std::u16string list = std::u16string(u"{\"edition\":\"") + c.english + u"\"}";
            EXPECT_TRUE(CheckOsAllowed(list, os, edition));
            EXPECT_EQ(edition, language == 2052 ? c.chinese : c.english);
            EXPECT_EQ(os, u"Windows 10");
        }
    }
    EXPECT_TRUE(Logged(u"Product type: 48"));
}

TEST_F(DeviceHostTest, AllowedListOnWindows11Professional) {
    platform::host::SetSimulatedOsBuildNumber(22631);
    struct Case {
        const char16_t* list;
        bool allowed;
    } const cases[] = {
        {u"{\"version\":\"win10\"}", false},
        {u"{\"version\":\"WIN11\"}", true},
        {u"{\"arch\":\"x86\"}", false},
        {u"{\"arch\":\"X64\",\"edition\":\"professional\"}", true},
        {u"{\"version\":\"win11\",\"edition\":\"Home\"}", false},
        {u"{\"version\":\"win10\"} ", true},     // the blank after the last object is an entry without fields
        {u"{\"version\":\"win10\"}}}}", false},  // runs of braces cut once
        {u"{\"version\":\"win10\"},{\"version\":\"win11\",\"arch\":\"x64\"}", true},
        {u"{\"version\":\"win10\"},{\"version\":\"win7\"}", false},
        {u"{\"version\":\"\",\"edition\":\"\",\"arch\":\"\"}", true},
        {u"garbage", true},  // a piece in which no field is found matches every system
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::Utf16ToUtf8(c.list));
        std::u16string os, edition;
        EXPECT_EQ(CheckOsAllowed(c.list, os, edition), c.allowed);
        EXPECT_EQ(os, u"Windows 11");
        EXPECT_EQ(edition, u"Professional");
    }
    std::u16string os = u"stale", edition = u"stale";
    EXPECT_TRUE(CheckOsAllowed(u"", os, edition));
    EXPECT_EQ(os, u"");
    EXPECT_EQ(edition, u"");
}

TEST_F(DeviceHostTest, LocalAddressListAndInterfaceAddresses) {
    struct Case {
        const char* name;
        platform::Ipv4AddressTable table;
        const char16_t* list;
        const char* logged;
    } const cases[] = {
        {"address and loopback",
         {0, false, {{0x0100007Fu, 0x000000FFu, 1}, {0x0500000Au, 0x00FFFFFFu, 3}}},
         u"10.0.0.5/24",
         nullptr},
        {"host mask prints bare, other prefixes kept",
         {0,
          false,
          {{0x0500000Au, 0xFFFFFFFFu, 3}, {0x0101A8C0u, 0x0000FFFFu, 4}, {0x0201A8C0u, 0xFEFFFFFFu, 5}}},
         u"10.0.0.5,192.168.1.1/16,192.168.1.2/31",
         nullptr},
        {"only the loopback", {0, false, {{0x0100007Fu, 0xFFFFFFFFu, 1}}}, u"", nullptr},
        {"empty table", {0, false, {}}, u"", nullptr},
        {"table error",
         {50, false, {{0x0500000Au, 0x00FFFFFFu, 3}}},
         u"",
         "GetIpAddrTable failed with error 50"},
        {"no memory", {0, true, {}}, u"", "Out of memory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        device_.addresses = c.table;
        Apply();
        EXPECT_EQ(GetLocalIpList(), c.list);
        ExpectLogged(c.logged);
    }

    device_.addresses = {
        0, false, {{0x0500000Au, 0x00FFFFFFu, 3}, {0x0600000Au, 0x00FFFFFFu, 3}, {0xFE01A8C0u, 0, 9}}};
    Apply();
    EXPECT_EQ(GetInterfaceIp(3), u"10.0.0.5");  // the first entry of the interface
    EXPECT_EQ(GetInterfaceIp(9), u"192.168.1.254");
    EXPECT_EQ(GetInterfaceIp(4), u"");
    device_.addresses.error = 50;
    Apply();
    EXPECT_EQ(GetInterfaceIp(3), u"");
}

TEST_F(DeviceHostTest, InternalAddressFollowsTheHelperServicesAnswer) {
    Apply();  // 192.168.1.20 on interface 7
    int calls = 0;
    EXPECT_EQ(GetInternalIp([&](int32_t& index) {
                  ++calls;
                  index = 7;
                  return 0;
              }),
              u"192.168.1.20");
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(GetInternalIp([](int32_t& index) {
                  index = 7;
                  return static_cast<int32_t>(0x80070005);
              }),
              u"");
    EXPECT_EQ(GetInternalIp([](int32_t&) { return 0; }), u"") << "index left at -1";
    EXPECT_EQ(GetInternalIp([](int32_t& index) {
                  index = 5;
                  return 1;
              }),
              u"")
        << "no address on that interface";
    EXPECT_EQ(GetInternalIp(nullptr), u"");
}

TEST_F(DeviceHostTest, ModelAndManufacturerFromTheBiosKey) {
    using Values = std::map<std::u16string, std::u16string>;
    struct Case {
        const char* name;
        bool keyPresent;
        Values values;
        bool result;
        const char16_t* model;
        const char16_t* manufacturer;
        const char* logged;
    } const cases[] = {
        {"plain",
         true,
         {{u"SystemProductName", u"X1 Carbon"}, {u"SystemManufacturer", u"Maker Inc"}},
         true,
         u"X1 Carbon",
         u"Maker Inc",
         "Trim invalid characters Maker Inc Maker Inc"},
        {"placeholder uses the board",
         true,
         {{u"SystemProductName", u"System Product Name"},
          {u"BaseBoardProduct", u" B450M \t"},
          {u"SystemManufacturer", u"Board Maker"}},
         true,
         u"B450M",
         u"Board Maker",
         nullptr},
        {"placeholder without a board stays",
         true,
         {{u"SystemProductName", u"System Product Name"}, {u"SystemManufacturer", u"Board Maker"}},
         true,
         u"System Product Name",
         u"Board Maker",
         nullptr},
        {"placeholder only when exact",
         true,
         {{u"SystemProductName", u" System Product Name"},
          {u"BaseBoardProduct", u"B450M"},
          {u"SystemManufacturer", u"M"}},
         true,
         u"System Product Name",
         u"M",
         nullptr},
        {"trimmed and escaped",
         true,
         {{u"SystemProductName", u"  Model \"7\"\r\n"}, {u"SystemManufacturer", u" A/B\\C "}},
         true,
         u"Model \\\"7\\\"",
         u"A\\/B\\\\C",
         "Trim invalid characters  A/B\\C  A\\/B\\\\C"},
        {"no key", false, {}, false, u"", u"", "Failed to open registery BIOS, error code 2"},
        {"no product name",
         true,
         {{u"SystemManufacturer", u"Maker"}},
         false,
         u"",
         u"Maker",
         "Failed to query SystemProductName, error code 2"},
        {"no manufacturer",
         true,
         {{u"SystemProductName", u"Model"}},
         false,
         u"Model",
         u"",
         "Failed to query SystemManufacturer, error code 2"},
        {"product name longer than the buffer",
         true,
         {{u"SystemProductName", std::u16string(255, u'x')}, {u"SystemManufacturer", u"Maker"}},
         false,
         u"",
         u"Maker",
         "Failed to query SystemProductName, error code 234"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        device_.machineKeys.erase(kBiosKey);
        if (c.keyPresent) device_.machineKeys[kBiosKey] = c.values;
        Apply();
        std::u16string model = u"stale", manufacturer = u"stale";
        EXPECT_EQ(GetDeviceModel(model, manufacturer), c.result);
        EXPECT_EQ(model, c.model);
        EXPECT_EQ(manufacturer, c.manufacturer);
        ExpectLogged(c.logged);
    }
}

TEST_F(DeviceHostTest, HostNameIsEscapedAndEmptyWhenUnreadable) {
    device_.hostName = u"desk\"top";
    Apply();
    EXPECT_EQ(GetHostName(), u"desk\\\"top");
    device_.hostNameRead = false;
    Apply();
    EXPECT_EQ(GetHostName(), u"");
}

TEST_F(DeviceHostTest, WirelessInterfaceByType) {
    struct Case {
        const char* name;
        platform::InterfaceTypeList table;
        bool wireless;
        const char* logged;
    } const cases[] = {
        {"ethernet and wireless", {0, false, {6, 71}}, true, nullptr},
        {"ethernet only", {0, false, {24, 6}}, false, nullptr},
        {"no rows", {0, false, {}}, false, nullptr},
        {"table error", {232, false, {71}}, false, "GetIfTable failed with error:232"},
        {"no memory", {0, true, {}}, false, "Error allocating memory needed to call GetIfTable"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        device_.interfaceTypes = c.table;
        Apply();
        EXPECT_EQ(HasWirelessInterface(), c.wireless);
        ExpectLogged(c.logged);
    }
}

TEST_F(DeviceHostTest, DeviceIdFallsBackStepByStep) {
    const std::string uuidLine = "UUID  \r\r\n11111111-2222-3333-4444-555555555555  \r\r\n\r\r\n";
    const std::string allOnesLine = "UUID  \r\r\nFFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF  \r\r\n";
    std::string wideLine = "\xFF\xFE";
    for (char ch : std::string("UUID\r\n22222222-2222-3333-4444-555555555555\r\n")) wideLine += {ch, '\0'};
    struct Case {
        const char* name;
        platform::ProductQueryStep failedStep;
        std::vector<std::u16string> uuids;
        platform::CommandCapture command;
        bool machineGuid;
        const char16_t* id;  // nullptr: the installation serial
        bool commandRun;
        const char* logged;
    } const cases[] = {
        {"management service, upper-cased",
         platform::ProductQueryStep::None,
         {u"abcdef00-1111-2222-3333-444455556666"},
         {},
         true,
         u"ABCDEF00-1111-2222-3333-444455556666",
         false,
         nullptr},
        {"the last record wins",
         platform::ProductQueryStep::None,
         {u"AAAA", u"BBBB"},
         {},
         true,
         u"BBBB",
         false,
         nullptr},
        {"all-ones leads to the command",
         platform::ProductQueryStep::None,
         {kAllOnes},
         {0, 0, {uuidLine}},
         true,
         u"11111111-2222-3333-4444-555555555555",
         true,
         nullptr},
        {"all-ones in lower case too",
         platform::ProductQueryStep::None,
         {u"ffffffff-ffff-ffff-ffff-ffffffffffff"},
         {0, 0, {uuidLine}},
         true,
         u"11111111-2222-3333-4444-555555555555",
         true,
         nullptr},
        {"header and value in separate reads",
         platform::ProductQueryStep::None,
         {},
         {0, 0, {"UUID    \r\r\n", "11111111-2222-3333-4444-555555555555  \r\r\n", "\r\r\n"}},
         true,
         u"11111111-2222-3333-4444-555555555555",
         true,
         nullptr},
        {"the command writes UTF-16",
         platform::ProductQueryStep::None,
         {},
         {0, 0, {wideLine}},
         true,
         u"22222222-2222-3333-4444-555555555555",
         true,
         nullptr},
        {"no 36-character line: machine GUID",
         platform::ProductQueryStep::None,
         {kAllOnes},
         {0, 0, {"UUID\r\nnot a uuid\r\n"}},
         true,
         u"6F1C2F0E-3D4B-4A59-9C2E-0B7D5E8A1F23",
         true,
         nullptr},
        {"the command's all-ones is no identifier",
         platform::ProductQueryStep::None,
         {kAllOnes},
         {0, 0, {allOnesLine}},
         true,
         u"6F1C2F0E-3D4B-4A59-9C2E-0B7D5E8A1F23",
         true,
         nullptr},
        {"connect fails",
         platform::ProductQueryStep::Connect,
         {},
         {0, 0, {uuidLine}},
         true,
         u"11111111-2222-3333-4444-555555555555",
         true,
         "Failed to connect WMI server (0x80041003): Access denied"},
        {"security fails",
         platform::ProductQueryStep::Security,
         {},
         {0, 0, {}},
         true,
         u"6F1C2F0E-3D4B-4A59-9C2E-0B7D5E8A1F23",
         true,
         "Failed to initialize security (0x80041003): Access denied"},
        {"locator fails",
         platform::ProductQueryStep::Locator,
         {},
         {0, 0, {}},
         true,
         u"6F1C2F0E-3D4B-4A59-9C2E-0B7D5E8A1F23",
         true,
         "Failed to create IWbemLocator object (0x80041003)"},
        {"proxy blanket fails",
         platform::ProductQueryStep::ProxyBlanket,
         {},
         {0, 0, {}},
         true,
         u"6F1C2F0E-3D4B-4A59-9C2E-0B7D5E8A1F23",
         true,
         "Could not set proxy blanket (0x80041003)"},
        {"query fails",
         platform::ProductQueryStep::Query,
         {},
         {0, 0, {}},
         true,
         u"6F1C2F0E-3D4B-4A59-9C2E-0B7D5E8A1F23",
         true,
         "Query for operating system sn failed (0x80041003)"},
        {"COM does not start",
         platform::ProductQueryStep::ComStart,
         {},
         {0, 0, {}},
         true,
         u"6F1C2F0E-3D4B-4A59-9C2E-0B7D5E8A1F23",
         true,
         "Failed to initialise COM (0x80041003): "},
        {"no pipe",
         platform::ProductQueryStep::None,
         {kAllOnes},
         {5, 0, {uuidLine}},
         true,
         u"6F1C2F0E-3D4B-4A59-9C2E-0B7D5E8A1F23",
         true,
         "Failed to create pipe, error code 5"},
        {"no process",
         platform::ProductQueryStep::None,
         {},
         {0, 2, {uuidLine}},
         true,
         u"6F1C2F0E-3D4B-4A59-9C2E-0B7D5E8A1F23",
         true,
         "Failed to create process, error code 2"},
        {"nothing at all: the serial",
         platform::ProductQueryStep::None,
         {},
         {0, 0, {}},
         false,
         nullptr,
         true,
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::host::ResetSimulatedDevice();
        device_.productQuery = {c.failedStep,
                                c.failedStep == platform::ProductQueryStep::None ? 0 : -2147217405,
                                u"Access denied", c.uuids};
        device_.command = c.command;
        if (!c.machineGuid) device_.machineKeys.erase(kCryptographyKey);
        Apply();
        const std::u16string id = GetDeviceId();
        EXPECT_EQ(id, c.id ? std::u16string(c.id) : GetInstallationSerial());
        const auto commands = platform::host::SimulatedCommandsRun();
        if (c.commandRun) {
            ASSERT_EQ(commands.size(), 1u);
            EXPECT_EQ(commands[0], u"wmic csproduct get uuid");
        } else {
            EXPECT_TRUE(commands.empty());
        }
        ExpectLogged(c.logged);
    }
    EXPECT_TRUE(Logged(u"Device Id: abcdef00-1111-2222-3333-444455556666"));
}

TEST_F(DeviceHostTest, SerialWithoutGuidIsStillThirtyTwoHexDigits) {
    device_.guidCreated = false;
    Apply();
    const std::u16string serial = GetInstallationSerial();
    ASSERT_EQ(serial.size(), 32u);
    EXPECT_EQ(serial.find_first_not_of(u"0123456789ABCDEF"), std::u16string::npos);
    EXPECT_EQ(GetSetting(u"Serial", u""), serial);
}

}  // namespace
