// The hotspot notification's decisions.
#include "logic/HotspotNotify.h"

#include "logic/ControlHelperLogic.h"
#include "logic/DataPathMessages.h"

namespace corvane {

HResult NotifyHotspotChange(CServiceStore& store, CSharing& sharing, int32_t& ifIndex, int32_t langId,
                            std::optional<std::u16string>& msg) {
    const HotspotState state = sharing.QueryHotspotState();
    if (!state.succeeded) {
        msg = std::u16string(DataPathMessageText(state.serviceUnavailable
                                                     ? DataPathMessage::HotspotNotStarted
                                                     : DataPathMessage::HotspotStateProblem,
                                                 langId));
        return kS_OK;
    }
    const int32_t old = SharingInterfaceIndex();
    if (!state.on) {
        store.WriteLog(u"Change the wireless hotspot status to off. Old Wi-Fi interface index is " +
                       Decimal(old) + u" new Wi-Fi interface index is -1");
        if (old == -1) return kS_OK;
        ifIndex = -1;
        msg = std::u16string(DataPathMessageText(DataPathMessage::HotspotOffUpdate, langId));
        SetSharingInterfaceIndex(-1);
        return kS_OK;
    }
    const SharingInterface found = sharing.FindHotspotSharingInterface(state.adapterId);
    store.WriteLog(u"Change the wireless hotspot status to on. Old Wi-Fi interface index is " + Decimal(old) +
                   u" new Wi-Fi interface index is " + Decimal(found.index));
    if (found.index == -1) {
        msg = std::u16string(DataPathMessageText(DataPathMessage::HotspotInterfaceProblem, langId));
        return kS_OK;
    }
    if (found.index == old) return kS_OK;
    ifIndex = found.index;
    const std::u16string text =
        FormatInterfaceMessage(DataPathMessage::HotspotOnUpdate, langId, found.display, found.index);
    if (!text.empty()) msg = text;
    SetSharingInterfaceIndex(found.index);
    return kS_OK;
}

}  // namespace corvane
