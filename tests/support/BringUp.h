// The tunnel bring-ups as the connect worker runs them, for tests that start one by itself: the connect
// answer's text read once, the bring-up on that reading, and the outcome posted to the main window when it
// ends, as the worker posts it.
#pragma once
#include <string_view>

#include "engine/ConnectAnswer.h"
#include "engine/ConnectContext.h"
#include "engine/TunnelBringUp.h"

namespace velora::test {

inline void RunVcpeBringUp(std::u16string_view answer, ConnectContext& context) {
    StartVcpeTunnel(ParseConnectAnswer(answer), context);
    PostConnectResult(context);
}

inline void RunDcpeBringUp(std::u16string_view answer, ConnectContext& context) {
    StartDcpeTunnel(ParseConnectAnswer(answer), context);
    PostConnectResult(context);
}

}  // namespace velora::test
