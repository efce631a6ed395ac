// The watcher that re-checks the process rule (setting "ProcessList") every 30 seconds while the client
// runs, and tells the main window when the rule is malformed or no longer satisfied. The rule's
// evaluation belongs to the sign-in code (checkProcesses), which the engine may not use: the window hands
// it in.
#pragma once
#include <cstdint>
#include <functional>
#include <string_view>

#include "core/ResultCodes.h"

namespace velora {

struct ProcessRuleVerdict {
    bool satisfied = false;
    bool malformed = false;
};
using ProcessRuleCheck = std::function<ProcessRuleVerdict(std::u16string_view expression)>;

constexpr uint32_t kProcessCheckIntervalMs = 30000;
// Posted as UM_CONNECT_RESULT; the window exits with type 6 and 8 for them.
constexpr int32_t kProcessRuleNotSatisfied = kCodeProcessCheckFailed;
constexpr int32_t kProcessRuleMalformed = kCodeProcessCheckUnreadable;

// Runs until the rule fails or stopProcessCheckEvent is signalled; an empty rule ends it at once. The
// thread's exit code: 0 stopped or no rule, else the posted code.
uint32_t ProcessRuleWatcher(const ProcessRuleCheck& check);

}  // namespace velora
