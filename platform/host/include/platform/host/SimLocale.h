// Host test controls for the simulated user region and language (UserLocale.h). Defaults: "US", 0x0409.
#pragma once
#include <cstdint>
#include <string_view>

namespace platform::host {

void SetSimulatedGeoName(std::u16string_view name);
void SetSimulatedLangId(uint16_t languageId);

}  // namespace platform::host
