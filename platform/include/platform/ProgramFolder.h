// The folder of the running program file, with its trailing separator ("C:\Program Files\Velora\"), where
// the program keeps files that lie beside it. Empty when the system cannot say.
#pragma once
#include <string>
#include <string_view>

namespace platform {

std::u16string ProgramFolder();

// The folder of the module file that holds this code, with its trailing separator: the program's folder
// in Velora.exe, the folder of Velora.dll itself when the code runs in the library, wherever the program
// that loaded it lies. Empty when the system cannot say.
std::u16string ModuleFolder();

// The folder of an installed service's program file, with its trailing separator, as the service
// manager has it registered; empty when the service or its path cannot be read. (The host has no
// service manager: every service lives beside the running program.)
std::u16string ServiceProgramFolder(std::u16string_view serviceName);

}  // namespace platform
