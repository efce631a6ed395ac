// ValidateUserAndConnectThread: the connect request to the orchestrator, the configuration its answer
// carries, the choice of the mode, the filter list, and the hand-over to the mode's bring-up. The steps
// run in a fixed order; a stop request is honoured only at the three check points.
#include "engine/ConnectWorker.h"

#include <mutex>
#include <utility>

#include "core/DeviceInfo.h"
#include "core/Format.h"
#include "core/HostResolve.h"
#include "core/HttpClient.h"
#include "core/JsonFields.h"
#include "core/Log.h"
#include "core/ResultCodes.h"
#include "core/SecretMask.h"
#include "core/Settings.h"
#include "core/TextHelpers.h"
#include "core/Version.h"
#include "core/WindowMessages.h"
#include "engine/ConnectAnswer.h"
#include "engine/DiagnosisHook.h"
#include "engine/EngineState.h"
#include "engine/FilterList.h"
#include "engine/MobileDetect.h"
#include "engine/NativeDataPath.h"
#include "engine/TunnelBringUp.h"
#include "helper/HelperClient.h"
#include "platform/ComApartment.h"
#include "platform/Messenger.h"
#include "platform/Network.h"
#include "platform/WindowTimer.h"
#include "platform/SystemInfo.h"
#include "res/MessageIds.h"

