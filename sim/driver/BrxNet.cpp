// Stand-in for the packet driver "brxnet": a Win32 service that does nothing but run. The client only asks
// the service manager whether it runs, so running, stopping when told and starting again is all it must
// do. Every step goes to "brxnet.log" beside it. As the driver's own installer would, it registers itself:
//   brxnet.exe /install     create (or point at this file) the automatic-start service, start it, wait until
//                           it runs (at most 15 s); exit code 0 or the failing system error
//   brxnet.exe /uninstall   stop it (at most 15 s) and delete it
// Started without a switch it hands itself to the service manager, which fails from a console.
#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <string>

namespace {

constexpr wchar_t kServiceName[] = L"brxnet";
constexpr wchar_t kDisplayName[] = L"brxnet packet driver (stand-in)";
constexpr DWORD kStateWaitMs = 15000;

class CKernelHandle {
public:
    explicit CKernelHandle(HANDLE h) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
    ~CKernelHandle() {
        if (h_) CloseHandle(h_);
    }
    CKernelHandle(const CKernelHandle&) = delete;
    CKernelHandle& operator=(const CKernelHandle&) = delete;
    HANDLE Get() const { return h_; }

private:
    HANDLE h_;
};

class CServiceHandle {
public:
    explicit CServiceHandle(SC_HANDLE h) : h_(h) {}
    ~CServiceHandle() { Reset(nullptr); }
    CServiceHandle(const CServiceHandle&) = delete;
    CServiceHandle& operator=(const CServiceHandle&) = delete;
    SC_HANDLE Get() const { return h_; }
    void Reset(SC_HANDLE h) {
        if (h_) CloseServiceHandle(h_);
        h_ = h;
    }

private:
    SC_HANDLE h_;
};

std::wstring SelfPath() {
    wchar_t path[MAX_PATH + 1] = {};
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, n);
}

void Log(const char* format, ...) {
    const std::wstring self = SelfPath();
    const std::wstring file = self.substr(0, self.find_last_of(L'\\') + 1) + L"brxnet.log";
    CKernelHandle f(CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f.Get()) return;
    SYSTEMTIME t;
    GetLocalTime(&t);
    char line[512];
    int used = std::snprintf(line, sizeof line, "%02u:%02u:%02u.%03u [%lu] ", t.wHour, t.wMinute, t.wSecond,
                             t.wMilliseconds, GetCurrentProcessId());
    va_list args;
    va_start(args, format);
    const int more = std::vsnprintf(line + used, sizeof line - used - 2, format, args);
    va_end(args);
    if (more > 0) used += std::min(more, static_cast<int>(sizeof line) - used - 3);
    line[used++] = '\r';
    line[used++] = '\n';
    DWORD written = 0;
    WriteFile(f.Get(), line, static_cast<DWORD>(used), &written, nullptr);
}

SERVICE_STATUS_HANDLE g_statusHandle = nullptr;
SERVICE_STATUS g_status = {};
HANDLE g_stopEvent = nullptr;

void Report(DWORD state) {
    g_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    g_status.dwCurrentState = state;
    g_status.dwControlsAccepted =
        state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    g_status.dwWin32ExitCode = NO_ERROR;
    g_status.dwWaitHint = state == SERVICE_RUNNING || state == SERVICE_STOPPED ? 0 : 3000;
    SetServiceStatus(g_statusHandle, &g_status);
}

DWORD WINAPI Control(DWORD control, DWORD, LPVOID, LPVOID) {
    switch (control) {
        case SERVICE_CONTROL_STOP:
        case SERVICE_CONTROL_SHUTDOWN:
            Log("control: stop");
            Report(SERVICE_STOP_PENDING);
            SetEvent(g_stopEvent);
            return NO_ERROR;
        case SERVICE_CONTROL_INTERROGATE:
            return NO_ERROR;
        default:
            return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI ServiceMain(DWORD, LPWSTR*) {
    g_statusHandle = RegisterServiceCtrlHandlerExW(kServiceName, Control, nullptr);
    if (!g_statusHandle) {
        Log("start: control handler not registered (%lu)", GetLastError());
        return;
    }
    Report(SERVICE_START_PENDING);
    CKernelHandle stop(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!stop.Get()) {
        Log("start: no stop event (%lu)", GetLastError());
        Report(SERVICE_STOPPED);
        return;
    }
    g_stopEvent = stop.Get();
    // Logged before the report, so whoever sees the service running finds the line.
    Log("running");
    Report(SERVICE_RUNNING);
    WaitForSingleObject(g_stopEvent, INFINITE);
    Log("stopped");
    Report(SERVICE_STOPPED);
}

// Waits (bounded) until the service reaches `wanted`; false on a time-out or a failed query.
bool WaitForState(SC_HANDLE service, DWORD wanted) {
    for (DWORD waited = 0;; waited += 100) {
        SERVICE_STATUS status = {};
        if (!QueryServiceStatus(service, &status)) return false;
        if (status.dwCurrentState == wanted) return true;
        if (waited >= kStateWaitMs) return false;
        Sleep(100);
    }
}

int Fail(const char* what) {
    const DWORD error = GetLastError();
    std::printf("brxnet: %s failed (%lu)\n", what, error);
    return error ? static_cast<int>(error) : 1;
}

int Install() {
    CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager.Get()) return Fail("OpenSCManager");
    const std::wstring binary = L"\"" + SelfPath() + L"\"";
    CServiceHandle service(OpenServiceW(manager.Get(), kServiceName, SERVICE_ALL_ACCESS));
    if (service.Get()) {
        // Installed before (perhaps from another folder): point it at this file; a running copy keeps
        // running, as a loaded driver would.
        if (!ChangeServiceConfigW(service.Get(), SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                  SERVICE_ERROR_NORMAL, binary.c_str(), nullptr, nullptr, nullptr, nullptr,
                                  nullptr, kDisplayName))
            return Fail("ChangeServiceConfig");
    } else {
        service.Reset(CreateServiceW(manager.Get(), kServiceName, kDisplayName, SERVICE_ALL_ACCESS,
                                     SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                     binary.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
        if (!service.Get()) return Fail("CreateService");
    }
    if (!StartServiceW(service.Get(), 0, nullptr) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING)
        return Fail("StartService");
    if (!WaitForState(service.Get(), SERVICE_RUNNING)) return Fail("waiting until it runs");
    std::printf("brxnet: installed and running (%ls)\n", binary.c_str());
    return 0;
}

int Uninstall() {
    CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager.Get()) return Fail("OpenSCManager");
    CServiceHandle service(OpenServiceW(manager.Get(), kServiceName, SERVICE_ALL_ACCESS));
    if (!service.Get()) {
        if (GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) return 0;
        return Fail("OpenService");
    }
    SERVICE_STATUS status = {};
    if (ControlService(service.Get(), SERVICE_CONTROL_STOP, &status) &&
        !WaitForState(service.Get(), SERVICE_STOPPED))
        return Fail("waiting until it stops");
    if (!DeleteService(service.Get()) && GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE)
        return Fail("DeleteService");
    std::printf("brxnet: removed\n");
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc > 1 && _wcsicmp(argv[1], L"/install") == 0) return Install();
    if (argc > 1 && _wcsicmp(argv[1], L"/uninstall") == 0) return Uninstall();
    SERVICE_TABLE_ENTRYW table[] = {{const_cast<LPWSTR>(kServiceName), ServiceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(table)) {
        const DWORD error = GetLastError();
        std::printf("brxnet: runs under the service manager (or with /install or /uninstall); error %lu\n",
                    error);
        return static_cast<int>(error);
    }
    return 0;
}
