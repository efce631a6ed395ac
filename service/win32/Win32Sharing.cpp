// Windows hotspot and sharing detection.
#include "win32/Win32Sharing.h"

// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
// clang-format on
#include <netcon.h>
#include <netioapi.h>
#include <objbase.h>
#include <oleauto.h>
#include <roapi.h>

#include <array>

#include "logic/GuidText.h"
#include "logic/HResult.h"
#include "platform/win32/Handles.h"
#include "platform/win32/NetworkRuntime.h"
#include "win32/Win32ServiceStore.h"

namespace corvane::win32 {
namespace {

using platform::win32::CBstr;
using platform::win32::CComPtr;
using platform::win32::CRegistryKey;
using platform::win32::GetRuntimeStatics;
using platform::win32::IConnectionProfileRt;
using platform::win32::INetworkAdapterRt;
using platform::win32::INetworkInformationStaticsRt;
using platform::win32::ITetheringManagerRt;
using platform::win32::ITetheringManagerStatics3Rt;
using platform::win32::kConstrainedInternetAccess;
using platform::win32::kInternetAccess;
using platform::win32::kTetheringOn;

std::u16string U16(const wchar_t* text) {
    std::wstring w(text ? text : L"");
    return std::u16string(w.begin(), w.end());
}

GuidFields Fields(const GUID& g) {
    GuidFields f;
    f.data1 = g.Data1;
    f.data2 = g.Data2;
    f.data3 = g.Data3;
    for (int i = 0; i < 8; ++i) f.data4[i] = g.Data4[i];
    return f;
}

std::u16string Suffix(CServiceStore& store, HRESULT hr) {
    return HresultSuffix(hr, store.DescribeHResult(hr));
}

// "(0x%08x):%s", the sharing manager's lines.
std::u16string Tight(CServiceStore& store, HRESULT hr) {
    return u"(0x" + Hex8(static_cast<uint32_t>(hr)) + u"):" + store.DescribeHResult(hr);
}

}  // namespace

SharingInterface CWin32Sharing::LookupInterfaceByGuid(const std::u16string& guidText) {
    SharingInterface result;
    MIB_IF_TABLE2* table = nullptr;
    const DWORD error = GetIfTable2(&table);
    if (error != NO_ERROR) {
        Log(u"Failed to call GetIfTable2" + Suffix(store_, HResultFromSystemError(error)));
        return result;
    }
    for (ULONG i = 0; i < table->NumEntries; ++i) {
        const MIB_IF_ROW2& row = table->Table[i];
        if (!SameGuidText(FormatGuidText(Fields(row.InterfaceGuid)), guidText)) continue;
        result.index = static_cast<int32_t>(row.InterfaceIndex);
        result.display = U16(row.Alias) + u"(" + U16(row.Description) + u")";
        if (result.display.size() > 255) result.display.resize(255);
        break;
    }
    FreeMibTable(table);
    return result;
}

HotspotState CWin32Sharing::QueryHotspotState() {
    HotspotState state;
    const HRESULT joined = RoInitialize(RO_INIT_MULTITHREADED);
    const bool leave = SUCCEEDED(joined);
    [&] {
        CComPtr<INetworkInformationStaticsRt> information;
        HRESULT hr =
            GetRuntimeStatics(platform::win32::kNetworkInformationClass,
                              platform::win32::kIidNetworkInformationStatics, information.ReceiveVoid());
        if (FAILED(hr)) {
            Log(u"Error occurred");
            return;
        }
        CComPtr<IConnectionProfileRt> profile;
        hr = information->GetInternetConnectionProfile(profile.Receive());
        if (FAILED(hr) || !profile) {
            Log(u"Not find connection profile");
            return;
        }
        int level = 0;
        if (FAILED(profile->GetNetworkConnectivityLevel(&level)) ||
            (level != kConstrainedInternetAccess && level != kInternetAccess)) {
            Log(u"The connection profile has no internet access");
            return;
        }
        CComPtr<INetworkAdapterRt> adapter;
        GUID id = {};
        if (FAILED(profile->get_NetworkAdapter(adapter.Receive())) || !adapter ||
            FAILED(adapter->get_NetworkAdapterId(&id))) {
            Log(u"Error occurred");
            return;
        }
        state.adapterId = FormatAdapterIdText(Fields(id));
        // Reaching the tethering manager's class is part of creating the manager: a platform refusal
        // there is reported like one of the creation itself.
        CComPtr<ITetheringManagerStatics3Rt> tetheringStatics;
        hr = GetRuntimeStatics(platform::win32::kTetheringManagerClass,
                               platform::win32::kIidTetheringManagerStatics3, tetheringStatics.ReceiveVoid());
        CComPtr<ITetheringManagerRt> manager;
        if (SUCCEEDED(hr))
            hr = tetheringStatics->CreateFromConnectionProfile(profile.Get(), manager.Receive());
        if (FAILED(hr)) {
            if (static_cast<uint32_t>(hr) == 0x80070426u || static_cast<uint32_t>(hr) == 0x8007007Fu)
                state.serviceUnavailable = true;
            Log(u"CreateFromConnectionProfile exception code: 0x" + Hex8(static_cast<uint32_t>(hr)) +
                u" reason: " + store_.DescribeHResult(hr));
            return;
        }
        if (!manager) {
            Log(u"Failed to init tetheringManager");
            return;
        }
        int operational = 0;
        if (FAILED(manager->get_TetheringOperationalState(&operational))) {
            Log(u"Error occurred");
            return;
        }
        state.succeeded = true;
        state.on = operational == kTetheringOn;
    }();
    if (leave) RoUninitialize();
    return state;
}

SharingInterface CWin32Sharing::FindHotspotSharingInterface(const std::u16string& adapterId) {
    CRegistryKey key;
    LSTATUS status =
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\icssvc\\Settings", 0,
                      KEY_READ, key.Receive());
    if (status != ERROR_SUCCESS) {
        Log(u"Can't open registry to read" + Suffix(store_, HResultFromSystemError(status)));
    } else {
        std::array<BYTE, 64> data{};
        DWORD size = static_cast<DWORD>(data.size());
        status =
            RegQueryValueExW(key.Get(), L"PreferredPublicInterface", nullptr, nullptr, data.data(), &size);
        if (status != ERROR_SUCCESS) {
            Log(u"Can't query value preferredPublicInterface" +
                Suffix(store_, HResultFromSystemError(status)));
        } else if (size >= 16) {
            std::array<uint8_t, 16> bytes{};
            for (int i = 0; i < 16; ++i) bytes[i] = data[i];
            const SharingInterface found = LookupInterfaceByGuid(FormatStoredGuidText(bytes));
            if (found.index != -1) return found;
        }
    }
    const SharingInterface fromProfile = LookupInterfaceByGuid(adapterId);
    Log(u"Not find ifIndex from registry, get it from current internet inf(index=" +
        Decimal(fromProfile.index) + u")");
    return fromProfile;
}

