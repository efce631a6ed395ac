// The text forms of interface and adapter identifiers that the sharing detection compares (without regard
// to case): the braced upper-case form of the interface table, the adapter-id form of the internet profile
// (third group in lower case), and the form of a GUID stored as 16 bytes in the registry.
#pragma once
#include <array>
#include <cstdint>
#include <string>

namespace corvane {

struct GuidFields {
    uint32_t data1 = 0;
    uint16_t data2 = 0;
    uint16_t data3 = 0;
    std::array<uint8_t, 8> data4{};
};

// "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}"
std::u16string FormatGuidText(const GuidFields& guid);
// "{%08X-%04X-%04x-%02X%02X-%02X%02X%02X%02X%02X%02X}"
std::u16string FormatAdapterIdText(const GuidFields& guid);
// The 16 bytes as stored (fields in little-endian order) in the braced upper-case form.
std::u16string FormatStoredGuidText(const std::array<uint8_t, 16>& bytes);
bool SameGuidText(std::u16string_view a, std::u16string_view b);

}  // namespace corvane
