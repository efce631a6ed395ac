// The heartbeat every link monitor sends the orchestrator, and what its answer asks of the client: the
// request with its header lines, the due rule over one process-wide last heartbeat time, the reading of
// an answer (a pure function), and the handling every monitor shares.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Types.h"

namespace velora {

constexpr int32_t kDefaultHeartbeatIntervalSeconds = 10;

// What the monitors read once at their start: where to send the heartbeat, how often, and its lines.
struct HeartbeatValues {
    std::u16string url;       // setting "HeartbeatUrl"
    int64_t intervalMs = 0;   // setting "HeartbeatInterval" (seconds, default 10) x 1000
    std::u16string snLine;    // "sn:" + the device serial
    std::u16string authLine;  // "X-KX-AUTH-HEADER:" + the setting "AuthToken", no line break
    std::u16string typeLine;  // "type:windows"
};
HeartbeatValues ReadHeartbeatValues();

// Due when more than the interval has passed since the last heartbeat time. The time is process-wide and
// never reset, so a reconnect does not bring the next heartbeat forward.
bool IsHeartbeatDue(int64_t nowMs, int64_t intervalMs);
// Records `nowMs` as the last heartbeat time (taken before the request is sent).
void MarkHeartbeatSent(int64_t nowMs);
int64_t LastHeartbeatTime();

struct HeartbeatAnswer {
    uint32_t transport = 0;  // 0 or the transport's error number
    uint32_t status = 0;     // HTTP status
    std::u16string text;     // the body, from UTF-8
    std::u16string headers;  // the answer's header block
};
// POSTs `body` (JSON) with the three lines and captures the header block.
HeartbeatAnswer SendHeartbeat(const HeartbeatValues& values, std::u16string_view body);

// What an answer says, read without acting on it.
struct HeartbeatReading {
    bool accepted = false;       // transport 0 and status 200
    int32_t refusal = 0;         // a refused one: 30106 sign out, 30117 change the password, 0 none
    bool reconnect = false;      // "action":1
    bool routeCallback = false;  // "action":2
    bool chooseMode = false;     // "action":3
    bool collectLogs = false;    // the header block names "orch-logfile"
};
// A refusal counts only for an error body that carries "message" and the code 401, and only while
// authentication failures are not ignored; orders count only in an accepted answer.
HeartbeatReading ReadHeartbeatAnswer(const HeartbeatAnswer& answer, bool ignoreAuthFailure);

// The handling every monitor shares: posts UM_LINK_STATE to `window` and returns the monitor's exit code
// when the answer ends the monitor (a refusal: 0; "action":1: 2); asks for a diagnosis run for
// "orch-logfile". No value: the monitor goes on.
std::optional<uint32_t> HandleHeartbeatAnswer(const HeartbeatReading& reading, platform::WindowHandle window);

// The native monitor's route callback for an accepted answer with "action":2 (see the .cpp).
void HandleHeartbeatCallback(std::u16string_view snLine, std::u16string_view authLine,
                             std::u16string_view typeLine, std::u16string_view answer);

}  // namespace velora
