// The settings section on Windows: HKCU\Software\Halvane\<application>\Settings, with REG_SZ texts,
// REG_DWORD integers and REG_BINARY blobs. A value of another type reads as missing.
#include <windows.h>

#include <mutex>

#include "platform/ProfileStore.h"
#include "platform/Utf16Le.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Wide.h"

namespace platform {
namespace {

using win32::WideString;

std::mutex g_appLock;
std::u16string g_application = u"Velora";

using win32::CRegistryKey;

std::wstring SectionPath() {
    std::lock_guard lock(g_appLock);
    return L"Software\\Halvane\\" + WideString(g_application) + L"\\Settings";
}

bool ValidName(std::u16string_view name) {
    if (name.empty()) return false;
    for (char16_t c : name) {
        if (c == u'\0' || c == u'=' || c == u'\r' || c == u'\n') return false;
    }
    return true;
}

// Reads the raw bytes of a value of the expected type; the size can change between the size query and
// the read when another thread writes, hence the retries.
bool QueryValue(std::u16string_view name, DWORD expectedType, std::vector<BYTE>& data) {
    if (!ValidName(name)) return false;
    CRegistryKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, SectionPath().c_str(), 0, KEY_QUERY_VALUE, key.Receive()) !=
        ERROR_SUCCESS) {
        return false;
    }
    const std::wstring valueName = WideString(name);
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = 0;
        DWORD size = 0;
        LSTATUS status = RegQueryValueExW(key.Get(), valueName.c_str(), nullptr, &type, nullptr, &size);
        if (status != ERROR_SUCCESS || type != expectedType) return false;
        data.assign(size, 0);
        status = RegQueryValueExW(key.Get(), valueName.c_str(), nullptr, &type,
                                  data.empty() ? nullptr : data.data(), &size);
        if (status == ERROR_MORE_DATA) continue;
        if (status != ERROR_SUCCESS || type != expectedType) return false;
        data.resize(size);
        return true;
    }
    return false;
}

bool SetValue(std::u16string_view name, DWORD type, const BYTE* data, DWORD size) {
    if (!ValidName(name)) return false;
    CRegistryKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, SectionPath().c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, key.Receive(), nullptr) != ERROR_SUCCESS) {
        return false;
    }
    return RegSetValueExW(key.Get(), WideString(name).c_str(), 0, type, data, size) == ERROR_SUCCESS;
}

}  // namespace

void SetProfileApplication(std::u16string_view name) {
    if (name.empty()) return;
    std::lock_guard lock(g_appLock);
    g_application = std::u16string(name);
}

bool ReadProfileText(std::u16string_view name, std::u16string& value) {
    std::vector<BYTE> data;
    if (!QueryValue(name, REG_SZ, data)) return false;
    value = std::u16string(UpToNul(DecodeUtf16Le(data.data(), data.size())));
    return true;
}

bool WriteProfileText(std::u16string_view name, std::u16string_view value) {
    const auto end = value.find(u'\0');
    if (end != std::u16string_view::npos) value = value.substr(0, end);
    if (value.size() >= MAXDWORD / 2) return false;
    const std::wstring text = WideString(value);  // c_str() brings the terminator REG_SZ wants
    return SetValue(name, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                    static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

bool ReadProfileInt(std::u16string_view name, int32_t& value) {
    std::vector<BYTE> data;
    if (!QueryValue(name, REG_DWORD, data) || data.size() != sizeof(DWORD)) return false;
    const uint32_t u = static_cast<uint32_t>(data[0]) | (static_cast<uint32_t>(data[1]) << 8) |
                       (static_cast<uint32_t>(data[2]) << 16) | (static_cast<uint32_t>(data[3]) << 24);
    value = static_cast<int32_t>(u);
    return true;
}

bool WriteProfileInt(std::u16string_view name, int32_t value) {
    const DWORD dword = static_cast<DWORD>(value);
    return SetValue(name, REG_DWORD, reinterpret_cast<const BYTE*>(&dword), sizeof dword);
}

bool ReadProfileBinary(std::u16string_view name, std::vector<uint8_t>& value) {
    std::vector<BYTE> data;
    if (!QueryValue(name, REG_BINARY, data)) return false;
    value.assign(data.begin(), data.end());
    return true;
}

bool WriteProfileBinary(std::u16string_view name, const uint8_t* data, std::size_t size) {
    if ((size != 0 && data == nullptr) || size > MAXDWORD) return false;
    return SetValue(name, REG_BINARY, data, static_cast<DWORD>(size));
}

bool ClearProfileForTest() {
    const LSTATUS status = RegDeleteTreeW(HKEY_CURRENT_USER, SectionPath().c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

}  // namespace platform
