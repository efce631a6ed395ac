// Simulated system facts on the host: fixed values that tests may change (SimSystem.h), so nothing here
// depends on the machine the tests run on.
#include "platform/SystemInfo.h"

#include <atomic>

#include "platform/host/SimSystem.h"

namespace platform {
namespace {
std::atomic<uint16_t> g_uiLanguage{host::kDefaultSimulatedUiLanguage};
std::atomic<uint32_t> g_osBuildNumber{host::kDefaultSimulatedOsBuildNumber};
}  // namespace

uint16_t UserDefaultUiLanguage() {
    return g_uiLanguage.load();
}
uint32_t OsBuildNumber() {
    return g_osBuildNumber.load();
}

namespace host {
void SetSimulatedUiLanguage(uint16_t languageId) {
    g_uiLanguage.store(languageId);
}
void SetSimulatedOsBuildNumber(uint32_t buildNumber) {
    g_osBuildNumber.store(buildNumber);
}
void ResetSimulatedSystem() {
    g_uiLanguage.store(kDefaultSimulatedUiLanguage);
    g_osBuildNumber.store(kDefaultSimulatedOsBuildNumber);
}
}  // namespace host

}  // namespace platform
