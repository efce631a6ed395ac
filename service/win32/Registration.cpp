// Registry entries and service installation of the helper service.
#include "win32/Registration.h"

#include <oleauto.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "Corvane_h.h"
#include "platform/win32/Handles.h"
#include "win32/ComSecurity.h"
#include "win32/CorvaneIds.h"
#include "win32/EventLog.h"
#include "win32/ServiceHost.h"

// Exported by oleaut32 but missing from the toolchain's headers.
extern "C" {
HRESULT WINAPI RegisterTypeLibForUser(ITypeLib* library, OLECHAR* path, OLECHAR* helpDir);
HRESULT WINAPI UnRegisterTypeLibForUser(REFGUID libId, WORD major, WORD minor, LCID lcid, SYSKIND kind);
}

namespace corvane::win32 {

namespace {

using CKey = platform::win32::CRegistryKey;
using platform::win32::CServiceHandle;

HRESULT FromStatus(LSTATUS status) {
    return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(status);
}

LSTATUS SetText(HKEY key, const wchar_t* name, const std::wstring& value) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

LSTATUS CreateWithDefault(HKEY parent, const std::wstring& path, const std::wstring& value) {
    CKey key;
    LSTATUS s =
        RegCreateKeyExW(parent, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.Receive(), nullptr);
    if (s == ERROR_SUCCESS) s = SetText(key.Get(), nullptr, value);
    return s;
}

HRESULT OpenClassesRoot(RegistrationScope scope, CKey& root) {
    if (scope == RegistrationScope::Machine)
        return FromStatus(RegOpenKeyExW(HKEY_CLASSES_ROOT, nullptr, 0, KEY_READ | KEY_WRITE, root.Receive()));
    return FromStatus(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, 0,
                                      KEY_READ | KEY_WRITE, nullptr, root.Receive(), nullptr));
}

HRESULT RegisterClass(HKEY root, const ClassIdentity& id, const std::wstring& exe) {
    const std::wstring clsid(id.clsidText);
    LSTATUS s = CreateWithDefault(root, id.progId, id.progIdDescription);
    if (s == ERROR_SUCCESS) s = CreateWithDefault(root, std::wstring(id.progId) + L"\\CLSID", clsid);
    if (s == ERROR_SUCCESS) s = CreateWithDefault(root, id.versionIndependentProgId, id.progIdDescription);
    if (s == ERROR_SUCCESS)
        s = CreateWithDefault(root, std::wstring(id.versionIndependentProgId) + L"\\CLSID", clsid);
    if (s == ERROR_SUCCESS)
        s = CreateWithDefault(root, std::wstring(id.versionIndependentProgId) + L"\\CurVer", id.progId);
    if (s != ERROR_SUCCESS) return FromStatus(s);

    const std::wstring key = L"CLSID\\" + clsid;
    RegDeleteTreeW(root, key.c_str());  // replaced as a whole
    s = CreateWithDefault(root, key, id.clsidDescription);
    if (s == ERROR_SUCCESS) s = CreateWithDefault(root, key + L"\\Programmable", L"");
    if (s == ERROR_SUCCESS) s = CreateWithDefault(root, key + L"\\LocalServer32", L"\"" + exe + L"\"");
    if (s == ERROR_SUCCESS) s = CreateWithDefault(root, key + L"\\TypeLib", kLibIdText);
    if (s == ERROR_SUCCESS) s = CreateWithDefault(root, key + L"\\Version", L"1.0");
    if (s != ERROR_SUCCESS) return FromStatus(s);
    {
        CKey server;
        s = RegOpenKeyExW(root, (key + L"\\LocalServer32").c_str(), 0, KEY_WRITE, server.Receive());
        if (s == ERROR_SUCCESS) s = SetText(server.Get(), L"ServerExecutable", exe);
    }
    if (s == ERROR_SUCCESS) {
        CKey classKey;
        s = RegOpenKeyExW(root, key.c_str(), 0, KEY_WRITE, classKey.Receive());
        if (s == ERROR_SUCCESS) s = SetText(classKey.Get(), L"AppID", kAppIdText);
    }
    return FromStatus(s);
}

void UnregisterClass(HKEY root, const ClassIdentity& id) {
    RegDeleteTreeW(root, id.progId);
    RegDeleteTreeW(root, id.versionIndependentProgId);
    RegDeleteTreeW(root, (std::wstring(L"CLSID\\") + id.clsidText).c_str());
}

HRESULT RegisterTypeLibrary(RegistrationScope scope, const std::wstring& exe) {
    platform::win32::CComPtr<ITypeLib> library;
    const HRESULT hr = LoadTypeLibEx(exe.c_str(), REGKIND_NONE, library.Receive());
    if (FAILED(hr)) return hr;
    std::wstring path = exe;
    return scope == RegistrationScope::Machine ? RegisterTypeLib(library.Get(), path.data(), nullptr)
                                               : RegisterTypeLibForUser(library.Get(), path.data(), nullptr);
}

HRESULT UnregisterTypeLibrary(RegistrationScope scope) {
    // Nothing registered is what unregistration wants (the system call fails on a missing library).
    const std::wstring key = std::wstring(L"TypeLib\\") + kLibIdText + L"\\1.0";
    CKey probe;
    const LSTATUS s = scope == RegistrationScope::Machine
                          ? RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, probe.Receive())
                          : RegOpenKeyExW(HKEY_CURRENT_USER, (L"Software\\Classes\\" + key).c_str(), 0,
                                          KEY_READ, probe.Receive());
    if (s != ERROR_SUCCESS) return S_OK;
    probe.Reset();
    return scope == RegistrationScope::Machine
               ? UnRegisterTypeLib(LIBID_CorvaneLib, 1, 0, LOCALE_NEUTRAL, SYS_WIN64)
               : UnRegisterTypeLibForUser(LIBID_CorvaneLib, 1, 0, LOCALE_NEUTRAL, SYS_WIN64);
}

