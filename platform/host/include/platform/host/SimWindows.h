// Test controls of the host's simulated windows: a window is an id with a set of control ids; posted
// and sent messages are recorded in order, and a sent message can be answered by a handler.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/Types.h"

namespace platform::host {

struct SimMessage {
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
    bool sent;  // SendWindowMessage (lParam was valid only during the call) rather than posted
};

// Answers SendWindowMessage synchronously on the sender's thread, like a window procedure.
using SimSendHandler = std::function<intptr_t(uint32_t message, uintptr_t wParam, intptr_t lParam)>;

WindowHandle CreateSimWindow(const std::vector<int>& controlIds, SimSendHandler onSend = {});
// Removes and returns the messages recorded so far, oldest first.
std::vector<SimMessage> TakeSimMessages(WindowHandle window);
// True once at least `count` messages are waiting, false after `timeoutMs`.
bool WaitForSimMessages(WindowHandle window, std::size_t count, uint32_t timeoutMs);
// The window stops existing; messages never taken are returned so the caller can free what they own.
[[nodiscard]] std::vector<SimMessage> DestroySimWindow(WindowHandle window);

}  // namespace platform::host
