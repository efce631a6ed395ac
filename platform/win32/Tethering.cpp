// The hotspot reading on Windows, through the Windows Runtime: the network information statics give the
// internet connection profile, the tethering manager statics a manager for it. Both activation objects
// are created once per process and kept (the first probe makes them; a failed creation is tried again).
#include <windows.h>
#include <roapi.h>
#include <winstring.h>

#include <mutex>

#include "platform/Tethering.h"
#include "platform/win32/Handles.h"

namespace platform {
namespace {

using win32::CComPtr;

// Minimal Windows Runtime declarations: only the slots this file calls, in their places, with their IIDs.
struct IInspectableBase : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetIids(ULONG*, IID**) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRuntimeClassName(HSTRING*) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTrustLevel(int*) = 0;
};

struct IConnectionProfileRt : IInspectableBase {
    virtual HRESULT STDMETHODCALLTYPE get_ProfileName(HSTRING*) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNetworkConnectivityLevel(int*) = 0;
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

constexpr IID kIidNetworkInformationStatics = {
    0x5074F851, 0x950D, 0x4165, {0x9C, 0x15, 0x36, 0x56, 0x19, 0x48, 0x1E, 0xEA}};
constexpr IID kIidTetheringManagerStatics3 = {
    0x8FDAADB6, 0x4AF9, 0x4F21, {0x9B, 0x58, 0xD5, 0x3E, 0x9F, 0x24, 0x23, 0x1E}};

constexpr int kConstrainedInternetAccess = 2;
constexpr int kInternetAccess = 3;
constexpr int kTetheringOn = 1;

template <std::size_t N>
HRESULT Factory(const wchar_t (&name)[N], REFIID iid, void** out) {
    HSTRING_HEADER header;
    HSTRING text = nullptr;
    const HRESULT hr = WindowsCreateStringReference(name, N - 1, &header, &text);
    if (FAILED(hr)) return hr;
    return RoGetActivationFactory(text, iid, out);
}

// The kept activation objects. Both statics are agile, so one thread's objects serve the next monitor's.
struct Activation {
    std::mutex lock;
    CComPtr<INetworkInformationStaticsRt> information;
    CComPtr<ITetheringManagerStatics3Rt> tethering;
};

Activation& Kept() {
    static Activation* kept = new Activation;  // never released: the process keeps them to its end
    return *kept;
}

}  // namespace

TetheringProbe ProbeTethering() {
    TetheringProbe probe;
    Activation& kept = Kept();
    // Kept objects are never released, so their pointers stay valid outside the lock.
    INetworkInformationStaticsRt* information = nullptr;
    ITetheringManagerStatics3Rt* tethering = nullptr;
    {
        std::lock_guard l(kept.lock);
        if (!kept.information)
            Factory(L"Windows.Networking.Connectivity.NetworkInformation", kIidNetworkInformationStatics,
                    kept.information.ReceiveVoid());
        if (!kept.tethering)
            Factory(L"Windows.Networking.NetworkOperators.NetworkOperatorTetheringManager",
                    kIidTetheringManagerStatics3, kept.tethering.ReceiveVoid());
        information = kept.information.Get();
        tethering = kept.tethering.Get();
    }
    CComPtr<IConnectionProfileRt> profile;
    if (!information || FAILED(information->GetInternetConnectionProfile(profile.Receive())) || !profile)
        return probe;
    int level = 0;
    if (FAILED(profile->GetNetworkConnectivityLevel(&level)) ||
        (level != kConstrainedInternetAccess && level != kInternetAccess)) {
        probe.stage = TetheringStage::kNoInternet;
        return probe;
    }
    probe.stage = TetheringStage::kNoManager;
    CComPtr<ITetheringManagerRt> manager;
    if (!tethering || FAILED(tethering->CreateFromConnectionProfile(profile.Get(), manager.Receive())) ||
        !manager)
        return probe;
    int operational = 0;
    if (FAILED(manager->get_TetheringOperationalState(&operational))) return probe;
    probe.stage = TetheringStage::kRead;
    probe.on = operational == kTetheringOn;
    return probe;
}

}  // namespace platform
