// One vocabulary of failure numbers, written once: the Windows system error numbers the code names, the
// rule that makes an HRESULT of one, and the WinINet numbers of the HTTP transport. Every platform
// reports these same numbers, so callers compare and log the same codes on Windows and on the host.
#pragma once
#include <cstdint>

namespace platform {

// Windows system error numbers.
constexpr uint32_t kErrorSuccess = 0;
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorPathNotFound = 3;
constexpr uint32_t kErrorTooManyOpenFiles = 4;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorNotEnoughMemory = 8;
constexpr uint32_t kErrorInvalidData = 13;
constexpr uint32_t kErrorWriteProtect = 19;
constexpr uint32_t kErrorWriteFault = 29;
constexpr uint32_t kErrorReadFault = 30;
constexpr uint32_t kErrorGenFailure = 31;
constexpr uint32_t kErrorSharingViolation = 32;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorBrokenPipe = 109;  // the other end of a pipe has gone
constexpr uint32_t kErrorDiskFull = 112;
constexpr uint32_t kErrorSemTimeout = 121;  // a pipe's busy wait ran out
constexpr uint32_t kErrorInsufficientBuffer = 122;
constexpr uint32_t kErrorDirNotEmpty = 145;
constexpr uint32_t kErrorAlreadyExists = 183;
constexpr uint32_t kErrorFilenameTooLong = 206;  // ERROR_FILENAME_EXCED_RANGE
constexpr uint32_t kErrorPipeBusy = 231;
constexpr uint32_t kErrorMoreData = 234;
constexpr uint32_t kWaitTimeout = 258;
constexpr uint32_t kErrorBusy = 329;  // ERROR_OPERATION_IN_PROGRESS

// A positive system error number becomes 0x80070000 with its low 16 bits; zero, or a number that is
// negative when read as a signed 32-bit value (already an HRESULT), is passed on unchanged.
constexpr int32_t HResultFromWin32(uint32_t error) {
    const auto value = static_cast<int32_t>(error);
    if (value <= 0) return value;
    return static_cast<int32_t>(0x80070000u | (error & 0xFFFFu));
}

// WinINet error numbers the HTTP callers meet.
constexpr uint32_t kHttpErrorTimeout = 12002;
constexpr uint32_t kHttpErrorInternal = 12004;
constexpr uint32_t kHttpErrorInvalidUrl = 12005;
constexpr uint32_t kHttpErrorUnrecognizedScheme = 12006;
constexpr uint32_t kHttpErrorNameNotResolved = 12007;
constexpr uint32_t kHttpErrorConnectionAborted = 12030;
constexpr uint32_t kHttpErrorCannotConnect = 12029;
constexpr uint32_t kHttpErrorConnectionReset = 12031;
constexpr uint32_t kHttpErrorCertificateDate = 12037;
constexpr uint32_t kHttpErrorCertificateName = 12038;
constexpr uint32_t kHttpErrorCertificateAuthority = 12045;
constexpr uint32_t kHttpErrorCertificateErrors = 12055;
constexpr uint32_t kHttpErrorCertificateRevoked = 12170;
constexpr uint32_t kHttpErrorSecureChannel = 12157;
constexpr uint32_t kHttpErrorInvalidServerResponse = 12152;

}  // namespace platform
