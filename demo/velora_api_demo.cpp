// velora_api_demo.exe: signs in through Velora.dll's ValidateUser against the cloud stand-in on this
// machine, once with the demo account's password and once with a wrong one, and prints each result with
// the requests the stand-in recorded for it. Exit code 0 only when the good sign-in is granted (with a
// token) and the wrong password is refused.
//   velora_api_demo.exe STAND_IN_URL [LOG_FILE]      (STAND_IN_URL: http://127.0.0.1:PORT)
#include <windows.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "core/HttpClient.h"
#include "core/Settings.h"
#include "platform/Text.h"

namespace {

using InitFn = int (*)(const wchar_t*, const wchar_t*);
using ExitFn = void (*)();
using ValidateUserFn = unsigned long (*)(const wchar_t*, const wchar_t*, const wchar_t*, wchar_t*,
                                         unsigned long long);

constexpr wchar_t kCustomer[] = L"10086";
constexpr wchar_t kUser[] = L"demo";
constexpr wchar_t kPassword[] = L"demo-pass";
constexpr wchar_t kWrongPassword[] = L"not-the-pass";

std::u16string U16(std::wstring_view text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text.data()), text.size());
}

std::string Utf8(std::u16string_view text) {
    return platform::Utf16ToUtf8(text);
}

std::wstring BinFile(const wchar_t* name) {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, n);
    folder.resize(folder.find_last_of(L"\\/") + 1);
    return folder + name;
}

// The string value that follows `key` at or after `from` in the stand-in's record; `from` moves past it.
std::string NextValue(const std::string& json, const std::string& key, std::size_t& from) {
    const std::string quoted = "\"" + key + "\":";
    const std::size_t at = json.find(quoted, from);
    if (at == std::string::npos) {
        from = std::string::npos;
        return {};
    }
    std::size_t start = at + quoted.size();
    const bool text = start < json.size() && json[start] == '"';
    if (text) ++start;
    const std::size_t end = json.find_first_of(text ? "\"" : ",}", start);
    from = end == std::string::npos ? std::string::npos : end;
    return json.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// Prints the requests recorded since `seen` (one line each: method, path, status) and returns how many
// the record holds now. Entries are objects with sorted keys, so method, path and status come in that
// order; texts inside bodies and headers are escaped and never match a quoted key.
std::size_t PrintRequests(const std::u16string& standIn, std::size_t seen) {
    velora::CHttpClient client;
    std::string record;
    uint32_t status = 0;
    const uint32_t error = client.GetText(standIn + u"/_sim/requests", record, status);
    if (error != 0 || status != 200) {
        std::printf("  (the stand-in's record could not be read: error %u, status %u)\n", error, status);
        return seen;
    }
    std::size_t count = 0;
    std::size_t at = 0;
    while (true) {
        const std::string method = NextValue(record, "method", at);
        if (at == std::string::npos) break;
        const std::string path = NextValue(record, "path", at);
        if (at == std::string::npos) break;
        const std::string answered = NextValue(record, "status", at);
        if (at == std::string::npos) break;
        if (count++ >= seen)
            std::printf("  %-4s %-45s -> %s\n", method.c_str(), path.c_str(), answered.c_str());
    }
    if (count == seen) std::printf("  (no request)\n");
    return count;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc < 2) {
        std::printf("usage: velora_api_demo.exe STAND_IN_URL [LOG_FILE]\n");
        return 2;
    }
    std::u16string standIn = U16(argv[1]);
    while (!standIn.empty() && standIn.back() == u'/') standIn.pop_back();

    // Discovery goes to the stand-in instead of the built-in servers; nothing may bypass it.
    velora::SetSettingText(u"DiscoveryUrl", standIn + u"/api/mobile/v1/orchinfo");
    velora::SetSettingText(u"DiscoveryBackupUrl", standIn + u"/backup/api/mobile/v1/orchinfo");
    velora::SetSettingText(u"DebugOrchUrl", u"");
    // What the login window records when the user accepts the privacy policy: without it a sign-in
    // refuses to run while the service announces a policy version.
    velora::SetSetting(u"PrivacyVersion", u"newest");
    std::printf("stand-in: %s\nDiscoveryUrl: %s\nDiscoveryBackupUrl: %s\n", Utf8(standIn).c_str(),
                Utf8(velora::GetSettingText(u"DiscoveryUrl", u"")).c_str(),
                Utf8(velora::GetSettingText(u"DiscoveryBackupUrl", u"")).c_str());

    HMODULE dll = LoadLibraryW(BinFile(L"Velora.dll").c_str());
    if (!dll) {
        std::printf("Velora.dll did not load: error %lu\n", GetLastError());
        return 1;
    }
    const auto init = reinterpret_cast<InitFn>(reinterpret_cast<void*>(GetProcAddress(dll, "VeloraInit")));
    const auto veloraExit =
        reinterpret_cast<ExitFn>(reinterpret_cast<void*>(GetProcAddress(dll, "VeloraExit")));
    const auto validateUser =
        reinterpret_cast<ValidateUserFn>(reinterpret_cast<void*>(GetProcAddress(dll, "VeloraValidateUser")));
    if (!init || !veloraExit || !validateUser) {
        std::printf("Velora.dll lacks an export\n");
        return 1;
    }
    if (init(argc > 2 ? argv[2] : nullptr, nullptr) != 1) {
        std::printf("VeloraInit failed\n");
        return 1;
    }

    std::size_t seen = 0;  // the stand-in was started for this demo: its record is empty
    const auto signIn = [&](const wchar_t* password, const char* label) {
        wchar_t message[256] = {};
        const unsigned long code = validateUser(kCustomer, kUser, password, message, 256);
        std::printf("\nValidateUser(\"%s\", \"%s\", %s): result %lu, message \"%s\"\n",
                    Utf8(U16(kCustomer)).c_str(), Utf8(U16(kUser)).c_str(), label, code,
                    Utf8(U16(message)).c_str());
        seen = PrintRequests(standIn, seen);
        return code;
    };

    const unsigned long good = signIn(kPassword, "the right password");
    const std::u16string token = velora::GetSetting(u"AuthToken", u"");
    std::printf("  stored: Username \"%s\", CustomerId \"%s\", AuthUrl \"%s\", AuthToken %s\n",
                Utf8(velora::GetSetting(u"Username", u"")).c_str(),
                Utf8(velora::GetSetting(u"CustomerId", u"")).c_str(),
                Utf8(velora::GetSetting(u"AuthUrl", u"")).c_str(), token.empty() ? "none" : "granted");

    const unsigned long wrong = signIn(kWrongPassword, "a wrong password");
    std::printf("  stored after the refusal: AuthToken %s\n",
                velora::GetSetting(u"AuthToken", u"").empty() ? "none" : "still set");
    veloraExit();

    const bool granted = good == 0 && !token.empty();
    const bool refused = wrong != 0;
    std::printf("\nsign-in with the right password: %s; with a wrong one: %s\n",
                granted ? "granted" : "FAILED", refused ? "refused" : "NOT REFUSED");
    return granted && refused ? 0 : 1;
}
