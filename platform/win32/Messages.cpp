// Numbered message texts from the string tables of the resource module. The table of the chosen UI
// language is read directly (FindResourceEx), with English as the fallback, so the choice does not
// depend on the loader's own language search.
#include <windows.h>

#include <atomic>

#include "platform/Messages.h"
#include "platform/win32/Wide.h"

namespace platform {
namespace {

constexpr LANGID kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

std::atomic<HMODULE> g_module{nullptr};
// 0 until a language is chosen; then every thread loads texts in it, not only the one that chose it.
std::atomic<LANGID> g_language{0};

HMODULE Module() {
    HMODULE module = g_module.load();
    return module ? module : GetModuleHandleW(nullptr);
}

// A string table block holds 16 counted strings; a count of 0 means the id has no text.
bool FindText(HMODULE module, uint32_t id, LANGID language, std::u16string& text) {
    HRSRC info = FindResourceExW(module, RT_STRING, MAKEINTRESOURCEW((id >> 4) + 1), language);
    if (!info) return false;
    HGLOBAL block = LoadResource(module, info);
    const auto* p = block ? static_cast<const WCHAR*>(LockResource(block)) : nullptr;
    if (!p) return false;
    const DWORD units = SizeofResource(module, info) / sizeof(WCHAR);
    DWORD at = 0;
    for (uint32_t i = 0; i < (id & 15u); ++i) {
        if (at >= units) return false;
        at += 1 + p[at];
    }
    if (at >= units) return false;
    const DWORD length = p[at];
    if (length == 0 || at + 1 + length > units) return false;
    text = platform::win32::FromWide(p + at + 1, length);
    return true;
}

}  // namespace

bool SetMessageModule(const char16_t* moduleName) {
    HMODULE module = GetModuleHandleW(moduleName ? reinterpret_cast<const wchar_t*>(moduleName) : nullptr);
    if (!module) {
        g_module.store(GetModuleHandleW(nullptr));
        return false;
    }
    g_module.store(module);
    return true;
}

bool LoadMessage(uint32_t id, std::u16string& text) {
    text.clear();
    if (id > 0xFFFFu) return false;
    const HMODULE module = Module();
    LANGID language = g_language.load();
    if (language == 0) language = GetThreadUILanguage();
    if (FindText(module, id, language, text)) return true;
    return language != kEnglish && FindText(module, id, kEnglish, text);
}

void SetMessageLanguage(uint16_t languageId) {
    g_language.store(languageId);
    SetThreadUILanguage(languageId);
}

}  // namespace platform
