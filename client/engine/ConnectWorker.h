// The connect worker, and its seam for the orchestrator's error texts: the user text of an error answer
// comes from the service's error catalogue, which the authentication code keeps; the program hands the
// engine that reader at start. Without one the text is the answer's own code and message.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "engine/ConnectContext.h"

namespace velora {

// Turns a signed-in user into a running connection; the outcome is in `context` and, for the main window,
// in the one UM_CONNECT_RESULT it posts when it ends (run synchronously by the exported API).
void ValidateUserAndConnectThread(ConnectContext& context);

// The main window sets this timer (40 s) just before it starts the worker, to tell the user a connect takes
// long; the worker kills it when it ends, whichever way.
constexpr uintptr_t kConnectNoticeTimerId = 1006;

// "code text" for an error answer, or empty text when the answer has no code.
using ServerErrorTextSource = std::function<std::u16string(std::u16string_view answer)>;

// Replaces the reader (an empty one restores the plain reading).
void SetServerErrorTextSource(ServerErrorTextSource source);
// The user text of an error answer through the registered reader.
std::u16string ConnectErrorText(std::u16string_view answer);

}  // namespace velora
