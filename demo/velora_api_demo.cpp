// velora_api_demo.exe: drives Velora.dll's exported functions against the cloud stand-in on this machine.
// It signs in once with a wrong password and once with the demo account's, and prints each result with the
// requests the stand-in recorded for it. With --native it then connects in the NATIVE mode the stand-in's
// orchestrator assigns, through the installed helper service and the engine stand-in in the program folder,
// prints the connection steps and the traffic counters that CheckStatus reads, and disconnects, each with
// the requests it made and what the engine logged. Exit code 0 only when the good sign-in is granted (with a
// token), the wrong password is refused and, with --native, the connection came up, counted traffic and
// went down again.
//   velora_api_demo.exe STAND_IN_URL [LOG_FILE] [--native PROGRAM_FOLDER]   (STAND_IN_URL:
//   http://127.0.0.1:PORT)
// Velora.dll is loaded from PROGRAM_FOLDER with --native, else from the demo's own folder.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/HttpClient.h"
#include "core/Settings.h"
#include "platform/Text.h"

namespace {

using InitFn = int (*)(const wchar_t*, const wchar_t*);
using ExitFn = void (*)();
using ValidateUserFn = unsigned long (*)(const wchar_t*, const wchar_t*, const wchar_t*, wchar_t*,
                                         unsigned long long);
using BufferFn = unsigned long (*)(wchar_t*, unsigned long long);
using StepFn = int (*)();
using CheckStatusFn = int (*)(long long*, long long*);

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

std::size_t FileSize(const std::wstring& file) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data)) return 0;
    return static_cast<std::size_t>(data.nFileSizeLow) | (static_cast<std::size_t>(data.nFileSizeHigh) << 32);
}

// New lines of the engine stand-in's log since `seen` bytes, indented; returns the log's size now.
std::size_t PrintEngineLog(const std::wstring& file, std::size_t seen) {
    HANDLE f = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        std::printf("  (no engine log)\n");
        return seen;
    }
    std::string text(std::min<std::size_t>(FileSize(file), 16 * 1024 * 1024), '\0');
    DWORD got = 0;
    const BOOL read = ReadFile(f, text.data(), static_cast<DWORD>(text.size()), &got, nullptr);
    CloseHandle(f);
    text.resize(read ? got : 0);
    std::size_t at = seen < text.size() ? seen : text.size();
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::printf("  engine: %s\n", line.c_str());
        at = end + 1;
    }
    return text.size();
}

const char* StepName(int step) {
    switch (step) {
        case 0:
            return "disconnected";
        case 1:
            return "connected";
        case 2:
            return "connecting";
        case 3:
            return "disconnecting";
        default:
            return "?";
    }
}