SharingInterface CWin32Sharing::FindIcsSharingInterface() {
    SharingInterface result;
    const HRESULT joined = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (FAILED(joined) && joined != RPC_E_CHANGED_MODE) {
        Log(u"Failed init COM " + Tight(store_, joined));
        return result;
    }
    const bool leave = SUCCEEDED(joined);
    [&] {
        HRESULT hr = CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT,
                                          RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
        if (FAILED(hr) && hr != RPC_E_TOO_LATE) {
            Log(u"Failed init COM Security " + Tight(store_, hr));
            return;
        }
        CComPtr<INetSharingManager> manager;
        hr = CoCreateInstance(CLSID_NetSharingManager, nullptr, CLSCTX_ALL, IID_INetSharingManager,
                              manager.ReceiveVoid());
        if (FAILED(hr) || !manager) {
            Log(u"Failed create COM instance " + Tight(store_, FAILED(hr) ? hr : E_POINTER));
            return;
        }
        CComPtr<INetSharingPublicConnectionCollection> connections;
        hr = manager->get_EnumPublicConnections(ICSSC_DEFAULT, connections.Receive());
        if (FAILED(hr) || !connections) {
            Log(u"Failed to get_EnumPublicConnections" + Tight(store_, FAILED(hr) ? hr : E_POINTER));
            return;
        }
        CComPtr<IUnknown> enumUnknown;
        CComPtr<IEnumVARIANT> items;
        if (FAILED(connections->get__NewEnum(enumUnknown.Receive())) || !enumUnknown ||
            FAILED(enumUnknown->QueryInterface(IID_IEnumVARIANT, items.ReceiveVoid())))
            return;
        std::u16string guid;
        // Bounded: a machine has few shared connections.
        for (int n = 0; n < 1024; ++n) {
            VARIANT item;
            VariantInit(&item);
            ULONG fetched = 0;
            if (items->Next(1, &item, &fetched) != S_OK || fetched == 0) break;
            if ((item.vt == VT_UNKNOWN || item.vt == VT_DISPATCH) && item.punkVal) {
                CComPtr<INetConnection> connection;
                if (SUCCEEDED(item.punkVal->QueryInterface(IID_INetConnection, connection.ReceiveVoid()))) {
                    CComPtr<INetConnectionProps> props;
                    hr = manager->get_NetConnectionProps(connection.Get(), props.Receive());
                    CBstr text;
                    if (FAILED(hr) || !props) {
                        Log(u"Failed to get_NetConnectionProps" + Tight(store_, FAILED(hr) ? hr : E_POINTER));
                    } else if (SUCCEEDED(props->get_Guid(text.Receive())) && text) {
                        guid = text.Text();
                    }
                }
            }
            VariantClear(&item);
        }
        if (!guid.empty()) result = LookupInterfaceByGuid(guid);
    }();
    if (leave) CoUninitialize();
    return result;
}

CSharing& ServiceSharing() {
    static CWin32Sharing sharing(ServiceStore());
    return sharing;
}

}  // namespace corvane::win32
