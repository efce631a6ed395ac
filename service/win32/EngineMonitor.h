// The thread that watches the data-path engine while the service runs; it ends when its stop event is set.
#pragma once
#include <windows.h>

namespace corvane::win32 {

// How long a stop waits for the thread to end: one cycle at most, whose longest part is waiting for an
// ended engine to go (3 s), with room to spare.
inline constexpr DWORD kEngineEndJoinMs = 5000;

// Thread routine; the argument is the stop event, which must stay open until the thread has ended. It
// ends when the event is set, and also when the wait on it fails (rather than turning the loop into a
// spin).
DWORD WINAPI EngineMonitor(LPVOID stopEvent);

}  // namespace corvane::win32
