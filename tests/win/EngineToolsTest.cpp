// The stand-ins of the engine's tools as the service runs them: "dispatch.exe" writes its diagnosis
// report to the path it is given, and "nsCtl.exe" prints recognisable lines and ends.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH + 1] = {};
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring s(path, n);
    return s.substr(0, s.find_last_of(L'\\'));
}

// Runs a program hidden, waits at most 10 s, and returns its exit code and standard output.
bool RunHidden(const std::wstring& program, const std::wstring& arguments, DWORD& code, std::string& output) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return false;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    PROCESS_INFORMATION pi{};
    std::wstring line = L"\"" + program + L"\" " + arguments;
    const BOOL started = CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE,
                                        CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi);
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        return false;
    }
    const bool ended = WaitForSingleObject(pi.hProcess, 10000) == WAIT_OBJECT_0;
    if (!ended) TerminateProcess(pi.hProcess, 1);
    GetExitCodeProcess(pi.hProcess, &code);
    char buffer[512];
    DWORD n = 0;
    while (ended && ReadFile(readEnd, buffer, sizeof buffer, &n, nullptr) && n > 0) output.append(buffer, n);
    CloseHandle(readEnd);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return ended;
}

TEST(EngineTools, DispatchWritesItsDiagnosisReportAndEchoesOtherCommands) {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring report =
        std::wstring(temp) + L"velora dispatch " + std::to_wstring(GetCurrentProcessId()) + L".log";
    DeleteFileW(report.c_str());
    DWORD code = 1;
    std::string output;
    ASSERT_TRUE(
        RunHidden(ProgramFolder() + L"\\dispatch.exe", L"diagnose \"" + report + L"\"", code, output));
    EXPECT_EQ(code, 0u);
    HANDLE f = CreateFileW(report.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    char text[256] = {};
    DWORD n = 0;
    ReadFile(f, text, sizeof text - 1, &n, nullptr);
    CloseHandle(f);
    DeleteFileW(report.c_str());
    EXPECT_EQ(std::string(text, n).rfind("dispatch stand-in diagnose report\r\n", 0), 0u);

    output.clear();
    ASSERT_TRUE(
        RunHidden(ProgramFolder() + L"\\dispatch.exe", L"\"set_brenx_pcapEnable/engine=0 1\"", code, output));
    EXPECT_EQ(code, 0u);
    EXPECT_NE(output.find("dispatch stand-in: set_brenx_pcapEnable/engine=0 1"), std::string::npos) << output;
}

TEST(EngineTools, NsCtlPrintsItsLinesAndEnds) {
    DWORD code = 1;
    std::string output;
    ASSERT_TRUE(RunHidden(ProgramFolder() + L"\\nsCtl.exe", L"", code, output));
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(output.rfind("nsCtl stand-in", 0), 0u) << output;
}

}  // namespace
