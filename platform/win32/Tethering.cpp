// The hotspot reading on Windows, through the Windows Runtime: the network information statics give the
// internet connection profile, the tethering manager statics a manager for it. Both activation objects
// are created once per process and kept (the first probe makes them; a failed creation is tried again).
#include <mutex>

#include "platform/Tethering.h"
#include "platform/win32/Handles.h"
#include "platform/win32/NetworkRuntime.h"

namespace platform {
namespace {

using win32::CComPtr;
using win32::GetRuntimeStatics;
using win32::IConnectionProfileRt;
using win32::INetworkInformationStaticsRt;
using win32::ITetheringManagerRt;
using win32::ITetheringManagerStatics3Rt;

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
            GetRuntimeStatics(win32::kNetworkInformationClass, win32::kIidNetworkInformationStatics,
                              kept.information.ReceiveVoid());
        if (!kept.tethering)
            GetRuntimeStatics(win32::kTetheringManagerClass, win32::kIidTetheringManagerStatics3,
                              kept.tethering.ReceiveVoid());
        information = kept.information.Get();
        tethering = kept.tethering.Get();
    }
    CComPtr<IConnectionProfileRt> profile;
    if (!information || FAILED(information->GetInternetConnectionProfile(profile.Receive())) || !profile)
        return probe;
    int level = 0;
    if (FAILED(profile->GetNetworkConnectivityLevel(&level)) ||
        (level != win32::kConstrainedInternetAccess && level != win32::kInternetAccess)) {
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
    probe.on = operational == win32::kTetheringOn;
    return probe;
}

}  // namespace platform
