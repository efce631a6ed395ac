// Opening a web page in the user's default browser (the external sign-in's authorization page).
#pragma once
#include <cstdint>
#include <string_view>

namespace platform {

// Opens the URL with the shell's default action, shown normally; false with the system error in
// `error` when the shell refused.
bool OpenUrlInBrowser(std::u16string_view url, uint32_t& error);

}  // namespace platform
