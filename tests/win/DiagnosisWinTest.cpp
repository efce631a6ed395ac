// Also: a run whose ping targets all fail (run by tests/win/diagnosis_unreachable.sh in a network namespace
// of its own), which completes and uploads, the texts of the failed pings written from the table.
// A whole diagnosis run under Wine with the real pieces: Corvane (installed as the service) runs the
// system script and nsCtl.exe, the program folder's dispatch.exe stand-in turns the capture on and off and
// writes the engine's report, the ICMP echo goes to loopback, the bundle goes to the cloud stand-in, and
// the window gets UM_DIAGNOSIS_DONE in its queue.
#include <windows.h>
#include <objbase.h>
#include <iphlpapi.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "core/Settings.h"
#include "core/WindowMessages.h"
#include "diagnosis/Diagnosis.h"
#include "platform/Files.h"
#include "platform/ProfileStore.h"
#include "support/CloudSim.h"
#include "support/CorvaneProcess.h"
#include "support/LogFiles.h"
#include "support/ZipEntries.h"

using namespace velora;
using namespace velora::test;

namespace {

class DiagnosisWin : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        RunCorvane(L"/UnregServerPerUser");
        ASSERT_EQ(RunCorvane(L"/Service"), 0);
        ASSERT_TRUE(sim_.Open());
        ASSERT_TRUE(platform::ClearProfileForTest());
    }
    void TearDown() override {
        platform::ClearProfileForTest();
        EXPECT_EQ(RunCorvane(L"/UnregServer"), 0);
        WaitUntilCorvaneEnds(10000);
        CoUninitialize();
    }

    CLogCapture log_;
    CCloudSimAccess sim_;
    CScratchFolder scratch_;
};

TEST_F(DiagnosisWin, WholeRunWithTheServiceAndTheEngineTools) {
    const std::u16string tenant = sim_.Tenant(u"diagwin", u"{\"orch\":{\"tokens\":[\"tok-1\"]}}");
    SetSetting(u"AuthUrl", sim_.TenantUrl("http", tenant) + u"/api/mobile/v2/auth");
    SetSetting(u"AuthToken", u"tok-1");
    SetSetting(u"CustomerId", u"acme");
    SetSettingText(u"DiagnosisPingTargets", u"127.0.0.1,localhost");

    // The service accepts output paths under the user's temporary folder.
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::filesystem::path out = std::filesystem::path(temp) / "velora-diagrun";
    std::error_code ec;
    std::filesystem::remove_all(out, ec);
    std::filesystem::create_directories(out);

    HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    DiagnosisRequest request;
    request.collect = 1;
    request.notifyWindow = window;
    request.mainWindow = [] { return DiagnosisConnection{true, NATIVE}; };
    request.folders.diagnosis = out.u16string();
    const std::wstring bin = BinFolder();
    request.folders.program = std::u16string(bin.begin(), bin.end());
    request.toolTimeoutMs = 60000;
    RunDiagnosis(request);

    MSG message{};
    ASSERT_TRUE(PeekMessageW(&message, window, UM_DIAGNOSIS_DONE, UM_DIAGNOSIS_DONE, PM_REMOVE));
    EXPECT_EQ(message.wParam, 17u) << "loopback answered, the upload request was accepted";
    EXPECT_EQ(GetSettingInt(u"DiagnosisResult", -5), 0);
    DestroyWindow(window);

    std::string zip;
    ASSERT_TRUE(platform::ReadWholeFile((out / "windows_diagnosis.zip").u16string(), zip));
    std::vector<ZipEntry> entries;
    ASSERT_TRUE(ReadZipEntries(zip, entries));
    std::map<std::string, std::string> byName;
    std::vector<std::string> names;
    for (const ZipEntry& entry : entries) {
        EXPECT_TRUE(entry.crcMatches) << entry.name;
        byName[entry.name] = entry.data;
        names.push_back(entry.name);
    }
    const std::vector<std::string> first = {"diagnosis/device.log", "diagnosis/connection.log",
                                            "diagnosis/network.log"};
    ASSERT_GE(names.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 3), first);
    EXPECT_EQ(names.back(), "diagnosis/ui.log");
    EXPECT_EQ(byName["diagnosis/device.log"].rfind("diagnosis stand-in", 0), 0u)
        << byName["diagnosis/device.log"];
    EXPECT_EQ(byName["diagnosis/dispatch.log"].rfind("dispatch stand-in diagnose report", 0), 0u);
    EXPECT_NE(byName["diagnosis/dispatch.log"].find(
                  "\n---------share_wan_if---------\nFailed to get ifIndex error code="),
              std::string::npos)
        << byName["diagnosis/dispatch.log"];
    EXPECT_NE(byName["diagnosis/nsctl.log"].find("nsCtl stand-in"), std::string::npos);
    // Real ICMP to loopback: three replies per target.
    const std::u16string network = FromUtf16Le(byName["diagnosis/network.log"], 4);
    std::size_t replies = 0;
    for (std::size_t at = 0;
         (at = network.find(u"Reply from 127.0.0.1: bytes=32 time=", at)) != std::u16string::npos; ++at)
        ++replies;
    EXPECT_EQ(replies, 6u);
    // The loose files are gone, the bundle stays.
    for (const char* name :
         {"device.log", "connection.log", "network.log", "dispatch.log", "nsctl.log", "ui.log"})
        EXPECT_FALSE(std::filesystem::exists(out / name)) << name;
    std::filesystem::remove_all(out, ec);
}

