// The folder of the running program file on Windows: the module path of the executable, cut after its
// last backslash.
#include <windows.h>

#include <vector>

#include "platform/ProgramFolder.h"

namespace platform {

std::u16string ProgramFolder() {
    // Long paths: grow the buffer until the path fits (bounded by the longest path Windows allows).
    for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
        std::vector<wchar_t> buffer(size);
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), size);
        if (n == 0) return {};
        if (n < size) {
            std::u16string path(reinterpret_cast<const char16_t*>(buffer.data()), n);
            const std::size_t slash = path.find_last_of(u"\\/");
            return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash + 1);
        }
    }
    return {};
}

}  // namespace platform
