// The folder of the running program file on Windows: the module path of the executable, cut after its
// last backslash; the same for the module that holds this code. A service's folder comes from its
// registered program path.
#include <windows.h>

#include <vector>

#include "platform/ProgramFolder.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Wide.h"

namespace platform {

namespace {

std::u16string FolderOfModule(HMODULE module) {
    // Long paths: grow the buffer until the path fits (bounded by the longest path Windows allows).
    for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
        std::vector<wchar_t> buffer(size);
        const DWORD n = GetModuleFileNameW(module, buffer.data(), size);
        if (n == 0) return {};
        if (n < size) {
            std::u16string path(reinterpret_cast<const char16_t*>(buffer.data()), n);
            const std::size_t slash = path.find_last_of(u"\\/");
            return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash + 1);
        }
    }
    return {};
}

}  // namespace

std::u16string ProgramFolder() {
    return FolderOfModule(nullptr);
}

std::u16string ModuleFolder() {
    // The module that holds this very function: the library when it is linked into one.
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(reinterpret_cast<const void*>(&ModuleFolder)), &module))
        return {};
    return FolderOfModule(module);
}

std::u16string ServiceProgramFolder(std::u16string_view serviceName) {
    win32::CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return {};
    const std::wstring name = win32::WideString(serviceName);
    win32::CServiceHandle service(OpenServiceW(manager.Get(), name.c_str(), SERVICE_QUERY_CONFIG));
    if (!service) return {};
    DWORD needed = 0;
    QueryServiceConfigW(service.Get(), nullptr, 0, &needed);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0 || needed > 65536) return {};
    std::vector<unsigned char> buffer(needed);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (!QueryServiceConfigW(service.Get(), config, needed, &needed) || !config->lpBinaryPathName) return {};
    // The registered command line: a quoted path, or a bare one, possibly followed by switches.
    std::u16string line(reinterpret_cast<const char16_t*>(config->lpBinaryPathName));
    std::u16string path;
    if (!line.empty() && line.front() == u'"') {
        const std::size_t close = line.find(u'"', 1);
        if (close == std::u16string::npos) return {};
        path = line.substr(1, close - 1);
    } else {
        const std::size_t exe = line.find(u".exe");
        path = exe == std::u16string::npos ? line : line.substr(0, exe + 4);
    }
    const std::size_t slash = path.find_last_of(u"\\/");
    return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash + 1);
}

}  // namespace platform
