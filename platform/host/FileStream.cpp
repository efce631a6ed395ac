// A file read or written piece by piece on the host (POSIX descriptor); sharing is not enforced here.
#include "platform/FileStream.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "ErrnoErrors.h"
#include "platform/Text.h"
#include "platform/host/UniqueFd.h"

namespace platform {

struct CFileStream::Impl {
    host::CUniqueFd fd;
    bool created = false;
    uint32_t error = 0;

    bool Fail(int err, bool creating = false) {
        error = host::WindowsErrorFromErrno(err, creating);
        return false;
    }
};

namespace {

std::string NativePath(std::u16string_view path) {
    std::string out = Utf16ToUtf8(path);
    for (char& c : out) {
        if (c == '\\') c = '/';
    }
    return out;
}

}  // namespace

CFileStream::CFileStream() : m_impl(std::make_unique<Impl>()) {}
CFileStream::~CFileStream() = default;

bool CFileStream::Open(std::u16string_view path, FileOpenMode mode, FileShare) {
    Impl& s = *m_impl;
    s.fd.Close();
    s.created = false;
    const std::string native = NativePath(path);
    struct stat st {};
    const bool existed = ::stat(native.c_str(), &st) == 0;
    if (existed && S_ISDIR(st.st_mode)) return s.Fail(EACCES);
    int flags = O_CLOEXEC;
    switch (mode) {
        case FileOpenMode::kRead:
            flags |= O_RDONLY;
            break;
        case FileOpenMode::kCreateAlways:
            flags |= O_RDWR | O_CREAT | O_TRUNC;
            break;
        case FileOpenMode::kAppend:
            flags |= O_WRONLY | O_CREAT | O_APPEND;
            break;
    }
    s.fd.Reset(::open(native.c_str(), flags, 0666));
    if (s.fd.Get() < 0) return s.Fail(errno, mode != FileOpenMode::kRead);
    s.created = !existed;
    s.error = 0;
    return true;
}

bool CFileStream::IsOpen() const {
    return m_impl->fd.Get() >= 0;
}

bool CFileStream::Created() const {
    return m_impl->created;
}

bool CFileStream::Read(void* buffer, std::size_t size, std::size_t& got) {
    got = 0;
    for (;;) {
        const ssize_t n = ::read(m_impl->fd.Get(), buffer, size);
        if (n >= 0) {
            got = static_cast<std::size_t>(n);
            return true;
        }
        if (errno != EINTR) return m_impl->Fail(errno);
    }
}

bool CFileStream::Write(const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(m_impl->fd.Get(), p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return m_impl->Fail(errno);
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool CFileStream::Seek(int64_t offset, int origin) {
    const int whence = origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : SEEK_END;
    if (::lseek(m_impl->fd.Get(), static_cast<off_t>(offset), whence) < 0) return m_impl->Fail(errno);
    return true;
}

int64_t CFileStream::Tell() {
    const off_t at = ::lseek(m_impl->fd.Get(), 0, SEEK_CUR);
    if (at < 0) m_impl->Fail(errno);
    return at;
}

bool CFileStream::Size(uint64_t& size) {
    struct stat st {};
    if (::fstat(m_impl->fd.Get(), &st) != 0) return m_impl->Fail(errno);
    size = static_cast<uint64_t>(st.st_size);
    return true;
}

bool CFileStream::Close() {
    if (m_impl->fd.Close()) return true;
    return m_impl->Fail(errno);
}

uint32_t CFileStream::Error() const {
    return m_impl->error;
}

}  // namespace platform
