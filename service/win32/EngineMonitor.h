// The thread that watches the data-path engine while the service runs; it ends when its stop event is set.
#pragma once
#include <windows.h>

namespace corvane::win32 {

// Thread routine; the argument is the stop event.
DWORD WINAPI EngineMonitor(LPVOID stopEvent);

}  // namespace corvane::win32
