// The OS build number through the system's version call, looked up by name.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/SystemInfo.h"
#include "platform/win32/SystemVersion.h"

namespace {

TEST(SystemVersionTest, BuildNumberMatchesTheSystemsOwnRecord) {
    wchar_t text[32] = {};
    DWORD size = sizeof(text);
    ASSERT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                           L"CurrentBuildNumber", RRF_RT_REG_SZ, nullptr, text, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(platform::OsBuildNumber(), std::stoul(std::wstring(text)));
}

TEST(SystemVersionTest, MissingVersionCallGivesZero) {
    struct {
        const wchar_t* module;
    } const cases[] = {
        {L"user32.dll"},             // loaded, but without the export
        {L"velora-not-loaded.dll"},  // not loaded at all
    };
    HMODULE user32 = LoadLibraryW(L"user32.dll");
    ASSERT_NE(user32, nullptr);
    for (const auto& c : cases) EXPECT_EQ(platform::win32::BuildNumberFromModule(c.module), 0u) << c.module;
    FreeLibrary(user32);
}

}  // namespace
