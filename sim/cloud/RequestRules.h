// What the orchestrator demands of a client's request before it answers it: the header lines every
// request of the client carries, the content type, and the bodies of the connect request, the
// heartbeat, the route callback and the disconnect notice, each to its fixed template. Each check gives
// an empty text when the request passes, else the one line that says what is wrong; the operation then
// answers 400 with that line (RefusedReply), so a test that sent something wrong reads why.
#pragma once
#include <string>
#include <string_view>

#include "HttpServer.h"

namespace sim {

// Exactly one "sn:" line with a value and one "type:windows" line; with `signedIn` also exactly one
// "X-KX-AUTH-HEADER:" line with a value (whether the token is accepted is the token rule's matter).
std::string CheckClientLines(const Request& request, bool signedIn);
// None of the client's own lines: a request the client sends "with no extra header lines" (the gateway
// check) must not carry its serial or, least of all, its token to a URL outside the orchestrator's API.
std::string CheckNoClientLines(const Request& request);
// Exactly one Content-Type line, naming `type` ("application/json", "application/x-www-form-urlencoded").
std::string CheckContentType(const Request& request, std::string_view type);
std::string CheckEmptyBody(const Request& request);
// One of the three connect templates, with the serial of the "sn:" line and true or false for
// connectPopFailed.
std::string CheckConnectBody(const Request& request);
// The heartbeat's body: empty for the native and tunnel modes, {"intranetMode":true} for the
// mobile-detect mode. `mode` is the mode of the tenant's last connect ("NATIVE", "VCPE", "DCPE",
// "MOBILE_DETECT"); empty when it has not connected, and then either body is taken.
std::string CheckHeartbeatBody(const Request& request, std::string_view mode);
// {"customerId":<1 to 10 digits>, "sn":"<the serial of the sn: line>"}.
std::string CheckDisconnectBody(const Request& request);

// 400 with {"code":400,"message":line}: the line names what was wrong.
Reply RefusedReply(const std::string& line);

}  // namespace sim
