// Service main routine, control handler and the local-server run of the helper service.
#include "win32/ServiceHost.h"

#include <objbase.h>

#include <atomic>
#include <mutex>

#include "logic/ProgramRights.h"
#include "logic/ServiceLog.h"
#include "platform/win32/Handles.h"
#include "win32/ComObjects.h"
#include "win32/ComSecurity.h"
#include "win32/CorvaneIds.h"
#include "win32/EngineMonitor.h"
#include "win32/EventLog.h"
#include "win32/Win32ProcessControl.h"
#include "win32/Win32ServiceStore.h"

namespace corvane::win32 {

namespace {

SERVICE_STATUS gStatus = {SERVICE_WIN32_OWN_PROCESS, SERVICE_STOPPED, SERVICE_ACCEPT_STOP, 0, 0, 0, 0};
SERVICE_STATUS_HANDLE gStatusHandle = nullptr;
std::atomic<bool> gAsService{false};
std::atomic<DWORD> gMainThread{0};
platform::win32::CKernelHandle gMonitorStop;
platform::win32::CKernelHandle gMonitorThread;

void Report() {
    if (gStatusHandle) SetServiceStatus(gStatusHandle, &gStatus);
}

void LogLine(const std::wstring& text) {
    WriteServiceLog(std::u16string(text.begin(), text.end()));
}

// A plain local server stays this long after its last object: the client creates a fresh object for
// every call, so calls in a row find the running process instead of starting one each.
constexpr ULONGLONG kLingerMs = 1000;
// After the class objects were revoked, how long a plain local server stays without objects before it ends.
constexpr ULONGLONG kSettleMs = 1000;

bool LingerOver() {
    return LiveObjects() == 0 && GetTickCount64() - LastObjectActivity() >= kLingerMs;
}

// Steps shared by the service and the plain local server: register, resume, run, revoke.
HRESULT RunServer(bool asService) {
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);  // the quit message needs a queue to land in
    HRESULT hr = RegisterClassObjects();
    if (FAILED(hr)) return hr;
    if (asService && gStatus.dwCurrentState == SERVICE_START_PENDING) {
        gStatus.dwCurrentState = SERVICE_RUNNING;
        ReportToEventLog(L"Service started/resumed");
        Report();
    }
    MarkObjectActivity();
    hr = CoResumeClassObjects();
    if (FAILED(hr)) {
        RevokeClassObjects();
        return hr;
    }
    if (asService) {
        // Only the stop control ends a service.
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    } else {
        for (bool quit = false; !quit;) {
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.message == WM_QUIT) quit = true;
                DispatchMessageW(&msg);
            }
            if (LingerOver()) {
                // New activations go elsewhere from here on; one that got in just before is still served.
                CoSuspendClassObjects();
                if (LiveObjects() == 0) break;
                CoResumeClassObjects();
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        }
    }
    RevokeClassObjects();
    // Where suspension does not hold off activations (Wine), a client may have found the class just before
    // the revocation and create its object a moment later: the server goes on serving until it has been
    // without objects for a settling time (and serves any object until it is released), so such a client
    // is not left with a server that has gone.
    if (!asService) {
        MarkObjectActivity();
        for (int waited = 0;
             waited < 60000 && !(LiveObjects() == 0 && GetTickCount64() - LastObjectActivity() >= kSettleMs);
             waited += 20) {
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        }
    }
    return S_OK;
}

// The engine monitor runs in the service and in the plain local server alike.
void StartMonitor() {
    gMonitorStop.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!gMonitorStop) {
        LogLine(L"Failed to create stop event(" + std::to_wstring(static_cast<long>(GetLastError())) + L")");
    } else {
        gMonitorThread.Reset(CreateThread(nullptr, 0, EngineMonitor, gMonitorStop.Get(), 0, nullptr));
        if (!gMonitorThread)
            LogLine(L"Failed to create monitor thread(" + std::to_wstring(static_cast<long>(GetLastError())) +
                    L")");
    }
}

// How long the stop waits for the monitor: its cycle may be ending an engine (3 s for that to go).
constexpr DWORD kMonitorJoinMs = kEngineEndJoinMs;

void StopMonitor() {
    if (gMonitorThread && gMonitorStop) {
        SetEvent(gMonitorStop.Get());
        if (WaitForSingleObject(gMonitorThread.Get(), kMonitorJoinMs) != WAIT_OBJECT_0) {
            // Still inside a cycle: it will look at its event once more, so the event stays open (the
            // process is about to end anyway); closing it now could hand its number to another object.
            LogLine(L"The engine monitor did not end in time; its stop event is left open");
            gMonitorStop.Release();
        }
        gMonitorThread.Reset();
        gMonitorStop.Reset();
    }
}

