// The host's settings file: where it lives, its line format, damaged lines and files, and writers in
// several processes at once.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/Settings.h"
#include "platform/ProfileStore.h"
#include "platform/Text.h"

namespace {

namespace fs = std::filesystem;

fs::path SettingsFile(const char* application = "Velora") {
    return fs::path(std::getenv("XDG_CONFIG_HOME")) / "Halvane" / application / "Settings";
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

void WriteFile(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

class ProfileFileTest : public testing::Test {
protected:
    void SetUp() override {
        platform::SetProfileApplication(u"Velora");
        ASSERT_TRUE(platform::ClearProfileForTest());
    }
};

TEST_F(ProfileFileTest, ValuesAreLinesOfNameKindAndHexInTheUsersConfigFolder) {
    ASSERT_TRUE(platform::WriteProfileText(u"Username", u"A中"));
    ASSERT_TRUE(platform::WriteProfileInt(u"CpeId", -1));
    const uint8_t blob[] = {0x00, 0xAB};
    ASSERT_TRUE(platform::WriteProfileBinary(u"OrchErroResBinary", blob, sizeof blob));
    const std::string content = ReadFile(SettingsFile());
    EXPECT_NE(content.find("\nUsername=text:41002D4E\n"), std::string::npos) << content;
    EXPECT_NE(content.find("\nCpeId=int:FFFFFFFF\n"), std::string::npos) << content;
    EXPECT_NE(content.find("\nOrchErroResBinary=bin:00AB\n"), std::string::npos) << content;

    // Another application name files its values apart.
    platform::SetProfileApplication(u"Other");
    ASSERT_TRUE(platform::WriteProfileInt(u"CpeId", 3));
    platform::SetProfileApplication(u"Velora");
    int32_t value = 0;
    ASSERT_TRUE(platform::ReadProfileInt(u"CpeId", value));
    EXPECT_EQ(value, -1);
    EXPECT_NE(ReadFile(SettingsFile("Other")).find("CpeId=int:03000000"), std::string::npos);
}

TEST_F(ProfileFileTest, DamagedLinesReadAsMissingAreReportedAndSurviveRewrites) {
    const std::string garbage = "no separator at all";
    const std::string binary = std::string("\xFF\xFE\x01", 3) + "=text:zz";
    WriteFile(SettingsFile(), "Username=text:4100\n" + garbage + "\nCpeId=int:0102\n" + binary +
                                  "\nAuthUrl=text:41004200\nOddText=text:410\nKind=weird:00\n");
    testing::internal::CaptureStderr();
    std::u16string text;
    int32_t number = 0;
    ASSERT_TRUE(platform::ReadProfileText(u"Username", text));
    EXPECT_EQ(text, u"A");
    ASSERT_TRUE(platform::ReadProfileText(u"AuthUrl", text));
    EXPECT_EQ(text, u"AB");
    EXPECT_FALSE(platform::ReadProfileInt(u"CpeId", number));
    EXPECT_FALSE(platform::ReadProfileText(u"OddText", text));
    EXPECT_FALSE(platform::ReadProfileText(u"Kind", text));
    const std::string report = testing::internal::GetCapturedStderr();
    EXPECT_NE(report.find("line 2 "), std::string::npos) << report;
    EXPECT_NE(report.find("line 3 "), std::string::npos) << report;

    ASSERT_TRUE(platform::WriteProfileInt(u"HeartbeatInterval", 10));
    std::string content = ReadFile(SettingsFile());
    EXPECT_NE(content.find("\n" + garbage + "\n"), std::string::npos);
    EXPECT_NE(content.find("\n" + binary + "\n"), std::string::npos);
    EXPECT_NE(content.find("\nCpeId=int:0102\n"), std::string::npos);
    EXPECT_NE(content.find("\nAuthUrl=text:41004200\n"), std::string::npos);

    // Writing a damaged value's name replaces the damage.
    ASSERT_TRUE(platform::WriteProfileInt(u"CpeId", 7));
    ASSERT_TRUE(platform::ReadProfileInt(u"CpeId", number));
    EXPECT_EQ(number, 7);
    content = ReadFile(SettingsFile());
    EXPECT_EQ(content.find("CpeId=int:0102"), std::string::npos);
    EXPECT_NE(content.find("\n" + garbage + "\n"), std::string::npos);
}

TEST_F(ProfileFileTest, ATruncatedFileKeepsWhatCanBeRead) {
    WriteFile(SettingsFile(), "Username=text:4100\nPassword=text:2A002A");  // cut off mid-value, no newline
    std::u16string text;
    ASSERT_TRUE(platform::ReadProfileText(u"Username", text));
    EXPECT_EQ(text, u"A");
    EXPECT_FALSE(platform::ReadProfileText(u"Password", text));
    EXPECT_EQ(velora::GetSetting(u"Password", u"fallback"), u"fallback");
}

TEST_F(ProfileFileTest, AnUnreadableStoreIsLeftAloneAndReadsAsDefaults) {
    fs::remove(SettingsFile());
    fs::create_directories(SettingsFile() / "blocker");  // a folder where the file should be
    std::u16string text;
    EXPECT_FALSE(platform::ReadProfileText(u"Username", text));
    EXPECT_FALSE(platform::WriteProfileText(u"Username", u"x"));
    EXPECT_EQ(velora::GetSettingInt(u"CpeId", -1), -1);
    EXPECT_TRUE(fs::is_directory(SettingsFile() / "blocker"));
    fs::remove_all(SettingsFile());
}

TEST_F(ProfileFileTest, ChineseTextsRoundTripExactlyThroughTheEncryptedForm) {
    // The host's narrow code page is UTF-8, so every text survives.
    const std::u16string value = u"张伟@客户-中文 😀";
    velora::SetSetting(u"ThirdPartyUser", value);
    EXPECT_EQ(velora::GetSetting(u"ThirdPartyUser", u""), value);
}

// Whatever lies under the temporary file's name is neither followed nor reused: a planted symlink leaves
// its target alone, a leftover file does not lend the store its permissions.
TEST_F(ProfileFileTest, TheTemporaryFileIsAlwaysANewOneOfItsOwn) {
    ASSERT_TRUE(platform::WriteProfileInt(u"AutoStart", 1));  // the folder exists
    const fs::path temp = SettingsFile().parent_path() / "Settings.tmp";
    const fs::path target = SettingsFile().parent_path().parent_path() / "victim";
    struct Case {
        const char* name;
        bool symlink;
    } cases[] = {{"symlink to another file", true}, {"leftover file open to all", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(target, "untouched");
        fs::remove(temp);
        if (c.symlink) {
            fs::create_symlink(target, temp);
        } else {
            WriteFile(temp, "leftover");
            fs::permissions(temp, fs::perms::all);
        }
        ASSERT_TRUE(platform::WriteProfileText(u"CustomerId", c.symlink ? u"1234" : u"5678"));
        EXPECT_EQ(ReadFile(target), "untouched");
        std::u16string value;
        ASSERT_TRUE(platform::ReadProfileText(u"CustomerId", value));
        EXPECT_EQ(value, c.symlink ? u"1234" : u"5678");
        EXPECT_FALSE(fs::is_symlink(SettingsFile()));
        EXPECT_EQ(fs::status(SettingsFile()).permissions() & (fs::perms::group_all | fs::perms::others_all),
                  fs::perms::none);
    }
    fs::remove(target);
}

TEST_F(ProfileFileTest, WritersInSeveralProcessesLoseNothing) {
    constexpr int kChildren = 4;
    constexpr int kPerProcess = 15;
    auto writeAll = [](int who) {
        for (int i = 0; i < kPerProcess; ++i) {
            const std::string name = "P" + std::to_string(who) + "_" + std::to_string(i);
            if (!platform::WriteProfileInt(platform::Utf8ToUtf16(name), who * 100 + i)) return false;
        }
        return true;
    };
    std::vector<pid_t> children;
    for (int c = 1; c <= kChildren; ++c) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) _exit(writeAll(c) ? 0 : 1);
        children.push_back(pid);
    }
    EXPECT_TRUE(writeAll(0));
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int who = 0; who <= kChildren; ++who) {
        for (int i = 0; i < kPerProcess; ++i) {
            const std::string name = "P" + std::to_string(who) + "_" + std::to_string(i);
            int32_t value = -1;
            EXPECT_TRUE(platform::ReadProfileInt(platform::Utf8ToUtf16(name), value)) << name;
            EXPECT_EQ(value, who * 100 + i) << name;
        }
    }
}

}  // namespace
