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
// Tick count (GetTickCount64) of the last object or lock that came or went; MarkObjectActivity sets it
// to now (a server that has just started counts as active).
ULONGLONG LastObjectActivity();
void MarkObjectActivity();

}  // namespace corvane::win32
