// Files and folders through the Win32 file API. Every open shares reading and writing, so the log
// can be read (history view, diagnosis bundle) while workers append to it.
#include <windows.h>
#include <shlobj.h>

#include <memory>

#include "platform/Files.h"
#include "platform/win32/Handles.h"
#include "platform/win32/SystemMessage.h"
#include "platform/win32/Wide.h"

namespace platform {
namespace {

using platform::win32::FromWide;

thread_local uint32_t t_lastError = 0;

bool Fail() {
    t_lastError = GetLastError();
    if (t_lastError == 0) t_lastError = ERROR_GEN_FAILURE;
    return false;
}

// The API wants a NUL-terminated path; a NUL inside the text ends it there, as for any Win32 caller.
std::wstring PathOf(std::u16string_view path) {
    const auto nul = path.find(u'\0');
    if (nul != std::u16string_view::npos) path = path.substr(0, nul);
    return platform::win32::WideString(path);
}

using platform::win32::CFileHandle;

constexpr DWORD kShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;

}  // namespace

bool FileExists(std::u16string_view path) {
    if (GetFileAttributesW(PathOf(path).c_str()) == INVALID_FILE_ATTRIBUTES) return Fail();
    return true;
}

bool IsDirectory(std::u16string_view path) {
    const DWORD attributes = GetFileAttributesW(PathOf(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return Fail();
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CreateOneDirectory(std::u16string_view path) {
    const std::wstring wide = PathOf(path);
    if (CreateDirectoryW(wide.c_str(), nullptr)) return true;
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS) {
        const DWORD attributes = GetFileAttributesW(wide.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
    }
    SetLastError(error);
    return Fail();
}

bool DeleteOneFile(std::u16string_view path) {
    if (!DeleteFileW(PathOf(path).c_str())) return Fail();
    return true;
}

bool ReplaceFileContent(std::u16string_view path, const void* data, std::size_t size) {
    const std::wstring target = PathOf(path);
    const std::wstring temp = target + L".new";
    const auto writeTemp = [&]() {
        CFileHandle file(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.IsValid()) return false;
        const char* p = static_cast<const char*>(data);
        std::size_t left = size;
        while (left > 0) {
            const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
            DWORD written = 0;
            if (!WriteFile(file.Get(), p, chunk, &written, nullptr) || written == 0) return false;
            p += written;
            left -= written;
        }
        return FlushFileBuffers(file.Get()) != FALSE;
    };
    if (!writeTemp() ||
        !MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD err = GetLastError();
        DeleteFileW(temp.c_str());
        SetLastError(err);
        return Fail();
    }
    return true;
}

bool AppendToFile(std::u16string_view path, const void* data, std::size_t size) {
    CFileHandle file(CreateFileW(PathOf(path).c_str(), FILE_APPEND_DATA, kShareReadWrite, nullptr,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) return Fail();
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(file.Get(), p, chunk, &written, nullptr)) return Fail();
        if (written == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return Fail();
        }
        p += written;
        size -= written;
    }
    return true;
}

bool CreateFileIfMissing(std::u16string_view path, bool& created) {
    created = false;
    CFileHandle file(CreateFileW(PathOf(path).c_str(), GENERIC_WRITE, kShareReadWrite, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.IsValid()) {
        created = true;
        return true;
    }
    if (GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS) return true;
    return Fail();
}

bool ReadWholeFile(std::u16string_view path, std::string& bytes) {
    bytes.clear();
    CFileHandle file(CreateFileW(PathOf(path).c_str(), GENERIC_READ, kShareReadWrite, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) return Fail();
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file.Get(), &size) && size.QuadPart > 0)
        bytes.reserve(static_cast<std::size_t>(size.QuadPart));
    // Read to the end rather than to the size seen at open: writers may append meanwhile.
    char chunk[64 * 1024];
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.Get(), chunk, sizeof chunk, &read, nullptr)) {
            bytes.clear();
            return Fail();
        }
        if (read == 0) break;
        bytes.append(chunk, read);
    }
    return true;
}

uint32_t LastFileError() {
    return t_lastError;
}

std::u16string ErrorText(uint32_t error) {
    std::u16string text = win32::FormatSystemMessage(error);
    while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r' || text.back() == u' '))
        text.pop_back();
    if (text.empty()) {
        const std::string number = std::to_string(error);
        text = u"Error " + std::u16string(number.begin(), number.end());
    }
    return text;
}

bool CopyOneFile(std::u16string_view from, std::u16string_view to) {
    if (!CopyFileW(PathOf(from).c_str(), PathOf(to).c_str(), FALSE)) return Fail();
    return true;
}

bool FindFileNames(std::u16string_view folder, std::u16string_view pattern, std::vector<std::u16string>& names) {
    names.clear();
    std::u16string query(folder);
    if (!query.empty() && query.back() != u'\\' && query.back() != u'/') query += u'\\';
    query += pattern;
    WIN32_FIND_DATAW found{};
    struct SearchCloser {
        void operator()(void* h) const { FindClose(h); }
    };
    const HANDLE first = FindFirstFileW(PathOf(query).c_str(), &found);
    if (first == INVALID_HANDLE_VALUE) {
        // An empty match is a listing with no names, not a failure.
        if (GetLastError() == ERROR_FILE_NOT_FOUND) return true;
        return Fail();
    }
    const std::unique_ptr<void, SearchCloser> search(first);
    do {
        names.push_back(FromWide(found.cFileName));
    } while (FindNextFileW(search.get(), &found));
    return true;
}

std::u16string RoamingAppDataFolder() {
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder))) return {};
    return FromWide(folder);
}

}  // namespace platform
