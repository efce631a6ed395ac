// The record one connect attempt runs on: the caller owns it, the connect worker reads the previous mode
// through `mode` and writes the chosen mode, the failure text, the result code and how the main window
// hears of the outcome. The step that decides the outcome writes it once, through the functions below;
// the worker posts it once, when it ends (PostConnectResult).
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/ResultCodes.h"

namespace velora {

// Connection modes.
enum ConnectionMode : uint32_t { NATIVE = 0, VCPE = 1, DCPE = 2, MOBILE_DETECT = 3 };

// `result` of an attempt that a disconnect command stopped (nothing is posted for it).
inline constexpr int32_t kConnectStopped = kCodeBusyOrStopped;

// How an attempt ended, as far as the main window is told.
enum class ConnectEnd {
    kOpen,       // nothing decided yet: nothing is posted
    kConnected,  // posted as 0
    kFailed,     // posted (or, with the orchestrator's text, sent) with its code
    kStopped,    // a disconnect command: nothing is posted
    kReported,   // failed, and the window has reported it already: nothing more is posted
};

struct ConnectReport {
    ConnectEnd end = ConnectEnd::kOpen;
    uint32_t code = 0;       // wParam of UM_CONNECT_RESULT
    intptr_t detail = 0;     // lParam of a posted result
    bool sendsText = false;  // sent with `message` as lParam, so the text stays valid while it is read
};

struct ConnectContext {
    uint32_t* mode = nullptr;  // the caller's connection mode (the API's is read by other threads too)
    std::u16string message;    // failure text for the caller, empty on success
    int32_t result = 0;        // 0 connected, 329 stopped by a disconnect command, else a connect code
    ConnectReport report;      // the window's side of the outcome
};

// The outcomes. `text` becomes `message`; the posted code is `code` unless said otherwise.
void ConnectSucceeded(ConnectContext& context);
void ConnectFailed(ConnectContext& context, int32_t code, std::u16string_view text);
// A failure the window is told of with another code and a detail than the caller (the filter step).
void ConnectFailedAs(ConnectContext& context, int32_t code, std::u16string_view text, int32_t postedCode,
                     intptr_t detail);
// A failure with the orchestrator's own text, which the window reads from the message.
void ConnectFailedWithServerText(ConnectContext& context, int32_t code, std::u16string_view text);
// A failure the window has reported itself (the dial time-out).
void ConnectFailedAsReported(ConnectContext& context, int32_t code, std::u16string_view text);
void ConnectStoppedByDisconnect(ConnectContext& context);

// Tells the main window the outcome the context holds (nothing for an open, stopped or reported one).
void PostConnectResult(const ConnectContext& context);
// A notice on the way that does not end the attempt (30111, 30119).
void PostConnectNotice(int32_t code);

// The connection mode is read by threads that do not hold the writer's lock (the traffic counters, the
// link monitor): every access goes through these, so a reader never sees a torn or stale value.
inline uint32_t LoadMode(const uint32_t* mode) {
    return std::atomic_ref<uint32_t>(*const_cast<uint32_t*>(mode)).load(std::memory_order_acquire);
}
inline void StoreMode(uint32_t* mode, uint32_t value) {
    std::atomic_ref<uint32_t>(*mode).store(value, std::memory_order_release);
}

}  // namespace velora