void WINAPI ControlHandler(DWORD control) {
    switch (control) {
        case SERVICE_CONTROL_STOP:
            StopMonitor();
            gStatus.dwCurrentState = SERVICE_STOP_PENDING;
            Report();
            PostThreadMessageW(gMainThread, WM_QUIT, 0, 0);
            break;
        case SERVICE_CONTROL_PAUSE:
        case SERVICE_CONTROL_CONTINUE:
        case SERVICE_CONTROL_INTERROGATE:
        case SERVICE_CONTROL_SHUTDOWN:
            break;
        default:
            ReportToEventLog(L"Bad service request");
    }
}

// At start, the service looks whether its folder and its own program could be changed by a user: the
// finding goes to the log at once; each method that would run something refuses then by the same rule.
void CheckOwnFolder() {
    const std::wstring exe = ModulePath();
    const std::size_t slash = exe.rfind(L'\\');
    if (slash == std::wstring::npos) return;
    const std::u16string program(exe.begin(), exe.end());
    if (MayRunAsSystem(ServiceProcesses(), ServiceStore(), u"Service start", program.substr(0, slash),
                       {program}))
        return;
    LogLine(
        L"The service's folder or program can be changed by other accounts: nothing will be run as the "
        L"system account until only the system, administrators and TrustedInstaller may change them");
}

void WINAPI ServiceMain(DWORD, LPWSTR*) {
    MSG queue;
    PeekMessageW(&queue, nullptr, WM_USER, WM_USER, PM_NOREMOVE);  // the stop control posts its quit here
    CheckOwnFolder();
    StartMonitor();
    gStatus.dwCurrentState = SERVICE_START_PENDING;
    gMainThread = GetCurrentThreadId();
    gStatusHandle = RegisterServiceCtrlHandlerW(ServiceName().c_str(), ControlHandler);
    if (!gStatusHandle) {
        ReportToEventLog(L"Handler not installed");
        return;
    }
    Report();
    gStatus.dwWin32ExitCode = 0;
    gStatus.dwCheckPoint = 0;
    gStatus.dwWaitHint = 0;

    HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (FAILED(hr)) return;
    hr = InitializeComSecurity();
    if (SUCCEEDED(hr)) {
        hr = RunServer(true);
    }
    gStatus.dwWin32ExitCode = static_cast<DWORD>(hr);
    CoUninitialize();
    gStatus.dwCurrentState = SERVICE_STOPPED;
    Report();
    ReportToEventLog(L"Service stopped");
}

}  // namespace

const std::wstring& ServiceName() {
    static const std::wstring name = [] {
        wchar_t buffer[256];
        const int n = LoadStringW(GetModuleHandleW(nullptr), kServiceNameStringId, buffer, 256);
        return n > 0 ? std::wstring(buffer, static_cast<std::size_t>(n)) : std::wstring(kServiceNameFallback);
    }();
    return name;
}

std::wstring ModulePath() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    return std::wstring(path, n);
}

bool RunningAsService() {
    return gAsService;
}

int RunProcess() {
    platform::win32::CRegistryKey appIds;
    LSTATUS status = RegOpenKeyExW(HKEY_CLASSES_ROOT, L"AppID", 0, KEY_READ, appIds.Receive());
    if (status != ERROR_SUCCESS) return static_cast<int>(status);
    platform::win32::CRegistryKey appId;
    status = RegOpenKeyExW(appIds.Get(), kAppIdText, 0, KEY_READ, appId.Receive());
    appIds.Reset();
    if (status != ERROR_SUCCESS) return static_cast<int>(status);
    wchar_t value[MAX_PATH] = {};
    DWORD size = sizeof value, type = 0;
    status =
        RegQueryValueExW(appId.Get(), L"LocalService", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    appId.Reset();
    const bool asService = status == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ) &&
                           (size < sizeof(wchar_t) || value[size / sizeof(wchar_t) - 1] == L'\0');
    if (asService) {
        gAsService = true;
        std::wstring name = ServiceName();
        SERVICE_TABLE_ENTRYW table[] = {{name.data(), ServiceMain}, {nullptr, nullptr}};
        if (!StartServiceCtrlDispatcherW(table)) return static_cast<int>(GetLastError());
        return static_cast<int>(gStatus.dwWin32ExitCode);
    }
    gAsService = false;
    HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (FAILED(hr)) return static_cast<int>(hr);
    // A careful peer restricts callers even when it is not the service.
    hr = InitializeComSecurity();
    if (SUCCEEDED(hr)) {
        gMainThread = GetCurrentThreadId();
        StartMonitor();
        hr = RunServer(false);
        StopMonitor();
    }
    CoUninitialize();
    return static_cast<int>(hr);
}

}  // namespace corvane::win32
