// Corvane's Windows sharing detection and the engine start's code-page check under Wine, for real: the
// interface table and the icssvc registry value are read as on Windows; Wine offers no internet connection
// profile and no tethering manager, so the hotspot state cannot be read and no sharing is found.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <vector>

#include "logic/FileServiceStore.h"
#include "logic/GuidText.h"
#include "support/LogFiles.h"
#include "win32/Win32ProcessControl.h"
#include "win32/Win32Sharing.h"

namespace {

constexpr wchar_t kIcsSettings[] = L"SYSTEM\\CurrentControlSet\\Services\\icssvc\\Settings";

corvane::GuidFields Fields(const GUID& g) {
    corvane::GuidFields f{g.Data1, g.Data2, g.Data3, {}};
    for (int i = 0; i < 8; ++i) f.data4[i] = g.Data4[i];
    return f;
}

TEST(CorvaneSharingWin, InterfaceTableRegistryAndMissingRuntimeClasses) {
    velora::test::CScratchFolder folder;
    std::vector<std::u16string> log;
    corvane::CFileServiceStore store(std::filesystem::path(folder.Path()), u"Corvane.exe",
                                     [&](std::u16string_view line) { log.emplace_back(line); });
    corvane::win32::CWin32Sharing sharing(store);

    MIB_IF_TABLE2* table = nullptr;
    ASSERT_EQ(GetIfTable2(&table), static_cast<DWORD>(NO_ERROR));
    ASSERT_GT(table->NumEntries, 0u);
    const MIB_IF_ROW2 row = table->Table[table->NumEntries - 1];
    FreeMibTable(table);
    const std::wstring alias(row.Alias), description(row.Description);
    const std::u16string display = std::u16string(alias.begin(), alias.end()) + u"(" +
                                   std::u16string(description.begin(), description.end()) + u")";

    // The adapter-id form (lower-case third group) finds the row of the upper-case table form.
    const corvane::SharingInterface found =
        sharing.LookupInterfaceByGuid(corvane::FormatAdapterIdText(Fields(row.InterfaceGuid)));
    EXPECT_EQ(found.index, static_cast<int32_t>(row.InterfaceIndex));
    EXPECT_EQ(found.display, display.substr(0, 255));
    EXPECT_EQ(sharing.LookupInterfaceByGuid(u"{00000000-0000-0000-0000-000000000001}").index, -1);

    // The hotspot's preferred public interface, stored as 16 bytes, wins over the profile's adapter.
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kIcsSettings, 0, nullptr, 0,
                              KEY_SET_VALUE | KEY_QUERY_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, L"PreferredPublicInterface", 0, REG_BINARY,
                             reinterpret_cast<const BYTE*>(&row.InterfaceGuid), sizeof(GUID)),
              ERROR_SUCCESS);
    EXPECT_EQ(sharing.FindHotspotSharingInterface(u"{00000000-0000-0000-0000-000000000001}").index,
              static_cast<int32_t>(row.InterfaceIndex));
    RegDeleteValueW(key, L"PreferredPublicInterface");
    RegCloseKey(key);
    log.clear();
    EXPECT_EQ(sharing.FindHotspotSharingInterface(u"{00000000-0000-0000-0000-000000000001}").index, -1);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), u"Not find ifIndex from registry, get it from current internet inf(index=-1)");

    log.clear();
    const corvane::HotspotState state = sharing.QueryHotspotState();
    EXPECT_FALSE(state.succeeded) << "Wine has no internet connection profile";
    // Whatever step fails, its line is one of the service's own texts, with nothing appended.
    ASSERT_EQ(log.size(), 1u);
    const std::u16string& line = log.back();
    EXPECT_TRUE(line == u"Not find connection profile" ||
                line == u"The connection profile has no internet access" || line == u"Error occurred" ||
                line == u"Failed to init tetheringManager" ||
                line.starts_with(u"CreateFromConnectionProfile exception code: 0x"))
        << std::string(line.begin(), line.end());
    EXPECT_EQ(sharing.FindIcsSharingInterface().index, -1);
}

TEST(CorvaneSharingWin, EngineCommandLineIsConvertedWithoutBestFit) {
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring program = std::wstring(system) + L"\\cmd.exe";
    const std::u16string path(program.begin(), program.end());
    // A full-width quote would become '"' in a best-fit conversion: nothing is started.
    corvane::StartedProcess started;
    EXPECT_EQ(corvane::win32::ServiceProcesses().StartDetached(path, u" -T a\uFF02 -d x -S s", u"C:\\", started),
              static_cast<uint32_t>(ERROR_NO_UNICODE_TRANSLATION));
}

}  // namespace
