// The ZIP writer over minizip, with minizip's file access routed through the platform's file stream (so
// UTF-16 paths work on Windows and a locked target fails as the system reports it).
#include <minizip/zip.h>

#include "diagnosis/ZipWriter.h"

#include <ctime>
#include <vector>

#include "platform/FileStream.h"

namespace velora {
namespace {

constexpr std::size_t kChunk = 64 * 1024;

struct StreamOpaque {
    uint32_t error = 0;  // the last failure of a stream the archive used
};

voidpf OpenStream(voidpf opaque, const void* filename, int mode) {
    auto* state = static_cast<StreamOpaque*>(opaque);
    const auto* path = static_cast<const std::u16string*>(filename);
    auto stream = std::make_unique<platform::CFileStream>();
    const platform::FileOpenMode how = (mode & ZLIB_FILEFUNC_MODE_CREATE)
                                           ? platform::FileOpenMode::kCreateAlways
                                           : platform::FileOpenMode::kRead;
    if (!stream->Open(*path, how, platform::FileShare::kNone)) {
        state->error = stream->Error();
        return nullptr;
    }
    return stream.release();
}

uLong ReadStream(voidpf opaque, voidpf stream, void* buf, uLong size) {
    std::size_t got = 0;
    auto* file = static_cast<platform::CFileStream*>(stream);
    if (!file->Read(buf, size, got)) static_cast<StreamOpaque*>(opaque)->error = file->Error();
    return static_cast<uLong>(got);
}

uLong WriteStream(voidpf opaque, voidpf stream, const void* buf, uLong size) {
    auto* file = static_cast<platform::CFileStream*>(stream);
    if (file->Write(buf, size)) return size;
    static_cast<StreamOpaque*>(opaque)->error = file->Error();
    return 0;
}

ZPOS64_T TellStream(voidpf, voidpf stream) {
    const int64_t at = static_cast<platform::CFileStream*>(stream)->Tell();
    return at < 0 ? static_cast<ZPOS64_T>(-1) : static_cast<ZPOS64_T>(at);
}

long SeekStream(voidpf opaque, voidpf stream, ZPOS64_T offset, int origin) {
    auto* file = static_cast<platform::CFileStream*>(stream);
    const int how = origin == ZLIB_FILEFUNC_SEEK_SET ? 0 : origin == ZLIB_FILEFUNC_SEEK_CUR ? 1 : 2;
    if (file->Seek(static_cast<int64_t>(offset), how)) return 0;
    static_cast<StreamOpaque*>(opaque)->error = file->Error();
    return -1;
}

int CloseStream(voidpf opaque, voidpf stream) {
    std::unique_ptr<platform::CFileStream> file(static_cast<platform::CFileStream*>(stream));
    if (file->Close()) return 0;
    static_cast<StreamOpaque*>(opaque)->error = file->Error();
    return -1;
}

int StreamError(voidpf, voidpf) {
    return 0;  // failures are reported by the call that met them
}

zip_fileinfo InfoNow() {
    zip_fileinfo info{};
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    info.tmz_date.tm_sec = static_cast<uInt>(local.tm_sec);
    info.tmz_date.tm_min = static_cast<uInt>(local.tm_min);
    info.tmz_date.tm_hour = static_cast<uInt>(local.tm_hour);
    info.tmz_date.tm_mday = static_cast<uInt>(local.tm_mday);
    info.tmz_date.tm_mon = static_cast<uInt>(local.tm_mon);
    info.tmz_date.tm_year = static_cast<uInt>(local.tm_year + 1900);
    return info;
}

}  // namespace

struct CZipWriter::Impl {
    StreamOpaque opaque;
    zipFile zip = nullptr;
    int level = 6;
    std::u16string path;  // minizip hands this object back to OpenStream as the "file name"
    uint32_t error = 0;
};

CZipWriter::CZipWriter() : m_impl(std::make_unique<Impl>()) {}

CZipWriter::~CZipWriter() {
    Close();
}

bool CZipWriter::Create(std::u16string_view path, int level) {
    Close();
    Impl& s = *m_impl;
    s.path.assign(path);
    s.level = level;
    s.opaque.error = 0;
    zlib_filefunc64_def functions{};
    functions.zopen64_file = OpenStream;
    functions.zread_file = ReadStream;
    functions.zwrite_file = WriteStream;
    functions.ztell64_file = TellStream;
    functions.zseek64_file = SeekStream;
    functions.zclose_file = CloseStream;
    functions.zerror_file = StreamError;
    functions.opaque = &s.opaque;
    s.zip = zipOpen2_64(&s.path, APPEND_STATUS_CREATE, nullptr, &functions);
    s.error = s.zip ? 0 : s.opaque.error;
    return s.zip != nullptr;
}

bool CZipWriter::AddFile(std::u16string_view sourcePath, std::string_view entryName) {
    Impl& s = *m_impl;
    if (!s.zip) return false;
    platform::CFileStream source;
    if (!source.Open(sourcePath, platform::FileOpenMode::kRead, platform::FileShare::kReadWrite)) {
        s.error = source.Error();
        return false;
    }
    uint64_t size = 0;
    if (!source.Size(size)) size = 0;
    const std::string name(entryName);
    const zip_fileinfo info = InfoNow();
    // ZIP64 records only where the 32-bit fields cannot hold the entry, so every reader takes small bundles.
    const int zip64 = size >= 0xFFFFFFFFull ? 1 : 0;
    if (zipOpenNewFileInZip64(s.zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                              s.level, zip64) != ZIP_OK) {
        s.error = s.opaque.error;
        return false;
    }
    std::vector<char> chunk(kChunk);
    bool ok = true;
    for (;;) {
        std::size_t got = 0;
        if (!source.Read(chunk.data(), chunk.size(), got)) {
            s.error = source.Error();
            ok = false;
            break;
        }
        if (got == 0) break;
        if (zipWriteInFileInZip(s.zip, chunk.data(), static_cast<unsigned>(got)) != ZIP_OK) {
            s.error = s.opaque.error;
            ok = false;
            break;
        }
    }
    if (zipCloseFileInZip(s.zip) != ZIP_OK && ok) {
        s.error = s.opaque.error;
        ok = false;
    }
    return ok;
}

bool CZipWriter::Close() {
    Impl& s = *m_impl;
    if (!s.zip) return true;
    const int result = zipClose(s.zip, nullptr);
    s.zip = nullptr;
    if (result == ZIP_OK) return true;
    s.error = s.opaque.error;
    return false;
}

bool CZipWriter::IsOpen() const {
    return m_impl->zip != nullptr;
}

uint32_t CZipWriter::Error() const {
    return m_impl->error;
}

}  // namespace velora
