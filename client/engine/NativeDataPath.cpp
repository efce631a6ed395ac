// StartNativeDataPath and what it needs: the service checks, the domain list for the engine, and the
// wait on the engine's events.
#include "engine/NativeDataPath.h"

#include <array>

#include "core/DeviceInfo.h"
#include "core/JsonFields.h"
#include "core/Log.h"
#include "core/ResultCodes.h"
#include "core/Settings.h"
#include "core/WindowMessages.h"
#include "engine/EngineState.h"
#include "helper/HelperClient.h"
#include "platform/HttpUrl.h"
#include "platform/Kernel.h"
#include "platform/Messenger.h"
#include "platform/Services.h"
#include "platform/SystemInfo.h"
#include "res/MessageIds.h"

namespace velora {
namespace {

void Fail(ConnectContext& context, int32_t code, std::u16string_view text) {
    context.message = std::u16string(text);
    context.result = code;
    platform::PostWindowMessage(platform::MainWindow(), UM_CONNECT_RESULT, static_cast<uint32_t>(code), 0);
}

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

void StartNativeDataPath(std::u16string_view answer, ConnectContext& context) {
    EngineState& state = GetEngineState();

    // 1. The firewall base: only a known stop ends the bring-up; an unreadable state goes on.
    if (CheckServiceRunning(kFirewallBaseService) == ServiceCheck::kNotRunning) {
        Fail(context, kConnectFirewallBaseNotRunning, u"");
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
        Fail(context, kConnectDriverNotRunning, kText2013DriverNotRunning);
        return;
    }
    if (CheckServiceRunning(kHelperService) != ServiceCheck::kRunning) {
        Fail(context, kConnectHelperNotRunning, kText2033HelperNotRunning);
        return;
    }

    // 6. The engine's configuration.
    OrchConfig config;
    config.commuServer = GetStringField(answer, u"commuServerAddr", u"");
    config.orchId = GetIntField(answer, u"orchId", 0);
    config.cpeId = GetIntField(answer, u"cpeId", 0);
    config.customerId = GetIntField(answer, u"customerId", 0);
    config.token = GetSetting(u"AuthToken", u"");
    config.sn = serial;
    config.backServer = GetArrayField(answer, u"candidateCommServers", u"");
    if (SaveOrchConfig(config) < 0) {
        Fail(context, kConnectConfigNotSaved, kText2018ConfigNotSaved);
        return;
    }

    // 7, 8. The engine.
    LogMessageIdAtLevel(kMsgStartingDataPath, kLogInfo);
    int32_t ics = 0;
    if (StartDataPath(OrchDomainList(), state.enableHotspot.load() ? 1 : 0, platform::UserDefaultUiLanguage(),
                      ics) < 0) {
        Fail(context, kConnectDataPathNotStarted, kText2019DataPathNotStarted);
        return;
    }
    state.icsEnabled = ics != 0;
    LogMessageIdAtLevel(kMsgWaitingForEngine, kLogInfo);

    // 9. The engine's verdict, a disconnect command, or the time-out.
    const uint32_t waitMs = state.retryCount.load() > 0 ? kNativeRetryWaitMs : kNativeWaitMs;
    switch (WaitForEngine(waitMs)) {
        case 0:
            context.message.clear();
            context.result = 0;
            platform::PostWindowMessage(platform::MainWindow(), UM_CONNECT_RESULT, 0, 0);
            return;
        case 1:
            context.message = kTextStoppedByDisconnect;
            context.result = kConnectStopped;
            LogMessageId(kMsgWaitStoppedByDisconnect);
            return;
        case 2:
            LogMessageIdAtLevel(kMsgEngineTokenRefused, kLogError);
            Fail(context, kConnectTokenRefused, kText2020InvalidToken);
            return;
        default:
            break;
    }
    if (!IsWindows6() && state.nativeTimedOut.load() && state.allowClientSpecifyMode.load())
        state.useClientSpecifyMode = true;
    state.nativeTimedOut = true;
    Fail(context, kConnectTimedOut, kText2010ConnectTimedOut);
}

}  // namespace velora
