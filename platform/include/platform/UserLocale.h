// The user's region and language as the error catalogue's cache records them, so a change of either
// invalidates the cached catalogue.
#pragma once
#include <cstdint>
#include <string>

namespace platform {

// The user's default geographical region name (GetUserDefaultGeoName, looked up at run time; at most
// 256 characters); empty when the system lacks the call.
std::u16string UserDefaultGeoName();
// The user's default language ID (GetUserDefaultLangID).
uint16_t UserDefaultLangId();

}  // namespace platform
