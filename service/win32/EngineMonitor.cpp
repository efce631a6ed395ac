// Engine monitor thread. Until the engine's lifecycle lands it only waits for the stop event, which keeps
// the service's start and stop paths complete.
#include "win32/EngineMonitor.h"

namespace corvane::win32 {

DWORD WINAPI EngineMonitor(LPVOID stopEvent) {
    WaitForSingleObject(static_cast<HANDLE>(stopEvent), INFINITE);
    return 0;
}

}  // namespace corvane::win32
