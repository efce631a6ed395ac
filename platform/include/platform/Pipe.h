// Client end of a local named pipe: open by name, then bounded writes and reads of bytes. On Windows a
// real overlapped pipe handle; on the host an in-process simulated server that tests set up
// (platform/host/SimPipe.h).
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/SystemErrors.h"  // the error numbers the pipe reports

namespace platform {

class PipeConnection {
public:
    virtual ~PipeConnection() = default;  // closes the handle
    // Writes all `size` bytes, waiting at most `timeoutMs` for each write to complete. 0 or the system
    // error (kWaitTimeout when the time ran out; the write is then cancelled).
    virtual uint32_t Write(const void* data, std::size_t size, uint32_t timeoutMs) = 0;
    // Reads between 1 and `capacity` bytes into `buffer`, waiting at most `timeoutMs`. 0 or the system
    // error (kWaitTimeout when nothing came in time; kErrorBrokenPipe when the server closed).
    virtual uint32_t Read(void* buffer, std::size_t capacity, std::size_t& got, uint32_t timeoutMs) = 0;
    // The full path of the program that serves the other end, so a client can refuse an impostor that
    // created the pipe name first. 0 or the system error.
    virtual uint32_t ServerImagePath(std::u16string& path) = 0;
    // Whether the pipe object belongs to the system account or the administrators, which a standard user
    // cannot create: asked when the server's process may not be opened (a service running as the system).
    virtual bool ServerIsPrivileged() = 0;
};

struct PipeOpening {
    std::unique_ptr<PipeConnection> pipe;  // null on failure
    uint32_t error = 0;
};

// Opens the pipe for reading and writing. While every instance is busy, waits up to `busyWaitMs` for
// one to be free and tries again, at most `attempts` times in all.
PipeOpening OpenPipe(std::u16string_view name, uint32_t busyWaitMs, uint32_t attempts);

}  // namespace platform
