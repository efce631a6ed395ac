// Corvane's engine lifecycle and children under Wine, for real: the service (registered with "Service"
// and started by COM activation) starts the engine stand-in from its own folder with the real command
// line, stops it, ends an engine that runs without a client, and runs the stand-in scripts and nsCtl.exe
// beside it; the bounded waits run against linger.exe through the Win32 process control directly.
#include <windows.h>
#include <objbase.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "logic/Diagnostics.h"
#include "logic/FileServiceStore.h"
#include "platform/HelperService.h"
#include "support/CorvaneProcess.h"
#include "win32/Win32ProcessControl.h"

using namespace velora::test;

namespace {

std::string ReadAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

int CountProcesses(const wchar_t* image) {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return -1;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL ok = Process32FirstW(snap, &entry); ok; ok = Process32NextW(snap, &entry))
        if (_wcsicmp(entry.szExeFile, image) == 0) ++count;
    CloseHandle(snap);
    return count;
}

bool WaitForCount(const wchar_t* image, int count, DWORD ms) {
    for (DWORD waited = 0; waited < ms; waited += 100) {
        if (CountProcesses(image) == count) return true;
        Sleep(100);
    }
    return CountProcesses(image) == count;
}

std::filesystem::path Bin() {
    return std::filesystem::path(BinFolder());
}

std::u16string U16(const std::wstring& text) {
    return std::u16string(text.begin(), text.end());
}

// The service installed and running for each test, removed afterwards with no engine left behind.
class CorvaneEngineWin : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        RunCorvane(L"/UnregServerPerUser");
        ASSERT_EQ(RunCorvane(L"/Service"), 0);
        std::error_code ec;
        std::filesystem::remove(Bin() / "ferronwin.log", ec);
        ASSERT_EQ(platform::HelperSaveOrchConfigToFile(u"127.0.0.1", 1, 2, 3, u"tok-1", u"SN42", u"").code,
                  S_OK);
    }
    void TearDown() override {
        std::optional<std::u16string> msg;
        platform::HelperStopDataPath(msg);
        EXPECT_EQ(RunCorvane(L"/UnregServer"), 0);
        WaitUntilCorvaneEnds(10000);
        CoUninitialize();
    }
};

TEST_F(CorvaneEngineWin, ServiceStartsTheEngineBesideItWithItsCommandLineAndStopsIt) {
    int32_t isErr = 5, ics = 5;
    std::optional<std::u16string> msg;
    const platform::HelperStatus started =
        platform::HelperStartDataPath(u"orch.test", 0, isErr, 1033, msg, ics);
    ASSERT_EQ(started.code, S_OK);
    EXPECT_EQ(isErr, 1);
    EXPECT_EQ(ics, 0);
    EXPECT_FALSE(msg.has_value());
    ASSERT_TRUE(WaitForCount(L"ferronwin.exe", 1, 10000));
    for (int i = 0; i < 50 && ReadAll(Bin() / "ferronwin.log").find("start: serial") == std::string::npos;
         ++i)
        Sleep(100);
    EXPECT_NE(ReadAll(Bin() / "ferronwin.log").find("start: command line [ -T tok-1 -S SN42 -d orch.test]"),
              std::string::npos)
        << ReadAll(Bin() / "ferronwin.log");

    // A second start replaces the running engine at once.
    ASSERT_EQ(platform::HelperStartDataPath(u"", 0, isErr, 1033, msg, ics).code, S_OK);
    ASSERT_TRUE(WaitForCount(L"ferronwin.exe", 1, 10000));

    EXPECT_EQ(platform::HelperStopDataPath(msg).code, S_OK);
    EXPECT_TRUE(WaitForCount(L"ferronwin.exe", 0, 5000));
    EXPECT_EQ(platform::HelperStopDataPath(msg).code, static_cast<HRESULT>(0x80090011));
    EXPECT_EQ(msg, u"Data path process has stopped");
}

