// WifiSpotHotNotify: tells the client about changes of the hotspot's sharing interface against
// SharingInterfaceIndex. Internet Connection Sharing is consulted only at engine start, never here.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "logic/HResult.h"
#include "logic/ServiceStore.h"
#include "logic/Sharing.h"

namespace corvane {

// Always 0; `ifIndex` and `msg` are written only when something is to be reported.
HResult NotifyHotspotChange(CServiceStore& store, CSharing& sharing, int32_t& ifIndex, int32_t langId,
                            std::optional<std::u16string>& msg);

}  // namespace corvane
