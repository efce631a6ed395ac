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