TEST_F(CorvaneEngineWin, MonitorEndsAnEngineThatRunsWithoutAClient) {
    // The service's engine ends within two monitor cycles; a copy of the same program that the service
    // did not start, from the very same folder, is not the engine and is left alone.
    std::wstring line = L"\"" + BinFolder() + L"ferronwin.exe\" -T tok-1 -S SN42";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                               BinFolder().c_str(), &si, &pi));
    CloseHandle(pi.hThread);
    int32_t isErr = 0, ics = 0;
    std::optional<std::u16string> msg;
    ASSERT_EQ(platform::HelperStartDataPath(u"", 0, isErr, 1033, msg, ics).code, S_OK);
    ASSERT_TRUE(WaitForCount(L"ferronwin.exe", 2, 10000));
    const bool ended = WaitForCount(L"ferronwin.exe", 1, 25000);
    const bool copyRuns = WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT;
    TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hProcess);
    EXPECT_TRUE(ended) << "the service's engine ended within two monitor cycles";
    EXPECT_TRUE(copyRuns) << "the copy the service did not start was left alone";
    // The line follows the engine's end.
    bool logged = false;
    for (int i = 0; i < 50 && !logged; ++i) {
        logged =
            ReadAll(Bin() / "service.log").find("Find DP but not find UI, DP stopped") != std::string::npos;
        if (!logged) Sleep(100);
    }
    EXPECT_TRUE(logged);
}

TEST_F(CorvaneEngineWin, ScriptsAndToolRunFromTheServicesFolderIntoTheCallersFile) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::filesystem::path out = std::filesystem::path(temp) / "velora-diag";
    std::filesystem::create_directories(out);
    std::error_code ec;
    std::filesystem::remove(out / "device.log", ec);
    std::filesystem::remove(out / "nsctl.log", ec);
    std::filesystem::remove(Bin() / "fixservice.done", ec);

    const std::wstring client =
        L"cmd.exe /C \"\"" + BinFolder() + L"diagnosis.bat\" \"" + (out / "device.log").wstring() + L"\"\"";
    EXPECT_EQ(platform::HelperGetSystemInfo(u"", U16(client)).code, S_OK);
    EXPECT_EQ(ReadAll(out / "device.log").rfind("diagnosis stand-in", 0), 0u) << ReadAll(out / "device.log");

    EXPECT_EQ(
        platform::HelperProduceNsCtlLog(U16(BinFolder() + L"nsCtl.exe"), U16((out / "nsctl.log").wstring()))
            .code,
        S_OK);
    const std::string captured = ReadAll(out / "nsctl.log");
    EXPECT_NE(captured.find("nsCtl stand-in"), std::string::npos) << captured;
    EXPECT_EQ(captured.find("\r\r"), std::string::npos) << "no carriage return reaches the file unchanged";

    EXPECT_EQ(platform::HelperFixErrAuto(711).code, S_OK);
    EXPECT_EQ(ReadAll(Bin() / "fixservice.done").rfind("fixservice ran", 0), 0u);
    EXPECT_EQ(platform::HelperFixErrAuto(720).code, S_OK);

    // The probes of the refusal list: nothing runs, nothing is written.
    const std::wstring refused[] = {
        L"cmd.exe /C calc.exe",
        L"cmd.exe /C \"\"" + BinFolder() + L"diagnosis.bat\" \"" + (out / "device.log").wstring() +
            L"\" & calc\"",
        L"cmd.exe /C \"\"" + BinFolder() + L"diagnosis.bat\" \"\\\\127.0.0.1\\c$\\device.log\"\"",
        L"cmd.exe /C \"\"" + BinFolder() + L"diagnosis.bat\" \"" + (out / ".." / "device.log").wstring() +
            L"\"\"",
    };
    for (const auto& line : refused)
        EXPECT_EQ(platform::HelperGetSystemInfo(u"", U16(line)).code, E_ACCESSDENIED);
    EXPECT_EQ(
        platform::HelperProduceNsCtlLog(u"C:\\windows\\system32\\cmd.exe", U16((out / "nsctl.log").wstring()))
            .code,
        E_ACCESSDENIED);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(temp) / "device.log"));
    EXPECT_NE(ReadAll(Bin() / "service.log").find("GetSystemInfo refused"), std::string::npos);
}

