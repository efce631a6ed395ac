// The file port: create-once, append, whole reads, folders, deletion and the Windows error numbers
// that callers log and compare on both platforms.
#include <gtest/gtest.h>

#include "platform/Files.h"
#include "support/LogFiles.h"

namespace {

using velora::test::CScratchFolder;

constexpr uint32_t kPathNotFound = 3;

TEST(Files, CreateAppendReadDelete) {
    CScratchFolder scratch;
    // A name outside ASCII shows that paths travel as UTF-16 all the way.
    const std::u16string path = scratch.Path(u"日志 file.log");
    bool created = false;
    ASSERT_TRUE(platform::CreateFileIfMissing(path, created));
    EXPECT_TRUE(created);
    ASSERT_TRUE(platform::CreateFileIfMissing(path, created));
    EXPECT_FALSE(created) << "an existing file is neither created nor emptied";

    const std::string part1("\xFF\xFE\x00\x00", 4);
    const std::string part2("\x0A\x00 tail", 7);
    ASSERT_TRUE(platform::AppendToFile(path, part1.data(), part1.size()));
    ASSERT_TRUE(platform::AppendToFile(path, part2.data(), part2.size()));
    ASSERT_TRUE(platform::CreateFileIfMissing(path, created));
    std::string bytes;
    ASSERT_TRUE(platform::ReadWholeFile(path, bytes));
    EXPECT_EQ(bytes, part1 + part2);

    EXPECT_TRUE(platform::FileExists(path));
    EXPECT_FALSE(platform::IsDirectory(path));
    ASSERT_TRUE(platform::DeleteOneFile(path));
    EXPECT_FALSE(platform::FileExists(path));
}

TEST(Files, FailuresReportWindowsErrorNumbers) {
    CScratchFolder scratch;
    const std::u16string missing = scratch.Path(u"missing.txt");
    std::string bytes = "stale";
    EXPECT_FALSE(platform::ReadWholeFile(missing, bytes));
    EXPECT_EQ(platform::LastFileError(), platform::kErrorFileNotFound);
    EXPECT_TRUE(bytes.empty());
    EXPECT_FALSE(platform::DeleteOneFile(missing));
    EXPECT_EQ(platform::LastFileError(), platform::kErrorFileNotFound);

    const std::u16string inMissingFolder =
        scratch.Path(u"no-such-folder") + platform::kPathSeparator + u"f.txt";
    EXPECT_FALSE(platform::AppendToFile(inMissingFolder, "x", 1));
    EXPECT_EQ(platform::LastFileError(), kPathNotFound);
    bool created = true;
    EXPECT_FALSE(platform::CreateFileIfMissing(inMissingFolder, created));
    EXPECT_FALSE(created);
    EXPECT_EQ(platform::LastFileError(), kPathNotFound);

    const std::u16string text = platform::ErrorText(platform::kErrorFileNotFound);
    EXPECT_FALSE(text.empty());
    EXPECT_NE(text.back(), u'\n');
    EXPECT_FALSE(platform::ErrorText(0xDEAD1234u).empty());
}

TEST(Files, FoldersOneLevelAtATime) {
    CScratchFolder scratch;
    const std::u16string folder = scratch.Path(u"one");
    const std::u16string nested = scratch.Path(u"two") + platform::kPathSeparator + u"three";
    EXPECT_FALSE(platform::IsDirectory(folder));
    ASSERT_TRUE(platform::CreateOneDirectory(folder));
    EXPECT_TRUE(platform::IsDirectory(folder));
    EXPECT_TRUE(platform::FileExists(folder));
    EXPECT_TRUE(platform::CreateOneDirectory(folder)) << "true when it exists afterwards";
    EXPECT_FALSE(platform::CreateOneDirectory(nested)) << "one level only";
    EXPECT_EQ(platform::LastFileError(), kPathNotFound);

    const std::u16string file = scratch.Path(u"plain");
    ASSERT_TRUE(platform::AppendToFile(file, "x", 1));
    EXPECT_FALSE(platform::CreateOneDirectory(file)) << "a file in the way is no folder";
    std::string bytes;
    EXPECT_FALSE(platform::ReadWholeFile(folder, bytes)) << "a folder is not read as a file";
    EXPECT_FALSE(platform::DeleteOneFile(folder));
    EXPECT_TRUE(platform::IsDirectory(folder));
}

TEST(Files, RoamingAppDataFolderExists) {
    const std::u16string folder = platform::RoamingAppDataFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_TRUE(platform::IsDirectory(folder));
}

}  // namespace
