// Engine control pipe client. The lock is held for a whole request and reply; every wait under it is
// bounded, so a silent or broken engine costs one caller a time-out and never stalls the others. Only the
// engine itself is talked to, and a reply is taken only when it lines up with its request.
#include "engine/EnginePipe.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>

#include "core/Log.h"
#include "engine/PipeFrame.h"
#include "platform/Pipe.h"
#include "platform/ProgramFolder.h"
#include "platform/Types.h"

namespace velora {
namespace {

struct PipeState {
    std::mutex lock;
    std::unique_ptr<platform::PipeConnection> connection;
    std::u16string trustedImage;  // empty: the engine in the helper service's folder
};

PipeState& State() {
    static PipeState* state = new PipeState;  // outlives every thread that might still send
    return *state;
}

void DropConnection(PipeState& state) {
    if (!state.connection) return;
    state.connection.reset();
    LogDebug(u"Pipe disconnected");
}

char16_t FoldCase(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

// Windows paths compare without regard to case; "/" and "\\" name the same separator.
bool SamePath(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char16_t x = FoldCase(a[i]);
        char16_t y = FoldCase(b[i]);
        if (x == u'/') x = u'\\';
        if (y == u'/') y = u'\\';
        if (x != y) return false;
    }
    return true;
}

// Whether the engine serves the pipe: anything else that got the name first is refused before a byte
// of a request reaches it.
int32_t CheckServer(PipeState& state, platform::PipeConnection& pipe) {
    std::u16string trusted = state.trustedImage;
    if (trusted.empty()) {
        const std::u16string folder = platform::ServiceProgramFolder(kHelperServiceName);
        if (!folder.empty()) trusted = folder + kEngineImageName;
    }
    std::u16string server;
    const uint32_t error = pipe.ServerImagePath(server);
    if (error == platform::kErrorAccessDenied && pipe.ServerIsPrivileged()) {
        // The engine runs as the system account, whose processes a standard user may not open; a pipe that
        // account (or the administrators) owns is not an impostor's.
        LogDebug(u"The engine pipe is served by a system process");
        return 0;
    }
    if (error != 0) {
        LogFormat(u"Cannot tell who serves the engine pipe (error %d)", static_cast<int32_t>(error));
        return kPipeErrorForeignServer;
    }
    if (trusted.empty()) {
        LogAtLevel(FormatText(u"Refused the engine pipe served by %s: the helper service's folder is unknown",
                              server),
                   kLogError);
        return kPipeErrorForeignServer;
    }
    if (!SamePath(server, trusted)) {
        LogAtLevel(FormatText(u"Refused the engine pipe: it is served by %s, not by %s", server, trusted),
                   kLogError);
        return kPipeErrorForeignServer;
    }
    return 0;
}

int32_t Connect(PipeState& state) {
    DropConnection(state);
    LogDebug(u"Begin to connect pipe");
    platform::PipeOpening opening = platform::OpenPipe(kEnginePipeName, kPipeBusyWaitMs, kPipeOpenAttempts);
    if (!opening.pipe)
        return static_cast<int32_t>(opening.error ? opening.error : platform::kErrorFileNotFound);
    if (const int32_t refused = CheckServer(state, *opening.pipe); refused != 0) return refused;
    state.connection = std::move(opening.pipe);
    LogDebug(u"Pipe connected");
    return 0;
}

using Clock = std::chrono::steady_clock;

// Reads until `received` holds `total` bytes; the reply as a whole shares one deadline.
int32_t ReadUpTo(platform::PipeConnection& pipe, std::string& received, std::size_t total,
                 Clock::time_point deadline) {
    while (received.size() < total) {
        const auto now = Clock::now();
        if (now >= deadline) return static_cast<int32_t>(platform::kWaitTimeout);
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
        const std::size_t before = received.size();
        received.resize(total);
        std::size_t got = 0;
        const uint32_t error =
            pipe.Read(received.data() + before, total - before, got, static_cast<uint32_t>(left));
        received.resize(before + got);
        if (error != 0) return static_cast<int32_t>(error);
    }
    return 0;
}

// Bytes waiting before a request is sent were asked for by nobody (an extra frame after the last reply,
// or a reply that came after its request had given up): read now, they would pass for this request's
// reply, so the connection that carries them is dropped instead.
bool HasStaleBytes(platform::PipeConnection& pipe) {
    char extra[64];
    std::size_t got = 0;
    return pipe.Read(extra, sizeof extra, got, 0) == 0 && got > 0;
}

int32_t Exchange(platform::PipeConnection& pipe, std::string& frame) {
    PipeFrameHeader request;
    if (!DecodePipeHeader(frame, request) || request.length < kPipeHeaderSize ||
        request.length > frame.size())
        return static_cast<int32_t>(platform::kErrorInvalidParameter);
    uint32_t error = pipe.Write(frame.data(), request.length, kPipeWriteTimeoutMs);
    if (error != 0) return static_cast<int32_t>(error);

    const auto deadline = Clock::now() + std::chrono::milliseconds(kPipeReplyTimeoutMs);
    std::string reply;
    try {
        reply.reserve(kPipeRequestBufferSize);
    } catch (const std::bad_alloc&) {
        return kPipeErrorNoMemory;
    }
    int32_t result = ReadUpTo(pipe, reply, kPipeHeaderSize, deadline);
    if (result != 0) return result;
    PipeFrameParse parse = ParsePipeFrame(reply);
    if (parse.header.code != 0) return kPipeErrorStatus;
    if (parse.state == PipeFrameState::kBadLength) return kPipeErrorBadFrame;
    // A reply longer than the request buffer is read into a buffer grown for it.
    if (parse.header.length > kPipeRequestBufferSize) {
        result = GrowReplyBuffer(reply, parse.header.length);
        if (result != 0) return result;
    }
    result = ReadUpTo(pipe, reply, parse.header.length, deadline);
    if (result != 0) return result;
    frame.swap(reply);
    return 0;
}

int32_t Command(uint32_t code, std::string_view payload, std::string* replyPayload) {
    std::string frame;
    try {
        frame = EncodePipeFrame(code, payload);
    } catch (const std::bad_alloc&) {
        return kPipeErrorNoMemory;
    }
    if (frame.empty()) return static_cast<int32_t>(platform::kErrorInvalidParameter);
    const int32_t result = PipeRequest(frame);
    if (result != 0 || !replyPayload) return result;
    const PipeFrameParse parse = ParsePipeFrame(frame);
    if (parse.state == PipeFrameState::kComplete) replyPayload->assign(parse.payload);
    return 0;
}

// "%lld" as the C library reads it: optional blanks, an optional sign, digits. Out-of-range values
// saturate instead of wrapping.
bool ReadLongLong(std::string_view text, std::size_t& at, int64_t& value) {
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\r' || text[at] == '\n' ||
                                text[at] == '\v' || text[at] == '\f'))
        ++at;
    const std::size_t start = at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    const std::size_t digits = at;
    uint64_t magnitude = 0;
    bool overflow = false;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        const unsigned d = static_cast<unsigned>(text[at++] - '0');
        if (magnitude > (std::numeric_limits<uint64_t>::max() - d) / 10) overflow = true;
        if (!overflow) magnitude = magnitude * 10 + d;
    }
    if (at == digits) {
        at = start;
        return false;
    }
    constexpr uint64_t kMax = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    if (negative) {
        value = overflow || magnitude > kMax + 1 ? std::numeric_limits<int64_t>::min()
                                                 : static_cast<int64_t>(0 - magnitude);
    } else {
        value = overflow || magnitude > kMax ? std::numeric_limits<int64_t>::max()
                                             : static_cast<int64_t>(magnitude);
    }
    return true;
}

