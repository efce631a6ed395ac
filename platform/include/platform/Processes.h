// Processes: the running-process snapshot and starting programs.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Image names of the running processes, in snapshot order (the first entry is the system's idle
// entry on Windows). False when no snapshot can be taken.
bool SnapshotProcessNames(std::vector<std::u16string>& names);

// Starts a program through the shell without waiting (verb such as "open"), hidden.
bool ShellExecuteHidden(std::u16string_view verb, std::u16string_view file, std::u16string_view parameters);

}  // namespace platform