// Watches GetConnectionStep from a second thread while a call runs (the call holds the API's lock, the
// step is read without it) and prints the steps it went through, as a program's status display would.
class CStepWatch {
public:
    explicit CStepWatch(StepFn getStep) : getStep_(getStep), seen_{getStep()} {
        thread_ = std::thread([this] {
            while (!done_.load()) {
                const int step = getStep_();
                if (step != seen_.back()) seen_.push_back(step);
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
    }
    ~CStepWatch() { Stop(); }
    CStepWatch(const CStepWatch&) = delete;
    CStepWatch& operator=(const CStepWatch&) = delete;

    void Stop() {
        done_.store(true);
        if (thread_.joinable()) thread_.join();
        const int step = getStep_();
        if (step != seen_.back()) seen_.push_back(step);
    }
    void Print() const {
        std::printf("  connection steps:");
        for (std::size_t i = 0; i < seen_.size(); ++i)
            std::printf("%s %d (%s)", i == 0 ? "" : " ->", seen_[i], StepName(seen_[i]));
        std::printf("\n");
    }

private:
    StepFn getStep_;
    std::vector<int> seen_;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::wstring logFile, programFolder;
    std::u16string standIn;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--native" && i + 1 < argc) {
            programFolder = argv[++i];
            if (!programFolder.empty() && programFolder.back() != L'\\') programFolder += L'\\';
        } else if (standIn.empty()) {
            standIn = U16(arg);
        } else if (logFile.empty()) {
            logFile = arg;
        }
    }
    if (standIn.empty()) {
        std::printf("usage: velora_api_demo.exe STAND_IN_URL [LOG_FILE] [--native PROGRAM_FOLDER]\n");
        return 2;
    }
    while (!standIn.empty() && standIn.back() == u'/') standIn.pop_back();
    const bool native = !programFolder.empty();

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

    const std::wstring dllPath = native ? programFolder + L"Velora.dll" : BinFile(L"Velora.dll");
    std::printf("Velora.dll: %s\n", Utf8(U16(dllPath)).c_str());
    HMODULE dll = LoadLibraryW(dllPath.c_str());
    if (!dll) {
        std::printf("Velora.dll did not load: error %lu\n", GetLastError());
        return 1;
    }
    const auto find = [dll](const char* name) { return reinterpret_cast<void*>(GetProcAddress(dll, name)); };
    const auto init = reinterpret_cast<InitFn>(find("VeloraInit"));
    const auto veloraExit = reinterpret_cast<ExitFn>(find("VeloraExit"));
    const auto validateUser = reinterpret_cast<ValidateUserFn>(find("VeloraValidateUser"));
    const auto connect = reinterpret_cast<BufferFn>(find("VeloraConnect"));
    const auto disconnect = reinterpret_cast<BufferFn>(find("VeloraDisconnect"));
    const auto getStep = reinterpret_cast<StepFn>(find("VeloraGetConnectionStep"));
    const auto checkStatus = reinterpret_cast<CheckStatusFn>(find("VeloraCheckStatus"));
    if (!init || !veloraExit || !validateUser || !connect || !disconnect || !getStep || !checkStatus) {
        std::printf("Velora.dll lacks an export\n");
        return 1;
    }
    if (init(logFile.empty() ? nullptr : logFile.c_str(), nullptr) != 1) {
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

    const unsigned long wrong = signIn(kWrongPassword, "a wrong password");
    std::printf("  stored after the refusal: AuthToken %s\n",
                velora::GetSetting(u"AuthToken", u"").empty() ? "none" : "still set");
    const unsigned long good = signIn(kPassword, "the right password");
    const std::u16string token = velora::GetSetting(u"AuthToken", u"");
    std::printf("  stored: Username \"%s\", CustomerId \"%s\", AuthUrl \"%s\", AuthToken %s\n",
                Utf8(velora::GetSetting(u"Username", u"")).c_str(),
                Utf8(velora::GetSetting(u"CustomerId", u"")).c_str(),
                Utf8(velora::GetSetting(u"AuthUrl", u"")).c_str(), token.empty() ? "none" : "granted");
    const bool granted = good == 0 && !token.empty();
    const bool refused = wrong != 0;

    // The NATIVE connection: Connect, the counters over the engine pipe, Disconnect.
    const char* connection = "not asked for";
    bool connectionOk = true;
    if (native && granted) {
        const std::wstring engineLog = programFolder + L"ferronwin.log";
        std::size_t engineSeen = FileSize(engineLog);  // earlier runs' lines are not shown
        wchar_t message[256] = {};
        std::printf("\nConnect():\n");
        CStepWatch connecting(getStep);
        const unsigned long code = connect(message, 256);
        connecting.Stop();
        connecting.Print();
        std::printf("  result %lu, message \"%s\", step now %d (%s)\n", code, Utf8(U16(message)).c_str(),
                    getStep(), StepName(getStep()));
        seen = PrintRequests(standIn, seen);
        engineSeen = PrintEngineLog(engineLog, engineSeen);
        if (code != 0) {
            connection = "FAILED";
            connectionOk = false;
        } else {
            long long firstSent = -1, lastSent = -1, lastReceived = -1;
            bool counted = true;
            for (int i = 0; i < 3; ++i) {
                long long sent = 0, received = 0;
                const int read = checkStatus(&sent, &received);
                std::printf("  CheckStatus: %d, bytes sent %lld, bytes received %lld\n", read, sent,
                            received);
                counted = counted && read == 1;
                if (i == 0) firstSent = sent;
                lastSent = sent;
                lastReceived = received;
                Sleep(1000);
            }
            counted = counted && lastSent > firstSent && lastReceived > 0;
            std::printf("  while connected:\n");
            seen = PrintRequests(standIn, seen);
            std::printf("\nDisconnect():\n");
            CStepWatch disconnecting(getStep);
            const unsigned long down = disconnect(message, 256);
            disconnecting.Stop();
            disconnecting.Print();
            std::printf("  result %lu, message \"%s\", step now %d (%s)\n", down, Utf8(U16(message)).c_str(),
                        getStep(), StepName(getStep()));
            seen = PrintRequests(standIn, seen);
            Sleep(500);  // the engine's last lines follow its stop
            engineSeen = PrintEngineLog(engineLog, engineSeen);
            connectionOk = counted && down == 0 && getStep() == 0;
            connection = connectionOk ? "connected, counted traffic, disconnected" : "FAILED";
        }
    }
    veloraExit();

    std::printf("\nsign-in with the right password: %s; with a wrong one: %s; NATIVE connection: %s\n",
                granted ? "granted" : "FAILED", refused ? "refused" : "NOT REFUSED", connection);
    return granted && refused && connectionOk ? 0 : 1;
}
