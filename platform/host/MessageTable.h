// The host's copy of the message catalogue (generated from client/res/messages.txt).
#pragma once
#include <cstddef>
#include <cstdint>

namespace platform::host {

struct MessageEntry {
    uint32_t id;
    const char16_t* english;
    const char16_t* chinese;
};
extern const MessageEntry kMessageTable[];
extern const std::size_t kMessageTableSize;

}  // namespace platform::host
