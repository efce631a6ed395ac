// Files and folders on the host (POSIX). Paths accept '\' as well as '/', so the portable code can
// build paths the Windows way; errors are reported as the Windows error numbers the callers expect.
#include "platform/Files.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "ErrnoErrors.h"
#include "platform/Text.h"
#include "platform/host/UniqueFd.h"
#include "platform/Types.h"

namespace platform {
namespace {

thread_local uint32_t t_lastError = 0;

std::string NativePath(std::u16string_view path) {
    std::string out = Utf16ToUtf8(path);  // stops at an embedded NUL, as the Windows calls would
    for (char& c : out) {
        if (c == '\\') c = '/';
    }
    return out;
}

bool Fail(int err, bool creating = false) {
    t_lastError = host::WindowsErrorFromErrno(err, creating);
    return false;
}

bool MakeFolders(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    const auto slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeFolders(path.substr(0, slash))) return false;
    return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

}  // namespace

bool FileExists(std::u16string_view path) {
    struct stat st {};
    if (::stat(NativePath(path).c_str(), &st) != 0) return Fail(errno);
    return true;
}

bool IsDirectory(std::u16string_view path) {
    struct stat st {};
    if (::stat(NativePath(path).c_str(), &st) != 0) return Fail(errno);
    return S_ISDIR(st.st_mode);
}

bool CreateOneDirectory(std::u16string_view path) {
    const std::string native = NativePath(path);
    if (native.empty()) return Fail(ENOENT, true);
    if (::mkdir(native.c_str(), 0777) == 0) return true;
    const int err = errno;
    struct stat st {};
    if (err == EEXIST && ::stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
    return Fail(err, true);
}

bool DeleteOneFile(std::u16string_view path) {
    const std::string native = NativePath(path);
    struct stat st {};
    if (::lstat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return Fail(EACCES);
    if (::unlink(native.c_str()) != 0) return Fail(errno);
    return true;
}

bool AppendToFile(std::u16string_view path, const void* data, std::size_t size) {
    host::CUniqueFd fd(::open(NativePath(path).c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
    if (fd.Get() < 0) return Fail(errno, true);
    const char* p = static_cast<const char*>(data);
    std::size_t left = size;
    while (left > 0) {
        const ssize_t n = ::write(fd.Get(), p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Fail(errno);
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    if (!fd.Close()) return Fail(errno);
    return true;
}

bool ReplaceFileContent(std::u16string_view path, const void* data, std::size_t size) {
    const std::string native = NativePath(path);
    const std::string temp = native + ".new";
    {
        host::CUniqueFd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
        if (fd.Get() < 0) return Fail(errno, true);
        const char* p = static_cast<const char*>(data);
        std::size_t left = size;
        while (left > 0) {
            const ssize_t n = ::write(fd.Get(), p, left);
            if (n < 0) {
                if (errno == EINTR) continue;
                const int err = errno;
                ::unlink(temp.c_str());
                return Fail(err);
            }
            p += n;
            left -= static_cast<std::size_t>(n);
        }
        if (::fsync(fd.Get()) != 0 || !fd.Close()) {
            const int err = errno;
            ::unlink(temp.c_str());
            return Fail(err);
        }
    }
    if (::rename(temp.c_str(), native.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        return Fail(err);
    }
    return true;
}

bool CreateFileIfMissing(std::u16string_view path, bool& created) {
    created = false;
    host::CUniqueFd fd(::open(NativePath(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd.Get() >= 0) {
        created = true;
        return true;
    }
    if (errno == EEXIST) return true;
    return Fail(errno, true);
}

bool ReadWholeFile(std::u16string_view path, std::string& bytes) {
    bytes.clear();
    host::CUniqueFd fd(::open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) return Fail(errno);
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) return Fail(errno);
    if (S_ISDIR(st.st_mode)) return Fail(EACCES);
    if (st.st_size > 0) bytes.reserve(static_cast<std::size_t>(st.st_size));
    // Read to the end rather than to the size seen at open: writers may append meanwhile.
    char chunk[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), chunk, sizeof chunk);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            bytes.clear();
            return Fail(errno);
        }
        bytes.append(chunk, static_cast<std::size_t>(n));
    }
    return true;
}

uint32_t LastFileError() {
    return t_lastError;
}

std::u16string ErrorText(uint32_t error) {
    switch (error) {
        case 0:
            return u"The operation completed successfully.";
        case 2:
            return u"The system cannot find the file specified.";
        case 3:
            return u"The system cannot find the path specified.";
        case 4:
            return u"The system cannot open the file.";
        case 5:
            return u"Access is denied.";
        case 8:
            return u"Not enough memory resources are available to process this command.";
        case 19:
            return u"The media is write protected.";
        case 31:
            return u"A device attached to the system is not functioning.";
        case 32:
            return u"The process cannot access the file because it is being used by another process.";
        case 87:
            return u"The parameter is incorrect.";
        case 112:
            return u"There is not enough space on the disk.";
        case 122:
            return u"The data area passed to a system call is too small.";
        case 145:
            return u"The directory is not empty.";
        case 183:
            return u"Cannot create a file when that file already exists.";
        case 206:
            return u"The filename or extension is too long.";
        default:
            return u"Error " + Utf8ToUtf16(std::to_string(error));
    }
}

bool CopyOneFile(std::u16string_view from, std::u16string_view to) {
    host::CUniqueFd in(::open(NativePath(from).c_str(), O_RDONLY | O_CLOEXEC));
    if (in.Get() < 0) return Fail(errno);
    struct stat st {};
    if (::fstat(in.Get(), &st) != 0) return Fail(errno);
    if (S_ISDIR(st.st_mode)) return Fail(EACCES);
    host::CUniqueFd out(::open(NativePath(to).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (out.Get() < 0) return Fail(errno, true);
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(in.Get(), chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Fail(errno);
        }
        if (n == 0) break;
        ssize_t done = 0;
        while (done < n) {
            const ssize_t w = ::write(out.Get(), chunk + done, static_cast<std::size_t>(n - done));
            if (w < 0) {
                if (errno == EINTR) continue;
                return Fail(errno);
            }
            done += w;
        }
    }
    if (!out.Close()) return Fail(errno);
    return true;
}

bool FindFileNames(std::u16string_view folder, std::u16string_view pattern, std::vector<std::u16string>& names) {
    names.clear();
    DIR* dir = ::opendir(NativePath(folder).c_str());
    if (!dir) return Fail(errno);
    const std::string wanted = Utf16ToUtf8(pattern);
    const std::size_t star = wanted.find('*');
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        bool match = false;
        if (star == std::string::npos) {
            match = name == wanted;
        } else {
            const std::string head = wanted.substr(0, star);
            const std::string tail = wanted.substr(star + 1);
            match = name.size() >= head.size() + tail.size() && name.compare(0, head.size(), head) == 0 &&
                    name.compare(name.size() - tail.size(), tail.size(), tail) == 0;
        }
        if (match) names.push_back(Utf8ToUtf16(name));
    }
    ::closedir(dir);
    return true;
}

std::u16string RoamingAppDataFolder() {
    // Like the Windows folder, which always exists, the host's is created on first use.
    std::string folder;
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/') {
        folder = xdg;
    } else if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
        folder = std::string(home) + "/.local/share";
    } else {
        return {};
    }
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (!MakeFolders(folder)) return {};
    return Utf8ToUtf16(folder);
}

}  // namespace platform
