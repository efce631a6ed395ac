// The folder of the running program file, with its trailing separator ("C:\Program Files\Velora\"), where
// the program keeps files that lie beside it. Empty when the system cannot say.
#pragma once
#include <string>

namespace platform {

std::u16string ProgramFolder();

}  // namespace platform
