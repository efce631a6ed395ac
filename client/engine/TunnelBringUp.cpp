// The L2TP/IPsec bring-up of the VCPE and DCPE modes: find a live gateway through the orchestrator's check
// URL, write the dial-up entry, dial, install the filter list's routes; and the tunnel's side of the
// tear-down (routes, hang-up). The user name, the password and the pre-shared key are handed to the dial-up
// layer only: no log line and no phonebook line carries them.
#include "engine/TunnelBringUp.h"

#include <string>

#include "core/HttpClient.h"
#include "core/Log.h"
#include "core/ResultCodes.h"
#include "core/Settings.h"
#include "core/TextHelpers.h"
#include "engine/EngineState.h"
#include "engine/TunnelValues.h"
#include "helper/HelperClient.h"
#include "platform/DialUp.h"
#include "platform/Files.h"
#include "platform/Kernel.h"
#include "platform/Messenger.h"
#include "platform/WindowTimer.h"
#include "res/MessageIds.h"

namespace velora {
namespace {

constexpr uint32_t kCheckPauseMs = 3000;
constexpr std::size_t kSerialShown = 12;
constexpr int32_t kHelperFailed = static_cast<int32_t>(0x80004005);  // E_FAIL

// One poll of the check URL: an empty form POST without extra header lines. True with the answer when
// the transport succeeded with status 200.
bool PollCheckUrl(std::u16string_view url, std::string& answer) {
    CHttpClient client;
    uint32_t status = 0;
    answer.clear();
    return client.PostText(url, u"", answer, status, 0) == 0 && status == 200;
}

// The 3-second pause between polls; true when a disconnect command cut it short.
bool StopArrivedWhileWaiting() {
    platform::Event* stop = GetEngineState().stopConnectEvent.get();
    if (!stop) {
        platform::Pause(kCheckPauseMs);
        return false;
    }
    return platform::PauseUntilSignalled(*stop, kCheckPauseMs);
}

void LogTunnelAccount(uint32_t messageId) {
    const std::u16string user = GetSetting(GetEngineState().outerAuth ? u"ThirdPartyUser" : u"Username", u"");
    const std::u16string customer = GetSetting(u"CustomerId", u"");
    const std::u16string serial = GetSetting(u"Serial", u"").substr(0, kSerialShown);
    LogFormatMessageIdAtLevel(kLogInfo, messageId, user, customer, serial);
}

// The gateway is live: remember it, write the entry and dial.
void BuildTunnel(std::u16string_view gateway, uint32_t accountMessage, const TunnelCredentials& credentials,
                 ConnectContext& context) {
    SetSetting(u"GatewayIp", gateway);
    LogTunnelAccount(accountMessage);
    LogMessageIdAtLevel(kMsgPreparingTunnel, kLogInfo);
    WriteTunnelEntry(gateway, credentials.ipsecName, credentials.ipsecPassword, credentials.psk, context);
    DialTunnel(credentials.ipsecName, credentials.ipsecPassword, context);
}

void HangUp(platform::DialUpHandle handle) {
    if (handle) (void)platform::HangUpDialUp(handle, kHangUpWaitMs);
}

}  // namespace

std::u16string TunnelPhonebookPath() {
    return LogFolder() + platform::kPathSeparator + kTunnelPhonebookName;
}

void StartVcpeTunnel(const ConnectAnswer& answer, ConnectContext& context) {
    const VcpeValues& values = answer.vcpe;
    LogMessageIdAtLevel(kMsgVcpeBringUp, kLogInfo);
    if (values.plan.specialCaseCode == 1) PostConnectNotice(kTunnelSpecialCaseNotice);
    LogAtLevel(FormatText(u"Get gateway: %s, public IP: %s and checkurl: %s", values.vgwIp, values.publicIp,
                          values.plan.checkStatusUrl),
               kLogInfo);
    if (values.vgwIp.empty()) {
        LogMessageIdAtLevel(kMsgVcpeGatewayMissing, kLogError);
        ConnectFailed(context, kTunnelInvalidAnswer, kTextInvalidGateway);
        return;
    }
    if (values.plan.checkStatusUrl.empty()) {
        LogMessageIdAtLevel(kMsgVcpeCheckUrlMissing, kLogError);
        ConnectFailed(context, kTunnelInvalidAnswer, kTextInvalidCheckUrl);
        return;
    }
    LogMessageIdAtLevel(kMsgWaitingForGateway, kLogInfo);
    for (int32_t poll = 0; poll < values.plan.checkRepeatTimes; ++poll) {
        std::string checkAnswer;
        if (PollCheckUrl(values.plan.checkStatusUrl, checkAnswer) && IsVcpeGatewayLive(checkAnswer)) {
            LogMessageIdAtLevel(kMsgVcpeGatewayActive, kLogInfo);
            BuildTunnel(values.vgwIp, kMsgVcpeTunnelAccount, values.credentials, context);
            return;
        }
        if (StopArrivedWhileWaiting()) {
            LogMessageId(kMsgWaitStoppedByDisconnect);
            ConnectStoppedByDisconnect(context);
            return;
        }
    }
    LogMessageIdAtLevel(kMsgNoActiveVcpe, kLogError);
    ConnectFailed(context, kTunnelNoActiveGateway, kTextNoActiveVcpe);
}

void StartDcpeTunnel(const ConnectAnswer& answer, ConnectContext& context) {
    const TunnelCheckPlan& plan = answer.vcpe.plan;
    if (plan.checkStatusUrl.empty()) {
        LogMessageIdAtLevel(kMsgDcpeCheckUrlMissing, kLogError);
        ConnectFailed(context, kTunnelInvalidAnswer, kTextCheckUrlNull);
        return;
    }
    if (plan.specialCaseCode == 1) PostConnectNotice(kTunnelSpecialCaseNotice);
    LogMessageIdAtLevel(kMsgDcpeBringUp, kLogInfo);
    for (int32_t poll = 0; poll < plan.checkRepeatTimes; ++poll) {
        std::string checkAnswer;
        if (PollCheckUrl(plan.checkStatusUrl, checkAnswer)) {
            const DcpeCheckValues values = ReadDcpeCheckValues(Utf8ToUtf16(checkAnswer));
            if (IsDcpeGatewayLive(values)) {
                LogMessageIdAtLevel(kMsgDcpeGatewayActive, kLogInfo);
                LogMessageIdAtLevel(kMsgDcpeGatewayChosen, kLogInfo);
                BuildTunnel(values.popIp, kMsgDcpeTunnelAccount, values.credentials, context);
                return;
            }
        }
        if (StopArrivedWhileWaiting()) {
            LogMessageId(kMsgDcpeWaitStopped);
            ConnectStoppedByDisconnect(context);
            return;
        }
    }
    LogMessageIdAtLevel(kMsgNoActiveDcpe, kLogError);
    ConnectFailed(context, kTunnelNoActiveGateway, kTextNoActiveDcpe);
}

void WriteTunnelEntry(std::u16string_view gateway, std::u16string_view, std::u16string_view,
                      std::u16string_view psk, ConnectContext& context) {
    const std::u16string phonebook = TunnelPhonebookPath();
    const platform::DialUpEntryResult written = platform::WriteDialUpEntry(
        phonebook, kTunnelEntryName, TunnelEntryFor(gateway, GetEngineState().whiteIpSet));
    if (written.step == platform::DialUpEntryStep::Allocate) {
        context.message = kTextNoMemory;
        context.result = static_cast<int32_t>(platform::kErrorNotEnoughMemory);
        LogMessageIdAtLevel(kMsgOutOfMemory, kLogError);
        return;
    }
    if (written.step == platform::DialUpEntryStep::Write) {
        LogFormatMessageIdAtLevel(kLogError, kMsgTunnelEntryFailed, written.error);
        context.message = FormatText(u"RasSetEntry failed with error code %d", written.error);
        context.result = static_cast<int32_t>(written.error);
        return;
    }
    if (const uint32_t error = platform::SetDialUpPresharedKey(phonebook, kTunnelEntryName, psk);
        error != 0) {
        LogFormatMessageIdAtLevel(kLogError, kMsgTunnelKeyFailed, error);
        context.message = FormatText(u"RasSetCredentials failed with error code %d", error);
        context.result = static_cast<int32_t>(error);
    }
}

void DialTunnel(std::u16string_view ipsecName, std::u16string_view ipsecPassword, ConnectContext& context) {
    EngineState& state = GetEngineState();
    state.rasConnection.store(nullptr);
    // A tick the window handled after an earlier dial had returned left a mark that belongs to no dial.
    state.dialTimedOut.store(false);
    platform::SetWindowTimer(platform::MainWindow(), kDialTimeoutTimerId, kDialTimeoutMs);
    platform::Event* stop = state.stopConnectEvent.get();
    platform::DialUpHandle handle = nullptr;
    const uint32_t begun =
        platform::BeginDialUpEntry(TunnelPhonebookPath(), kTunnelEntryName, ipsecName, ipsecPassword, handle);
    platform::DialUpWaitResult dial{platform::DialUpWaitEnd::Failed, begun};
    if (begun == 0) {
        // Kept before the wait: a disconnect command or the exit finds the dial here and hangs it up,
        // which ends the wait at once.
        state.rasConnection.store(handle);
        dial = platform::WaitForDialUp(handle, kDialWaitMs, stop);
    }
    platform::KillWindowTimer(platform::MainWindow(), kDialTimeoutTimerId);
    // The mark is cleared whatever the dial's outcome, so that it never swallows a later dial's failure.
    const bool windowReportedTimeout = state.dialTimedOut.exchange(false);
    // Whoever takes the handle out of the state hangs it up, once; false when a disconnect command or the
    // exit took it first.
    const auto hangUpOwn = [&] {
        platform::DialUpHandle own = handle;
        if (!state.rasConnection.compare_exchange_strong(own, nullptr)) return false;
        HangUp(handle);
        return true;
    };
    if (dial.end != platform::DialUpWaitEnd::Connected) {
        // A dial that did not come up is hung up too: a failed one holds the system's resources until
        // then, one that is still running would come up without an owner.
        const bool takenByStop = handle && !hangUpOwn();
        if (dial.end == platform::DialUpWaitEnd::Stopped || takenByStop) {
            LogDebug(u"The dial was ended by a disconnect command");
            ConnectStoppedByDisconnect(context);
            return;
        }
        const uint32_t error = dial.end == platform::DialUpWaitEnd::TimedOut
                                   ? static_cast<uint32_t>(kDialTimedOut)
                                   : dial.error;
        const std::u16string text = FormatText(u"RasDial failed with error code %d", error);
        // Once the window has reported the time-out, nothing more is reported of this dial.
        if (windowReportedTimeout) {
            ConnectFailedAsReported(context, static_cast<int32_t>(error), text);
            return;
        }
        LogFormatMessageIdAtLevel(kLogError, kMsgTunnelDialFailed, error, platform::DialUpErrorText(error));
        ConnectFailed(context, static_cast<int32_t>(error), text);
        return;
    }
    if (windowReportedTimeout) {
        // The window has given this attempt up and reported 999: a connection that comes up now would be
        // left without an owner.
        (void)hangUpOwn();
        ConnectFailedAsReported(context, kDialTimedOut,
                                FormatText(u"RasDial failed with error code %d", kDialTimedOut));
        return;
    }
    if (stop && stop->Wait(0)) {
        // A disconnect command came as the dial came up: its hang-up may have come before the connection
        // was up, or not at all yet.
        (void)hangUpOwn();
        LogDebug(u"The dial ended after a disconnect command: connection hung up");
        ConnectStoppedByDisconnect(context);
        return;
    }
    // The dial decides the outcome: an entry error kept from the step before is logged already.
    const int32_t mode = state.ipSetMode;
    if (TunnelRoutesWanted(mode, state.whiteIpSet, state.blackIpSet)) {
        LogMessageIdAtLevel(kMsgInstallingTunnelRoutes, kLogInfo);
        const int32_t code = UpdateRoutes(kRoutesAdd, true, state.blackIpSet, state.whiteIpSet, mode);
        if (code != 0) {
            // The service may have installed some items before it refused another: take them out again
            // and drop the tunnel, so a refused list never leaves a half-routed connection behind.
            (void)UpdateRoutes(kRoutesRemove, true, state.blackIpSet, state.whiteIpSet, mode);
            HangUp(state.rasConnection.exchange(nullptr));
            ConnectFailed(context, code == kHelperFailed ? kTunnelRoutesFailed : kTunnelRoutesRefused, u"");
            return;
        }
    }
    ConnectSucceeded(context);
}

void RemoveTunnelRoutes() {
    const EngineState& state = GetEngineState();
    const int32_t mode = state.ipSetMode;
    if (!TunnelRoutesWanted(mode, state.whiteIpSet, state.blackIpSet)) return;
    LogMessageIdAtLevel(kMsgRemovingTunnelRoutes, kLogInfo);
    (void)UpdateRoutes(kRoutesRemove, true, state.blackIpSet, state.whiteIpSet, mode);
}

void HangUpTunnel() {
    HangUp(GetEngineState().rasConnection.exchange(nullptr));
}

void HangUpLeftoverTunnel() {
    uint32_t error = 0;
    for (const platform::DialUpConnectionInfo& connection : platform::ListDialUpConnections(error)) {
        if (connection.entryName != kTunnelEntryName) continue;
        uint32_t status = 0;
        if (platform::GetDialUpState(connection.handle, status) == 0 &&
            status == platform::kDialUpStateConnected) {
            HangUp(connection.handle);
            platform::DialUpHandle own = connection.handle;
            GetEngineState().rasConnection.compare_exchange_strong(own, nullptr);
            LogMessageIdAtLevel(kMsgLeftoverTunnelHungUp, kLogInfo);
        }
        return;
    }
}

}  // namespace velora
