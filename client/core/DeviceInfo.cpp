// Device facts for the service's requests and the admission check of allowed Windows versions. The
// values come from the platform's system facts; this file decides the fall-backs, the mappings and
// what is logged.
#include "core/DeviceInfo.h"

#include <bit>
#include <cstdlib>
#include <ctime>
#include <mutex>

#include "core/Format.h"
#include "core/JsonFields.h"
#include "core/Log.h"
#include "core/Settings.h"
#include "core/TextHelpers.h"
#include "platform/Network.h"
#include "platform/Processes.h"
#include "platform/SystemInfo.h"
#include "platform/Text.h"
#include "platform/Utf16Le.h"
#include "res/MessageIds.h"

namespace velora {
namespace {

constexpr uint16_t kLanguageSimplifiedChinese = 2052;
constexpr uint32_t kFirstWindows11Build = 22000;
constexpr uint32_t kIfTypeIeee80211 = 71;
constexpr std::size_t kRegistryTextChars = 255;
constexpr uint32_t kUuidCommandTimeoutMs = 15000;

constexpr std::u16string_view kGovernmentMark = u"政府";
constexpr std::u16string_view kAllOnesUuid = u"FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF";
constexpr std::u16string_view kSystemProductPlaceholder = u"System Product Name";
constexpr std::u16string_view kBiosKey = u"HARDWARE\\DESCRIPTION\\System\\BIOS";
constexpr std::u16string_view kSerialSetting = u"Serial";
constexpr std::size_t kSerialLength = 32;
constexpr std::size_t kSerialGuidPart = 24;

char16_t AsciiUpper(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    return true;
}

std::u16string ToUpper(std::u16string text) {
    for (char16_t& c : text) c = AsciiUpper(c);
    return text;
}

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f';
}

std::u16string Trim(std::u16string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    return std::u16string(text.substr(begin, end - begin));
}

// Editions by index; the last one stands for every product type that is not listed.
struct Edition {
    std::u16string_view english;
    std::u16string_view chinese;
};
constexpr Edition kEditions[] = {
    {u"Starter", u"简易版"},    {u"Ultimate", u"旗舰版"},
    {u"Home", u"家庭版"},       {u"Education", u"教育版"},
    {u"Enterprise", u"企业版"}, {u"Professional", u"专业版"},
    {u"Government", u"政府版"}, {u"", u""},
};
constexpr int kGovernmentEdition = 6;
constexpr int kUnknownEdition = 7;

int EditionForProductType(uint32_t type) {
    struct Row {
        int edition;
        std::initializer_list<uint32_t> types;
    };
    static const Row rows[] = {
        {0, {11, 47, 66}},
        {1, {1, 28, 71}},
        {2, {2, 3, 5, 26, 67, 68, 98, 99, 100, 101}},
        {3, {121, 122}},
        {4, {4, 27, 70, 72, 84, 125, 126, 129, 130, 171}},
        {5, {48, 49, 69, 103, 161, 162}},
    };
    for (const Row& row : rows)
        for (uint32_t t : row.types)
            if (t == type) return row.edition;
    return kUnknownEdition;
}

// Which edition this system is, logging the product type on the way.
int CurrentEdition() {
    const platform::OsVersion version = platform::ReadOsVersion();
    uint32_t productType = 0;
    const bool typeRead = version.read && platform::ReadProductType(version, productType);
    LogFormatMessageId(kMsgProductType, productType);
    if (IsGovernmentEdition()) return kGovernmentEdition;
    return typeRead ? EditionForProductType(productType) : kUnknownEdition;
}

// The pieces of the allowed list as the check walks them: cut at every "}", runs of "}" counting as
// one and empty pieces skipped, each piece closed again with a "}".
std::vector<std::u16string> AllowedListEntries(std::u16string_view list) {
    std::vector<std::u16string> entries;
    std::size_t pos = 0;
    while (pos < list.size()) {
        const std::size_t end = std::min(list.find(u'}', pos), list.size());
        if (end > pos) entries.emplace_back(std::u16string(list.substr(pos, end - pos)) + u'}');
        pos = end + 1;
    }
    return entries;
}

bool FieldMatches(std::u16string_view entry, std::u16string_view key, std::u16string_view wanted) {
    const std::u16string value = GetStringField(entry, key, u"");
    return value.empty() || EqualsIgnoreCase(value, wanted);
}

platform::Ipv4AddressTable AddressTable() {
    platform::Ipv4AddressTable table = platform::ReadIpv4AddressTable();
    if (table.allocationFailed) {
        LogFormatMessageId(kMsgOutOfMemory);
        table.rows.clear();
    } else if (table.error != 0) {
        LogFormatMessageId(kMsgStepFailedWithError, u"GetIpAddrTable", table.error);
        table.rows.clear();
    }
    return table;
}

std::u16string DottedAddress(uint32_t address) {
    return FormatText(u"%u.%u.%u.%u", address & 0xFF, (address >> 8) & 0xFF, (address >> 16) & 0xFF,
                      (address >> 24) & 0xFF);
}

// A chunk of the command's output as text. The tool writes the narrow code page into a pipe, but some
// versions write UTF-16: a chunk that starts with its byte-order mark or has a NUL in every second byte
// is read as such rather than cut at its first NUL.
std::u16string ChunkText(const std::string& bytes) {
    std::size_t start = 0;
    bool wide = bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
                static_cast<unsigned char>(bytes[1]) == 0xFE;
    if (wide) {
        start = 2;
    } else if (bytes.size() >= 2 && bytes.size() % 2 == 0) {
        wide = true;
        for (std::size_t i = 1; i < bytes.size() && wide; i += 2)
            wide = bytes[i] == '\0' && bytes[i - 1] != '\0';
    }
    if (!wide) return platform::NarrowToUtf16(bytes);
    return start < bytes.size() ? platform::DecodeUtf16Le(bytes.data() + start, bytes.size() - start)
                                : std::u16string();
}

std::u16string RemoveAll(std::u16string text, std::u16string_view what) {
    for (std::size_t pos = text.find(what); pos != std::u16string::npos; pos = text.find(what, pos))
        text.erase(pos, what.size());
    return text;
}

// The product UUID through the command-line tool; "" when it cannot run or prints no UUID.
std::u16string UuidFromCommand() {
    const platform::CommandCapture capture =
        platform::CaptureHiddenCommand(u"wmic csproduct get uuid", kUuidCommandTimeoutMs);
    if (capture.pipeError != 0) {
        LogFormat(u"Failed to create pipe, error code %d", capture.pipeError);
        return u"";
    }
    if (capture.processError != 0) {
        LogFormat(u"Failed to create process, error code %d", capture.processError);
        return u"";
    }
    std::u16string uuid;
    for (const std::string& chunk : capture.chunks) {
        const std::u16string text = Trim(RemoveAll(ChunkText(chunk), u"UUID"));
        if (text.size() == kAllOnesUuid.size()) uuid = text;
    }
    return uuid;
}

std::u16string UuidFromManagementService() {
    const platform::ProductUuidQuery query = platform::QueryProductUuids();
    const uint32_t code = static_cast<uint32_t>(query.result);
    switch (query.failedStep) {
        case platform::ProductQueryStep::None:
            break;
        case platform::ProductQueryStep::ComStart:
            LogFormatMessageId(kMsgComInitFailed, code, query.errorText);
            break;
        case platform::ProductQueryStep::Security:
            LogFormat(u"Failed to initialize security (0x%08x): %s", code, query.errorText);
            break;
        case platform::ProductQueryStep::Locator:
            LogFormat(u"Failed to create IWbemLocator object (0x%08x): %s", code, query.errorText);
            break;
        case platform::ProductQueryStep::Connect:
            LogFormat(u"Failed to connect WMI server (0x%08x): %s", code, query.errorText);
            break;
        case platform::ProductQueryStep::ProxyBlanket:
            LogFormat(u"Could not set proxy blanket (0x%08x): %s", code, query.errorText);
            break;
        case platform::ProductQueryStep::Query:
            LogFormat(u"Query for operating system sn failed (0x%08x): %s", code, query.errorText);
            break;
    }
    return query.uuids.empty() ? std::u16string() : query.uuids.back();
}

std::u16string MachineText(std::u16string_view key, std::u16string_view name) {
    const platform::MachineKeyTexts read = platform::ReadMachineTexts(key, {name}, kRegistryTextChars);
    if (read.openError != 0 || read.values.empty() || read.values[0].error != 0) return u"";
    return read.values[0].text;
}

char16_t RandomHexDigit() {
    static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    return kDigits[std::rand() % 16];
}

std::mutex g_serialLock;  // two first uses at once must not hand out two different serials

}  // namespace

