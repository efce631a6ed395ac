// The folder of the running program file on the host: the target of /proc/self/exe, cut after its last
// slash. Services have no folder of their own on the host: they live beside the program.
#include "platform/ProgramFolder.h"

#include <filesystem>
#include <system_error>

#include "platform/Text.h"

namespace platform {

std::u16string ProgramFolder() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    const std::string path = exe.string();
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::u16string() : Utf8ToUtf16(path.substr(0, slash + 1));
}

// The host builds no libraries that a program loads: the code lies in the program.
std::u16string ModuleFolder() {
    return ProgramFolder();
}

std::u16string ServiceProgramFolder(std::u16string_view) {
    return ProgramFolder();
}

}  // namespace platform
