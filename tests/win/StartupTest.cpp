// Starts the real program twice: the second start hands its command line over through the settings,
// wakes the first one and ends; the first one stays alone and comes forward. Needs Velora.exe next to
// this test program and a desktop (Xvfb).
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "core/Settings.h"
#include "support/CloudSim.h"

namespace {

constexpr DWORD kWindowWaitMs = 30000;
constexpr DWORD kExitWaitMs = 15000;
constexpr DWORD kRestoreWaitMs = 10000;
constexpr int kLoginCustomerIdControl = 1030;
constexpr int kLoginUserNameControl = 1031;
constexpr int kLoginPasswordControl = 1032;
constexpr int kLoginBannerControl = 1601;
constexpr int kMainLogListControl = 1040;
constexpr wchar_t kImageName[] = L"Velora.exe";
constexpr char16_t kRedirect[] = u"com.halvane://redirect?code=abc&state=xyz";

class CHandle {
public:
    explicit CHandle(HANDLE h = nullptr) : m_h(h) {}
    ~CHandle() { Reset(); }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;
    CHandle(CHandle&& o) noexcept : m_h(o.m_h) { o.m_h = nullptr; }
    CHandle& operator=(CHandle&& o) noexcept {
        if (this != &o) {
            Reset(o.m_h);
            o.m_h = nullptr;
        }
        return *this;
    }
    HANDLE Get() const { return m_h; }
    explicit operator bool() const { return m_h && m_h != INVALID_HANDLE_VALUE; }
    void Reset(HANDLE h = nullptr) {
        if (*this) CloseHandle(m_h);
        m_h = h;
    }

private:
    HANDLE m_h;
};

std::wstring BinaryFolder() {
    wchar_t path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, n);
    return folder.substr(0, folder.find_last_of(L"\\/"));
}

std::wstring VeloraPath() {
    return BinaryFolder() + L"\\" + kImageName;
}

int CountVeloraProcesses() {
    CHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return -1;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    int count = 0;
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more;
         more = Process32NextW(snapshot.Get(), &entry)) {
        if (_wcsicmp(entry.szExeFile, kImageName) == 0) ++count;
    }
    return count;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        Sleep(50);
    }
}

// A visible top-level window of process `pid` that holds control `controlId`.
HWND FindWindowOf(DWORD pid, int controlId) {
    struct Search {
        DWORD pid;
        int controlId;
        HWND found;
    } search{pid, controlId, nullptr};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner != s->pid || !IsWindowVisible(window) || !GetDlgItem(window, s->controlId)) return TRUE;
            s->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

struct Process {
    CHandle handle;
    DWORD pid = 0;
};

Process StartVelora(const std::u16string& arguments) {
    std::wstring commandLine = L"\"" + VeloraPath() + L"\"";
    if (!arguments.empty()) commandLine += L" " + std::wstring(arguments.begin(), arguments.end());
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    Process started;
    if (CreateProcessW(VeloraPath().c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &info)) {
        CloseHandle(info.hThread);
        started.handle.Reset(info.hProcess);
        started.pid = info.dwProcessId;
    }
    return started;
}

// Watches the named event "Hal_Vane" while a second start runs: a pulse reaches only threads that wait
// at that moment, so the watcher waits before the second start begins.
class CPulseWatch {
public:
    CPulseWatch()
        : m_event(OpenEventW(SYNCHRONIZE, FALSE, L"Hal_Vane")),
          m_stop(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          m_waiting(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        if (!m_event || !m_stop || !m_waiting) return;
        m_thread = std::thread([this] {
            const HANDLE handles[] = {m_event.Get(), m_stop.Get()};
            SetEvent(m_waiting.Get());
            m_result = WaitForMultipleObjects(2, handles, FALSE, 60000);
        });
        WaitForSingleObject(m_waiting.Get(), 5000);
        Sleep(100);  // let the watcher enter its wait before anything can pulse
    }
    ~CPulseWatch() { Finish(); }
    bool Opened() const { return static_cast<bool>(m_event); }
    // Ends the watch; true when the event was pulsed meanwhile.
    bool Finish() {
        if (m_thread.joinable()) {
            SetEvent(m_stop.Get());
            m_thread.join();
        }
        return m_result == WAIT_OBJECT_0;
    }

private:
    CHandle m_event;
    CHandle m_stop;
    CHandle m_waiting;
    std::thread m_thread;
    DWORD m_result = WAIT_FAILED;
};

class StartupTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(GetFileAttributesW(VeloraPath().c_str()), INVALID_FILE_ATTRIBUTES)
            << "Velora.exe is missing";
        // Another copy in this session would turn the first start below into a second one.
        ASSERT_EQ(CountVeloraProcesses(), 0) << "a Velora.exe already runs in this Wine prefix";
        velora::SetSettingText(u"OauthDebugRet", u"");
        velora::SetSetting(u"OauthBrowerRet", u"");

