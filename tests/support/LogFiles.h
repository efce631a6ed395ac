// Helpers for tests of the client log: log lines dated relative to now, UTF-16LE file images and a
// private scratch folder per test.
#pragma once
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <initializer_list>
#include <random>
#include <string>
#include <string_view>

#include "core/Log.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace velora::test {

inline const std::string kLogHeader("\xFF\xFE\x00\x00\x0A\x00", 6);

// Local date of now minus `days` days (negative: in the future), as "YYYY-MM-DD".
inline std::u16string DateDaysAgo(int days, bool padded = true) {
    const std::time_t when = std::time(nullptr) - static_cast<std::time_t>(days) * 86400;
    const std::tm* local = std::localtime(&when);
    char text[32];
    std::snprintf(text, sizeof text, padded ? "%04d-%02d-%02d" : "%d-%d-%d", local->tm_year + 1900,
                  local->tm_mon + 1, local->tm_mday);
    return platform::Utf8ToUtf16(text);
}

// A whole log line, line feed included.
inline std::u16string LineDaysAgo(int days, std::u16string_view text, std::u16string_view tag = u"[INFO]",
                                  std::u16string_view time = u"10:00:00") {
    std::u16string line = DateDaysAgo(days);
    line += u' ';
    line += time;
    line += u' ';
    line += tag;
    line += u' ';
    line += text;
    line += u'\n';
    return line;
}

inline std::string Utf16Le(std::u16string_view units) {
    std::string bytes;
    for (const char16_t u : units) {
        bytes += static_cast<char>(u & 0xFF);
        bytes += static_cast<char>(u >> 8);
    }
    return bytes;
}

inline std::u16string FromUtf16Le(const std::string& bytes, std::size_t offset = 0) {
    std::u16string units;
    for (std::size_t i = offset; i + 1 < bytes.size(); i += 2) {
        units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                       (static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
    return units;
}

inline std::string ReadBytes(std::u16string_view path) {
    std::string bytes;
    EXPECT_TRUE(platform::ReadWholeFile(path, bytes)) << platform::Utf16ToUtf8(path);
    return bytes;
}

inline void WriteBytes(std::u16string_view path, const std::string& bytes) {
    platform::DeleteOneFile(path);
    bool created = false;
    ASSERT_TRUE(platform::CreateFileIfMissing(path, created));
    if (!bytes.empty()) {
        ASSERT_TRUE(platform::AppendToFile(path, bytes.data(), bytes.size()));
    }
}

// A fresh folder under the system's temporary folder, removed when the test ends.
class CScratchFolder {
public:
    CScratchFolder() {
        std::random_device random;
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        path_ = std::filesystem::temp_directory_path() /
                (std::string("velora-") + (info ? info->name() : "test") + "-" + std::to_string(random()));
        std::filesystem::create_directories(path_);
    }
    ~CScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    CScratchFolder(const CScratchFolder&) = delete;
    CScratchFolder& operator=(const CScratchFolder&) = delete;

    std::u16string Path(std::u16string_view name = {}) const {
        std::u16string path = path_.u16string();
        if (!name.empty()) {
            path += platform::kPathSeparator;
            path += name;
        }
        return path;
    }

private:
    std::filesystem::path path_;
};

// The client log written into a scratch file for the length of a test, read back as narrow text (the
// UTF-16LE file's low bytes), so a test can scan for texts that must never be logged.
class CLogCapture {
public:
    CLogCapture() {
        StartLog(nullptr);
        path_ = scratch_.Path(u"capture.log");
        WriteBytes(path_, kLogHeader);
        SetLogFilePath(path_);
    }
    std::string Text() const {
        const std::string bytes = ReadBytes(path_);
        std::string narrow;
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) narrow += bytes[i];
        return narrow;
    }
    // Adds a failure for every text of the list that the log holds.
    void ExpectNone(std::initializer_list<std::string> secrets) const {
        const std::string log = Text();
        for (const std::string& secret : secrets) {
            if (secret.empty()) continue;
            EXPECT_EQ(log.find(secret), std::string::npos) << "the log holds \"" << secret << "\"";
        }
    }

private:
    CScratchFolder scratch_;
    std::u16string path_;
};

}  // namespace velora::test
