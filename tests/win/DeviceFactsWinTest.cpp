// Device facts through the real system calls, checked against independent sources: the adapter list,
// the computer-name call, the management service's own tool, and registry values the test writes
// (and puts back) in the machine hive.
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include <gtest/gtest.h>

#include <bit>
#include <chrono>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/DeviceInfo.h"
#include "core/TextHelpers.h"
#include "platform/Network.h"
#include "platform/Processes.h"
#include "platform/SystemInfo.h"
#include "platform/Text.h"

namespace {

using namespace velora;

std::string Narrow(std::u16string_view text) {
    return platform::Utf16ToUtf8(text);
}
std::u16string Units(const std::wstring& text) {
    return std::u16string(text.begin(), text.end());
}

// Sets one REG_SZ value of the machine hive for the test's duration and restores what was there.
class CMachineValue {
public:
    CMachineValue(const wchar_t* key, const wchar_t* name, const std::wstring& value)
        : key_(key), name_(name) {
        wchar_t old[512];
        DWORD size = sizeof old;
        if (RegGetValueW(HKEY_LOCAL_MACHINE, key, name, RRF_RT_REG_SZ, nullptr, old, &size) == ERROR_SUCCESS)
            old_ = std::wstring(old);
        ok_ = Write(value);
    }
    ~CMachineValue() {
        if (old_)
            Write(*old_);
        else
            RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, key_, name_);
    }
    CMachineValue(const CMachineValue&) = delete;
    CMachineValue& operator=(const CMachineValue&) = delete;
    bool ok() const { return ok_; }

private:
    bool Write(const std::wstring& value) {
        return RegSetKeyValueW(HKEY_LOCAL_MACHINE, key_, name_, REG_SZ, value.c_str(),
                               static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    }
    const wchar_t* key_;
    const wchar_t* name_;
    std::optional<std::wstring> old_;
    bool ok_ = false;
};

constexpr wchar_t kTestKey[] = L"SOFTWARE\\VeloraDeviceTest";

TEST(DeviceFactsWin, VersionAndEditionComeFromTheSystem) {
    const platform::OsVersion version = platform::ReadOsVersion();
    ASSERT_TRUE(version.read);
    EXPECT_EQ(version.build, platform::OsBuildNumber());
    EXPECT_TRUE(version.productType >= 1 && version.productType <= 3) << int(version.productType);
    DWORD major = 0;
    DWORD size = sizeof major;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                     L"CurrentMajorVersionNumber", RRF_RT_REG_DWORD, nullptr, &major,
                     &size) == ERROR_SUCCESS) {
        EXPECT_EQ(version.major, major);
    }
    uint32_t productType = 0;
    EXPECT_TRUE(platform::ReadProductType(version, productType));
}

TEST(DeviceFactsWin, MachineTextsKeepTheBufferAndTypeRules) {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kTestKey);  // left over from an interrupted run
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    const auto setText = [&](const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ) {
        RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    };
    setText(L"short", L"abc");
    setText(L"fits", std::wstring(254, L'x'));
    setText(L"long", std::wstring(255, L'x'));
    setText(L"expand", L"%SystemRoot%", REG_EXPAND_SZ);
    const DWORD number = 7;
    RegSetValueExW(key, L"number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
    RegSetValueExW(key, L"unterminated", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"xyz"),
                   3 * sizeof(wchar_t));
    RegCloseKey(key);

    const platform::MachineKeyTexts read = platform::ReadMachineTexts(
        u"SOFTWARE\\VeloraDeviceTest",
        {u"short", u"fits", u"long", u"expand", u"number", u"unterminated", u"none"}, 255);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kTestKey);
    EXPECT_EQ(read.openError, 0u);
    struct Expected {
        uint32_t error;
        std::u16string text;
    } const expected[] = {
        {0, u"abc"}, {0, std::u16string(254, u'x')}, {234, u""}, {0, u"%SystemRoot%"}, {13, u""}, {0, u"xyz"},
        {2, u""}};
    ASSERT_EQ(read.values.size(), std::size(expected));
    for (std::size_t i = 0; i < read.values.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(read.values[i].error, expected[i].error);
        EXPECT_EQ(read.values[i].text, expected[i].text);
    }

    const platform::MachineKeyTexts missing =
        platform::ReadMachineTexts(u"SOFTWARE\\VeloraDeviceTest", {u"x"}, 255);
    EXPECT_EQ(missing.openError, 2u);
    EXPECT_TRUE(missing.values.empty());
}