namespace velora {
namespace {

constexpr int32_t kConnectPasswordMustChange = kCodePasswordMustChange;
constexpr int32_t kConnectTokenInvalid = kCodeTokenInvalid;
constexpr int32_t kConnectNoToken = kCodeNoToken;
constexpr int32_t kConnectGatewayAddresses = kCodeGatewayAddresses;
constexpr uint32_t kHotspotMinimumBuild = 14393;
constexpr uint16_t kChinesePrc = 2052;
// The answer goes to the log for diagnosis; an answer this long is no connect answer, and the log is
// read by people: the rest is left out.
constexpr std::size_t kMaxLoggedAnswer = 8192;

std::mutex& SourceLock() {
    static std::mutex lock;
    return lock;
}
ServerErrorTextSource& Source() {
    static ServerErrorTextSource source;
    return source;
}

void Stop(ConnectContext& context, uint32_t messageId) {
    LogMessageId(messageId);
    ConnectStoppedByDisconnect(context);
}

// The answer as the log shows it: its secrets masked, and no longer than a connect answer is.
std::u16string LoggedAnswer(std::u16string_view answer) {
    // Masked before it is cut, so a secret that the cut would split is still masked whole.
    std::u16string shown = MaskSecrets(answer);
    if (shown.size() > kMaxLoggedAnswer) shown.resize(kMaxLoggedAnswer);
    return shown;
}

// The addresses of a host name routed outside the tunnel; a name that does not resolve routes nothing.
void RouteHostOutside(std::u16string_view host) {
    std::u16string addresses;
    if (!ResolveHostIpv4(host, addresses) || addresses.empty()) return;
    (void)AddRouterToGW(addresses);
}

// NATIVE with `popIpsEnable`: the orchestrator's own servers must stay reachable outside the tunnel.
void RouteOrchestratorServers(const ConnectAnswer& answer) {
    const EngineState& state = GetEngineState();
    LogMessageIdAtLevel(kMsgRoutingCommunicationServer, kLogInfo);
    const std::u16string& commu = answer.commuServerAddr;
    const std::size_t colon = commu.find(u':');
    if (colon == std::u16string::npos) {
        LogFormatMessageIdAtLevel(kLogInfo, kMsgAddressWithoutPort, commu);
    } else {
        RouteHostOutside(std::u16string_view(commu).substr(0, colon));
    }
    LogFormat(u"%s", commu);
    LogMessageIdAtLevel(kMsgRoutingOrchestratorDomains, kLogInfo);
    const std::u16string& domains = answer.orchDomains;
    LogFormat(u"%s", domains);
    std::size_t start = 0;
    while (start <= domains.size()) {
        std::size_t end = domains.find(u',', start);
        if (end == std::u16string::npos) end = domains.size();
        if (end > start) RouteHostOutside(std::u16string_view(domains).substr(start, end - start));
        start = end + 1;
    }
    // The list goes whole, an empty one too: what the service makes of it is its own to log.
    LogMessageIdAtLevel(kMsgRoutingRemoteAddresses, kLogInfo);
    (void)AddRouterToGW(state.remoteIps);
}

// DCPE: a default-route adapter with several IPv4 addresses may send the tunnel's traffic from the
// wrong one; the window tells the user on the first attempt. The adapter list shows an adapter without an
// address with the one empty entry "0.0.0.0", which holds no address.
void CheckGatewayAddresses(int64_t index) {
    const platform::AdapterAddresses adapter = platform::ReadAdapterIpv4Addresses(index);
    if (adapter.allocationFailed) {
        LogMessageId(kMsgOutOfMemory);
        return;
    }
    if (adapter.error != 0) {
        LogFormatMessageId(kMsgStepFailedWithError, u"GetAdaptersInfo", static_cast<int32_t>(adapter.error));
        return;
    }
    int count = 0;
    for (const std::u16string& entry : adapter.entries)
        if (!entry.empty() && entry != u"0.0.0.0") ++count;
    if (count > 1 && GetEngineState().firstAttempt.load()) PostConnectNotice(kConnectGatewayAddresses);
}

void FindGatewayInterface(int32_t exceptVirtual) {
    EngineState& state = GetEngineState();
    int32_t index = static_cast<int32_t>(state.defaultGatewayIfIndex.load());
    (void)FindDefaultGatewayInterface(0, exceptVirtual, u"", index);
    state.defaultGatewayIfIndex = index;
}

// Steps 4 to 15; returning is step 16.
void RunConnectSequence(ConnectContext& context) {
    EngineState& state = GetEngineState();
    const std::u16string serial = GetInstallationSerial();
    const std::u16string authUrl = GetSetting(u"AuthUrl", u"");

    // 4, 5. What the previous connection left behind.
    const uint32_t previous = context.mode ? LoadMode(context.mode) : NATIVE;
    if (previous == VCPE || previous == DCPE) {
        LogDebug(u"Clear route");
        (void)UpdateRoutes(kRoutesRemove, false, state.blackIpSet, state.whiteIpSet,
                           static_cast<int32_t>(previous));
    }
    // A "Hal-Vane" connection an earlier run left up would carry the new connection's traffic.
    LogDebug(u"Enum and disconnect old connection");
    HangUpLeftoverTunnel();

    // 6. First check point.
    if (state.stopRequested.load()) return Stop(context, kMsgConnectStoppedBeforeRequest);

    // 7-9. The request.
    const std::u16string url = ConnectUrl(authUrl);
    LogDebug(u"Get product version");
    const std::u16string version = Utf8ToUtf16(VELORA_VERSION_TEXT);
    state.internalIp =
        GetInternalIp([](int32_t& index) { return FindDefaultGatewayInterface(0, 0, u"", index); });
    std::u16string internalIp = state.internalIp;
    if (internalIp.empty())
        internalIp = platform::UserDefaultUiLanguage() == kChinesePrc ? u"\u65E0" : u"None";
    LogFormatMessageIdAtLevel(kLogInfo, kMsgInternalAddress, internalIp);
    const bool windows6 = IsWindows6();
    if (windows6) LogMessageIdAtLevel(kMsgConnectRequestForOlderSystem, kLogInfo);
    const std::u16string body = ConnectBody(windows6, state.useClientSpecifyMode.load(), internalIp, version,
                                            serial, state.connectPopFailed.load());
    LogFormatMessageId(kMsgConnectRequestBody, body);

    // 10. The token of the sign-in.
    const std::u16string token = GetSetting(u"AuthToken", u"");
    if (token.empty()) return ConnectFailed(context, kConnectNoToken, kText2011NoToken);

    // 11. The auth line carries its own line end, as the service has always received it.
    CHttpClient client;
    std::string bytes;
    uint32_t status = 0;
    const uint32_t transport =
        client.PostLines(url, body, bytes, status, 1,
                         {u"X-KX-AUTH-HEADER:" + token + u"\r\n", u"sn:" + serial, u"type:windows"});

    // 12. Second check point.
    if (state.stopRequested.load()) return Stop(context, kMsgConnectStoppedAfterRequest);

    // 13. Refusals and failures.
    const std::u16string answer = Utf8ToUtf16(bytes);
    if (transport != 0 || status != 200) {
        LogFormatMessageId(kMsgRequestFailed, static_cast<int32_t>(transport), LoggedAnswer(answer),
                           static_cast<int32_t>(status));
        if (transport != 0) {
            return ConnectFailed(context, static_cast<int32_t>(transport),
                                 FormatText(kTextConnectUnknownError, static_cast<int32_t>(transport)));
        }
        if (answer.find(u"message") != std::u16string::npos) {
            std::u16string text = ConnectErrorText(answer);
            int32_t reported = static_cast<int32_t>(status);
            if (GetIntField(answer, u"code", 0) == 401) {
                reported = GetIntField(answer, u"invalidReasonCode", -1) == 1 ? kConnectPasswordMustChange
                                                                              : kConnectTokenInvalid;
            }
            if (text.empty())
                return ConnectFailed(context, reported, FormatText(kTextConnectUnknownError, reported));
            return ConnectFailedWithServerText(context, reported, text);
        }
        return ConnectFailed(context, static_cast<int32_t>(status),
                             FormatText(kTextConnectUnknownError, static_cast<int32_t>(status)));
    }

    // 14. The configuration the answer carries.
    LogMessageIdAtLevel(kMsgConnectAnswered, kLogNotice);
    LogMessageId(kMsgConnectAnswer);
    LogFormat(u"%s", LoggedAnswer(answer));
    const ConnectAnswer a = ParseConnectAnswer(answer);
    state.enableHotspot =
        GetSettingInt(u"EnableHotspot", 1) != 0 && platform::OsBuildNumber() >= kHotspotMinimumBuild;
    SetSetting(u"HeartbeatUrl", a.heartbeatUrl);
    SetSettingInt(u"HeartbeatInterval", a.heartbeatInterval);
    SetSettingInt(u"HeartbeatTimeout", a.mobileDetectMaxInvalidTime);
    state.popIpsEnable = a.popIpsEnable;
    state.remoteIps = a.remoteIps;
    state.lanAssignIp = a.lanAssignIp;
    state.allowClientSpecifyMode = a.allowClientSpecifyMode;
    LogMessageId(a.allowClientSpecifyMode ? kMsgClientMayChooseMode : kMsgClientMayNotChooseMode);
    SetSettingInt(u"CpeId", a.cpeId);

    // 15. The mode.
    const ConnectionMode mode = ChooseConnectionMode(a);
    if (mode == MOBILE_DETECT) {
        FindGatewayInterface(0);
    } else if (mode == VCPE || mode == DCPE) {
        FindGatewayInterface(1);
        if (mode == DCPE) CheckGatewayAddresses(state.defaultGatewayIfIndex.load());
    }
    if (context.mode) StoreMode(context.mode, mode);

    if (mode != MOBILE_DETECT) {
        LogMessageIdAtLevel(kMsgCheckingFilterList, kLogInfo);
        // A new process knows no list until it reads the one the service kept.
        if (state.filterText.empty()) LoadCachedFilterList();
        if (IsFilterListCurrent(a.mobileTrafficDownloadUrl, a.siteTemplateId, a.mobileTrafficVersion)) {
            LogMessageIdAtLevel(kMsgFilterListCurrent, kLogInfo);
        } else {
            LogMessageIdAtLevel(kMsgDownloadingFilterList, kLogInfo);
            int32_t code = kFilterDownloadFailed;
            int32_t detail = 0;
            if (!DownloadFilterList(a.mobileTrafficDownloadUrl, code, detail))
                return ConnectFailedAs(context, kFilterDownloadFailed, kText2012NoFilterList, code, detail);
            if (state.stopRequested.load()) return Stop(context, kMsgConnectStoppedAfterFilterList);
        }
    }

    switch (mode) {
        case VCPE:
            return StartVcpeTunnel(a, context);
        case DCPE:
            return StartDcpeTunnel(a, context);
        case MOBILE_DETECT:
            return StartMobileDetect(context);
        case NATIVE:
            break;
    }
    if (state.popIpsEnable.load()) RouteOrchestratorServers(a);
    LogMessageIdAtLevel(kMsgStartingNativeConnection, kLogInfo);
    StartNativeDataPath(a, context);
}

}  // namespace

void SetServerErrorTextSource(ServerErrorTextSource source) {
    std::lock_guard l(SourceLock());
    Source() = std::move(source);
}

std::u16string ConnectErrorText(std::u16string_view answer) {
    ServerErrorTextSource source;
    {
        std::lock_guard l(SourceLock());
        source = Source();
    }
    if (source) return source(answer);
    const int32_t code = GetIntField(answer, u"code", -1);
    if (code == -1) return {};
    return FormatText(u"%d %s", code, GetStringField(answer, u"message", u""));
}

void ValidateUserAndConnectThread(ConnectContext& context) {
    // 16, on every way out: the main window's connect-notice timer ends with the worker.
    struct CNoticeTimerEnd {
        ~CNoticeTimerEnd() { platform::KillWindowTimer(platform::MainWindow(), kConnectNoticeTimerId); }
    } noticeTimerEnd;
    context.message.clear();
    context.result = 0;
    context.report = {};
    // 1-3.
    LogDebug(u"ValidateUserAndConnectThread inited");
    EngineState& state = GetEngineState();
    if (GetSettingInt(u"DiagnosisResult", 0) == 1) {
        RequestDiagnosis(DiagnosisRun{0, false});
    } else if (state.useClientSpecifyMode.load()) {
        RequestDiagnosis(DiagnosisRun{1, false});
    }
    LogDebug(u"Init COM interface");
    const platform::CComApartment com;
    if (!com.Usable()) {
        const int32_t code = com.Error();
        const std::u16string text = HelperResultText(code);
        LogFormatMessageIdAtLevel(kLogError, kMsgComInitFailed, static_cast<uint32_t>(code), text);
        ConnectFailed(context, code,
                      FormatText(u"Failed to call CoInitialize (0x%08x): %s", static_cast<uint32_t>(code), text));
    } else {
        RunConnectSequence(context);
    }
    // The outcome, whichever step decided it, reaches the window here and only here.
    PostConnectResult(context);
    // 16. The apartment and the request's handles end with their owners.
}

}  // namespace velora
