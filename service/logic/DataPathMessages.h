// The texts StartDataPath and WifiSpotHotNotify hand to the client, Chinese for language 2052 and English
// for every other value. The commas after the Chinese "opened"/"closed" words are full-width (U+FF0C).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

enum class DataPathMessage {
    HotspotNotStarted,
    HotspotStateFailed,
    HotspotInterfaceFailed,
    HotspotOn,  // %s, %d
    SharingOn,  // %s, %d
    HotspotOffUpdate,
    HotspotOnUpdate,  // %s, %d
    HotspotInterfaceProblem,
    HotspotStateProblem,
};

inline constexpr int32_t kChineseLangId = 2052;

std::u16string_view DataPathMessageText(DataPathMessage key, int32_t langId);
// The text with its "%s" and "%d" filled, cut at 1,023 units as the 1,024-unit buffer would.
std::u16string FormatInterfaceMessage(DataPathMessage key, int32_t langId, std::u16string_view display,
                                      int32_t index);

}  // namespace corvane
