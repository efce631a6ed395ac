// The system's own text for an error number or HRESULT, fetched in one place: the buffer FormatMessage
// allocates is owned by CLocalMemory, so no caller frees it by hand.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/win32/Handles.h"

namespace platform::win32 {

// As FormatMessage gives it, line end included; empty when the system has no text for `code`.
inline std::u16string FormatSystemMessage(uint32_t code, uint32_t languageId = 0) {
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(code), languageId, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    const CLocalMemory owner(buffer);
    if (n == 0 || buffer == nullptr) return {};
    return std::u16string(reinterpret_cast<const char16_t*>(buffer), n);
}

// The same without its trailing line feeds and carriage returns.
inline std::u16string SystemMessageLine(uint32_t code) {
    std::u16string text = FormatSystemMessage(code);
    while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r')) text.pop_back();
    return text;
}

}  // namespace platform::win32
