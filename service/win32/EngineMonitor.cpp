// Engine monitor thread: one look at the process list at once and then every 10 s, until the stop event.
#include "win32/EngineMonitor.h"

#include "logic/EngineWatch.h"
#include "win32/Win32ProcessControl.h"
#include "win32/Win32ServiceStore.h"

namespace corvane::win32 {

DWORD WINAPI EngineMonitor(LPVOID stopEvent) {
    CEngineWatch watch(ServiceStore(), ServiceProcesses());
    for (;;) {
        watch.RunCycle();
        if (WaitForSingleObject(static_cast<HANDLE>(stopEvent), kEngineWatchPeriodMs) != WAIT_TIMEOUT) break;
    }
    return 0;
}

}  // namespace corvane::win32