        m_first = StartVelora(u"");
        ASSERT_TRUE(m_first.handle) << "CreateProcess failed: " << GetLastError();
        ASSERT_TRUE(WaitUntil([&] { return (m_login = FindWindowOf(m_first.pid, kLoginCustomerIdControl)); },
                              kWindowWaitMs))
            << "the login window did not appear";
    }

    void TearDown() override {
        if (!m_first.handle) return;
        if (WaitForSingleObject(m_first.handle.Get(), 0) == WAIT_TIMEOUT) {
            if (HWND top = FindWindowOf(m_first.pid, kMainLogListControl)) PostMessageW(top, WM_CLOSE, 0, 0);
            if (m_login && IsWindow(m_login)) PostMessageW(m_login, WM_CLOSE, 0, 0);
            if (WaitForSingleObject(m_first.handle.Get(), kExitWaitMs) != WAIT_OBJECT_0) {
                ADD_FAILURE() << "the first client did not end after WM_CLOSE";
                TerminateProcess(m_first.handle.Get(), 1);
                WaitForSingleObject(m_first.handle.Get(), kExitWaitMs);
            }
        }
        velora::SetSettingText(u"OauthDebugRet", u"");
        velora::SetSetting(u"OauthBrowerRet", u"");
    }

    // Runs a second start with `arguments` and expects it to end at once with exit code 0; returns
    // whether it pulsed the named event.
    bool RunSecondStart(const std::u16string& arguments) {
        CPulseWatch watch;
        EXPECT_TRUE(watch.Opened()) << "the first client holds no event \"Hal_Vane\"";
        Process second = StartVelora(arguments);
        EXPECT_TRUE(second.handle) << "CreateProcess failed: " << GetLastError();
        if (!second.handle) return false;
        const DWORD waited = WaitForSingleObject(second.handle.Get(), kExitWaitMs);
        EXPECT_EQ(waited, WAIT_OBJECT_0) << "the second start did not end";
        if (waited != WAIT_OBJECT_0) {
            TerminateProcess(second.handle.Get(), 1);
            WaitForSingleObject(second.handle.Get(), kExitWaitMs);
        }
        DWORD code = 1234;
        EXPECT_TRUE(GetExitCodeProcess(second.handle.Get(), &code));
        EXPECT_EQ(code, 0u);
        EXPECT_EQ(CountVeloraProcesses(), 1) << "the first client must stay alone";
        return watch.Finish();
    }

    void ExpectHandOver(const std::u16string& debugText, const std::u16string& browserText) {
        EXPECT_EQ(velora::GetSettingText(u"OauthDebugRet", u"missing"), debugText);
        EXPECT_EQ(velora::GetSetting(u"OauthBrowerRet", u"missing"), browserText);
    }

    // Minimises `window`, runs a second start and expects the window to be restored by it.
    void ExpectSecondStartRestores(HWND window, const std::u16string& arguments, bool expectPulse) {
        ShowWindow(window, SW_MINIMIZE);
        ASSERT_TRUE(WaitUntil([&] { return IsIconic(window) != FALSE; }, kRestoreWaitMs));
        EXPECT_EQ(RunSecondStart(arguments), expectPulse);
        EXPECT_TRUE(WaitUntil([&] { return !IsIconic(window) && IsWindowVisible(window); }, kRestoreWaitMs))
            << "the running client did not come forward";
    }

    Process m_first;
    HWND m_login = nullptr;
};

