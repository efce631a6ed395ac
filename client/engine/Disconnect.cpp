// The disconnect sequence and the notice to the orchestrator. The sequence always runs to its end: every
// step only logs its failure, so a half-broken connection is still torn down as far as it can be.
#include "engine/Disconnect.h"

#include "core/DeviceInfo.h"
#include "core/Format.h"
#include "core/HttpClient.h"
#include "core/Log.h"
#include "core/Settings.h"
#include "core/TextHelpers.h"
#include "core/WindowMessages.h"
#include "engine/DiagnosisHook.h"
#include "engine/NativeDataPath.h"
#include "engine/TunnelBringUp.h"
#include "helper/HelperClient.h"
#include "platform/ComApartment.h"
#include "platform/Messenger.h"
#include "res/MessageIds.h"

namespace velora {

// A refused notice's answer is logged for support, but only as much of it as an answer should hold.
constexpr std::size_t kMaxLoggedNoticeAnswer = 8192;
namespace {

constexpr uint32_t kMonitorWaitMs = 5000;
constexpr std::size_t kMaxCustomerIdDigits = 10;

bool IsDigits(std::u16string_view text) {
    if (text.empty() || text.size() > kMaxCustomerIdDigits) return false;
    for (char16_t c : text)
        if (c < u'0' || c > u'9') return false;
    return true;
}

}  // namespace

std::u16string DisconnectNoticeUrl(std::u16string_view authUrl) {
    const std::size_t slash = authUrl.rfind(u'/');
    if (slash == std::u16string_view::npos) return std::u16string(authUrl);
    return std::u16string(authUrl.substr(0, slash)) + u"/disconnect";
}

bool DisconnectNoticeBody(std::u16string_view customerId, std::u16string_view serial, std::u16string& body) {
    body.clear();
    if (!IsDigits(customerId)) return false;
    body = FormatText(u"{\"customerId\":%s, \"sn\":\"%s\"}", customerId, JsonEscape(serial));
    return true;
}

void NotifyOrchestratorDisconnect() {
    LogMessageId(kMsgDisconnectNoticeSending);
    const std::u16string url = DisconnectNoticeUrl(GetSetting(u"AuthUrl", u""));
    const std::u16string serial = GetInstallationSerial();
    const std::u16string customerId = GetSetting(u"CustomerId", u"");
    std::u16string body;
    std::u16string headers;
    if (!DisconnectNoticeBody(customerId, serial, body)) {
        LogAtLevel(FormatText(u"Disconnect notice not sent: the stored customer ID \"%s\" is not a number",
                              customerId),
                   kLogWarn);
    } else {
        CHttpClient client;
        std::string answer;
        uint32_t status = 0;
        const uint32_t transport = client.PostLines(
            url, body, answer, status, 1,
            {u"sn:" + serial, u"X-KX-AUTH-HEADER:" + GetSetting(u"AuthToken", u""), u"type:windows"},
            &headers);
        LogMessageId(kMsgDisconnectNoticeSent);
        if (transport != 0 || status != 200)
            LogFormat(u"Failed to notify orch, status code: %d, ret: %d, result %s",
                      static_cast<int32_t>(status), static_cast<int32_t>(transport),
                      Utf8ToUtf16(answer.substr(0, kMaxLoggedNoticeAnswer)));
    }
    const bool orchAsks = headers.find(u"orch-logfile") != std::u16string::npos;
    const bool lastDiagnosisAsks = GetSettingInt(u"DiagnosisResult", 0) == 1;
    if (orchAsks) LogMessageIdAtLevel(kMsgOrchestratorAsksForLogs, kLogInfo);
    if (orchAsks || lastDiagnosisAsks) RequestDiagnosis(DiagnosisRun{lastDiagnosisAsks ? 0 : 1, false});
}

void DisconnectWorker(DisconnectJob& caller) {
    // The window reuses its job while an older worker may still run: this run keeps what it was given.
    const DisconnectJob job = caller;
    const platform::CComApartment com;
    if (!com.Usable()) {
        LogFormatMessageIdAtLevel(kLogError, kMsgComInitFailed, static_cast<uint32_t>(com.Error()),
                                  HelperResultText(com.Error()));
        return;
    }
    if (job.monitorThread && job.monitorThread->IsRunning() && !job.monitorThread->Wait(kMonitorWaitMs))
        LogDebug(u"Wait status thread timeout");
    if (job.mode == VCPE || job.mode == DCPE) {
        if (job.removeRoutes) RemoveTunnelRoutes();
        HangUpTunnel();
    } else {
        StopNativeDataPath();
    }
    if (job.notifyOrchestrator) NotifyOrchestratorDisconnect();
    platform::PostWindowMessage(platform::MainWindow(), UM_DISCONNECTED, job.reason, 0);
}

}  // namespace velora
