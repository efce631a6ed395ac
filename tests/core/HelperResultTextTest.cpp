// The text that follows a helper-service status code in the log: the system's text, or what the code
// means when the system has none, so a logged failure never ends in an empty tail after its colon.
#include <gtest/gtest.h>

#include "helper/HelperClient.h"
#include "platform/Text.h"

namespace velora {
namespace {

TEST(HelperResultText, EveryCodeHasAText) {
    struct Case {
        uint32_t code;
        const char16_t* part;  // a part every platform's text has, or nullptr
    } cases[] = {
        {0x80040154u, u"lass not registered"},  // Corvane is not installed
        {0x80080005u, nullptr},
        {0x800706BAu, nullptr},
        {0x80070005u, nullptr},
        {0x8FFF1234u, nullptr},  // a code nobody describes
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        const std::u16string text = HelperResultText(static_cast<int32_t>(c.code));
        EXPECT_FALSE(text.empty());
        if (c.part) {
            EXPECT_NE(text.find(c.part), std::u16string::npos) << platform::Utf16ToUtf8(text);
        }
    }
}

}  // namespace
}  // namespace velora
