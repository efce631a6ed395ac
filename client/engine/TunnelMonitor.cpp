// The tunnel link monitor. The connection is lost when its handle is missing or no longer valid, when the
// dial-up layer reports it disconnected, when the interface table cannot be read, or when the network under
// it changed for good; the tunnel interface's counters go to the window every pass.
#include "engine/TunnelMonitor.h"

#include <optional>
#include <string>

#include "core/DeviceInfo.h"
#include "core/Format.h"
#include "core/Log.h"
#include "core/TextHelpers.h"
#include "core/WindowMessages.h"
#include "engine/EngineState.h"
#include "engine/Heartbeat.h"
#include "engine/LinkMonitorSteps.h"
#include "engine/NetworkChange.h"
#include "platform/DialUp.h"
#include "platform/Kernel.h"
#include "platform/Messenger.h"
#include "platform/Network.h"
#include "platform/SystemErrors.h"
#include "res/MessageIds.h"

namespace velora {
namespace {

constexpr uintptr_t kLinkCounters = 0;
constexpr uintptr_t kLinkLost = 2;
constexpr uint32_t kDialUpStateDisconnected = 0x2001;
// The interface table's second read reports no code of its own.
constexpr uint32_t kTableReadFailed = 31;
constexpr char kTunnelInterface[] = "Hal-Vane";

// 0 when the table was read, else the code it failed with.
uint32_t TableError(const platform::InterfaceTable& table) {
    if (table.sizeQueryResult != platform::kErrorInsufficientBuffer) return table.sizeQueryResult;
    if (table.allocationFailed) return platform::kErrorInsufficientBuffer;
    return table.readOk ? 0 : kTableReadFailed;
}

void LogTableError(uint32_t error) {
    LogFormatMessageIdAtLevel(kLogError, kMsgStepFailedWithError, std::u16string(u"GetIfTable"),
                              static_cast<int32_t>(error));
}

// A link the monitor gives up itself: a stop asked for now belongs to this run, not to the next monitor.
// A stop already asked for wins: the disconnect worker hangs the tunnel up once its wait for the monitor
// has run out, and the monitor must not take that hang-up for a lost link and turn a user's stop into a
// reconnect.
uint32_t LinkLost(platform::WindowHandle window) {
    EngineState& engine = GetEngineState();
    if (engine.stopMonitorEvent && engine.stopMonitorEvent->Wait(0)) {
        LogMessageId(kMsgLinkMonitorStopRequested);
        return 0;
    }
    return GiveUpLink(window);
}

class CTunnelPass {
public:
    CTunnelPass(platform::WindowHandle window, const TunnelMonitorTiming& timing)
        : m_window(window),
          m_timing(timing),
          m_values(ReadHeartbeatValues()),
          m_debounce(GetInterfaceIp(static_cast<uint32_t>(GetEngineState().defaultGatewayIfIndex.load())),
                     true, timing.checkWaitMs) {}

    std::optional<uint32_t> Run() {
        EngineState& engine = GetEngineState();
        const platform::DialUpHandle connection = engine.rasConnection.load();
        if (!connection) {
            LogMessageIdAtLevel(kMsgTunnelHandleMissing, kLogError);
            return LinkLost(m_window);
        }
        const int64_t now = Now();
        if (IsHeartbeatDue(now, m_values.intervalMs)) {
            MarkHeartbeatSent(now);
            const HeartbeatAnswer answer = SendHeartbeat(m_values, u"");
            const HeartbeatReading reading = ReadHeartbeatAnswer(answer, engine.ignoreAuthFailure.load());
            if (const auto end = HandleHeartbeatAnswer(reading, m_window)) return end;
        }
        uint32_t state = 0;
        if (const uint32_t error = platform::GetDialUpState(connection, state); error != 0) {
            if (error == platform::kDialUpErrorInvalidHandle) {
                LogMessageIdAtLevel(kMsgTunnelConnectionGone, kLogError);
            } else {
                LogFormatMessageIdAtLevel(kLogError, kMsgTunnelStateFailed, static_cast<int32_t>(error));
            }
            return LinkLost(m_window);
        }
        if (state == kDialUpStateDisconnected) {
            LogMessageIdAtLevel(kMsgTunnelConnectionGone, kLogError);
            return LinkLost(m_window);
        }
        const platform::InterfaceTable table = platform::ReadInterfaceTable();
        if (const uint32_t error = TableError(table); error != 0) {
            LogTableError(error);
            return LinkLost(m_window);
        }
        for (const platform::InterfaceRow& row : table.rows) {
            if (row.description != kTunnelInterface) continue;
            // The system's counters are unsigned 32-bit: shown signed, a busy tunnel's totals would turn
            // negative past 2 GiB.
            const std::u16string counters = FormatText(u"%u,%u", row.outOctets, row.inOctets);
            platform::SendWindowMessage(m_window, UM_LINK_STATE, kLinkCounters,
                                        reinterpret_cast<intptr_t>(counters.c_str()));
        }
        return FinishLinkPass(m_debounce, m_window, Now(), m_timing.stopWaitMs);
    }

private:
    int64_t Now() const { return LinkMonitorNow(m_timing.now); }

    platform::WindowHandle m_window;
    TunnelMonitorTiming m_timing;
    HeartbeatValues m_values;
    CNetworkChangeDebounce m_debounce;
};

}  // namespace

uint32_t TunnelMonitor(platform::WindowHandle window, const TunnelMonitorTiming& timing) {
    EngineState& engine = GetEngineState();
    if (!engine.lanAssignIp.empty())
        LogFormatMessageIdAtLevel(kLogInfo, kMsgLanAssignedAddress, engine.lanAssignIp);
    const platform::InterfaceTable table = platform::ReadInterfaceTable();
    if (table.sizeQueryResult != platform::kErrorInsufficientBuffer || table.allocationFailed) {
        const uint32_t error = TableError(table);
        LogTableError(error);
        platform::PostWindowMessage(window, UM_LINK_STATE, kLinkLost, error);
        return 0;
    }
    return RunLinkMonitor<CTunnelPass>(window, timing);
}

}  // namespace velora
