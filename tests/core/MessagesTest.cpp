// Numbered message texts: loading by id, the language switch with its English fallback, ids that
// share a string-table block with a text but have none, and the choice of module.
#include <gtest/gtest.h>

#include <thread>

#include "core/Log.h"
#include "platform/Messages.h"

namespace {

constexpr uint32_t kKnown = 260;      // in the catalogue
constexpr uint32_t kSameBlock = 261;  // same block of 16 as 260, but no text

bool HasNonAscii(const std::u16string& text) {
    for (const char16_t c : text) {
        if (c > 0x7F) return true;
    }
    return false;
}

TEST(Messages, LoadsByIdAndRefusesMissingOnes) {
    std::u16string text = u"stale";
    ASSERT_TRUE(platform::LoadMessage(kKnown, text));
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(velora::MessageText(kKnown), text);
    for (const uint32_t id : {kSameBlock, 0u, 0xFFF0u, 0x10000u + kKnown, 0xFFFFFFFFu}) {
        text = u"stale";
        EXPECT_FALSE(platform::LoadMessage(id, text)) << id;
        EXPECT_TRUE(text.empty()) << id;
        EXPECT_TRUE(velora::MessageText(id).empty()) << id;
    }
}

TEST(Messages, LanguageSwitchReachesEveryThread) {
    platform::SetMessageLanguage(0x0409);
    const std::u16string english = velora::MessageText(kKnown);
    platform::SetMessageLanguage(0x0804);
    const std::u16string chinese = velora::MessageText(kKnown);
    EXPECT_NE(chinese, english);
    EXPECT_TRUE(HasNonAscii(chinese));
    std::u16string fromWorker;
    std::thread([&] { fromWorker = velora::MessageText(kKnown); }).join();
    EXPECT_EQ(fromWorker, chinese);

    platform::SetMessageLanguage(0x0407);  // no German table: English
    EXPECT_EQ(velora::MessageText(kKnown), english);
    platform::SetMessageLanguage(0x0409);
    EXPECT_EQ(velora::MessageText(kKnown), english);
}

TEST(Messages, AModuleThatIsNotLoadedLeavesTheProgramsOwn) {
    EXPECT_FALSE(platform::SetMessageModule(u"NoSuchModule.dll"));
    EXPECT_FALSE(velora::MessageText(kKnown).empty());
    EXPECT_TRUE(platform::SetMessageModule(nullptr));
    EXPECT_FALSE(velora::MessageText(kKnown).empty());
}

}  // namespace
