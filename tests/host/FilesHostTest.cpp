// Host specifics of the file port: Windows-style separators and the XDG data folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/Files.h"
#include "platform/Text.h"
#include "support/LogFiles.h"

namespace {

TEST(FilesHost, BackslashesSeparateLikeSlashes) {
    velora::test::CScratchFolder scratch;
    std::u16string windowsStyle = scratch.Path();
    for (char16_t& c : windowsStyle) {
        if (c == u'/') c = u'\\';
    }
    ASSERT_TRUE(platform::CreateOneDirectory(windowsStyle + u"\\sub"));
    ASSERT_TRUE(platform::AppendToFile(windowsStyle + u"\\sub\\f.txt", "abc", 3));
    std::string bytes;
    ASSERT_TRUE(platform::ReadWholeFile(scratch.Path(u"sub/f.txt"), bytes));
    EXPECT_EQ(bytes, "abc");
}

// Restores one environment variable when the test ends.
class CSavedVariable {
public:
    explicit CSavedVariable(const char* name) : name_(name) {
        const char* value = std::getenv(name);
        had_ = value != nullptr;
        if (had_) value_ = value;
    }
    ~CSavedVariable() {
        if (had_) {
            setenv(name_, value_.c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }

private:
    const char* name_;
    bool had_ = false;
    std::string value_;
};

TEST(FilesHost, AppDataFolderFollowsXdgThenHomeAndIsCreated) {
    CSavedVariable xdg("XDG_DATA_HOME");
    CSavedVariable home("HOME");
    velora::test::CScratchFolder scratch;
    const std::string base = platform::Utf16ToUtf8(scratch.Path());

    setenv("XDG_DATA_HOME", (base + "/xdg/data/").c_str(), 1);
    EXPECT_EQ(platform::RoamingAppDataFolder(), platform::Utf8ToUtf16(base + "/xdg/data"));
    EXPECT_TRUE(platform::IsDirectory(platform::Utf8ToUtf16(base + "/xdg/data")));

    setenv("HOME", (base + "/home").c_str(), 1);
    setenv("XDG_DATA_HOME", "relative/ignored", 1);
    EXPECT_EQ(platform::RoamingAppDataFolder(), platform::Utf8ToUtf16(base + "/home/.local/share"));
    unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(platform::RoamingAppDataFolder(), platform::Utf8ToUtf16(base + "/home/.local/share"));

    unsetenv("HOME");
    EXPECT_TRUE(platform::RoamingAppDataFolder().empty());
}

}  // namespace