int64_t SaturatingAdd(int64_t a, int64_t b) {
    int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum))
        return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
    return sum;
}

}  // namespace

int32_t PipeRequest(std::string& frame) {
    PipeState& state = State();
    std::lock_guard l(state.lock);
    if (state.connection && HasStaleBytes(*state.connection)) {
        LogDebug(u"Engine pipe: bytes that answer no request, reconnecting");
        DropConnection(state);
    }
    if (!state.connection) {
        const int32_t result = Connect(state);
        if (result != 0) return result;
    }
    const int32_t result = Exchange(*state.connection, frame);
    if (result != 0) DropConnection(state);
    return result;
}

int32_t GrowReplyBuffer(std::string& buffer, std::size_t length) {
    try {
        buffer.reserve(length + 1);
    } catch (const std::bad_alloc&) {
        return kPipeErrorGrowFailed;
    } catch (const std::length_error&) {
        return kPipeErrorGrowFailed;
    }
    return 0;
}

int32_t ConnectEnginePipe() {
    PipeState& state = State();
    std::lock_guard l(state.lock);
    // A connection left open from an earlier engine (the disconnect's stop command) would fail the new
    // monitor's first requests: connecting always starts afresh.
    return Connect(state);
}

void SetTrustedEngineImage(std::u16string path) {
    PipeState& state = State();
    std::lock_guard l(state.lock);
    state.trustedImage = std::move(path);
}