// A tool that does not end: the run waits only up to its bound, says so in the log and leaves the tool
// running (this test then ends the one it started, by its process id).
TEST(DiagnosisWinTool, ToolThatDoesNotEndIsWaitedForOnlyUpToTheBound) {
    CLogCapture log;
    const std::wstring bin = BinFolder();
    const ULONGLONG start = GetTickCount64();
    RunToolAndWait(std::u16string(bin.begin(), bin.end()) + u"linger.exe",
                   std::u16string(bin.begin(), bin.end()), u"", 1500);
    const ULONGLONG waited = GetTickCount64() - start;
    EXPECT_GE(waited, 1400u);
    EXPECT_LT(waited, 30000u);
    EXPECT_NE(log.Text().find("linger.exe has not ended within 1 seconds"), std::string::npos) << log.Text();

    int ended = 0;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    ASSERT_NE(snap, INVALID_HANDLE_VALUE);
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL ok = Process32FirstW(snap, &entry); ok; ok = Process32NextW(snap, &entry)) {
        if (_wcsicmp(entry.szExeFile, L"linger.exe") != 0 ||
            entry.th32ParentProcessID != GetCurrentProcessId())
            continue;
        if (HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID)) {
            TerminateProcess(process, 1);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
            ++ended;
        }
    }
    CloseHandle(snap);
    EXPECT_EQ(ended, 1) << "the tool was still running, left alone by the run";
}

// True when every IPv4 address of the machine is a loopback one: the pings below can reach nothing.
bool OnlyLoopback() {
    ULONG size = 0;
    if (GetIpAddrTable(nullptr, &size, FALSE) != ERROR_INSUFFICIENT_BUFFER) return false;
    std::vector<unsigned char> buffer(size);
    auto* table = reinterpret_cast<MIB_IPADDRTABLE*>(buffer.data());
    if (GetIpAddrTable(table, &size, FALSE) != NO_ERROR) return false;
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        if ((table->table[i].dwAddr & 0xFFu) != 127u) return false;
    }
    return true;
}

