// Numbered message texts on the host: the table generated from the catalogue stands in for the
// resource module's string tables, one column per language.
#include "platform/Messages.h"

#include <atomic>
#include <string_view>
#include <unordered_map>

#include "MessageTable.h"

namespace platform {
namespace {

constexpr uint16_t kChinese = 0x0804;

std::atomic<uint16_t> g_language{0x0409};

const std::unordered_map<uint32_t, const host::MessageEntry*>& Index() {
    static const auto* index = [] {
        auto* map = new std::unordered_map<uint32_t, const host::MessageEntry*>();
        for (std::size_t i = 0; i < host::kMessageTableSize; ++i)
            map->emplace(host::kMessageTable[i].id, &host::kMessageTable[i]);
        return map;
    }();
    return *index;
}

}  // namespace

bool SetMessageModule(const char16_t* moduleName) {
    // The host "loads" the program's own module and the client library; any other name is not loaded,
    // and the program's own texts are used, as on Windows.
    if (!moduleName) return true;
    const std::u16string_view name(moduleName);
    return name == u"Velora.dll" || name == u"Velora.exe";
}

bool LoadMessage(uint32_t id, std::u16string& text) {
    text.clear();
    const auto& index = Index();
    const auto it = index.find(id);
    if (it == index.end()) return false;
    const char16_t* chosen = it->second->english;
    if (g_language.load() == kChinese && it->second->chinese && it->second->chinese[0])
        chosen = it->second->chinese;
    if (!chosen || !chosen[0]) return false;
    text = chosen;
    return true;
}

void SetMessageLanguage(uint16_t languageId) {
    g_language.store(languageId);
}

}  // namespace platform
