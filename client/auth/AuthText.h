// Small text helpers of the sign-in code: what of an answer goes into the log.
#pragma once
#include <string>
#include <string_view>

namespace velora {

// Answers are logged whole up to this many units; a longer (broken or hostile) answer is cut, so a
// 10 MB answer cannot flood the log.
constexpr std::size_t kMaxLoggedAnswer = 4096;

// The text, cut to kMaxLoggedAnswer units with "..." appended when it was longer.
std::u16string LogSnippet(std::u16string_view text);

}  // namespace velora
