// The helper service's process: start without a switch (service or plain local server), the service main
// routine and its control handler.
#pragma once
#include <windows.h>

#include <string>

namespace corvane::win32 {

// "Corvane", from string resource 100 of the executable.
const std::wstring& ServiceName();
// Full path of the executable; empty when it cannot be read or is longer than 259 units.
std::wstring ModulePath();
bool RunningAsService();

// Start without a registration switch; returns the process result.
int RunProcess();

}  // namespace corvane::win32
