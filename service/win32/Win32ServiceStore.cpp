// Files, registry values and log lines of the running service.
#include "win32/Win32ServiceStore.h"

#include <windows.h>
#include <sddl.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "logic/ConfigFiles.h"
#include "platform/win32/Handles.h"
#include "logic/ServiceLog.h"

namespace corvane::win32 {

namespace {

using DescriptorBytes = std::vector<BYTE>;

// Full control for the system account and administrators, nothing inherited, nobody else.
constexpr wchar_t kPrivateKeySddl[] = L"D:P(A;CI;KA;;;SY)(A;CI;KA;;;BA)";
constexpr wchar_t kPrivateFolderSddl[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

// A self-relative descriptor from SDDL; empty (last error set) when it cannot be built.
DescriptorBytes PrivateDescriptor(const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    ULONG size = 0;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, &size)) return {};
    const platform::win32::CLocalMemory owner(sd);
    const BYTE* bytes = static_cast<const BYTE*>(sd);
    return DescriptorBytes(bytes, bytes + size);
}

std::wstring Wide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}

class CRegistryKey : public CParameterKey {
public:
    explicit CRegistryKey(HKEY key) : m_key(key) {}

    uint32_t SetText(std::u16string_view name, std::u16string_view value) override {
        std::wstring data = Wide(value);
        const auto bytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
        return static_cast<uint32_t>(RegSetValueExW(m_key.Get(), Wide(name).c_str(), 0, REG_SZ,
                                                    reinterpret_cast<const BYTE*>(data.c_str()), bytes));
    }

    uint32_t GetData(std::u16string_view name, std::string& bytes) override {
        const std::wstring valueName = Wide(name);
        // The value may change between the size query and the read: try again a few times.
        for (int attempt = 0; attempt < 4; ++attempt) {
            DWORD size = 0;
            LSTATUS status =
                RegQueryValueExW(m_key.Get(), valueName.c_str(), nullptr, nullptr, nullptr, &size);
            if (status != ERROR_SUCCESS) return static_cast<uint32_t>(status);
            std::string data(size, '\0');
            status = RegQueryValueExW(m_key.Get(), valueName.c_str(), nullptr, nullptr,
                                      reinterpret_cast<BYTE*>(data.data()), &size);
            if (status == ERROR_MORE_DATA) continue;
            if (status != ERROR_SUCCESS) return static_cast<uint32_t>(status);
            data.resize(size);
            bytes = std::move(data);
            return 0;
        }
        return ERROR_MORE_DATA;
    }

private:
    platform::win32::CRegistryKey m_key;
};

}  // namespace

uint32_t CWin32ServiceStore::GetModulePath(std::u16string& path) {
    wchar_t buffer[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    if (n == 0) return GetLastError();
    // A full buffer means the path was cut: it would name the wrong folder.
    if (n >= MAX_PATH) return ERROR_INSUFFICIENT_BUFFER;
    path.assign(buffer, buffer + n);
    return 0;
}

int CWin32ServiceStore::WriteWholeFile(std::u16string_view path, std::string_view bytes, bool& openFailed) {
    FILE* file = nullptr;
    const errno_t opened = _wfopen_s(&file, Wide(path).c_str(), L"wb");
    if (opened != 0 || !file) {
        openFailed = true;
        return opened != 0 ? opened : EIO;
    }
    openFailed = false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool flushed = std::fflush(file) == 0;
    const bool closed = std::fclose(file) == 0;
    return written && flushed && closed ? 0 : (errno != 0 ? errno : EIO);
}

int CWin32ServiceStore::ReadWholeFile(std::u16string_view path, std::string& bytes) {
    FILE* file = nullptr;
    const errno_t opened = _wfopen_s(&file, Wide(path).c_str(), L"rb");
    if (opened != 0 || !file) return opened != 0 ? opened : EIO;
    std::string data;
    char chunk[4096];
    std::size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) data.append(chunk, n);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) return EIO;
    bytes = std::move(data);
    return 0;
}

uint32_t CWin32ServiceStore::OpenParameters(bool create, std::unique_ptr<CParameterKey>& key) {
    const std::wstring path = Wide(kParametersKeyPath);
    HKEY handle = nullptr;
    LSTATUS status;
    if (create) {
        status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 KEY_SET_VALUE | WRITE_DAC, nullptr, &handle, nullptr);
        if (status != ERROR_SUCCESS) return static_cast<uint32_t>(status);
        platform::win32::CRegistryKey owned(handle);
        // The key holds the engine's token: it no longer inherits the service key's "users read", and a
        // key that was created before (or changed since) gets the same rights again before any write.
        const DescriptorBytes sd = PrivateDescriptor(kPrivateKeySddl);
        if (sd.empty()) return GetLastError();
        status =
            RegSetKeySecurity(owned.Get(), DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                              const_cast<BYTE*>(sd.data()));
        if (status != ERROR_SUCCESS) return static_cast<uint32_t>(status);
        handle = owned.Release();
    } else {
        status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE, &handle);
        if (status != ERROR_SUCCESS) return static_cast<uint32_t>(status);
    }
    key = std::make_unique<CRegistryKey>(handle);
    return 0;
}

uint32_t CWin32ServiceStore::CreatePrivateFolder(std::u16string_view path) {
    const std::wstring folder = Wide(path);
    const DescriptorBytes sd = PrivateDescriptor(kPrivateFolderSddl);
    if (sd.empty()) return GetLastError();
    SECURITY_ATTRIBUTES sa = {sizeof sa, const_cast<BYTE*>(sd.data()), FALSE};
    if (!CreateDirectoryW(folder.c_str(), &sa)) {
        const DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS) return error;
        // A folder of that name is there already: it must be a folder, not a link to elsewhere, and it
        // gets the private rights again.
        const DWORD attributes = GetFileAttributesW(folder.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) return GetLastError();
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            return ERROR_ACCESS_DENIED;
        if (!SetFileSecurityW(folder.c_str(), DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                              const_cast<BYTE*>(sd.data())))
            return GetLastError();
    }
    return 0;
}

int CWin32ServiceStore::RemoveFile(std::u16string_view path) {
    if (DeleteFileW(Wide(path).c_str())) return 0;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? 0 : static_cast<int>(error);
}

void CWin32ServiceStore::WriteLog(std::u16string_view message) {
    WriteServiceLog(message);
}

std::u16string CWin32ServiceStore::DescribeHResult(HResult hr) {
    return HresultText(hr);
}

CServiceStore& ServiceStore() {
    static CWin32ServiceStore store;
    return store;
}

}  // namespace corvane::win32
