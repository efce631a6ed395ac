// IP Helper and WMI behind the route helper's network (see Win32Network.h).
#include "win32/Win32Network.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <wbemcli.h>

#include <new>
#include <vector>

#include "platform/win32/Handles.h"

namespace corvane::win32 {

using platform::win32::CBstr;
using platform::win32::CComPtr;

namespace {

constexpr ULONG kAdapterBufferBytes = 15000;
constexpr int kAdapterAttempts = 3;
// WMI answers are walked with a bound on their number and on the wait for each.
constexpr ULONG kMaxWmiRecords = 4096;
constexpr LONG kNextRecordTimeoutMs = 10000;

MIB_IPFORWARDROW ToSystem(const RouteRow& row) {
    MIB_IPFORWARDROW out{};
    out.dwForwardDest = row.destination;
    out.dwForwardMask = row.mask;
    out.dwForwardPolicy = row.policy;
    out.dwForwardNextHop = row.nextHop;
    out.dwForwardIfIndex = row.interfaceIndex;
    out.dwForwardType = row.type;
    out.dwForwardProto = row.protocol;
    out.dwForwardAge = row.age;
    out.dwForwardNextHopAS = row.nextHopAs;
    out.dwForwardMetric1 = row.metric1;
    out.dwForwardMetric2 = row.metric2;
    out.dwForwardMetric3 = row.metric3;
    out.dwForwardMetric4 = row.metric4;
    out.dwForwardMetric5 = row.metric5;
    return out;
}

RouteRow FromSystem(const MIB_IPFORWARDROW& row) {
    RouteRow out;
    out.destination = row.dwForwardDest;
    out.mask = row.dwForwardMask;
    out.policy = row.dwForwardPolicy;
    out.nextHop = row.dwForwardNextHop;
    out.interfaceIndex = row.dwForwardIfIndex;
    out.type = row.dwForwardType;
    out.protocol = row.dwForwardProto;
    out.age = row.dwForwardAge;
    out.nextHopAs = row.dwForwardNextHopAS;
    out.metric1 = row.dwForwardMetric1;
    out.metric2 = row.dwForwardMetric2;
    out.metric3 = row.dwForwardMetric3;
    out.metric4 = row.dwForwardMetric4;
    out.metric5 = row.dwForwardMetric5;
    return out;
}

// Leaves the COM apartment again only when this scope joined it.
class CApartmentScope {
public:
    explicit CApartmentScope(HRESULT joined) : joined_(SUCCEEDED(joined)) {}
    ~CApartmentScope() {
        if (joined_) CoUninitialize();
    }
    CApartmentScope(const CApartmentScope&) = delete;
    CApartmentScope& operator=(const CApartmentScope&) = delete;

private:
    bool joined_;
};

// A property value, cleared when it goes out of scope.
class CVariant {
public:
    CVariant() { VariantInit(&value_); }
    ~CVariant() { VariantClear(&value_); }
    CVariant(const CVariant&) = delete;
    CVariant& operator=(const CVariant&) = delete;
    VARIANT* Get() { return &value_; }

private:
    VARIANT value_;
};

PhysicalInterfaces Failure(WmiStep step, HRESULT hr) {
    PhysicalInterfaces out;
    out.failedStep = step;
    out.result = hr;
    return out;
}

PhysicalInterfaces QueryNetAdapters() {
    HRESULT hr = CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                      RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
    if (FAILED(hr) && hr != RPC_E_TOO_LATE) return Failure(WmiStep::kCoInitializeSecurity, hr);

    CComPtr<IWbemLocator> locator;
    hr = CoCreateInstance(__uuidof(WbemLocator), nullptr, CLSCTX_INPROC_SERVER, __uuidof(IWbemLocator),
                          locator.ReceiveVoid());
    if (FAILED(hr)) return Failure(WmiStep::kCoCreateInstance, hr);

    const CBstr root(L"ROOT\\StandardCimv2");
    const CBstr language(L"WQL");
    const CBstr statement(L"SELECT * FROM MSFT_NetAdapter");
    if (!root || !language || !statement) return Failure(WmiStep::kSysAllocString, E_OUTOFMEMORY);

    // The connection waits at most two minutes instead of without limit when the service hangs.
    CComPtr<IWbemServices> services;
    hr = locator->ConnectServer(root.Get(), nullptr, nullptr, nullptr, WBEM_FLAG_CONNECT_USE_MAX_WAIT,
                                nullptr, nullptr, services.Receive());
    if (FAILED(hr)) return Failure(WmiStep::kConnectServer, hr);

    hr = CoSetProxyBlanket(services.Get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                           RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    if (FAILED(hr)) return Failure(WmiStep::kCoSetProxyBlanket, hr);

    // Not forward-only: the results are counted first and then walked again from the start.
    CComPtr<IEnumWbemClassObject> records;
    hr = services->ExecQuery(language.Get(), statement.Get(), WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                             records.Receive());
    if (FAILED(hr)) return Failure(WmiStep::kExecQuery, hr);

    ULONG count = 0;
    for (; count < kMaxWmiRecords; ++count) {
        CComPtr<IWbemClassObject> record;
        ULONG returned = 0;
        hr = records->Next(kNextRecordTimeoutMs, 1, record.Receive(), &returned);
        if (FAILED(hr)) return Failure(WmiStep::kCount, hr);
        if (returned == 0) break;
    }
    if (count == 0) return Failure(WmiStep::kNoInterface, S_OK);

    hr = records->Reset();
    if (FAILED(hr)) return Failure(WmiStep::kReset, hr);
    PhysicalInterfaces out;
    for (ULONG n = 0; n < count; ++n) {
        CComPtr<IWbemClassObject> record;
        ULONG returned = 0;
        hr = records->Next(kNextRecordTimeoutMs, 1, record.Receive(), &returned);
        if (FAILED(hr) || returned == 0) break;
        CVariant present;
        hr = record->Get(L"ConnectorPresent", 0, present.Get(), nullptr, nullptr);
        if (FAILED(hr)) return Failure(WmiStep::kConnectorPresent, hr);
        if (present.Get()->vt != VT_BOOL || present.Get()->boolVal == VARIANT_FALSE) continue;
        CVariant index;
        hr = record->Get(L"InterfaceIndex", 0, index.Get(), nullptr, nullptr);
        if (FAILED(hr)) return Failure(WmiStep::kInterfaceIndex, hr);
        if (index.Get()->vt == VT_I4 || index.Get()->vt == VT_UI4)
            out.indexes.push_back(static_cast<uint32_t>(index.Get()->lVal));
    }
    return out;
}

}  // namespace

RouteTable CWin32Network::ReadRouteTable() {
    RouteTable table;
    ULONG size = 0;
    DWORD result = GetIpForwardTable(nullptr, &size, FALSE);
    if (result == ERROR_NO_DATA) return table;
    if (result != ERROR_INSUFFICIENT_BUFFER && result != NO_ERROR) {
        table.error = result;
        return table;
    }
    std::vector<unsigned char> buffer;
    try {
        buffer.resize(size < sizeof(MIB_IPFORWARDTABLE) ? sizeof(MIB_IPFORWARDTABLE) : size);
    } catch (const std::bad_alloc&) {
        table.allocationFailed = true;
        return table;
    }
    size = static_cast<ULONG>(buffer.size());
    auto* rows = reinterpret_cast<MIB_IPFORWARDTABLE*>(buffer.data());
    result = GetIpForwardTable(rows, &size, FALSE);
    if (result == ERROR_NO_DATA) return table;
    if (result != NO_ERROR) {
        table.error = result;
        return table;
    }
    table.rows.reserve(rows->dwNumEntries);
    for (DWORD i = 0; i < rows->dwNumEntries; ++i) table.rows.push_back(FromSystem(rows->table[i]));
    return table;
}

uint32_t CWin32Network::CreateRoute(const RouteRow& row) {
    MIB_IPFORWARDROW system = ToSystem(row);
    return CreateIpForwardEntry(&system);
}

uint32_t CWin32Network::DeleteRoute(const RouteRow& row) {
    MIB_IPFORWARDROW system = ToSystem(row);
    return DeleteIpForwardEntry(&system);
}

AdapterList CWin32Network::ReadAdapters() {
    AdapterList list;
    constexpr ULONG kFlags = GAA_FLAG_SKIP_UNICAST | GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST;
    std::vector<unsigned char> buffer;
    ULONG size = kAdapterBufferBytes;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < kAdapterAttempts && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        try {
            buffer.assign(size, 0);
        } catch (const std::bad_alloc&) {
            list.allocationFailed = true;
            return list;
        }
        result = GetAdaptersAddresses(AF_INET, kFlags, nullptr,
                                      reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    }
    if (result == ERROR_NO_DATA) return list;
    if (result != NO_ERROR) {
        list.error = result;
        return list;
    }
    for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); adapter;
         adapter = adapter->Next) {
        AdapterEntry entry;
        if (adapter->FriendlyName)
            entry.friendlyName = reinterpret_cast<const char16_t*>(adapter->FriendlyName);
        entry.interfaceIndex = adapter->IfIndex;
        for (auto* dns = adapter->FirstDnsServerAddress; dns; dns = dns->Next) {
            const SOCKADDR* address = dns->Address.lpSockaddr;
            if (!address || address->sa_family != AF_INET) continue;
            entry.dnsServers.push_back(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr);
        }
        list.adapters.push_back(std::move(entry));
    }
    return list;
}

PhysicalInterfaces CWin32Network::ReadPhysicalInterfaces() {
    const HRESULT joined = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (FAILED(joined)) return Failure(WmiStep::kCoInitializeEx, joined);
    const CApartmentScope scope(joined);
    return QueryNetAdapters();
}

CNetwork& Network() {
    static CWin32Network network;
    return network;
}

}  // namespace corvane::win32
