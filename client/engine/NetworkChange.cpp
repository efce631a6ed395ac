// The network-change check and its debounce (see the header).
#include "engine/NetworkChange.h"

#include "core/Log.h"
#include "core/DeviceInfo.h"
#include "core/WindowMessages.h"
#include "engine/EngineState.h"
#include "helper/HelperClient.h"
#include "platform/Messenger.h"
#include "platform/SystemInfo.h"
#include "res/MessageIds.h"

namespace velora {
namespace {

constexpr uintptr_t kLinkLost = 2;
constexpr uintptr_t kLinkNetworkChanged = 5;
constexpr uint16_t kChineseSimplified = 2052;

std::u16string ShownAddress(const std::u16string& address) {
    if (!address.empty()) return address;
    return platform::UserDefaultUiLanguage() == kChineseSimplified ? u"\u65e0" : u" none";
}

}  // namespace

bool NetworkChanged(std::u16string_view rememberedAddress, bool verbose, bool tunnelMode) {
    EngineState& engine = GetEngineState();
    const int32_t remembered = static_cast<int32_t>(engine.defaultGatewayIfIndex.load());
    int32_t index = remembered;
    const int32_t status = FindDefaultGatewayInterface(tunnelMode ? 1 : 0, tunnelMode ? 1 : 0,
                                                       tunnelMode ? u"Hal-Vane" : u"", index);
    if (status < 0 || index == remembered) {
        const std::u16string current = GetInterfaceIp(static_cast<uint32_t>(remembered));
        if (rememberedAddress.empty() || rememberedAddress == current) return false;
        if (verbose)
            LogFormatMessageIdAtLevel(kLogInfo, kMsgDefaultAddressChanged, std::u16string(rememberedAddress),
                                      ShownAddress(current));
        return true;
    }
    if (verbose) LogFormatMessageIdAtLevel(kLogInfo, kMsgDefaultRouteMoved, remembered, index);
    return true;
}

CNetworkChangeDebounce::CNetworkChangeDebounce(std::u16string rememberedAddress, bool tunnelMode,
                                               uint32_t checkWaitMs)
    : m_remembered(std::move(rememberedAddress)), m_tunnelMode(tunnelMode), m_checkWaitMs(checkWaitMs) {}

std::optional<uint32_t> CNetworkChangeDebounce::Pass(platform::WindowHandle window, int64_t nowMs) {
    if (m_noticedAt) {
        if (nowMs - *m_noticedAt > kNetworkChangeHoldMs) {
            if (NetworkChanged(m_remembered, false, m_tunnelMode)) {
                platform::PostWindowMessage(window, UM_LINK_STATE, kLinkLost, 0);
                if (EngineState& engine = GetEngineState(); engine.stopMonitorEvent)
                    engine.stopMonitorEvent->Reset();
                return 2u;
            }
            m_noticedAt.reset();
        }
        return std::nullopt;
    }
    if (m_watch.Armed() && m_watch.Wait(m_checkWaitMs)) {
        if (NetworkChanged(m_remembered, true, m_tunnelMode)) {
            LogMessageIdAtLevel(kMsgNetworkChanged, kLogInfo);
            m_noticedAt = nowMs;
            platform::PostWindowMessage(window, UM_LINK_STATE, kLinkNetworkChanged, 0);
        }
    }
    // A failed arm is tried again next pass, never in a loop: the pass's own wait paces it.
    m_watch.Arm();
    return std::nullopt;
}

}  // namespace velora
