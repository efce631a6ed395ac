// The diagnosis bundle's ZIP writer: creates an archive (replacing an old file), adds files from disk
// under entry names, each streamed through the compressor in pieces, and finalises it.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace velora {

class CZipWriter {
public:
    CZipWriter();
    ~CZipWriter();  // finalises an archive that is still open
    CZipWriter(const CZipWriter&) = delete;
    CZipWriter& operator=(const CZipWriter&) = delete;

    // `level`: deflate level 0 to 9.
    [[nodiscard]] bool Create(std::u16string_view path, int level);
    // Adds the file under `entryName` (UTF-8, '/' between folders). False, with the entry left out, when
    // the file cannot be read; a failure while the entry is written leaves the archive unusable.
    [[nodiscard]] bool AddFile(std::u16string_view sourcePath, std::string_view entryName);
    // Writes the central directory and closes the file. False when that fails.
    bool Close();
    bool IsOpen() const;
    // The system error of the last failure (0 when the compressor failed on its own).
    uint32_t Error() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace velora
