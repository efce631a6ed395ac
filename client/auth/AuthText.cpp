// Text helpers of the sign-in code.
#include "auth/AuthText.h"

namespace velora {

std::u16string LogSnippet(std::u16string_view text) {
    if (text.size() <= kMaxLoggedAnswer) return std::u16string(text);
    return std::u16string(text.substr(0, kMaxLoggedAnswer)) + u"...";
}

}  // namespace velora