std::u16string GetOsShortName() {
    const platform::OsVersion version = platform::ReadOsVersion();
    if (!version.read) return u"";
    const bool workstation = version.productType == 1;
    if (version.major == 10 && version.minor == 0) {
        if (!workstation) return u"win2016_2019";
        return platform::OsBuildNumber() >= kFirstWindows11Build ? u"win11" : u"win10";
    }
    if (version.major == 6) {
        switch (version.minor) {
            case 3:
                return workstation ? u"win8.1" : u"win2012R2";
            case 2:
                return workstation ? u"win8" : u"win2012";
            case 1:
                return workstation ? u"win7" : u"win2008R2";
            default:
                break;
        }
    }
    return u"";
}

std::u16string GetOsDisplayName(std::u16string_view shortName) {
    static constexpr struct {
        std::u16string_view shortName;
        std::u16string_view display;
    } kNames[] = {
        {u"win10", u"Windows 10"},
        {u"win11", u"Windows 11"},
        {u"win2016_2019", u"Windows Server 2016/2019"},
        {u"win8.1", u"Windows 8.1"},
        {u"win2012R2", u"Windows Server 2012 R2"},
        {u"win8", u"Windows 8"},
        {u"win2012", u"Windows Server 2012"},
        {u"win7", u"Windows 7"},
        {u"win2008R2", u"Windows Server 2008 R2"},
    };
    for (const auto& name : kNames)
        if (EqualsIgnoreCase(shortName, name.shortName)) return std::u16string(name.display);
    return u"";
}

