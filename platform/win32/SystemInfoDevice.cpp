// Device facts from the running Windows: version and edition, machine registry texts, host name, the
// management service's product UUID, a hidden command's output and GUIDs.
#include <objbase.h>
#include <wbemcli.h>
#include <windows.h>
#include <winsock2.h>

#include <cstring>

#include "platform/SystemInfo.h"
#include "platform/win32/Handles.h"
#include "platform/win32/SystemMessage.h"
#include "platform/win32/Wide.h"

namespace platform {
namespace {

using win32::FromWide;
using win32::WideString;

using win32::CBstr;
using win32::CComPtr;
using win32::CRegistryKey;

template <typename Fn>
Fn LookUp(const wchar_t* module, const char* name) {
    HMODULE handle = GetModuleHandleW(module);
    if (!handle) return nullptr;
    FARPROC procedure = GetProcAddress(handle, name);
    if (!procedure) return nullptr;
    Fn fn;
    static_assert(sizeof(fn) == sizeof(procedure));
    std::memcpy(&fn, &procedure, sizeof(fn));
    return fn;
}

std::u16string SystemText(HRESULT code) {
    return win32::SystemMessageLine(static_cast<uint32_t>(code));
}

ProductUuidQuery Failed(ProductQueryStep step, HRESULT code) {
    ProductUuidQuery query;
    query.failedStep = step;
    query.result = static_cast<int32_t>(code);
    query.errorText = SystemText(code);
    return query;
}

// Balances a successful start of COM on this thread.
class CComScope {
public:
    explicit CComScope(HRESULT started) : started_(SUCCEEDED(started)) {}
    ~CComScope() {
        if (started_) CoUninitialize();
    }
    CComScope(const CComScope&) = delete;
    CComScope& operator=(const CComScope&) = delete;

private:
    bool started_;
};

constexpr ULONG kMaxProductRecords = 64;
constexpr LONG kNextRecordTimeoutMs = 10000;

ProductUuidQuery QueryWithCom() {
    HRESULT hr = CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                      RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
    if (FAILED(hr) && hr != RPC_E_TOO_LATE) return Failed(ProductQueryStep::Security, hr);

    CComPtr<IWbemLocator> locator;
    hr = CoCreateInstance(__uuidof(WbemLocator), nullptr, CLSCTX_INPROC_SERVER, __uuidof(IWbemLocator),
                          locator.ReceiveVoid());
    if (FAILED(hr)) return Failed(ProductQueryStep::Locator, hr);

    // The connection waits at most two minutes instead of without limit when the service hangs.
    CComPtr<IWbemServices> services;
    const CBstr root(L"ROOT\\CIMV2");
    hr = locator->ConnectServer(root.Get(), nullptr, nullptr, nullptr, WBEM_FLAG_CONNECT_USE_MAX_WAIT,
                                nullptr, nullptr, services.Receive());
    if (FAILED(hr)) return Failed(ProductQueryStep::Connect, hr);

    hr = CoSetProxyBlanket(services.Get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                           RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    if (FAILED(hr)) return Failed(ProductQueryStep::ProxyBlanket, hr);

    CComPtr<IEnumWbemClassObject> records;
    const CBstr language(L"WQL");
    const CBstr statement(L"SELECT * FROM Win32_ComputerSystemProduct");
    hr = services->ExecQuery(language.Get(), statement.Get(),
                             WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                             records.Receive());
    if (FAILED(hr)) return Failed(ProductQueryStep::Query, hr);

    ProductUuidQuery query;
    for (ULONG n = 0; n < kMaxProductRecords; ++n) {
        CComPtr<IWbemClassObject> record;
        ULONG returned = 0;
        // A record that takes longer than the time-out ends the walk (WBEM_S_TIMEDOUT, none returned).
        hr = records->Next(kNextRecordTimeoutMs, 1, record.Receive(), &returned);
        if (FAILED(hr) || returned == 0) break;
        VARIANT value;
        VariantInit(&value);
        if (SUCCEEDED(record->Get(L"UUID", 0, &value, nullptr, nullptr)) && value.vt == VT_BSTR &&
            value.bstrVal)
            query.uuids.push_back(FromWide(value.bstrVal, SysStringLen(value.bstrVal)));
        VariantClear(&value);
    }
    return query;
}

}  // namespace

OsVersion ReadOsVersion() {
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    OsVersion version;
    const auto getVersion = LookUp<RtlGetVersionFn>(L"ntdll.dll", "RtlGetVersion");
    if (!getVersion) return version;
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (getVersion(&info) != 0) return version;
    version.read = true;
    version.major = info.dwMajorVersion;
    version.minor = info.dwMinorVersion;
    version.build = info.dwBuildNumber;
    version.servicePackMajor = info.wServicePackMajor;
    version.servicePackMinor = info.wServicePackMinor;
    version.productType = info.wProductType;
    return version;
}

bool ReadProductType(const OsVersion& version, uint32_t& productType) {
    DWORD type = 0;
    if (!GetProductInfo(version.major, version.minor, version.servicePackMajor, version.servicePackMinor,
                        &type))
        return false;
    productType = type;
    return true;
}

MachineKeyTexts ReadMachineTexts(std::u16string_view subKey, std::initializer_list<std::u16string_view> names,
                                 std::size_t maxChars) {
    MachineKeyTexts result;
    CRegistryKey key;
    const std::wstring path = WideString(subKey);
    const LONG opened =
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, key.Receive());
    if (opened != ERROR_SUCCESS) {
        result.openError = static_cast<uint32_t>(opened);
        return result;
    }
    std::wstring buffer(maxChars, L'\0');
    for (const std::u16string_view name : names) {
        MachineText value;
        const std::wstring valueName = WideString(name);
        DWORD type = 0;
        DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
        const LONG read = RegQueryValueExW(key.Get(), valueName.c_str(), nullptr, &type,
                                           reinterpret_cast<BYTE*>(buffer.data()), &bytes);
        if (read != ERROR_SUCCESS) {
            value.error = static_cast<uint32_t>(read);
        } else if (type != REG_SZ && type != REG_EXPAND_SZ) {
            value.error = ERROR_INVALID_DATA;
        } else {
            // Stored texts need not carry their terminator: take the bytes read, up to the first NUL.
            std::wstring_view text(buffer.data(), bytes / sizeof(wchar_t));
            text = text.substr(0, text.find(L'\0'));
            value.text = FromWide(text.data(), text.size());
        }
        result.values.push_back(std::move(value));
    }
    return result;
}

bool ReadHostName(std::u16string& name) {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
    bool read = false;
    // The wide call is missing before Windows 8; there the narrow name in the ANSI code page serves.
    using GetHostNameWFn = int(WSAAPI*)(PWSTR, int);
    wchar_t wide[256] = {};
    char narrow[256] = {};
    if (const auto getHostNameW = LookUp<GetHostNameWFn>(L"ws2_32.dll", "GetHostNameW")) {
        if (getHostNameW(wide, 256) == 0) {
            wide[255] = L'\0';
            name = FromWide(wide);
            read = true;
        }
    } else if (gethostname(narrow, sizeof(narrow)) == 0) {
        narrow[255] = '\0';
        const int n = MultiByteToWideChar(CP_ACP, 0, narrow, -1, wide, 256);
        if (n > 0) {
            wide[255] = L'\0';
            name = FromWide(wide);
            read = true;
        }
    }
    WSACleanup();
    return read;
}

ProductUuidQuery QueryProductUuids() {
    const HRESULT started = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // A thread already in the other apartment model can still make the calls.
    if (FAILED(started) && started != RPC_E_CHANGED_MODE) {
        ProductUuidQuery query;
        query.failedStep = ProductQueryStep::ComStart;
        query.result = static_cast<int32_t>(started);
        query.errorText = SystemText(started);
        return query;
    }
    const CComScope scope(started);
    return QueryWithCom();
}

bool CreateGuidValue(GuidValue& guid) {
    GUID created;
    if (FAILED(CoCreateGuid(&created))) return false;
    guid.data1 = created.Data1;
    guid.data2 = created.Data2;
    guid.data3 = created.Data3;
    std::memcpy(guid.data4, created.Data4, sizeof(guid.data4));
    return true;
}

}  // namespace platform
