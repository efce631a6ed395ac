// The one decoder of what a worker's window message carries. Workers post codes (wParam, and a number in
// lParam for a few results) and send texts (lParam points to the sender's NUL-terminated text, valid only
// during the call); UM_LOG_LINE is posted with a new std::u16string that the receiving window owns.
// Windows read their messages through this and never cast lParam themselves.
#pragma once
#include <cstdint>
#include <string>

namespace velora {

struct WorkerMessage {
    uint32_t id = 0;
    int32_t code = 0;     // wParam
    std::u16string text;  // a sent message's text, or the log line; empty otherwise
    intptr_t number = 0;  // a posted message's lParam
};

// `sent`: the message arrived through a send (the window's InSendMessage()). Takes and frees the log
// line of UM_LOG_LINE, so call it exactly once per message.
WorkerMessage DecodeWorkerMessage(uint32_t id, uintptr_t wParam, intptr_t lParam, bool sent);

// Frees the log line of a UM_LOG_LINE message that will never be shown (a window draining its queue).
void DiscardWorkerMessage(uint32_t id, intptr_t lParam);

}  // namespace velora
