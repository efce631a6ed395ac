// Reads a ZIP archive's entries back for tests, independently of the writer: walks the central directory
// and inflates each entry with zlib.
#pragma once
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace velora::test {

struct ZipEntry {
    std::string name;
    std::string data;
    bool crcMatches = false;
};

inline uint32_t ReadLe(const std::string& b, std::size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(b[at + static_cast<std::size_t>(i)]);
    return v;
}

// False when the archive's structure cannot be read; entries in central-directory order.
inline bool ReadZipEntries(const std::string& zip, std::vector<ZipEntry>& entries) {
    entries.clear();
    if (zip.size() < 22) return false;
    const std::size_t end = zip.size() - 22;  // no archive comment
    if (ReadLe(zip, end, 4) != 0x06054b50u) return false;
    const uint32_t count = ReadLe(zip, end + 10, 2);
    std::size_t at = ReadLe(zip, end + 16, 4);
    for (uint32_t i = 0; i < count; ++i) {
        if (at + 46 > zip.size() || ReadLe(zip, at, 4) != 0x02014b50u) return false;
        const uint32_t method = ReadLe(zip, at + 10, 2);
        const uint32_t crc = ReadLe(zip, at + 16, 4);
        const uint32_t packed = ReadLe(zip, at + 20, 4);
        const uint32_t size = ReadLe(zip, at + 24, 4);
        const uint32_t nameLength = ReadLe(zip, at + 28, 2);
        const uint32_t extra = ReadLe(zip, at + 30, 2);
        const uint32_t comment = ReadLe(zip, at + 32, 2);
        const uint32_t local = ReadLe(zip, at + 42, 4);
        ZipEntry entry;
        entry.name = zip.substr(at + 46, nameLength);
        if (local + 30 > zip.size() || ReadLe(zip, local, 4) != 0x04034b50u) return false;
        const std::size_t data = local + 30 + ReadLe(zip, local + 26, 2) + ReadLe(zip, local + 28, 2);
        if (data + packed > zip.size()) return false;
        entry.data.resize(size);
        if (method == 0) {
            entry.data = zip.substr(data, size);
        } else if (method == 8) {
            z_stream z{};
            if (inflateInit2(&z, -15) != Z_OK) return false;
            z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zip.data() + data));
            z.avail_in = packed;
            z.next_out = reinterpret_cast<Bytef*>(entry.data.data());
            z.avail_out = size;
            const int result = inflate(&z, Z_FINISH);
            inflateEnd(&z);
            if (result != Z_STREAM_END) return false;
        } else {
            return false;
        }
        entry.crcMatches = crc32(0, reinterpret_cast<const Bytef*>(entry.data.data()),
                                 static_cast<uInt>(entry.data.size())) == crc;
        entries.push_back(std::move(entry));
        at += 46 + nameLength + extra + comment;
    }
    return true;
}

}  // namespace velora::test
