// Facts of the running system that start-up, the windows and the device facts need.
#pragma once
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

uint16_t UserDefaultUiLanguage();
// The build number from the system's version call; 0 when the call is missing or fails.
uint32_t OsBuildNumber();

// What the system's version call reports.
struct OsVersion {
    bool read = false;  // false when the call is missing or fails (every other field is then 0)
    uint32_t major = 0;
    uint32_t minor = 0;
    uint32_t build = 0;
    uint16_t servicePackMajor = 0;
    uint16_t servicePackMinor = 0;
    uint8_t productType = 0;  // 1 workstation, 2 domain controller, 3 server
};
OsVersion ReadOsVersion();

// The edition's product type (GetProductInfo) for the given version; false when the call fails.
bool ReadProductType(const OsVersion& version, uint32_t& productType);

// Texts of one machine-wide registry key (HKEY_LOCAL_MACHINE, the 64-bit view), each read into a buffer
// of `maxChars` characters terminator included, so a longer value fails with 234 (more data). Values
// that are no text fail with 13 (invalid data).
struct MachineText {
    uint32_t error = 0;  // 0 when read; 2 when the value is missing
    std::u16string text;
};
struct MachineKeyTexts {
    uint32_t openError = 0;           // 0 when the key was opened; 2 when it is missing
    std::vector<MachineText> values;  // in the order asked; empty when the key could not be opened
};
MachineKeyTexts ReadMachineTexts(std::u16string_view subKey, std::initializer_list<std::u16string_view> names,
                                 std::size_t maxChars);

// The computer's host name as the socket library reports it; false when it cannot be read.
bool ReadHostName(std::u16string& name);

// The management service's product records ("SELECT * FROM Win32_ComputerSystemProduct" in
// "ROOT\CIMV2"): the "UUID" of every record, in the order read. The calling thread's COM is started
// and ended around the query. Every wait inside is bounded.
enum class ProductQueryStep { None, ComStart, Security, Locator, Connect, ProxyBlanket, Query };
struct ProductUuidQuery {
    ProductQueryStep failedStep = ProductQueryStep::None;
    int32_t result = 0;        // the failing step's HRESULT
    std::u16string errorText;  // the system's text for it, without a trailing line break; may be empty
    std::vector<std::u16string> uuids;
};
ProductUuidQuery QueryProductUuids();

// A newly created GUID; false when none can be created.
struct GuidValue {
    uint32_t data1 = 0;
    uint16_t data2 = 0;
    uint16_t data3 = 0;
    uint8_t data4[8] = {};
};
bool CreateGuidValue(GuidValue& guid);

}  // namespace platform