// A script that hangs is ended at the limit together with what it started, and the call times out.
TEST(CorvaneEngineWinDirect, HungScriptIsEndedAtTheLimit) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::filesystem::path folder = std::filesystem::path(temp) / "velora-hang";
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(Bin() / "linger.exe", folder / "linger.exe",
                               std::filesystem::copy_options::overwrite_existing);
    std::ofstream(folder / "fix692.bat", std::ios::binary) << "@echo off\r\n\"%~dp0linger.exe\"\r\n";
    corvane::CFileServiceStore store(folder);
    corvane::DiagnosisLimits limits;
    limits.repairMs = 2000;
    limits.toolMs = 2000;
    corvane::CDiagnostics diagnostics(store, corvane::win32::ServiceProcesses(), limits);
    const int before = CountProcesses(L"linger.exe");
    EXPECT_EQ(diagnostics.FixErrAuto(692), corvane::kTimeoutResult);
    EXPECT_TRUE(WaitForCount(L"linger.exe", before, 5000)) << "the script's own child was ended with it";
}

// What a script leaves running when it ends goes with its job (the job ends its processes when closed).
TEST(CorvaneEngineWinDirect, WhatAScriptLeavesRunningEndsWithIt) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::filesystem::path folder = std::filesystem::path(temp) / "velora-leftover";
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(Bin() / "linger.exe", folder / "linger.exe",
                               std::filesystem::copy_options::overwrite_existing);
    std::ofstream(folder / "fix692.bat", std::ios::binary)
        << "@echo off\r\nstart \"\" \"%~dp0linger.exe\"\r\n";
    corvane::CFileServiceStore store(folder);
    corvane::CDiagnostics diagnostics(store, corvane::win32::ServiceProcesses());
    const int before = CountProcesses(L"linger.exe");
    EXPECT_EQ(diagnostics.FixErrAuto(692), S_OK);
    EXPECT_TRUE(WaitForCount(L"linger.exe", before, 5000)) << "the script's leftover was ended with its job";
}

// The tool's output is read with bounded waits (a tool that holds it open does not block the read), and
// ending the tool ends its job.
TEST(CorvaneEngineWinDirect, ToolOutputReadsAreBoundedAndTheToolRunsInAJob) {
    auto& processes = corvane::win32::ServiceProcesses();
    std::unique_ptr<corvane::CRunningProcess> child;
    std::unique_ptr<corvane::CChildOutput> output;
    bool pipeFailed = false;
    const int before = CountProcesses(L"linger.exe");
    const std::wstring linger = (Bin() / "linger.exe").wstring();
    ASSERT_EQ(processes.StartCapturing(U16(linger), U16(L"\"" + linger + L"\""), child, output, pipeFailed),
              0u);
    char buffer[4095];
    std::size_t got = 0;
    std::string said;
    corvane::OutputRead read = corvane::OutputRead::Data;
    for (int i = 0; i < 40 && read != corvane::OutputRead::TimedOut; ++i) {
        read = output->Read(buffer, sizeof buffer, 250, got);
        if (read == corvane::OutputRead::Data) said.append(buffer, got);
        ASSERT_NE(read, corvane::OutputRead::Closed);
    }
    EXPECT_EQ(read, corvane::OutputRead::TimedOut) << "the output stays open while linger runs";
    EXPECT_NE(said.find("linger stand-in"), std::string::npos) << said;
    EXPECT_EQ(child->Terminate(0), 0u);
    for (int i = 0; i < 40 && read != corvane::OutputRead::Closed; ++i)
        read = output->Read(buffer, sizeof buffer, 250, got);
    EXPECT_EQ(read, corvane::OutputRead::Closed) << "ending the job closed the output";
    child.reset();
    output.reset();
    EXPECT_TRUE(WaitForCount(L"linger.exe", before, 5000));
}

}  // namespace