TEST(DeviceFactsWin, GovernmentMarkInTheOemModel) {
    const wchar_t* oem = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\OEMInformation";
    {
        CMachineValue model(oem, L"Model", L"某政府专用机");
        ASSERT_TRUE(model.ok());
        EXPECT_TRUE(IsGovernmentEdition());
        std::u16string os, edition;
        EXPECT_TRUE(CheckOsAllowed(u"{\"edition\":\"Government\"}", os, edition));
        EXPECT_EQ(edition, u"Government");
    }
    CMachineValue model(oem, L"Model", L"Office Desktop");
    ASSERT_TRUE(model.ok());
    wchar_t edition[256] = {};
    DWORD size = sizeof edition;
    RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", L"EditionSubstring",
                 RRF_RT_REG_SZ, nullptr, edition, &size);
    EXPECT_EQ(IsGovernmentEdition(), std::wstring(edition).find(L"政府") != std::wstring::npos);
}

TEST(DeviceFactsWin, BoardPlaceholderGivesTheBoardsProduct) {
    const wchar_t* bios = L"HARDWARE\\DESCRIPTION\\System\\BIOS";
    CMachineValue product(bios, L"SystemProductName", L"System Product Name");
    CMachineValue board(bios, L"BaseBoardProduct", L"  Z790 Board ");
    CMachineValue maker(bios, L"SystemManufacturer", L"Maker \"Q\"\t");
    ASSERT_TRUE(product.ok() && board.ok() && maker.ok());
    std::u16string model, manufacturer;
    EXPECT_TRUE(GetDeviceModel(model, manufacturer));
    EXPECT_EQ(model, u"Z790 Board");
    EXPECT_EQ(manufacturer, u"Maker \\\"Q\\\"");
}

TEST(DeviceFactsWin, AddressesAgreeWithTheAdapterList) {
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer(size);
    auto* adapters = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data());
    ULONG result = GetAdaptersAddresses(AF_INET, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST, nullptr,
                                        adapters, &size);
    if (result == ERROR_BUFFER_OVERFLOW) {
        buffer.resize(size);
        adapters = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data());
        result = GetAdaptersAddresses(AF_INET, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST, nullptr,
                                      adapters, &size);
    }
    ASSERT_EQ(result, static_cast<ULONG>(ERROR_SUCCESS));

    const platform::Ipv4AddressTable table = platform::ReadIpv4AddressTable();
    ASSERT_EQ(table.error, 0u);
    const std::u16string list = GetLocalIpList();
    bool wireless = false;
    int checked = 0;
    for (const IP_ADAPTER_ADDRESSES* a = adapters; a; a = a->Next) {
        if (a->IfType == IF_TYPE_IEEE80211) wireless = true;
        for (const IP_ADAPTER_UNICAST_ADDRESS* u = a->FirstUnicastAddress; u; u = u->Next) {
            const auto* in = reinterpret_cast<const sockaddr_in*>(u->Address.lpSockaddr);
            const uint32_t address = in->sin_addr.S_un.S_addr;
            bool found = false;
            for (const platform::Ipv4AddressRow& row : table.rows) {
                if (row.address != address) continue;
                found = true;
                EXPECT_EQ(std::popcount(row.mask), u->OnLinkPrefixLength);
                EXPECT_EQ(GetInterfaceIp(row.interfaceIndex).empty(), false);
            }
            EXPECT_TRUE(found) << Narrow(FormatIpv4(address, 32));
            const std::u16string text = FormatIpv4(address, u->OnLinkPrefixLength);
            if (text.find(u"127.0.0.1") == std::u16string::npos) {
                EXPECT_NE((u"," + list + u",").find(u"," + text + u","), std::u16string::npos)
                    << Narrow(text) << " in " << Narrow(list);
            }
            ++checked;
        }
    }
    EXPECT_GT(checked, 0);
    EXPECT_EQ(HasWirelessInterface(), wireless);

    DWORD interfaces = 0;
    ASSERT_EQ(GetNumberOfInterfaces(&interfaces), static_cast<DWORD>(NO_ERROR));
    EXPECT_EQ(platform::ReadInterfaceTypes().types.size(), interfaces);
}