void CloseEnginePipe() {
    PipeState& state = State();
    std::lock_guard l(state.lock);
    DropConnection(state);
}

void ScanEngineStatus(std::string_view text, int64_t& txOut, int64_t& rxOut, bool& downOut) {
    static constexpr std::string_view kState = "State: ";
    static constexpr std::string_view kTunnel = "Tunnel(txbytes/rxbytes/txpkts/rxpkts):";
    txOut = 0;
    rxOut = 0;
    downOut = false;
    bool connected = false;
    bool tunnelSeen = false;
    std::size_t at = 0;
    while (at < text.size()) {
        if (!connected) {
            const std::size_t state = text.find(kState, at);
            if (state == std::string_view::npos) break;
            const std::string_view value = text.substr(state + kState.size());
            connected = value.starts_with("CONNECTED") || value.starts_with("UP");
            at = state;
        }
        const std::size_t tunnel = text.find(kTunnel, at);
        if (tunnel == std::string_view::npos) break;
        tunnelSeen = true;
        std::size_t cursor = tunnel + kTunnel.size();
        int64_t value = 0;
        // A negative count is no count: taken, it would run the totals backwards.
        if (ReadLongLong(text, cursor, value)) {
            if (value >= 0) txOut = SaturatingAdd(txOut, value);
            if (cursor < text.size() && text[cursor] == ',') {
                ++cursor;
                if (ReadLongLong(text, cursor, value) && value >= 0) rxOut = SaturatingAdd(rxOut, value);
            }
        }
        at = tunnel + 1;
    }
    downOut = tunnelSeen && !connected;
}

int32_t ParseShareInterface(std::string_view text) {
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) return -1;
    const std::size_t lineEnd = text.find('\n', equals + 1);
    if (lineEnd == std::string_view::npos) return -1;
    // The decimal integer between them, read as the C library reads one: blanks, a sign, the digits up
    // to the first other character (none: 0); beyond 32 bits it stops at the nearest limit.
    const std::string_view number = text.substr(equals + 1, lineEnd - equals - 1);
    std::size_t at = 0;
    int64_t value = 0;
    if (!ReadLongLong(number, at, value)) return 0;
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

std::string ShareInterfacePayload(int32_t index) {
    if (index == 0) return {};
    return "ifindex=" + std::to_string(index < 0 ? 0 : index);
}

int32_t QueryEngineStatus(int64_t& txOut, int64_t& rxOut, bool& downOut) {
    txOut = 0;
    rxOut = 0;
    downOut = false;
    std::string payload;
    const int32_t result = Command(PIPE_CMD_STATUS, {}, &payload);
    if (result == 0) ScanEngineStatus(payload, txOut, rxOut, downOut);
    return result;
}

int32_t QueryShareInterface(int32_t& indexOut) {
    indexOut = -1;
    std::string payload;
    const int32_t result = Command(PIPE_CMD_GET_SHARE_IF, {}, &payload);
    if (result == 0) indexOut = ParseShareInterface(payload);
    return result;
}

int32_t SetShareInterface(int32_t index) {
    return Command(PIPE_CMD_SET_SHARE_IF, ShareInterfacePayload(index), nullptr);
}

int32_t StopEngine() {
    return Command(PIPE_CMD_STOP, {}, nullptr);
}

}  // namespace velora
