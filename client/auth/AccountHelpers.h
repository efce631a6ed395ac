// Small pieces shared by the short account workers (SMS, one-time-password recovery, password change,
// sign-out, external sign-in): URL cutting, the "does this answer carry a server message" test, and the
// window-message rule that texts are sent (valid during the call) and codes are posted.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "auth/AuthText.h"
#include "auth/ErrorCatalogue.h"
#include "auth/FailedRequest.h"
#include "core/Log.h"
#include "core/SecretMask.h"
#include "platform/Messenger.h"
#include "platform/Text.h"
#include "platform/Types.h"
#include "res/MessageIds.h"

namespace velora {

// The text before the last (or first) occurrence of `mark`; the whole text when it does not occur.
inline std::u16string CutBeforeLast(std::u16string_view text, std::u16string_view mark) {
    const std::size_t p = text.rfind(mark);
    return std::u16string(p == std::u16string_view::npos ? text : text.substr(0, p));
}
inline std::u16string CutBeforeFirst(std::u16string_view text, std::u16string_view mark) {
    const std::size_t p = text.find(mark);
    return std::u16string(p == std::u16string_view::npos ? text : text.substr(0, p));
}

// At least 7 bytes and the bytes of `word` somewhere in them (the service's error answers).
inline bool AnswerCarries(const std::string& answer, std::string_view word) {
    return answer.size() >= 7 && answer.find(word) != std::string::npos;
}

// A text goes to the window by a sent message: the pointer (a NUL-terminated UTF-16 text) is valid only
// while the window handles it.
inline void SendTextMessage(platform::WindowHandle window, uint32_t message, uintptr_t code,
                            const std::u16string& text) {
    platform::SendWindowMessage(window, message, code, reinterpret_cast<intptr_t>(text.c_str()));
}
inline void PostCode(platform::WindowHandle window, uint32_t message, uintptr_t code) {
    platform::PostWindowMessage(window, message, code, 0);
}

// A failed request of a worker whose window shows the service's own text: the server's message when the
// answer carries one (sent, or its status posted when the catalogue has no text), else the transport
// result or the HTTP status (posted).
inline void ReportWorkerFailure(platform::WindowHandle window, uint32_t message, uint32_t result,
                                uint32_t status, const std::string& answer) {
    const std::u16string wide = platform::Utf8ToUtf16(answer);
    if (result == 0 && !wide.empty()) LogFormatMessageId(kMsgServerAnswer, MaskSecrets(wide));
    const FailedRequest failed = ClassifyFailedRequest(result, status, wide);
    if (failed.kind == FailedRequest::Kind::ServerMessage && !failed.text.empty()) {
        SendTextMessage(window, message, failed.code, failed.text);
    } else {
        PostCode(window, message, failed.code);
    }
}

}  // namespace velora
