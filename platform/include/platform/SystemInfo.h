// Facts of the running system that start-up and the windows need.
#pragma once
#include <cstdint>

namespace platform {

uint16_t UserDefaultUiLanguage();
// The build number from the system's version call; 0 when the call is missing or fails.
uint32_t OsBuildNumber();

}  // namespace platform
