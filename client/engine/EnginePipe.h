// The client end of the engine control pipe: one connection for the whole process, opened by the first
// request and dropped by any failed one, with one lock held for each request and its reply. On top of
// it the four engine commands and the readers of their replies.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace velora {

inline constexpr char16_t kEnginePipeName[] = u"\\\\.\\pipe\\dispatch_config_pipe";

// Failure codes besides the system's own (2 no engine, 258 time-out, 109 engine gone).
constexpr int32_t kPipeErrorStatus = -5048;     // the reply's status field was not 0
constexpr int32_t kPipeErrorNoMemory = -22;     // a request or first reply buffer could not be allocated
constexpr int32_t kPipeErrorGrowFailed = 12;    // the reply buffer could not be grown to a long reply
constexpr int32_t kPipeErrorBadFrame = 13;      // ERROR_INVALID_DATA: the reply's length is impossible
constexpr int32_t kPipeErrorForeignServer = 5;  // ERROR_ACCESS_DENIED: the pipe is not served by the engine

// Bounds of one request: waiting for a free pipe instance, the write, and the whole reply. A reply
// that never comes must not hold the pipe lock (and every caller queued behind it) for ever.
constexpr uint32_t kPipeBusyWaitMs = 3000;
constexpr uint32_t kPipeOpenAttempts = 3;
constexpr uint32_t kPipeWriteTimeoutMs = 3000;
constexpr uint32_t kPipeReplyTimeoutMs = 3000;

// The engine's program name; the pipe is trusted only when this program in the helper service's folder
// serves it (anyone may create a pipe of that name first and wait for the client's requests).
inline constexpr char16_t kEngineImageName[] = u"ferronwin.exe";
inline constexpr char16_t kHelperServiceName[] = u"Corvane";

// Replaces the full path of the program the pipe must be served by (empty: "ferronwin.exe" in the helper
// service's registered folder, looked up at each connect). Compared without regard to case.
void SetTrustedEngineImage(std::u16string path);

// Opens the connection now unless one is open: 0 or the failure code (as PipeRequest's connect step).
int32_t ConnectEnginePipe();

// Sends the request frame in `frame` and puts the whole reply frame (header included) in its place.
// 0 or a failure code; any failure closes the connection so the next request reconnects.
int32_t PipeRequest(std::string& frame);

// Grows a reply buffer to hold a reply of `length` bytes and one more: 0, or kPipeErrorGrowFailed when
// that much cannot be allocated.
int32_t GrowReplyBuffer(std::string& buffer, std::size_t length);

// Closes the connection, if open (the next request reconnects).
void CloseEnginePipe();

// PIPE_CMD_STATUS: counters summed over the tunnel lines of the reply (see ScanEngineStatus).
int32_t QueryEngineStatus(int64_t& txOut, int64_t& rxOut, bool& downOut);
// PIPE_CMD_GET_SHARE_IF: the sharing interface the engine uses, -1 when the reply names none.
int32_t QueryShareInterface(int32_t& indexOut);
// PIPE_CMD_SET_SHARE_IF: "ifindex=%d"; a negative index is sent as 0, index 0 sends no payload.
int32_t SetShareInterface(int32_t index);
// PIPE_CMD_STOP.
int32_t StopEngine();

// Reads a status text: while no connected state ("State: CONNECTED" or "State: UP") has been seen,
// each tunnel line must follow a "State: " line; the tunnel lines' first two numbers are summed into
// tx and rx (saturating). A number that is negative or not a number is not a counter and is skipped.
// `downOut`: a tunnel line was read and no connected state was seen.
void ScanEngineStatus(std::string_view text, int64_t& txOut, int64_t& rxOut, bool& downOut);
// Reads a "name=value" reply: -1 unless it holds a "=" and a line break after it; then the decimal
// integer between them as the C library reads it (leading blanks and a sign taken, the digits up to the
// first other character, 0 when there are none, limited to 32 bits).
int32_t ParseShareInterface(std::string_view text);
// The payload of PIPE_CMD_SET_SHARE_IF for an index.
std::string ShareInterfacePayload(int32_t index);

}  // namespace velora
