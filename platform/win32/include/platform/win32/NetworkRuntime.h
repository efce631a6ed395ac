// The Windows Runtime network classes that the hotspot readings call, declared by hand (only the slots
// called, in their places, with their IIDs), and the activation of their statics by class name. Header
// only, beside the handle owners, so that the helper service can use it without the rest of the platform.
#pragma once
#include <windows.h>

#include <roapi.h>
#include <winstring.h>

#include <cstddef>

namespace platform::win32 {

struct IInspectableBase : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetIids(ULONG*, IID**) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRuntimeClassName(HSTRING*) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTrustLevel(int*) = 0;
};

struct INetworkAdapterRt : IInspectableBase {
    virtual HRESULT STDMETHODCALLTYPE get_OutboundMaxBitsPerSecond(UINT64*) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_InboundMaxBitsPerSecond(UINT64*) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IanaInterfaceType(UINT32*) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_NetworkItem(IUnknown**) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_NetworkAdapterId(GUID*) = 0;
};

struct IConnectionProfileRt : IInspectableBase {
    virtual HRESULT STDMETHODCALLTYPE get_ProfileName(HSTRING*) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNetworkConnectivityLevel(int*) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNetworkNames(IUnknown**) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetConnectionCost(IUnknown**) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDataPlanStatus(IUnknown**) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_NetworkAdapter(INetworkAdapterRt**) = 0;
};

struct INetworkInformationStaticsRt : IInspectableBase {
    virtual HRESULT STDMETHODCALLTYPE GetConnectionProfiles(IUnknown**) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetInternetConnectionProfile(IConnectionProfileRt**) = 0;
};

struct ITetheringManagerRt : IInspectableBase {
    virtual HRESULT STDMETHODCALLTYPE get_MaxClientCount(UINT32*) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ClientCount(UINT32*) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_TetheringOperationalState(int*) = 0;
};

struct ITetheringManagerStatics3Rt : IInspectableBase {
    virtual HRESULT STDMETHODCALLTYPE CreateFromConnectionProfile(IConnectionProfileRt*,
                                                                  ITetheringManagerRt**) = 0;
};

inline constexpr IID kIidNetworkInformationStatics = {
    0x5074F851, 0x950D, 0x4165, {0x9C, 0x15, 0x36, 0x56, 0x19, 0x48, 0x1E, 0xEA}};
inline constexpr IID kIidTetheringManagerStatics3 = {
    0x8FDAADB6, 0x4AF9, 0x4F21, {0x9B, 0x58, 0xD5, 0x3E, 0x9F, 0x24, 0x23, 0x1E}};

inline constexpr wchar_t kNetworkInformationClass[] = L"Windows.Networking.Connectivity.NetworkInformation";
inline constexpr wchar_t kTetheringManagerClass[] =
    L"Windows.Networking.NetworkOperators.NetworkOperatorTetheringManager";

// Connectivity levels and the tethering state, as the runtime numbers them.
inline constexpr int kConstrainedInternetAccess = 2;
inline constexpr int kInternetAccess = 3;
inline constexpr int kTetheringOn = 1;

// The statics of a runtime class. The class name goes as a string reference: no string is allocated, so
// nothing is left to free on any path.
template <std::size_t N>
HRESULT GetRuntimeStatics(const wchar_t (&className)[N], REFIID iid, void** out) {
    HSTRING_HEADER header;
    HSTRING text = nullptr;
    const HRESULT hr = WindowsCreateStringReference(className, N - 1, &header, &text);
    if (FAILED(hr)) return hr;
    return RoGetActivationFactory(text, iid, out);
}

}  // namespace platform::win32
