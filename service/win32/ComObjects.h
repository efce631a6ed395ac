// The two automation classes of the helper service and their class objects. Each method checks its
// output pointers, turns automation strings into texts and hands the work to the portable method logic;
// nothing but an HRESULT ever leaves a method.
#pragma once
#include <windows.h>

namespace corvane::win32 {

// Registers both class objects (local server, multiple use, suspended). On failure nothing stays registered.
HRESULT RegisterClassObjects();
void RevokeClassObjects();
// Objects and server locks alive now.
long LiveObjects();

// Lifetime of a process that runs as a plain local server: when the last object or server lock goes,
// the main thread gets its quit message. A service ignores this and ends only on the stop control.
void SetServerLifetime(bool endWithLastObject, DWORD mainThreadId);

}  // namespace corvane::win32
