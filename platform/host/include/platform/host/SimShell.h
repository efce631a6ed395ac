// Test controls of the host's simulated shell: the programs the code asked the shell to start.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace platform::host {

struct ShellCall {
    std::u16string verb;
    std::u16string file;
    std::u16string parameters;
};

// The most recent calls (at most the last 1000), oldest first, and the number of calls in all.
std::vector<ShellCall> ShellCalls();
uint64_t ShellCallCount();
void ClearShellCalls();

// What ShellExecuteHidden reports from now on (true by default).
void SetShellExecuteResult(bool succeeds);

}  // namespace platform::host
