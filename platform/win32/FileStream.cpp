// A file read or written piece by piece through the Win32 file API, with the sharing the caller asks for
// (a file held without sharing cannot be opened by anyone else until it is closed).
#include <windows.h>

#include "platform/FileStream.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Wide.h"

namespace platform {

struct CFileStream::Impl {
    win32::CFileHandle file;
    bool created = false;
    uint32_t error = 0;

    bool Fail() {
        error = GetLastError();
        if (error == 0) error = ERROR_GEN_FAILURE;
        return false;
    }
};

CFileStream::CFileStream() : m_impl(std::make_unique<Impl>()) {}
CFileStream::~CFileStream() = default;

bool CFileStream::Open(std::u16string_view path, FileOpenMode mode, FileShare share) {
    Impl& s = *m_impl;
    s.file.Reset();
    s.created = false;
    const auto nul = path.find(u'\0');
    if (nul != std::u16string_view::npos) path = path.substr(0, nul);
    const std::wstring wide = win32::WideString(path);
    DWORD access = GENERIC_READ;
    DWORD disposition = OPEN_EXISTING;
    if (mode == FileOpenMode::kCreateAlways) {
        access = GENERIC_READ | GENERIC_WRITE;
        disposition = CREATE_ALWAYS;
    } else if (mode == FileOpenMode::kAppend) {
        access = FILE_APPEND_DATA;
        disposition = OPEN_ALWAYS;
    }
    const DWORD shareMode = share == FileShare::kNone   ? 0
                            : share == FileShare::kRead ? FILE_SHARE_READ
                                                        : FILE_SHARE_READ | FILE_SHARE_WRITE;
    s.file.Reset(
        CreateFileW(wide.c_str(), access, shareMode, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!s.file) return s.Fail();
    // OPEN_ALWAYS reports an existing file through ERROR_ALREADY_EXISTS.
    s.created = mode == FileOpenMode::kAppend && GetLastError() != ERROR_ALREADY_EXISTS;
    s.error = 0;
    return true;
}

bool CFileStream::IsOpen() const {
    return static_cast<bool>(m_impl->file);
}

bool CFileStream::Created() const {
    return m_impl->created;
}

bool CFileStream::Read(void* buffer, std::size_t size, std::size_t& got) {
    got = 0;
    const DWORD want = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD read = 0;
    if (!ReadFile(m_impl->file.Get(), buffer, want, &read, nullptr)) return m_impl->Fail();
    got = read;
    return true;
}

bool CFileStream::Write(const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const DWORD want = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(m_impl->file.Get(), p, want, &written, nullptr)) return m_impl->Fail();
        if (written == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return m_impl->Fail();
        }
        p += written;
        size -= written;
    }
    return true;
}

bool CFileStream::Seek(int64_t offset, int origin) {
    LARGE_INTEGER to{};
    to.QuadPart = offset;
    const DWORD method = origin == 0 ? FILE_BEGIN : origin == 1 ? FILE_CURRENT : FILE_END;
    if (!SetFilePointerEx(m_impl->file.Get(), to, nullptr, method)) return m_impl->Fail();
    return true;
}

int64_t CFileStream::Tell() {
    LARGE_INTEGER zero{};
    LARGE_INTEGER at{};
    if (!SetFilePointerEx(m_impl->file.Get(), zero, &at, FILE_CURRENT)) {
        m_impl->Fail();
        return -1;
    }
    return at.QuadPart;
}

bool CFileStream::Size(uint64_t& size) {
    LARGE_INTEGER value{};
    if (!GetFileSizeEx(m_impl->file.Get(), &value)) return m_impl->Fail();
    size = static_cast<uint64_t>(value.QuadPart);
    return true;
}

bool CFileStream::Close() {
    if (m_impl->file.Close()) return true;
    return m_impl->Fail();
}

uint32_t CFileStream::Error() const {
    return m_impl->error;
}

}  // namespace platform