TEST_F(StartupTest, SecondStartHandsOverItsCommandLineAndEnds) {
    const std::u16string redirect = kRedirect;
    ExpectSecondStartRestores(m_login, redirect, true);
    ExpectHandOver(redirect, redirect);

    // Without the redirection only the diagnostic value changes, and a waiting sign-in is not woken.
    ExpectSecondStartRestores(m_login, u"-logout", false);
    ExpectHandOver(u"-logout", redirect);

    EXPECT_EQ(WaitForSingleObject(m_first.handle.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST_F(StartupTest, ClosingTheLoginWindowEndsTheProgram) {
    PostMessageW(m_login, WM_CLOSE, 0, 0);
    ASSERT_EQ(WaitForSingleObject(m_first.handle.Get(), kExitWaitMs), WAIT_OBJECT_0);
    DWORD code = 1234;
    ASSERT_TRUE(GetExitCodeProcess(m_first.handle.Get(), &code));
    EXPECT_EQ(code, 0u);
}

// Sign in runs the real password sign-in against the service (the stand-in): empty boxes send nothing,
// a refused password keeps the window with the service's text, and only a granted token opens the main
// window.
TEST_F(StartupTest, SignInOpensTheMainWindowOnlyForAGrantedToken) {
    velora::test::CCloudSimAccess sim;
    ASSERT_TRUE(sim.Open());
    const std::u16string tenant = sim.Tenant(u"login",
                                             uR"({"customers":["12"],
        "errorCatalogue":{"version":"7","entries":[{"error_Code":1007,"en":"Wrong user name or password"}]},
        "accounts":[{"customerId":"12","name":"alice","password":"secret1"}]})");
    const std::u16string base = sim.TenantUrl("http", tenant);
    velora::SetSettingText(u"DiscoveryUrl", base + u"/api/mobile/v1/orchinfo");
    velora::SetSettingText(u"DiscoveryBackupUrl", base + u"/backup/api/mobile/v1/orchinfo");
    velora::SetSettingText(u"DebugOrchUrl", u"");
    velora::SetSetting(u"AuthToken", u"");
    const auto banner = [&] {
        wchar_t text[512] = {};
        SendMessageW(GetDlgItem(m_login, kLoginBannerControl), WM_GETTEXT, 512,
                     reinterpret_cast<LPARAM>(text));
        return std::wstring(text);
    };
    // One text for both iterators: two calls of banner() would give two different strings.
    const auto bannerBytes = [&] {
        const std::wstring text = banner();
        return std::string(text.begin(), text.end());
    };
    const auto signIn = [&](const wchar_t* customer, const wchar_t* name, const wchar_t* password) {
        SetDlgItemTextW(m_login, kLoginCustomerIdControl, customer);
        SetDlgItemTextW(m_login, kLoginUserNameControl, name);
        SetDlgItemTextW(m_login, kLoginPasswordControl, password);
        PostMessageW(m_login, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    };

    signIn(L"", L"", L"");
    EXPECT_TRUE(WaitUntil([&] { return banner().find(L"Enter your") != std::wstring::npos; }, kWindowWaitMs));
    signIn(L"12", L"alice", L"");
    EXPECT_TRUE(WaitUntil([&] { return banner().find(L"Enter your") != std::wstring::npos; }, kWindowWaitMs));
    EXPECT_EQ(sim.Last(u"/t/" + tenant + u"/api/mobile/v1/orchinfo", u"count"), "0");

    signIn(L"12", L"alice", L"wrong-1");
    EXPECT_TRUE(WaitUntil([&] { return banner().find(L"1007 Wrong user name") != std::wstring::npos; },
                          kWindowWaitMs))
        << "banner: " << bannerBytes();
    EXPECT_TRUE(IsWindow(m_login));
    EXPECT_FALSE(FindWindowOf(m_first.pid, kMainLogListControl)) << "no main window without a token";

    signIn(L"12", L"alice", L"secret1");
    HWND main = nullptr;
    ASSERT_TRUE(
        WaitUntil([&] { return (main = FindWindowOf(m_first.pid, kMainLogListControl)); }, kWindowWaitMs))
        << "the main window did not appear; banner: " << bannerBytes();
    EXPECT_FALSE(IsWindow(m_login));
    EXPECT_FALSE(velora::GetSetting(u"AuthToken", u"").empty());
    EXPECT_EQ(sim.Last(u"/t/" + tenant + u"/api/mobile/v2/auth", u"count"), "2");

    ExpectSecondStartRestores(main, u"-logout", false);

    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(m_first.handle.Get(), kExitWaitMs), WAIT_OBJECT_0);
    velora::SetSettingText(u"DiscoveryUrl", u"");
    velora::SetSettingText(u"DiscoveryBackupUrl", u"");
}

}  // namespace
