// StartNativeDataPath and what it needs: the service checks, the domain list for the engine, the wait on
// the engine's events, and the engine's tear-down.
#include "engine/NativeDataPath.h"

#include <array>

#include "core/DeviceInfo.h"
#include "core/Log.h"
#include "core/ResultCodes.h"
#include "core/Settings.h"
#include "engine/EnginePipe.h"
#include "engine/EngineState.h"
#include "helper/HelperClient.h"
#include "platform/HttpUrl.h"
#include "platform/Kernel.h"
#include "platform/Services.h"
#include "platform/SystemInfo.h"
#include "res/MessageIds.h"

namespace velora {
namespace {

std::u16string HostOf(std::u16string_view url, bool& parsed) {
    platform::HttpUrlParts parts;
    parsed = platform::SplitHttpUrl(url, parts) == 0;
    return parsed ? parts.host : std::u16string();
}

// Waits for the engine's verdict; the index in the order of the events below, or -1.
int WaitForEngine(uint32_t ms) {
    EngineState& state = GetEngineState();
    const std::array<platform::Event*, 3> events = {state.connectionEvent.get(), state.stopConnectEvent.get(),
                                                    state.disconnectionEvent.get()};
    return platform::WaitForAnyEvent(events, ms);
}

// A disconnect command from the window's exit path (the flag) or from the exported API (the flag and the
// event, which this look takes: the attempt ends on it).
bool StopArrived() {
    EngineState& state = GetEngineState();
    if (state.stopRequested.load()) return true;
    platform::Event* stop = state.stopConnectEvent.get();
    return stop && stop->Wait(0);
}

// Decides the outcome of the wait on the engine's events.
void AwaitEngine(ConnectContext& context) {
    EngineState& state = GetEngineState();
    const uint32_t waitMs = state.retryCount.load() > 0 ? kNativeRetryWaitMs : kNativeWaitMs;
    switch (WaitForEngine(waitMs)) {
        case 0:
            ConnectSucceeded(context);
            return;
        case 1:
            ConnectStoppedByDisconnect(context);
            LogMessageId(kMsgWaitStoppedByDisconnect);
            return;
        case 2:
            LogMessageIdAtLevel(kMsgEngineTokenRefused, kLogError);
            ConnectFailed(context, kConnectTokenRefused, kText2020InvalidToken);
            return;
        default:
            break;
    }
    if (!IsWindows6() && state.nativeTimedOut.load() && state.allowClientSpecifyMode.load())
        state.useClientSpecifyMode = true;
    state.nativeTimedOut = true;
    ConnectFailed(context, kConnectTimedOut, kText2010ConnectTimedOut);
}

}  // namespace

ServiceCheck CheckServiceRunning(std::u16string_view name) {
    const platform::ServiceState s = platform::QueryServiceState(name);
    const int32_t error = static_cast<int32_t>(s.error);
    switch (s.failedStep) {
        case platform::ServiceQueryStep::kOpenManager:
            LogFormatMessageIdAtLevel(kLogError, kMsgServiceManagerOpenFailed, error);
            return ServiceCheck::kUnreadable;
        case platform::ServiceQueryStep::kOpenService:
            LogFormatMessageIdAtLevel(kLogError, kMsgServiceOpenFailed, name, error);
            return ServiceCheck::kUnreadable;
        case platform::ServiceQueryStep::kQueryStatus:
            LogFormatMessageIdAtLevel(kLogError, kMsgServiceQueryFailed, name, error);
            return ServiceCheck::kUnreadable;
        case platform::ServiceQueryStep::kNone:
            break;
    }
    if (s.state == platform::ServiceRunState::kRunning) return ServiceCheck::kRunning;
    LogFormatMessageIdAtLevel(kLogError, kMsgServiceNotRunning, name);
    return ServiceCheck::kNotRunning;
}

std::u16string OrchDomainList() {
    bool authParsed = false, heartbeatParsed = false;
    std::u16string list = HostOf(GetSetting(u"AuthUrl", u""), authParsed);
    const std::u16string heartbeat = HostOf(GetSetting(u"HeartbeatUrl", u""), heartbeatParsed);
    if (heartbeatParsed && heartbeat != list) list += u"," + heartbeat;
    return list;
}

void StopNativeDataPath() {
    (void)StopEngine();
    (void)StopDataPath();
}

void StartNativeDataPath(const ConnectAnswer& answer, ConnectContext& context) {
    EngineState& state = GetEngineState();

    // 1. The firewall base: only a known stop ends the bring-up; an unreadable state goes on.
    if (CheckServiceRunning(kFirewallBaseService) == ServiceCheck::kNotRunning) {
        ConnectFailed(context, kConnectFirewallBaseNotRunning, u"");
        return;
    }

    // 2. Who connects.
    const std::u16string user =
        state.outerAuth.load() ? GetSetting(u"ThirdPartyUser", u"") : GetSetting(u"Username", u"");
    const std::u16string serial = GetInstallationSerial();
    LogFormatMessageIdAtLevel(kLogInfo, kMsgNativeConnectUser, user, GetSetting(u"CustomerId", u""),
                              serial.substr(0, 12));

    // 3. A verdict left from an earlier engine must not be taken for this one's.
    if (state.connectionEvent) state.connectionEvent->Reset();
    if (state.disconnectionEvent) state.disconnectionEvent->Reset();

    // 4, 5. The packet driver and the helper service.
    if (CheckServiceRunning(kPacketDriverService) != ServiceCheck::kRunning) {
        ConnectFailed(context, kConnectDriverNotRunning, kText2013DriverNotRunning);
        return;
    }
    if (CheckServiceRunning(kHelperService) != ServiceCheck::kRunning) {
        ConnectFailed(context, kConnectHelperNotRunning, kText2033HelperNotRunning);
        return;
    }

    // 6. The engine's configuration.
    OrchConfig config;
    config.commuServer = answer.commuServerAddr;
    config.orchId = answer.orchId;
    config.cpeId = answer.engineCpeId;
    config.customerId = answer.customerId;
    config.token = GetSetting(u"AuthToken", u"");
    config.sn = serial;
    config.backServer = answer.candidateCommServers;
    if (SaveOrchConfig(config) < 0) {
        ConnectFailed(context, kConnectConfigNotSaved, kText2018ConfigNotSaved);
        return;
    }

    // A disconnect command that came during the checks: no engine is started for an attempt given up.
    if (StopArrived()) {
        LogMessageId(kMsgWaitStoppedByDisconnect);
        ConnectStoppedByDisconnect(context);
        return;
    }

    // 7, 8. The engine.
    LogMessageIdAtLevel(kMsgStartingDataPath, kLogInfo);
    int32_t ics = 0;
    if (StartDataPath(OrchDomainList(), state.enableHotspot.load() ? 1 : 0, platform::UserDefaultUiLanguage(),
                      ics) < 0) {
        ConnectFailed(context, kConnectDataPathNotStarted, kText2019DataPathNotStarted);
    } else {
        state.icsEnabled = ics != 0;
        LogMessageIdAtLevel(kMsgWaitingForEngine, kLogInfo);
        // 9. The engine's verdict, a disconnect command, or the time-out.
        AwaitEngine(context);
    }
    if (context.report.end == ConnectEnd::kConnected) return;
    // An engine left running by an attempt that failed or was stopped would reach the orchestrator with
    // no monitor, no heartbeat and nobody left to stop it (a later disconnect finds nothing connected).
    LogDebug(u"The native connect ended without a connection: stopping the data path");
    StopNativeDataPath();
}

}  // namespace velora
