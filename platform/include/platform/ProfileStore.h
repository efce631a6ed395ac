// The per-user settings section "Settings" of one application: texts, 32-bit integers, binary values.
// Windows: HKCU\Software\Halvane\<application>\Settings. Host: the file
// $XDG_CONFIG_HOME/Halvane/<application>/Settings (or $HOME/.config/...), one value a line.
// Texts end at their first NUL on both platforms. Names are not empty and hold no NUL, '=', CR or LF.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The application name under which the section is filed: "Velora" unless set, so the program and the
// library share one store. An empty name is ignored.
void SetProfileApplication(std::u16string_view name);

// Reads report false when the value is missing or cannot be read as that kind; writes report false
// when the store cannot be written. A value that cannot be read never affects the other values.
bool ReadProfileText(std::u16string_view name, std::u16string& value);
bool WriteProfileText(std::u16string_view name, std::u16string_view value);
bool ReadProfileInt(std::u16string_view name, int32_t& value);
bool WriteProfileInt(std::u16string_view name, int32_t value);
bool ReadProfileBinary(std::u16string_view name, std::vector<uint8_t>& value);
bool WriteProfileBinary(std::u16string_view name, const uint8_t* data, std::size_t size);

// Tests only: removes every value of the section, so a test starts from an empty store (under Wine all
// test processes share one registry).
bool ClearProfileForTest();

}  // namespace platform
