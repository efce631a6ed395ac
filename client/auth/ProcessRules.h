// The process rule of a sign-in answer ("windowsProcessNameExpression", kept as the setting
// "ProcessList"): lists of program names combined with "&&", "||" and parentheses.
#pragma once
#include <string_view>

namespace velora {

struct ProcessRuleResult {
    bool satisfied = false;  // false whenever malformed
    bool malformed = false;
};

ProcessRuleResult checkProcesses(std::u16string_view expression);

}  // namespace velora
