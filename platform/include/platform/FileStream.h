// One open file read or written piece by piece, for files too big to hold in memory (the diagnosis
// bundle and the logs that go into it). The other file operations (platform/Files.h) open per call.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace platform {

enum class FileOpenMode {
    kRead,          // an existing file, from its start
    kCreateAlways,  // a new, empty file; an existing one is replaced
    kAppend,        // writes go to the end; created if missing
};

// Who else may open the file while this stream holds it (Windows sharing; the host does not lock).
enum class FileShare { kNone, kRead, kReadWrite };

class CFileStream {
public:
    CFileStream();
    ~CFileStream();
    CFileStream(const CFileStream&) = delete;
    CFileStream& operator=(const CFileStream&) = delete;

    // False (and Error() tells why, as a Windows error number) when the file cannot be opened.
    [[nodiscard]] bool Open(std::u16string_view path, FileOpenMode mode, FileShare share);
    bool IsOpen() const;
    // kAppend: whether this Open created the file.
    bool Created() const;
    // Reads up to `size` bytes; `got` is 0 at the end of the file.
    [[nodiscard]] bool Read(void* buffer, std::size_t size, std::size_t& got);
    [[nodiscard]] bool Write(const void* data, std::size_t size);
    // origin: 0 start, 1 current position, 2 end.
    [[nodiscard]] bool Seek(int64_t offset, int origin);
    int64_t Tell();
    [[nodiscard]] bool Size(uint64_t& size);
    // Closes; false when the system reports a failed write-back.
    bool Close();
    uint32_t Error() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace platform
