// Decoding of worker messages: the ownership rule of UM_LOG_LINE and the sent-text rule in one place.
#include "core/WorkerMessage.h"

#include <memory>

#include "core/WindowMessages.h"

namespace velora {

WorkerMessage DecodeWorkerMessage(uint32_t id, uintptr_t wParam, intptr_t lParam, bool sent) {
    WorkerMessage message;
    message.id = id;
    message.code = static_cast<int32_t>(wParam);
    if (id == UM_LOG_LINE) {
        const std::unique_ptr<std::u16string> line(reinterpret_cast<std::u16string*>(lParam));
        if (line) message.text = std::move(*line);
    } else if (sent) {
        if (lParam != 0) message.text = reinterpret_cast<const char16_t*>(lParam);
    } else {
        message.number = lParam;
    }
    return message;
}

void DiscardWorkerMessage(uint32_t id, intptr_t lParam) {
    if (id == UM_LOG_LINE) delete reinterpret_cast<std::u16string*>(lParam);
}

}  // namespace velora
