// The product as scripts/install-wine.sh lays it into the Wine prefix these tests run in: where it lies,
// the service manager's view of its services, the processes of an image, and the files beside it.
#pragma once
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/win32/Handles.h"

namespace velora::test {

using platform::win32::CKernelHandle;
using platform::win32::CServiceHandle;

inline const std::filesystem::path kProgramFolder = L"C:\\Program Files\\Velora2";

inline std::string ReadAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// True once `text` appears in the file, polled for at most `ms`.
inline bool WaitForText(const std::filesystem::path& file, const std::string& text, DWORD ms) {
    for (DWORD waited = 0;; waited += 100) {
        if (ReadAll(file).find(text) != std::string::npos) return true;
        if (waited >= ms) return false;
        Sleep(100);
    }
}

inline int CountProcesses(const wchar_t* image) {
    CKernelHandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snap) return -1;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL ok = Process32FirstW(snap.Get(), &entry); ok; ok = Process32NextW(snap.Get(), &entry))
        if (_wcsicmp(entry.szExeFile, image) == 0) ++count;
    return count;
}

inline bool WaitForCount(const wchar_t* image, int count, DWORD ms) {
    for (DWORD waited = 0;; waited += 100) {
        if (CountProcesses(image) == count) return true;
        if (waited >= ms) return false;
        Sleep(100);
    }
}

inline CServiceHandle OpenInstalledService(const wchar_t* name, DWORD access) {
    CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return CServiceHandle();
    return CServiceHandle(OpenServiceW(manager.Get(), name, access));
}

// The service's current state (SERVICE_RUNNING, ...), or 0 when it cannot be read.
inline DWORD ServiceState(const wchar_t* name) {
    CServiceHandle service = OpenInstalledService(name, SERVICE_QUERY_STATUS);
    SERVICE_STATUS status = {};
    if (!service || !QueryServiceStatus(service.Get(), &status)) return 0;
    return status.dwCurrentState;
}

inline bool WaitForServiceState(const wchar_t* name, DWORD wanted, DWORD ms) {
    for (DWORD waited = 0;; waited += 100) {
        if (ServiceState(name) == wanted) return true;
        if (waited >= ms) return false;
        Sleep(100);
    }
}

// Stop or start through the service manager, waiting (bounded) for the state that follows.
inline bool StopService(const wchar_t* name) {
    CServiceHandle service = OpenInstalledService(name, SERVICE_STOP | SERVICE_QUERY_STATUS);
    SERVICE_STATUS status = {};
    if (!service) return false;
    if (!ControlService(service.Get(), SERVICE_CONTROL_STOP, &status) &&
        GetLastError() != ERROR_SERVICE_NOT_ACTIVE)
        return false;
    return WaitForServiceState(name, SERVICE_STOPPED, 15000);
}

inline bool StartService(const wchar_t* name) {
    CServiceHandle service = OpenInstalledService(name, SERVICE_START | SERVICE_QUERY_STATUS);
    if (!service) return false;
    if (!StartServiceW(service.Get(), 0, nullptr) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING)
        return false;
    return WaitForServiceState(name, SERVICE_RUNNING, 15000);
}

}  // namespace velora::test
