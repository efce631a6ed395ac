// Processes: the running-process snapshot, starting programs, and capturing a hidden command's output.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Image names of the running processes, in snapshot order (the first entry is the system's idle
// entry on Windows). False when no snapshot can be taken.
bool SnapshotProcessNames(std::vector<std::u16string>& names);

// Starts a program through the shell without waiting (verb such as "open"), hidden.
bool ShellExecuteHidden(std::u16string_view verb, std::u16string_view file, std::u16string_view parameters);

// Starts a program through the shell, hidden, in `folder`, and waits up to `timeoutMs` for it to end. A
// program still running then is left running (the caller decides what to say about it).
struct ShellRun {
    bool started = false;
    uint32_t error = 0;  // why it could not be started (system error code)
    bool ended = false;  // it ended within the time-out
    uint32_t exitCode = 0;
};
ShellRun ShellExecuteHiddenAndWait(std::u16string_view verb, std::u16string_view file,
                                   std::u16string_view parameters, std::u16string_view folder, uint32_t timeoutMs);

// Runs a command line as a hidden process without a console window, its standard output and error going
// into one pipe, and collects what the pipe delivers, read by read (each at most 4095 bytes). A command
// that is still running after `timeoutMs` is ended.
struct CommandCapture {
    uint32_t pipeError = 0;     // the pipe could not be created (system error code)
    uint32_t processError = 0;  // the process could not be started (system error code)
    std::vector<std::string> chunks;
};
CommandCapture CaptureHiddenCommand(std::u16string_view commandLine, uint32_t timeoutMs);

}  // namespace platform
