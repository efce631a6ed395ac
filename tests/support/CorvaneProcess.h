// Windows tests of Corvane: where Corvane.exe lies (beside the test program), running it with a switch,
// and waiting until no Corvane process is left.
#pragma once
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <string>

namespace velora::test {

inline std::wstring BinFolder() {
    wchar_t self[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring path(self, n);
    return path.substr(0, path.rfind(L'\\') + 1);
}

inline std::wstring CorvanePath() {
    return BinFolder() + L"Corvane.exe";
}

// Runs Corvane.exe with one switch; its process result, or -1 when it did not end within a minute.
inline long RunCorvane(const wchar_t* option) {
    std::wstring line = L"\"" + CorvanePath() + L"\" " + option;
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        // Said with the system's reason, so a failed start is told apart from a failed registration.
        std::fprintf(stderr, "RunCorvane: CreateProcessW failed with %lu\n", GetLastError());
        return -2;
    }
    long result = -1;
    if (WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0) {
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        result = static_cast<long>(code);
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return result;
}

inline bool CorvaneRunning() {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return false;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL ok = Process32FirstW(snap, &entry); ok; ok = Process32NextW(snap, &entry))
        if (_wcsicmp(entry.szExeFile, L"Corvane.exe") == 0) found = true;
    CloseHandle(snap);
    return found;
}

inline bool WaitUntilCorvaneEnds(DWORD ms) {
    for (DWORD waited = 0; waited < ms; waited += 100) {
        if (!CorvaneRunning()) return true;
        Sleep(100);
    }
    return !CorvaneRunning();
}

}  // namespace velora::test
