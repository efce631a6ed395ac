// Toast retry button dot cycle.
#include "ui/skin/ToastRetryText.h"

namespace velora::skin {

std::u16string NextRetryText(const std::u16string& current, const std::u16string& retryText) {
    if (current.find(u"...") != std::u16string::npos) return retryText;
    return current + u".";
}

}  // namespace velora::skin