bool ServiceExists() {
    CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return false;
    CServiceHandle service(OpenServiceW(manager.Get(), ServiceName().c_str(), SERVICE_QUERY_STATUS));
    return static_cast<bool>(service);
}

// How long a registration waits for a stopping service to stop, and for a deleted one to go away.
constexpr DWORD kServiceSettleMs = 15000;
constexpr DWORD kServicePollMs = 100;

// A service that is still starting cannot take the stop control yet: it gets it once it runs.
void WaitUntilStopped(SC_HANDLE service) {
    for (DWORD waited = 0; waited < kServiceSettleMs; waited += kServicePollMs) {
        SERVICE_STATUS status = {};
        if (!QueryServiceStatus(service, &status) || status.dwCurrentState == SERVICE_STOPPED) return;
        if (status.dwCurrentState == SERVICE_RUNNING) ControlService(service, SERVICE_CONTROL_STOP, &status);
        Sleep(kServicePollMs);
    }
}

void WaitUntilRemoved() {
    for (DWORD waited = 0; waited < kServiceSettleMs && ServiceExists(); waited += kServicePollMs)
        Sleep(kServicePollMs);
}

bool UninstallService() {
    if (!ServiceExists()) return true;
    CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) {
        ShowRegistrationProblem(L"Could not open Service Manager");
        return false;
    }
    CServiceHandle service(
        OpenServiceW(manager.Get(), ServiceName().c_str(), SERVICE_STOP | DELETE | SERVICE_QUERY_STATUS));
    if (!service) {
        ShowRegistrationProblem(L"Could not open service");
        return false;
    }
    SERVICE_STATUS status = {};
    if (!ControlService(service.Get(), SERVICE_CONTROL_STOP, &status)) {
        const DWORD error = GetLastError();
        const bool pending =
            error == ERROR_SERVICE_CANNOT_ACCEPT_CTRL &&
            (status.dwCurrentState == SERVICE_STOP_PENDING || status.dwCurrentState == SERVICE_START_PENDING);
        if (error != ERROR_SERVICE_NOT_ACTIVE && !pending) ShowRegistrationProblem(L"Could not stop service");
    }
    // A service deleted while its process still runs is only marked for deletion: the installation that
    // follows would find it, keep it, and lose it when the process ends (or fail to configure it). So the
    // stop is awaited before the deletion, and the deletion before anything is installed again (both
    // bounded).
    WaitUntilStopped(service.Get());
    if (!DeleteService(service.Get())) {
        ShowRegistrationProblem(L"Could not delete service");
        return false;
    }
    service.Reset();
    manager.Reset();
    WaitUntilRemoved();
    return true;
}

bool InstallService(const std::wstring& exe) {
    if (ServiceExists()) return true;
    const std::wstring quoted = L"\"" + exe + L"\"";
    CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) {
        ShowRegistrationProblem(L"Could not open Service Manager");
        return false;
    }
    CServiceHandle service(CreateServiceW(manager.Get(), ServiceName().c_str(), ServiceName().c_str(),
                                          SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                          SERVICE_ERROR_NORMAL, quoted.c_str(), nullptr, nullptr, L"RPCSS\0",
                                          nullptr, nullptr));
    if (!service) {
        ShowRegistrationProblem(L"Could not start service");
        return false;
    }
    return true;
}

HRESULT OpenAppIdKey(CKey& key, bool create) {
    CKey appIds;
    LSTATUS s = RegOpenKeyExW(HKEY_CLASSES_ROOT, L"AppID", 0, KEY_READ | KEY_WRITE, appIds.Receive());
    if (s != ERROR_SUCCESS) return FromStatus(s);
    s = create ? RegCreateKeyExW(appIds.Get(), kAppIdText, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                                 key.Receive(), nullptr)
               : RegOpenKeyExW(appIds.Get(), kAppIdText, 0, KEY_READ | KEY_WRITE, key.Receive());
    return FromStatus(s);
}

