// The state of a service from the service manager: connect right on the manager, query-status right on
// the service, and its process status.
#include <windows.h>

#include "platform/Services.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Wide.h"

namespace platform {

ServiceState QueryServiceState(std::u16string_view name) {
    ServiceState result;
    win32::CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) {
        result.failedStep = ServiceQueryStep::kOpenManager;
        result.error = GetLastError();
        return result;
    }
    const std::wstring wide = win32::WideString(name);
    win32::CServiceHandle service(OpenServiceW(manager.Get(), wide.c_str(), SERVICE_QUERY_STATUS));
    if (!service) {
        result.failedStep = ServiceQueryStep::kOpenService;
        result.error = GetLastError();
        return result;
    }
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service.Get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status),
                              sizeof status, &needed)) {
        result.failedStep = ServiceQueryStep::kQueryStatus;
        result.error = GetLastError();
        return result;
    }
    result.currentState = status.dwCurrentState;
    result.state =
        status.dwCurrentState == SERVICE_RUNNING ? ServiceRunState::kRunning : ServiceRunState::kNotRunning;
    return result;
}

}  // namespace platform
