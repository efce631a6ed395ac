// Simulated user region and language of the host.
#include <atomic>
#include <mutex>

#include "platform/UserLocale.h"
#include "platform/host/SimLocale.h"

namespace platform {
namespace {
std::mutex g_lock;
std::u16string g_geoName = u"US";
std::atomic<uint16_t> g_langId{0x0409};
}  // namespace

std::u16string UserDefaultGeoName() {
    std::lock_guard l(g_lock);
    return g_geoName;
}

uint16_t UserDefaultLangId() {
    return g_langId.load();
}

namespace host {
void SetSimulatedGeoName(std::u16string_view name) {
    std::lock_guard l(g_lock);
    g_geoName.assign(name);
}
void SetSimulatedLangId(uint16_t languageId) {
    g_langId.store(languageId);
}
}  // namespace host
}  // namespace platform