bool IsWindows6() {
    const platform::OsVersion version = platform::ReadOsVersion();
    return version.read && version.major == 6;
}

bool IsGovernmentEdition() {
    static constexpr struct {
        std::u16string_view key;
        std::u16string_view value;
    } kPlaces[] = {
        {u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\OEMInformation", u"Model"},
        {u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", u"EditionSubstring"},
    };
    for (const auto& place : kPlaces)
        if (MachineText(place.key, place.value).find(kGovernmentMark) != std::u16string::npos) return true;
    return false;
}

bool CheckOsAllowed(std::u16string_view allowedList, std::u16string& osName, std::u16string& editionName) {
    osName.clear();
    editionName.clear();
    if (allowedList.empty()) return true;

    const std::u16string shortName = GetOsShortName();
    const Edition& edition = kEditions[CurrentEdition()];
    editionName =
        platform::UserDefaultUiLanguage() == kLanguageSimplifiedChinese ? edition.chinese : edition.english;

    bool allowed = false;
    for (const std::u16string& entry : AllowedListEntries(allowedList)) {
        if (FieldMatches(entry, u"version", shortName) && FieldMatches(entry, u"edition", edition.english) &&
            FieldMatches(entry, u"arch", u"x64")) {
            allowed = true;
            break;
        }
    }
    osName = GetOsDisplayName(shortName);
    return allowed;
}

std::u16string GetLocalIpList() {
    std::u16string list;
    for (const platform::Ipv4AddressRow& row : AddressTable().rows) {
        const std::u16string text = FormatIpv4(row.address, static_cast<uint8_t>(std::popcount(row.mask)));
        if (text.find(u"127.0.0.1") != std::u16string::npos) continue;
        list += text;
        list += u',';
    }
    if (!list.empty()) list.pop_back();
    return list;
}

std::u16string GetInterfaceIp(uint32_t interfaceIndex) {
    for (const platform::Ipv4AddressRow& row : AddressTable().rows)
        if (row.interfaceIndex == interfaceIndex) return DottedAddress(row.address);
    return u"";
}

std::u16string GetInternalIp(const FindDefaultGatewayInterfaceFn& findDefaultGatewayInterface) {
    int32_t index = -1;
    if (!findDefaultGatewayInterface || findDefaultGatewayInterface(index) < 0) return u"";
    return GetInterfaceIp(static_cast<uint32_t>(index));
}

bool GetDeviceModel(std::u16string& model, std::u16string& manufacturer) {
    model.clear();
    manufacturer.clear();
    const platform::MachineKeyTexts bios = platform::ReadMachineTexts(
        kBiosKey, {u"SystemProductName", u"BaseBoardProduct", u"SystemManufacturer"}, kRegistryTextChars);
    if (bios.openError != 0 || bios.values.size() != 3) {
        LogFormat(u"Failed to open registery BIOS, error code %d", bios.openError);
        return false;
    }
    const platform::MachineText& product = bios.values[0];
    const platform::MachineText& board = bios.values[1];
    const platform::MachineText& maker = bios.values[2];

    if (product.error != 0) {
        LogFormat(u"Failed to query SystemProductName, error code %d", product.error);
    } else {
        const std::u16string& raw =
            product.text == kSystemProductPlaceholder && board.error == 0 ? board.text : product.text;
        model = JsonEscape(Trim(raw));
    }

    if (maker.error != 0) {
        LogFormat(u"Failed to query SystemManufacturer, error code %d", maker.error);
        return false;
    }
    manufacturer = JsonEscape(Trim(maker.text));
    LogFormat(u"Trim invalid characters %s %s", maker.text, manufacturer);
    return product.error == 0;
}

std::u16string GetHostName() {
    std::u16string name;
    if (!platform::ReadHostName(name)) name.clear();
    return JsonEscape(name);
}

bool HasWirelessInterface() {
    const platform::InterfaceTypeList table = platform::ReadInterfaceTypes();
    if (table.allocationFailed) {
        LogFormat(u"Error allocating memory needed to call GetIfTable");
        return false;
    }
    if (table.error != 0) {
        LogFormat(u"GetIfTable failed with error:%d", table.error);
        return false;
    }
    for (uint32_t type : table.types)
        if (type == kIfTypeIeee80211) return true;
    return false;
}

std::u16string GetDeviceId() {
    std::u16string id = UuidFromManagementService();
    if (id.empty() || EqualsIgnoreCase(id, kAllOnesUuid)) {
        id = UuidFromCommand();
        // The tool reads the same record as the management service; its all-ones answer is the same
        // placeholder that every such board reports, not an identifier of this device.
        if (EqualsIgnoreCase(id, kAllOnesUuid)) id.clear();
    }
    if (id.empty()) id = MachineText(u"SOFTWARE\\Microsoft\\Cryptography", u"MachineGuid");
    if (id.empty()) id = GetInstallationSerial();
    LogFormat(u"Device Id: %s", id);
    return ToUpper(std::move(id));
}

std::u16string GetInstallationSerial() {
    std::lock_guard<std::mutex> guard(g_serialLock);
    const std::u16string stored = GetSetting(kSerialSetting, u"");
    if (stored.size() == kSerialLength) return stored;

    std::u16string serial;
    platform::GuidValue guid;
    if (platform::CreateGuidValue(guid)) {
        serial = FormatText(u"%08X%04X%04X%02X%02X%02X%02X%02X%02X%02X%02X", guid.data1, guid.data2,
                            guid.data3, guid.data4[0], guid.data4[1], guid.data4[2], guid.data4[3],
                            guid.data4[4], guid.data4[5], guid.data4[6], guid.data4[7]);
    } else {
        std::srand(static_cast<unsigned>(std::time(nullptr)));
        for (std::size_t i = 0; i < kSerialLength; ++i) serial += RandomHexDigit();
    }
    serial.resize(kSerialGuidPart);
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    while (serial.size() < kSerialLength) serial += RandomHexDigit();
    SetSetting(kSerialSetting, serial);
    return serial;
}

}  // namespace velora
