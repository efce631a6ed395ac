// The folder of the running program file on the host: the target of /proc/self/exe, cut after its last
// slash.
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

}  // namespace platform
