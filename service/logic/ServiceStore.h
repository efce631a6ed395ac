// Where Corvane's method logic keeps its state: files beside the service executable, the values of the
// service's registry parameters, the service log. The Windows host implements it with the real module
// path, the registry and the service log; FileServiceStore keeps everything under one folder; tests use
// a store in memory.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "logic/HResult.h"

namespace corvane {

// An open parameters key. Closing it is destroying it.
class CParameterKey {
public:
    virtual ~CParameterKey() = default;
    // Stores a text value (REG_SZ: the UTF-16 units and a terminating null). 0 or a system error code.
    virtual uint32_t SetText(std::u16string_view name, std::u16string_view value) = 0;
    // The value's raw data as stored, whatever its type and size (UTF-16 little-endian bytes for a text,
    // terminator included when it was stored). 0, kErrorFileNotFound when missing, or another error.
    virtual uint32_t GetData(std::u16string_view name, std::string& bytes) = 0;
};

class CServiceStore {
public:
    virtual ~CServiceStore() = default;

    // Full path of the service executable. 0 or a system error code.
    virtual uint32_t GetModulePath(std::u16string& path) = 0;

    // Creates or truncates the file and writes the bytes unchanged (the caller has done any line-end
    // translation). Returns 0, or an error number with `openFailed` telling whether the file could not
    // be opened at all (nothing written) or failed while being written.
    virtual int WriteWholeFile(std::u16string_view path, std::string_view bytes, bool& openFailed) = 0;
    // Reads the whole file. 0 or an error number.
    virtual int ReadWholeFile(std::u16string_view path, std::string& bytes) = 0;

    // Opens the service's parameters key, creating it first when `create` is set (for writing); the
    // key is set only on success. 0 or a system error code. A key opened for writing has been made
    // readable and writable by the system account and administrators only (it holds the engine's
    // token): when those rights cannot be set, the open fails.
    virtual uint32_t OpenParameters(bool create, std::unique_ptr<CParameterKey>& key) = 0;

    // Creates the folder when it is missing and gives it rights for the system account and
    // administrators only, so what the service writes there for itself no user can read, replace or
    // re-point. 0 or a system error code.
    virtual uint32_t CreatePrivateFolder(std::u16string_view path) = 0;
    // Deletes a file; a missing file is no error. 0 or an error number.
    virtual int RemoveFile(std::u16string_view path) = 0;

    // Appends one message to the service log.
    virtual void WriteLog(std::u16string_view message) = 0;
    // The text that "(0x%08x): %s" messages show for an HRESULT.
    virtual std::u16string DescribeHResult(HResult hr) = 0;
};

}  // namespace corvane
