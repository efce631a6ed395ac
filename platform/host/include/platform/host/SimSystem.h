// Host test controls for the simulated system facts (SystemInfo.h). Every process starts with the
// defaults: English (United States) UI and a Windows 10 build.
#pragma once
#include <cstdint>

namespace platform::host {

constexpr uint16_t kDefaultSimulatedUiLanguage = 0x0409;
constexpr uint32_t kDefaultSimulatedOsBuildNumber = 19045;

void SetSimulatedUiLanguage(uint16_t languageId);
// 0 stands for a system whose version call is missing or fails.
void SetSimulatedOsBuildNumber(uint32_t buildNumber);
void ResetSimulatedSystem();

}  // namespace platform::host
