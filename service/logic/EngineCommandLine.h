// The data-path engine's command line: " -T " token " -S " serial [" -d " domain] [" -I " index], at most
// 259 units (refused, never cut, when longer), and the characters each value may carry. Token, serial
// and domain are checked more strictly than "no blank or quote": only letters, digits and the few marks
// each needs, never a leading "-" or "/", and ASCII only, so that no conversion of the command line to
// a single-byte code page can turn a character into a quote, backslash or dash.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvane {

inline constexpr char16_t kEngineImageName[] = u"ferronwin.exe";

// Image names compare without regard to ASCII case.
bool SameImageName(std::u16string_view a, std::u16string_view b);

bool IsEngineToken(std::u16string_view text);     // letters, digits, - . _ ~ + / = :
bool IsEngineSerial(std::u16string_view text);    // letters, digits, - . _ : { }
// A comma-separated list of hosts, each a name of ASCII letters, digits, - . _ (an international name in
// its punycode "xn--" form) or a bracketed IPv6 literal, with an optional ":port"; empty allowed.
bool IsEngineHostName(std::u16string_view text);

// Pieces 1 to 3; no value when a value is refused or the line would not fit 259 units.
std::optional<std::u16string> BuildEngineCommandLine(std::u16string_view token, std::u16string_view sn,
                                                     std::u16string_view orchDomain);
// Appends " -I " and the index; false (line unchanged) when it would not fit.
bool AppendSharingSwitch(std::u16string& commandLine, int32_t index);

}  // namespace corvane
