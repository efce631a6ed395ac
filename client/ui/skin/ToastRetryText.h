// The toast's retry button while a reconnect runs: every tick adds a dot, after three it starts over.
#pragma once
#include <string>

namespace velora::skin {

// The button text after one tick: `current` with "." appended, or `retryText` once `current` already
// holds "...".
std::u16string NextRetryText(const std::u16string& current, const std::u16string& retryText);

}  // namespace velora::skin
