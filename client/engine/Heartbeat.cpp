// The heartbeat and its answer. Orders are found by their text in the answer ("action":N), as the
// orchestrator writes them; an error answer is read only when it carries "message", the mark of the
// orchestrator's own error bodies (a proxy's page is not taken for a refusal).
#include "engine/Heartbeat.h"

#include <atomic>

#include "core/DeviceInfo.h"
#include "core/HttpClient.h"
#include "core/JsonFields.h"
#include "core/Log.h"
#include "core/ResultCodes.h"
#include "core/Settings.h"
#include "core/TextHelpers.h"
#include "core/WindowMessages.h"
#include "engine/DiagnosisHook.h"
#include "engine/EngineState.h"
#include "helper/HelperClient.h"
#include "platform/Messenger.h"
#include "res/MessageIds.h"

namespace velora {
namespace {

constexpr uint32_t kStatusOk = 200;
constexpr int32_t kCodeUnauthorized = 401;
constexpr int32_t kReasonPasswordChange = 1;
constexpr int32_t kLinkSignOut = kCodeTokenInvalid;
constexpr int32_t kLinkChangePassword = kCodePasswordMustChange;

std::atomic<int64_t>& LastTime() {
    static std::atomic<int64_t> last{0};
    return last;
}

bool Contains(std::u16string_view text, std::u16string_view part) {
    return text.find(part) != std::u16string_view::npos;
}

struct PostResult {
    uint32_t transport = 0;
    uint32_t status = 0;
    std::u16string text;
};

PostResult PostEmpty(std::u16string_view url, std::u16string_view snLine, std::u16string_view authLine,
                     std::u16string_view typeLine) {
    PostResult result;
    CHttpClient client;
    std::string bytes;
    result.transport = client.PostText(url, u"", bytes, result.status, 1, snLine, authLine, typeLine);
    result.text = Utf8ToUtf16(bytes);
    return result;
}

bool Succeeded(const PostResult& r) {
    return r.transport == 0 && r.status == kStatusOk;
}

}  // namespace

HeartbeatValues ReadHeartbeatValues() {
    HeartbeatValues values;
    values.url = GetSetting(u"HeartbeatUrl", u"");
    values.intervalMs =
        static_cast<int64_t>(GetSettingInt(u"HeartbeatInterval", kDefaultHeartbeatIntervalSeconds)) * 1000;
    values.snLine = u"sn:" + GetInstallationSerial();
    values.authLine = u"X-KX-AUTH-HEADER:" + GetSetting(u"AuthToken", u"");
    values.typeLine = u"type:windows";
    return values;
}

bool IsHeartbeatDue(int64_t nowMs, int64_t intervalMs) {
    return nowMs - LastTime().load() > intervalMs;
}

void MarkHeartbeatSent(int64_t nowMs) {
    LastTime().store(nowMs);
}

int64_t LastHeartbeatTime() {
    return LastTime().load();
}

HeartbeatAnswer SendHeartbeat(const HeartbeatValues& values, std::u16string_view body) {
    HeartbeatAnswer answer;
    CHttpClient client;
    std::string bytes;
    answer.transport = client.PostLines(values.url, body, bytes, answer.status, 1,
                                        {values.snLine, values.authLine, values.typeLine}, &answer.headers);
    answer.text = Utf8ToUtf16(bytes);
    return answer;
}

HeartbeatReading ReadHeartbeatAnswer(const HeartbeatAnswer& answer, bool ignoreAuthFailure) {
    HeartbeatReading reading;
    reading.accepted = answer.transport == 0 && answer.status == kStatusOk;
    if (!reading.accepted) {
        if (!Contains(answer.text, u"message")) return reading;
        const int32_t code = GetIntField(answer.text, u"code", 0);
        const int32_t reason = GetIntField(answer.text, u"invalidReasonCode", -1);
        if (code == kCodeUnauthorized && !ignoreAuthFailure)
            reading.refusal = reason == kReasonPasswordChange ? kLinkChangePassword : kLinkSignOut;
        return reading;
    }
    reading.reconnect = Contains(answer.text, u"\"action\":1");
    reading.routeCallback = Contains(answer.text, u"\"action\":2");
    reading.chooseMode = Contains(answer.text, u"\"action\":3");
    reading.collectLogs = Contains(answer.headers, u"orch-logfile");
    return reading;
}

std::optional<uint32_t> HandleHeartbeatAnswer(const HeartbeatReading& reading,
                                              platform::WindowHandle window) {
    if (reading.refusal != 0) {
        platform::PostWindowMessage(window, UM_LINK_STATE, static_cast<uintptr_t>(reading.refusal), 0);
        return 0u;
    }
    if (!reading.accepted) return std::nullopt;
    // The logs are asked for even when the same answer ends the link: the orchestrator wants them.
    if (reading.collectLogs) {
        LogMessageIdAtLevel(kMsgOrchestratorAsksForLogs, kLogInfo);
        RequestDiagnosis(DiagnosisRun{1, false});  // a background run: nobody waits to be told
    }
    if (reading.reconnect) {
        LogMessageIdAtLevel(kMsgOrchestratorAsksReconnect, kLogInfo);
        platform::PostWindowMessage(window, UM_LINK_STATE, 2, 0);
        return 2u;
    }
    return std::nullopt;
}

// "action":2 hands out routes: the callback URL names them, the client routes them around the tunnel
// through the helper service and confirms at the same URL without its query.
void HandleHeartbeatCallback(std::u16string_view snLine, std::u16string_view authLine,
                             std::u16string_view typeLine, std::u16string_view answer) {
    const std::size_t action = answer.find(u"\"action\":2");
    if (action == std::u16string_view::npos) return;
    LogMessageIdAtLevel(kMsgRouteCallbackReceived, kLogInfo);
    if (!GetEngineState().popIpsEnable.load()) return;
    const std::u16string callbackUrl = GetStringField(answer.substr(action), u"callbackUrl", u"");
    if (callbackUrl.empty()) return;

    const PostResult routes = PostEmpty(callbackUrl, snLine, authLine, typeLine);
    if (!Succeeded(routes)) {
        LogFormatMessageId(kMsgRouteCallbackFailed, static_cast<int32_t>(routes.transport),
                           static_cast<int32_t>(routes.status));
        return;
    }
    const std::size_t open = routes.text.find(u'[');
    const std::size_t close = open == std::u16string::npos ? open : routes.text.find(u']', open + 1);
    if (close == std::u16string::npos) {
        // No list: nothing to route, and nothing to confirm.
        LogFormatMessageId(kMsgRouteCallbackFailed, 0, static_cast<int32_t>(routes.status));
        return;
    }
    std::u16string list;
    for (char16_t c : std::u16string_view(routes.text).substr(open + 1, close - open - 1))
        if (c != u'"') list += c;
    LogFormatMessageIdAtLevel(kLogInfo, kMsgRouteCallbackList, list);
    // An empty list has nothing to hand to the helper service, but is still confirmed.
    const int32_t added = list.empty() ? 0 : AddRouterToGW(list);
    if (added < 0 && added != kHelperRouteExists) return;

    const std::u16string confirmUrl = callbackUrl.substr(0, callbackUrl.find(u'?'));
    const PostResult confirmed = PostEmpty(confirmUrl, snLine, authLine, typeLine);
    if (!Succeeded(confirmed)) {
        LogFormatMessageId(kMsgRouteCallbackFailed, static_cast<int32_t>(confirmed.transport),
                           static_cast<int32_t>(confirmed.status));
        return;
    }
    LogMessageIdAtLevel(kMsgRouteCallbackConfirmed, kLogInfo);
}

}  // namespace velora
