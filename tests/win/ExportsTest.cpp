// The exported client functions as a program that loads Velora.dll finds them: by the decorated names
// of their signatures and by the C aliases; and Velora.exe carries the same decorated exports. Both
// files carry one and the same version resource.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::wstring BinFile(const wchar_t* name) {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, n);
    folder.resize(folder.find_last_of(L"\\/") + 1);
    return folder + name;
}

using InitFn = int (*)(const wchar_t*, const wchar_t*);
using ExitFn = void (*)();
using ValidateUserFn = unsigned long (*)(const wchar_t*, const wchar_t*, const wchar_t*, wchar_t*,
                                         unsigned long long);
using BufferFn = unsigned long (*)(wchar_t*, unsigned long long);
using StepFn = int (*)();
using CheckStatusFn = int (*)(long long*, long long*);

struct ExportNames {
    const char* init;
    const char* exit;
    const char* validateUser;
    const char* connect;
    const char* disconnect;
    const char* step;
    const char* checkStatus;
};
constexpr ExportNames kDecorated = {
    "?Init@@YAHPEB_W0@Z",
    "?Exit@@YAXXZ",
    "?ValidateUser@@YAKPEB_W00PEA_W_K@Z",
    "?Connect@@YAKPEA_W_K@Z",
    "?Disconnect@@YAKPEA_W_K@Z",
    "?GetConnectionStep@@YAHXZ",
    "?CheckStatus@@YAHPEA_J0@Z",
};
constexpr ExportNames kPlainC = {
    "VeloraInit",        "VeloraExit",       "VeloraValidateUser",
    "VeloraConnect",     "VeloraDisconnect", "VeloraGetConnectionStep",
    "VeloraCheckStatus",
};

template <typename F>
F Find(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Calls every function found under `names`, in the documented order.
void DriveTheApi(HMODULE module, const ExportNames& names) {
    const auto init = Find<InitFn>(module, names.init);
    const auto exitFn = Find<ExitFn>(module, names.exit);
    const auto validateUser = Find<ValidateUserFn>(module, names.validateUser);
    const auto connect = Find<BufferFn>(module, names.connect);
    const auto disconnect = Find<BufferFn>(module, names.disconnect);
    const auto step = Find<StepFn>(module, names.step);
    const auto checkStatus = Find<CheckStatusFn>(module, names.checkStatus);
    ASSERT_TRUE(init && exitFn && validateUser && connect && disconnect && step && checkStatus) << names.init;

    EXPECT_EQ(init(nullptr, nullptr), 1);
    wchar_t buffer[128];
    EXPECT_EQ(validateUser(L"12", L"alice", L"secret1", nullptr, 128), 87u);
    EXPECT_EQ(validateUser(L"12a", L"alice", L"secret1", buffer, 128), 87u);
    EXPECT_STREQ(buffer, L"2015 Invalid customer ID");
    EXPECT_EQ(step(), 0);
    EXPECT_EQ(disconnect(buffer, 128), 0u);
    EXPECT_STREQ(buffer, L"Already disconnected");
    long long sent = -1;
    long long received = -1;
    EXPECT_EQ(checkStatus(&sent, &received), 0);
    EXPECT_EQ(sent, 0);
    EXPECT_EQ(received, 0);
    const unsigned long connected = connect(buffer, 128);
    EXPECT_NE(connected, 0u);
    EXPECT_NE(buffer[0], L'\0');
    EXPECT_EQ(step(), 0);
    exitFn();
    EXPECT_EQ(connect(buffer, 128), 87u);  // after Exit
}

TEST(Exports, TheLibraryExportsTheDecoratedNamesAndTheCAliases) {
    HMODULE dll = LoadLibraryW(BinFile(L"Velora.dll").c_str());
    ASSERT_NE(dll, nullptr) << GetLastError();
    DriveTheApi(dll, kDecorated);
    // Both sets of names lead to one session: after the decorated Exit the alias refuses too.
    wchar_t buffer[64];
    EXPECT_EQ(Find<BufferFn>(dll, kPlainC.connect)(buffer, 64), 87u);
    DriveTheApi(dll, kPlainC);
    // Only the documented names: this build's own symbol names are not exported.
    EXPECT_EQ(GetProcAddress(dll, "_Z4InitPKwS0_"), nullptr);
    // The library stays loaded: the API may keep threads of its own until the process ends.
}

TEST(Exports, TheProgramExportsTheDecoratedNames) {
    HMODULE exe = LoadLibraryExW(BinFile(L"Velora.exe").c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(exe, nullptr) << GetLastError();
    for (const char* name : {kDecorated.init, kDecorated.exit, kDecorated.validateUser, kDecorated.connect,
                             kDecorated.disconnect, kDecorated.step, kDecorated.checkStatus, kPlainC.init,
                             kPlainC.checkStatus}) {
        EXPECT_NE(GetProcAddress(exe, name), nullptr) << name;
    }
    FreeLibrary(exe);
}

// The version a program that loads the library reads from it: the program's own, field for field.
TEST(Exports, TheLibraryCarriesTheProgramsVersion) {
    struct Version {
        VS_FIXEDFILEINFO fixed{};
        std::wstring product;
        std::wstring file;
    };
    auto read = [](const wchar_t* name, Version& v) {
        const std::wstring path = BinFile(name);
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
        if (size == 0) return false;
        std::vector<unsigned char> data(size);
        if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return false;
        void* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(data.data(), L"\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO))
            return false;
        v.fixed = *static_cast<VS_FIXEDFILEINFO*>(value);
        for (auto [key, out] : {std::pair{L"\\StringFileInfo\\040904b0\\ProductVersion", &v.product},
                                std::pair{L"\\StringFileInfo\\040904b0\\FileVersion", &v.file}}) {
            if (!VerQueryValueW(data.data(), key, &value, &length) || length == 0) return false;
            *out = static_cast<const wchar_t*>(value);
        }
        return true;
    };
    Version exe, dll;
    ASSERT_TRUE(read(L"Velora.exe", exe));
    ASSERT_TRUE(read(L"Velora.dll", dll)) << "Velora.dll has no version resource";
    EXPECT_EQ(dll.product, exe.product);
    EXPECT_EQ(dll.file, exe.file);
    EXPECT_NE(dll.product, L"unknown");
    EXPECT_EQ(dll.fixed.dwProductVersionMS, exe.fixed.dwProductVersionMS);
    EXPECT_EQ(dll.fixed.dwProductVersionLS, exe.fixed.dwProductVersionLS);
    EXPECT_EQ(dll.fixed.dwFileVersionMS, exe.fixed.dwFileVersionMS);
    EXPECT_EQ(dll.fixed.dwFileType, static_cast<DWORD>(VFT_DLL));
    EXPECT_EQ(exe.fixed.dwFileType, static_cast<DWORD>(VFT_APP));
}

}  // namespace
