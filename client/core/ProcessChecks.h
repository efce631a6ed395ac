// Process checks behind the process rule: is one of some programs running, and one operator of the rule.
#pragma once
#include <string_view>

namespace velora {

// True when a running process has one of the comma-separated executable names (trimmed, empty items
// skipped, letter case ignored). The snapshot's first entry (the system's idle entry) is never matched.
bool IsAnyProcessRunning(std::u16string_view names);

// One operator of the process rule over two operands, each "0", "1" or a list of executable names:
// '&' and '|' combine them, any other operator is false. The rule passes its right-hand operand as A.
bool EvaluateProcessPair(std::u16string_view a, std::u16string_view b, char16_t op);

}  // namespace velora
