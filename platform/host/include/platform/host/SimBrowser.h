// Test controls of the host's simulated browser: the pages the code asked to open.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace platform::host {

std::vector<std::u16string> BrowserOpenedUrls();
void ClearBrowserOpenedUrls();
// What OpenUrlInBrowser reports from now on: 0 succeeds, anything else fails with that error.
void SetBrowserOpenError(uint32_t error);

}  // namespace platform::host
