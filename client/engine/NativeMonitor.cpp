// The native link monitor. Each pass: a heartbeat when due, a short look at the engine's disconnection
// event, the stop request, the engine's status over the pipe, and the hotspot. One failed status is put
// down to a busy engine; a second one in the same run means the engine is gone.
#include "engine/NativeMonitor.h"

#include <optional>
#include <string>

#include "core/Format.h"
#include "core/HostResolve.h"
#include "core/Log.h"
#include "core/TextHelpers.h"
#include "core/WindowMessages.h"
#include "engine/EnginePipe.h"
#include "engine/EngineState.h"
#include "engine/Heartbeat.h"
#include "engine/Hotspot.h"
#include "engine/LinkMonitorSteps.h"
#include "platform/HttpUrl.h"
#include "platform/Kernel.h"
#include "platform/Messenger.h"
#include "res/MessageIds.h"

namespace velora {
namespace {

constexpr uintptr_t kLinkCounters = 0;
constexpr uintptr_t kLinkLost = 2;
constexpr uintptr_t kLinkTunnelDown = 3;
constexpr uintptr_t kLinkChooseMode = 4;

uint32_t LinkLost(platform::WindowHandle window) {
    platform::PostWindowMessage(window, UM_LINK_STATE, kLinkLost, 0);
    return 2;
}

// Steps 1-4 of a pass that can end the monitor; no value: go on.
class CNativePass {
public:
    CNativePass(platform::WindowHandle window, const NativeMonitorTiming& timing)
        : m_window(window), m_timing(timing), m_values(ReadHeartbeatValues()) {}

    void Start() {
        EngineState& engine = GetEngineState();
        platform::HttpUrlParts parts;
        if (!m_values.url.empty() && platform::SplitHttpUrl(m_values.url, parts) == 0) {
            // Resolved once so that the name is in the resolver's cache before the engine's routes change.
            platform::Pause(m_timing.settleMs);
            std::u16string address;
            (void)ResolveHostIpv4(parts.host, address);
        }
        if (!engine.lanAssignIp.empty())
            LogFormatMessageIdAtLevel(kLogInfo, kMsgLanAssignedAddress, engine.lanAssignIp);
        if (engine.enableHotspot.load()) {
            int32_t index = -1;
            const int32_t status = QueryShareInterface(index);
            LogFormatMessageId(kMsgShareInterfaceQueried, index, status);
            if (status != 0) LogFormat(u"Failed to get interface index, error code %d", status);
            if (index > 0) platform::PostWindowMessage(m_window, UM_HOTSPOT, 4, 0);
            m_hotspotOn = index > 0;
        }
    }

    std::optional<uint32_t> Run(uint32_t pass) {
        EngineState& engine = GetEngineState();
        const int64_t now = CurrentTimeMillis();
        if (IsHeartbeatDue(now, m_values.intervalMs)) {
            MarkHeartbeatSent(now);
            const HeartbeatAnswer answer = SendHeartbeat(m_values, u"");
            const HeartbeatReading reading = ReadHeartbeatAnswer(answer, engine.ignoreAuthFailure.load());
            if (const auto end = HandleHeartbeatAnswer(reading, m_window)) return end;
            if (reading.accepted) {
                HandleHeartbeatCallback(m_values.snLine, m_values.authLine, m_values.typeLine, answer.text);
                if (reading.chooseMode && engine.allowClientSpecifyMode.load()) {
                    LogMessageIdAtLevel(kMsgOrchestratorAsksForMode, kLogWarn);
                    platform::PostWindowMessage(m_window, UM_LINK_STATE, kLinkChooseMode, 0);
                    return 0u;
                }
            }
        }
        if (engine.disconnectionEvent && engine.disconnectionEvent->Wait(m_timing.disconnectionWaitMs)) {
            LogMessageIdAtLevel(kMsgEngineTurnedAway, kLogError);
            return LinkLost(m_window);
        }
        if (engine.stopMonitorEvent && engine.stopMonitorEvent->Wait(m_timing.stopWaitMs)) {
            LogMessageId(kMsgLinkMonitorStopRequested);
            return 0u;
        }
        int64_t tx = 0;
        int64_t rx = 0;
        bool down = false;
        const int32_t status = QueryEngineStatus(tx, rx, down);
        if (status != 0) {
            if (m_statusFailed) {
                LogFormatMessageIdAtLevel(kLogError, kMsgEngineStatusFailed, status);
                ForgetStopRequest();
                return LinkLost(m_window);
            }
            m_statusFailed = true;
        } else {
            const std::u16string counters = FormatText(u"%lld,%lld", tx, rx);
            const uintptr_t kind = down && pass >= kTunnelDownPasses ? kLinkTunnelDown : kLinkCounters;
            platform::SendWindowMessage(m_window, UM_LINK_STATE, kind,
                                        reinterpret_cast<intptr_t>(counters.c_str()));
        }
        if (engine.enableHotspot.load() && !engine.icsEnabled.load() && engine.hasWirelessAdapter.load()) {
            const bool first = !m_hotspotWatched;
            if (first) LogMessageIdAtLevel(kMsgHotspotWatchStarted, kLogInfo);
            m_hotspotWatched = true;
            PollHotspot(m_hotspotOn, m_window, first);
        }
        return std::nullopt;
    }

private:
    platform::WindowHandle m_window;
    NativeMonitorTiming m_timing;
    HeartbeatValues m_values;
    bool m_statusFailed = false;
    bool m_hotspotOn = false;
    bool m_hotspotWatched = false;
};

}  // namespace

uint32_t NativeMonitor(platform::WindowHandle window, const NativeMonitorTiming& timing) {
    if (const int32_t error = ConnectEnginePipe(); error != 0) {
        LogFormatMessageIdAtLevel(kLogError, kMsgEnginePipeUnreachable, error);
        return LinkLost(window);
    }
    CNativePass pass(window, timing);
    pass.Start();
    uint32_t code = 0;
    // Ends only by the stop request or by the link's loss. Passes are counted only as far as the
    // tunnel-down rule needs them.
    for (uint32_t n = 1;; n = n < kTunnelDownPasses ? n + 1 : n) {
        if (const auto end = pass.Run(n)) {
            code = *end;
            break;
        }
    }
    LogMessageIdAtLevel(kMsgLinkMonitorEnded, kLogInfo);
    CloseEnginePipe();
    return code;
}

}  // namespace velora
