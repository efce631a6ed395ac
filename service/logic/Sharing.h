// Hotspot and connection-sharing detection as the engine start and WifiSpotHotNotify use it. The Windows
// host asks the platform; CSimSharing answers from a table, so the decisions built on it are tested
// with every outcome on both platforms.
#pragma once
#include <cstdint>
#include <string>

namespace corvane {

struct HotspotState {
    bool succeeded = false;
    bool on = false;
    bool serviceUnavailable = false;
    std::u16string adapterId;  // "{%08X-%04X-%04x-...}" of the internet profile's adapter
};

struct SharingInterface {
    int32_t index = -1;
    std::u16string display;  // "%s(%s)": alias and description
};

class CSharing {
public:
    virtual ~CSharing() = default;
    virtual HotspotState QueryHotspotState() = 0;
    virtual SharingInterface FindHotspotSharingInterface(const std::u16string& adapterId) = 0;
    virtual SharingInterface FindIcsSharingInterface() = 0;
};

}  // namespace corvane