// Every ping target fails: 192.0.2.1 is routed into loopback, where nothing answers (the echo times out),
// 198.51.100.7 has no route, and the name does not resolve. The failed pings' texts come from the table
// (IP Helper's GetIpErrorString is a stub under Wine that would end this process), the run goes on to the
// bundle and the upload, and the window hears "not reachable, upload accepted". Disabled in the ordinary
// run, which shares the machine's network: the script runs it inside a namespace with loopback only, and
// the test refuses any other network.
TEST(DiagnosisWinUnreachable, DISABLED_EveryTargetFailsTheRunCompletesAndUploads) {
    const bool inNamespace = GetEnvironmentVariableW(L"VELORA_PRIVATE_NETWORK", nullptr, 0) != 0;
    if (!OnlyLoopback()) {
        ASSERT_FALSE(inNamespace) << "the namespace has addresses beyond loopback";
        GTEST_SKIP() << "only in a network namespace with loopback alone";
    }
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    CLogCapture log;
    CCloudSimAccess sim;
    ASSERT_TRUE(sim.Open());
    ASSERT_TRUE(platform::ClearProfileForTest());
    const std::u16string tenant = sim.Tenant(u"diagnone", u"{\"orch\":{\"tokens\":[\"tok-1\"]}}");
    SetSetting(u"AuthUrl", sim.TenantUrl("http", tenant) + u"/api/mobile/v2/auth");
    SetSetting(u"AuthToken", u"tok-1");
    SetSetting(u"CustomerId", u"acme");
    SetSettingText(u"DiagnosisPingTargets", u"192.0.2.1,198.51.100.7,no-such-host.invalid");

    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::filesystem::path out = std::filesystem::path(temp) / "velora-diagnone";
    std::error_code ec;
    std::filesystem::remove_all(out, ec);
    std::filesystem::create_directories(out);
    HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    DiagnosisRequest request;
    request.collect = 1;
    request.notifyWindow = window;
    request.mainWindow = [] { return DiagnosisConnection{false, NATIVE}; };
    request.folders.diagnosis = out.u16string();
    const std::wstring bin = BinFolder();
    request.folders.program = std::u16string(bin.begin(), bin.end());
    request.toolTimeoutMs = 60000;
    RunDiagnosis(request);

    MSG message{};
    ASSERT_TRUE(PeekMessageW(&message, window, UM_DIAGNOSIS_DONE, UM_DIAGNOSIS_DONE, PM_REMOVE));
    EXPECT_EQ(message.wParam, 16u) << "nothing answered, the upload request was accepted";
    DestroyWindow(window);
    EXPECT_EQ(GetSettingInt(u"DiagnosisResult", -5), 0) << "the bundle was uploaded";
    EXPECT_EQ(sim.Last(u"/t/" + tenant + u"/api/mobile/v2/log/url", u"count"), "1");
    EXPECT_NE(log.Text().find("Testing network reachability"), std::string::npos) << log.Text();

    std::string zip;
    ASSERT_TRUE(platform::ReadWholeFile((out / "windows_diagnosis.zip").u16string(), zip));
    std::vector<ZipEntry> entries;
    ASSERT_TRUE(ReadZipEntries(zip, entries));
    std::u16string network;
    for (const ZipEntry& entry : entries) {
        if (entry.name == "diagnosis/network.log") network = FromUtf16Le(entry.data, 4);
    }
    const std::string shown = platform::Utf16ToUtf8(network);
    EXPECT_NE(network.find(u"Pinging 192.0.2.1 with 32 bytes of data:\nRequest timed out.\n"),
              std::u16string::npos)
        << shown;
    EXPECT_NE(network.find(u"Pinging 198.51.100.7 with 32 bytes of data:\n"), std::u16string::npos) << shown;
    EXPECT_NE(network.find(u"Can not resolve domain no-such-host.invalid\n"), std::u16string::npos) << shown;
    EXPECT_EQ(network.find(u"Reply from"), std::u16string::npos) << shown;
    platform::ClearProfileForTest();
    std::filesystem::remove_all(out, ec);
    CoUninitialize();
}

}  // namespace
