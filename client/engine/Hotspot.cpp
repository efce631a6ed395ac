// The hotspot watcher's step, over the platform's reading of the networking runtime.
#include "engine/Hotspot.h"

#include "core/Log.h"
#include "core/WindowMessages.h"
#include "engine/EnginePipe.h"
#include "helper/HelperClient.h"
#include "platform/Messenger.h"
#include "platform/SystemInfo.h"
#include "platform/Tethering.h"
#include "res/MessageIds.h"

namespace velora {

platform::TetheringProbe CHotspotPort::Probe() {
    return platform::ProbeTethering();
}

int32_t CHotspotPort::WifiSpotHotNotify() {
    return velora::WifiSpotHotNotify(platform::UserDefaultUiLanguage());
}

int32_t CHotspotPort::SetShareInterface(int32_t index) {
    return velora::SetShareInterface(index);
}

void PollHotspot(bool& lastState, platform::WindowHandle window, bool log) {
    CHotspotPort port;
    PollHotspot(lastState, window, log, port);
}

void PollHotspot(bool& lastState, platform::WindowHandle window, bool log, CHotspotPort& port) {
    const platform::TetheringProbe probe = port.Probe();
    switch (probe.stage) {
        case platform::TetheringStage::kNoProfile:
            if (log) LogDebug(u"Not find connection profile");
            return;
        case platform::TetheringStage::kNoInternet:
            if (log) LogDebug(u"The connection profile has no internet access");
            return;
        case platform::TetheringStage::kNoManager:
            if (log) LogDebug(u"Failed to init tetheringManager");
            return;
        case platform::TetheringStage::kRead:
            break;
    }
    if (probe.on == lastState) return;
    const int32_t index = port.WifiSpotHotNotify();
    if (index != 0) {
        LogFormatMessageIdAtLevel(kLogInfo, kMsgHotspotInterface, index);
        const int32_t result = port.SetShareInterface(index);
        if (result != 0) {
            LogFormatMessageIdAtLevel(kLogInfo, kMsgShareInterfaceSetFailed, result);
        } else {
            platform::PostWindowMessage(window, UM_HOTSPOT, index > 0 ? 4 : 5, 0);
        }
    }
    lastState = probe.on;
}

}  // namespace velora