HRESULT SetPermission(HKEY key, const wchar_t* name, DWORD rights) {
    const std::vector<BYTE> sd = SelfRelativeDescriptor(rights);
    if (sd.empty()) return HRESULT_FROM_WIN32(GetLastError());
    return FromStatus(RegSetValueExW(key, name, 0, REG_BINARY, sd.data(), static_cast<DWORD>(sd.size())));
}

// The service's own rights: the system's usual grants (users query and interrogate, administrators
// manage), except that the user-defined control codes (128-255) are the system account's and the
// administrators' alone; the service accepts none of them, and no user is to send them.
constexpr wchar_t kServiceSddl[] =
    L"D:(A;;CCLCSWRPWPDTLOCRRC;;;SY)(A;;CCDCLCSWRPWPDTLOCRSDRCWDWO;;;BA)(A;;CCLCSWLORC;;;IU)"
    L"(A;;CCLCSWLORC;;;SU)(A;;CCLCSWLORC;;;AU)";

HRESULT RestrictServiceControls(SC_HANDLE service) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kServiceSddl, SDDL_REVISION_1, &sd, nullptr))
        return HRESULT_FROM_WIN32(GetLastError());
    const platform::win32::CLocalMemory owner(sd);
    if (!SetServiceObjectSecurity(service, DACL_SECURITY_INFORMATION, sd))
        return HRESULT_FROM_WIN32(GetLastError());
    return S_OK;
}

HRESULT RegisterAppId(bool asService, const std::wstring& exe) {
    if (!UninstallService()) return E_FAIL;
    CKey key;
    HRESULT hr = OpenAppIdKey(key, true);
    if (FAILED(hr)) return hr;
    RegDeleteValueW(key.Get(), L"LocalService");
    // Activation and calls are limited to the same principals as the process's own COM security.
    hr = SetPermission(key.Get(), L"LaunchPermission", kLaunchRights);
    if (SUCCEEDED(hr)) hr = SetPermission(key.Get(), L"AccessPermission", kAccessRights);
    if (FAILED(hr) || !asService) return hr;

    hr = FromStatus(SetText(key.Get(), L"LocalService", ServiceName()));
    if (FAILED(hr)) return hr;
    if (!InstallService(exe)) return E_FAIL;
    CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    if (!manager) return HRESULT_FROM_WIN32(GetLastError());
    CServiceHandle service(
        OpenServiceW(manager.Get(), ServiceName().c_str(), SERVICE_CHANGE_CONFIG | WRITE_DAC));
    if (!service) return HRESULT_FROM_WIN32(GetLastError());
    hr = RestrictServiceControls(service.Get());
    if (FAILED(hr)) return hr;
    ChangeServiceConfigW(service.Get(), SERVICE_NO_CHANGE, SERVICE_AUTO_START, SERVICE_ERROR_IGNORE, nullptr,
                         nullptr, nullptr, nullptr, nullptr, nullptr, ServiceName().c_str());
    return S_OK;
}

HRESULT UnregisterAppId() {
    if (!UninstallService()) return E_FAIL;
    CKey key;
    const HRESULT hr = OpenAppIdKey(key, false);
    if (hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) return S_OK;
    if (FAILED(hr)) return hr;
    RegDeleteValueW(key.Get(), L"LocalService");
    RegDeleteValueW(key.Get(), L"LaunchPermission");
    RegDeleteValueW(key.Get(), L"AccessPermission");
    return S_OK;
}

}  // namespace

HRESULT RegisterServer(RegistrationScope scope, bool asService) {
    const std::wstring exe = ModulePath();
    if (exe.empty()) return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    HRESULT hr = RegisterAppId(asService, exe);
    if (FAILED(hr)) return hr;
    CKey root;
    hr = OpenClassesRoot(scope, root);
    if (SUCCEEDED(hr)) hr = RegisterClass(root.Get(), kControlHelperIdentity, exe);
    if (SUCCEEDED(hr)) hr = RegisterClass(root.Get(), kRouteHelperIdentity, exe);
    if (SUCCEEDED(hr)) hr = RegisterTypeLibrary(scope, exe);
    return hr;
}

HRESULT UnregisterServer(RegistrationScope scope) {
    CKey root;
    HRESULT hr = OpenClassesRoot(scope, root);
    if (FAILED(hr)) return hr;
    UnregisterClass(root.Get(), kControlHelperIdentity);
    UnregisterClass(root.Get(), kRouteHelperIdentity);
    hr = UnregisterTypeLibrary(scope);
    if (FAILED(hr)) return hr;
    return UnregisterAppId();
}

}  // namespace corvane::win32
