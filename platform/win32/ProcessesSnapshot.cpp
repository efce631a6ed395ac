// Running-process snapshot through the tool-help API.
#include <windows.h>
#include <tlhelp32.h>

#include <memory>

#include "platform/Processes.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Wide.h"

namespace platform {
namespace {

using win32::CFileHandle;

}  // namespace

bool SnapshotProcessNames(std::vector<std::u16string>& names) {
    names.clear();
    const CFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (snapshot.Get() == INVALID_HANDLE_VALUE) return false;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    if (!Process32FirstW(snapshot.Get(), &entry)) return false;
    do {
        entry.szExeFile[MAX_PATH - 1] = L'\0';
        names.push_back(win32::FromWide(entry.szExeFile));
        entry.dwSize = sizeof(entry);
    } while (Process32NextW(snapshot.Get(), &entry));
    return true;
}

}  // namespace platform
