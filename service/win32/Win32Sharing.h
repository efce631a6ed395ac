// Hotspot and connection-sharing detection on Windows: the internet connection profile and the tethering
// manager through the Windows Runtime (reached with RoGetActivationFactory and minimal declarations of
// our own, since mingw-w64 declares none of these classes), the sharing manager through
// INetSharingManager, the interface table through GetIfTable2 and the hotspot's preferred public
// interface from the icssvc settings.
#pragma once
#include "logic/ServiceStore.h"
#include "logic/Sharing.h"

namespace corvane::win32 {

class CWin32Sharing : public CSharing {
public:
    explicit CWin32Sharing(CServiceStore& store) : store_(store) {}
    HotspotState QueryHotspotState() override;
    SharingInterface FindHotspotSharingInterface(const std::u16string& adapterId) override;
    SharingInterface FindIcsSharingInterface() override;
    // The interface whose GUID text equals `guidText` (without regard to case); index -1 if none.
    SharingInterface LookupInterfaceByGuid(const std::u16string& guidText);

private:
    void Log(std::u16string_view text) { store_.WriteLog(text); }
    CServiceStore& store_;
};

// The one instance the automation objects share.
CSharing& ServiceSharing();

}  // namespace corvane::win32
