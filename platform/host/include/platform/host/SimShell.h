// Test controls of the host's simulated shell: the programs the code asked the shell to start.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/Processes.h"

namespace platform::host {

struct ShellCall {
    std::u16string verb;
    std::u16string file;
    std::u16string parameters;
    std::u16string folder;   // ShellExecuteHiddenAndWait only
    uint32_t timeoutMs = 0;  // ShellExecuteHiddenAndWait only
};

// The most recent calls (at most the last 1000), oldest first, and the number of calls in all.
std::vector<ShellCall> ShellCalls();
uint64_t ShellCallCount();
void ClearShellCalls();

// Plays the programs ShellExecuteHiddenAndWait starts: gets the call, returns what the run reports (it
// may write the files the program would). Without one a started program ends at once with code 0.
using ShellRunHandler = std::function<ShellRun(const ShellCall&)>;
void SetShellRunHandler(ShellRunHandler handler);

// What ShellExecuteHidden and ShellExecuteHiddenAndWait report from now on (true by default).
void SetShellExecuteResult(bool succeeds);

}  // namespace platform::host
