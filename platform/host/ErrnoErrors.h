// The host's one table from POSIX errno values to the Windows error numbers every platform reports, so
// callers log and compare the same codes everywhere.
#pragma once
#include <cerrno>
#include <cstdint>

#include "platform/SystemErrors.h"

namespace platform::host {

// `creating`: a missing entry on the way to a file being created is a missing path, not a missing file.
inline uint32_t WindowsErrorFromErrno(int err, bool creating) {
    switch (err) {
        case 0:
            return kErrorSuccess;
        case ENOENT:
            return creating ? kErrorPathNotFound : kErrorFileNotFound;
        case ENOTDIR:
            return kErrorPathNotFound;
        case EACCES:
        case EPERM:
        case EISDIR:
            return kErrorAccessDenied;
        case EEXIST:
            return kErrorAlreadyExists;
        case ENOMEM:
            return kErrorNotEnoughMemory;
        case EMFILE:
        case ENFILE:
            return kErrorTooManyOpenFiles;
        case ENOSPC:
            return kErrorDiskFull;
        case EROFS:
            return kErrorWriteProtect;
        case ENAMETOOLONG:
            return kErrorFilenameTooLong;
        case EBUSY:
        case ETXTBSY:
            return kErrorSharingViolation;
        case EINVAL:
            return kErrorInvalidParameter;
        case ENOTEMPTY:
            return kErrorDirNotEmpty;
        default:
            return kErrorGenFailure;
    }
}

}  // namespace platform::host
