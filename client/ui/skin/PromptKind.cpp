// Top prompt kinds.
#include "ui/skin/PromptKind.h"

namespace velora::skin {

PromptKind PromptKind::Of(int kind) {
    switch (kind) {
        case kSuccess:
            return {kNormalText, std::array<int, 5>{331, 332, 333, 457, 458}, true};
        case kNotice:
            return {SkinRgb(255, 170, 0), std::array<int, 5>{417, 420, 418, 467, 468}, false};
        case kPlainSuccess:
            return {std::nullopt, std::nullopt, true};
        default:
            return {kStatusRed, std::array<int, 5>{334, 335, 336, 459, 460}, false};
    }
}

}  // namespace velora::skin
