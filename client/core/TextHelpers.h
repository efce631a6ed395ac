// Small text helpers shared across the client: escaping for request templates and query strings,
// unescaping of service messages, UTF-8 conversion, version comparison, IPv4 texts, the traffic rate
// display, the clock and the display-scale level.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace velora {

// For values placed between quotes in a JSON request template: control characters are dropped,
// quotation mark, backslash and slash gain a backslash.
std::u16string JsonEscape(std::u16string_view text);

// For a string value that a field reader cut from an answer, placed between quotes in a request again.
// The cut is JSON text already, so its escapes stay as they are (escaping it once more would double
// every backslash); only what would break the request is mended: a quotation mark or backslash that is
// no part of an escape gains a backslash, control characters are dropped.
std::u16string JsonTextAsCut(std::u16string_view cut);

// Percent-encodes blank " % : [ \ ] ^ { | } and copies everything else (a built query keeps its
// "&", "=" and "/").
std::u16string UrlEncode(std::u16string_view text);

// Drops escape backslashes; "\n" becomes CR LF.
std::u16string UnescapeText(std::u16string_view text);

// Both stop at the first NUL; empty in, empty out.
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view bytes);

// Decimal conversion as the field readers use it: leading white space, optional sign, digits up to
// the first non-digit; no digits give 0; out-of-range values saturate.
int32_t ParseDecimal(std::u16string_view text);

// 1 if A is newer, -1 if B is newer, 0 if they are equal. A version with more dot-separated pieces
// is newer whatever the values (1.0.5 is newer than 2.0).
int CompareVersions(std::u16string_view a, std::u16string_view b);

// A dotted decimal address of 7 to 15 units whose pieces are at most 255 (the number of pieces is
// not checked).
bool IsIpv4Text(std::u16string_view text);

// "a.b.c.d" from an address whose first octet is in the lowest byte, with "/prefix" when the prefix
// length is 31 or less.
std::u16string FormatIpv4(uint32_t address, uint8_t prefixLength);

// A bit rate as a number with one decimal and its unit ("Kbps", "Mbps" or "Gbps").
std::u16string FormatRate(int64_t rate, std::u16string& unit);

// Milliseconds since 1970-01-01 UTC.
int64_t CurrentTimeMillis();

// Display-scale level 0 to 4 for a scale factor (1.0 -> 0, 1.5 -> 1, 2.0 -> 2, 2.5 -> 3, 3.0 -> 4).
int ScaleIndex(double factor);

}  // namespace velora
