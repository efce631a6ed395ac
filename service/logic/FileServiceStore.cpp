// Service store under one folder, with std::filesystem only (of the platform layer only the header-only
// text codec), so the service logic runs and is tested the same way on Linux and under Windows.
#include "logic/FileServiceStore.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <system_error>

#include "platform/SystemErrors.h"
#include "platform/Utf16Le.h"

namespace corvane {
namespace {

using platform::kErrorAccessDenied;
using platform::kErrorReadFault;
using platform::kErrorWriteFault;

int LastErrno() {
    return errno != 0 ? errno : EIO;
}

class CFileParameterKey : public CParameterKey {
public:
    explicit CFileParameterKey(std::filesystem::path folder) : folder_(std::move(folder)) {}

    uint32_t SetText(std::u16string_view name, std::u16string_view value) override {
        std::string bytes;
        platform::AppendUtf16Le(bytes, value);
        bytes.append(2, '\0');
        // Written beside and renamed into place, so a reader sees the old or the new value, as with a
        // registry value that is set atomically.
        const std::filesystem::path target = ValuePath(name);
        std::filesystem::path temporary = target;
        temporary += u".new";
        {
            std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
            if (!out) return errno == EACCES ? kErrorAccessDenied : kErrorWriteFault;
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            out.flush();
            if (!out) return kErrorWriteFault;
        }
        std::error_code ec;
        std::filesystem::rename(temporary, target, ec);
        if (ec) {
            std::filesystem::remove(temporary, ec);
            return kErrorWriteFault;
        }
        return 0;
    }

    uint32_t GetData(std::u16string_view name, std::string& bytes) override {
        const std::filesystem::path source = ValuePath(name);
        std::error_code ec;
        if (!std::filesystem::is_regular_file(source, ec)) return kErrorFileNotFound;
        std::ifstream in(source, std::ios::binary);
        if (!in) return kErrorReadFault;
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return in.bad() ? kErrorReadFault : 0;
    }

private:
    std::filesystem::path ValuePath(std::u16string_view name) const { return folder_ / std::u16string(name); }

    std::filesystem::path folder_;
};

}  // namespace

std::u16string FallbackHResultText(HResult hr) {
    return FormatHresultText(hr, {});
}

CFileServiceStore::CFileServiceStore(std::filesystem::path folder, std::u16string moduleName, LogSink log,
                                     Describer describe)
    : folder_(std::move(folder)),
      moduleName_(std::move(moduleName)),
      log_(std::move(log)),
      describe_(std::move(describe)) {}

uint32_t CFileServiceStore::GetModulePath(std::u16string& path) {
    path = (folder_ / moduleName_).u16string();
    return 0;
}

int CFileServiceStore::WriteWholeFile(std::u16string_view path, std::string_view bytes, bool& openFailed) {
    errno = 0;
    std::ofstream out(std::filesystem::path(std::u16string(path)), std::ios::binary | std::ios::trunc);
    if (!out) {
        openFailed = true;
        return LastErrno();
    }
    openFailed = false;
    errno = 0;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) return LastErrno();
    out.close();
    return out ? 0 : LastErrno();
}

int CFileServiceStore::ReadWholeFile(std::u16string_view path, std::string& bytes) {
    errno = 0;
    std::ifstream in(std::filesystem::path(std::u16string(path)), std::ios::binary);
    if (!in) return LastErrno();
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return in.bad() ? EIO : 0;
}

uint32_t CFileServiceStore::OpenParameters(bool create, std::unique_ptr<CParameterKey>& key) {
    const std::filesystem::path parameters = folder_ / u"Parameters";
    std::error_code ec;
    if (create) {
        std::filesystem::create_directories(parameters, ec);
        if (ec) return ec == std::errc::permission_denied ? kErrorAccessDenied : kErrorWriteFault;
    }
    if (!std::filesystem::is_directory(parameters, ec)) return kErrorFileNotFound;
    if (create) {
        // Only the account the service runs as may read the values (the token among them).
        std::filesystem::permissions(parameters, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace, ec);
        if (ec) return kErrorAccessDenied;
    }
    key = std::make_unique<CFileParameterKey>(parameters);
    return 0;
}

uint32_t CFileServiceStore::CreatePrivateFolder(std::u16string_view path) {
    const std::filesystem::path folder{std::u16string(path)};
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) return ec == std::errc::permission_denied ? kErrorAccessDenied : kErrorWriteFault;
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::replace, ec);
    return ec ? kErrorAccessDenied : 0;
}

int CFileServiceStore::RemoveFile(std::u16string_view path) {
    std::error_code ec;
    std::filesystem::remove(std::filesystem::path(std::u16string(path)), ec);
    return ec ? (ec.value() != 0 ? ec.value() : EIO) : 0;
}

void CFileServiceStore::WriteLog(std::u16string_view message) {
    if (log_) log_(message);
}

std::u16string CFileServiceStore::DescribeHResult(HResult hr) {
    return describe_ ? describe_(hr) : HresultText(hr);
}

}  // namespace corvane
