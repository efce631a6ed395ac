// Running-process snapshot through the tool-help API.
#include <windows.h>
#include <tlhelp32.h>

#include <memory>

#include "platform/Processes.h"
#include "platform/win32/Wide.h"

namespace platform {
namespace {

struct HandleCloser {
    void operator()(HANDLE h) const {
        if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

}  // namespace

bool SnapshotProcessNames(std::vector<std::u16string>& names) {
    names.clear();
    const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (snapshot.get() == INVALID_HANDLE_VALUE) return false;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    if (!Process32FirstW(snapshot.get(), &entry)) return false;
    do {
        entry.szExeFile[MAX_PATH - 1] = L'\0';
        names.push_back(win32::FromWide(entry.szExeFile));
        entry.dwSize = sizeof(entry);
    } while (Process32NextW(snapshot.get(), &entry));
    return true;
}

}  // namespace platform
