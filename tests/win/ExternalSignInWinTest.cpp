// The external sign-in with a real second start of Velora.exe: the test process waits for the redirect
// as the login window's worker does (the login window cannot run sign-ins yet), and its "browser" fetches
// the authorization URL from the identity-provider stand-in, reads the redirect, and starts Velora.exe with
// "com.halvane://redirect?..." on its command line. That copy finds the named event "Hal_Vane" held by
// this process, leaves the redirect in the settings, pulses the event and ends.
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

#include "auth/ExternalAuth.h"
#include "core/DeviceInfo.h"
#include "core/Settings.h"
#include "core/WindowMessages.h"
#include "platform/Http.h"
#include "support/FactorFixture.h"
#include "support/RecordingWindow.h"

namespace velora {
namespace {

std::wstring VeloraPath() {
    const char* dir = std::getenv("VELORA_BIN_DIR");
    std::string path = std::string(dir ? dir : ".") + "/Velora.exe";
    return std::wstring(path.begin(), path.end());
}

int CountVeloraProcesses() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    int count = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, L"Velora.exe") == 0) ++count;
    }
    CloseHandle(snapshot);
    return count;
}

std::u16string LocationOf(std::u16string_view url) {
    platform::CHttpSession session(kHttpSessionAgent);
    platform::HttpExchange exchange;
    exchange.method = u"GET";
    exchange.url = url;
    exchange.wantRawHeaders = true;
    platform::HttpAnswer answer;
    session.Exchange(exchange, answer);
    const std::u16string& headers = answer.rawHeaders;
    const std::size_t p = headers.find(u"\r\nLocation:");
    if (p == std::u16string::npos) return {};
    std::size_t start = p + 11;
    while (start < headers.size() && headers[start] == u' ') ++start;
    return headers.substr(start, headers.find(u"\r\n", start) - start);
}

class ExternalSignInWinTest : public test::FactorFixture {};

TEST_F(ExternalSignInWinTest, SecondStartOfTheProgramHandsTheRedirectToTheWaitingSignIn) {
    ASSERT_EQ(CountVeloraProcesses(), 0) << "a Velora.exe already runs in this Wine prefix";
    UseTenant(
        u"{\"factors\":{\"idp\":{\"identityProvider\":\"corp-sso\",\"token\":\"ext-win-1\","
        u"\"accountName\":\"carol\"}}}");
    SetSettingText(u"OauthDebugRet", u"");
    ResetLoginThreadExit();

    std::u16string redirect;
    DWORD secondExit = 1234;
    std::thread browser;
    SetBrowserOpenerForTest([&](std::u16string_view url, uint32_t& error) {
        error = 0;
        browser = std::thread([&, url = std::u16string(url)] {
            redirect = LocationOf(url);
            std::wstring commandLine =
                L"\"" + VeloraPath() + L"\" " + std::wstring(redirect.begin(), redirect.end());
            STARTUPINFOW startup{};
            startup.cb = sizeof(startup);
            PROCESS_INFORMATION info{};
            if (!CreateProcessW(VeloraPath().c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                nullptr, &startup, &info)) {
                return;
            }
            CloseHandle(info.hThread);
            if (WaitForSingleObject(info.hProcess, 60000) != WAIT_OBJECT_0)
                TerminateProcess(info.hProcess, 1);
            GetExitCodeProcess(info.hProcess, &secondExit);
            CloseHandle(info.hProcess);
        });
        return true;
    });

    test::CRecordingWindow window;
    SignInContext context;
    context.customerId = u"1234";
    context.authUrl = authUrl_;
    context.notifyWindow = window.Handle();
    std::atomic<bool> done{false};
    std::thread worker([&] {
        externalSignInBrowser(GetInstallationSerial(), u"corp-sso", root_ + u"/api/mobile/v1/auth/idp/param",
                              context);
        done = true;
    });
    const bool ended = window.PumpUntil([&] { return done.load(); }, 90000);
    if (!ended) SignalLoginThreadExit();
    worker.join();
    if (browser.joinable()) browser.join();
    SetBrowserOpenerForTest(nullptr);
    ASSERT_TRUE(ended) << "the redirect never reached the waiting sign-in";

    window.WaitFor(0, 50);
    std::vector<uintptr_t> codes;
    for (const auto& m : window.Take()) codes.push_back(m.wParam);
    EXPECT_EQ(codes, (std::vector<uintptr_t>{4091, 4095, 0}));
    EXPECT_EQ(secondExit, 0u) << "the second start ends at once";
    EXPECT_EQ(redirect.rfind(u"com.halvane://redirect?code=", 0), 0u) << test::U8(redirect);
    EXPECT_EQ(GetSettingText(u"OauthDebugRet", u""), redirect);
    EXPECT_EQ(GetSetting(u"OauthBrowerRet", u""), redirect);
    EXPECT_EQ(context.resultCode, 0) << test::U8(context.message);
    EXPECT_EQ(GetSetting(u"AuthToken", u""), u"ext-win-1");
    EXPECT_EQ(CountVeloraProcesses(), 0);
    SetSettingText(u"OauthDebugRet", u"");
    SetSetting(u"OauthBrowerRet", u"");
}

}  // namespace
}  // namespace velora