TEST(DeviceFactsWin, HostNameIsTheComputersDnsName) {
    wchar_t name[256] = {};
    DWORD size = 256;
    ASSERT_TRUE(GetComputerNameExW(ComputerNameDnsHostname, name, &size));
    EXPECT_EQ(GetHostName(), JsonEscape(Units(name)));
}

std::string Joined(const platform::CommandCapture& capture) {
    std::string all;
    for (const std::string& chunk : capture.chunks) all += chunk;
    return all;
}

// The management service's answer is the identifier; the service's own tool reads the same record.
TEST(DeviceFactsWin, DeviceIdIsTheProductUuid) {
    const platform::ProductUuidQuery query = platform::QueryProductUuids();
    ASSERT_EQ(query.failedStep, platform::ProductQueryStep::None) << std::hex << query.result;
    ASSERT_FALSE(query.uuids.empty());
    std::u16string uuid = query.uuids.back();
    ASSERT_EQ(uuid.size(), 36u);
    for (char16_t& c : uuid)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    EXPECT_EQ(GetDeviceId(), uuid);

    // The tool's output, which may come as UTF-16 with a byte-order mark, holds the same UUID.
    const platform::CommandCapture tool =
        platform::CaptureHiddenCommand(u"wmic path Win32_ComputerSystemProduct get uuid", 30000);
    ASSERT_EQ(tool.pipeError, 0u);
    ASSERT_EQ(tool.processError, 0u);
    std::string all = Joined(tool);
    std::string ascii;
    for (char c : all)
        if (c >= 0x20 && c < 0x7F) ascii += c;
    EXPECT_NE(ascii.find(Narrow(uuid)), std::string::npos) << ascii;
}

TEST(DeviceFactsWin, HiddenCommandOutputIsCollectedInBoundedReads) {
    const platform::CommandCapture both =
        platform::CaptureHiddenCommand(u"cmd /c echo to-out& echo to-err 1>&2", 30000);
    ASSERT_EQ(both.processError, 0u);
    const std::string text = Joined(both);
    EXPECT_NE(text.find("to-out"), std::string::npos) << text;
    EXPECT_NE(text.find("to-err"), std::string::npos) << text;

    const platform::CommandCapture large =
        platform::CaptureHiddenCommand(u"cmd /c for /l %i in (1,1,800) do @echo 0123456789", 60000);
    ASSERT_EQ(large.processError, 0u);
    EXPECT_EQ(Joined(large).size(), 800u * 12u);
    for (const std::string& chunk : large.chunks) EXPECT_LE(chunk.size(), 4095u);

    const platform::CommandCapture missing =
        platform::CaptureHiddenCommand(u"velora-no-such-program.exe", 30000);
    EXPECT_EQ(missing.processError, static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(missing.chunks.empty());
}

// A command that would run for half a minute is ended at the time-out instead of holding the caller.
TEST(DeviceFactsWin, HiddenCommandIsEndedAtTheTimeout) {
    const auto start = std::chrono::steady_clock::now();
    const platform::CommandCapture slow = platform::CaptureHiddenCommand(u"ping -n 30 127.0.0.1", 1000);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(slow.processError, 0u);
    EXPECT_LT(took, std::chrono::seconds(20));
}

}  // namespace
