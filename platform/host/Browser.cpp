// The browser on the host: nothing is opened; the URLs are recorded for the tests.
#include <mutex>

#include "platform/Browser.h"
#include "platform/host/SimBrowser.h"

namespace platform {
namespace {

struct BrowserSim {
    std::mutex m;
    std::vector<std::u16string> urls;
    uint32_t error = 0;
};
BrowserSim& browser() {
    static BrowserSim* b = new BrowserSim;  // never destroyed: workers may still call at exit
    return *b;
}

}  // namespace

bool OpenUrlInBrowser(std::u16string_view url, uint32_t& error) {
    BrowserSim& b = browser();
    std::lock_guard l(b.m);
    if (b.urls.size() < 1000) b.urls.emplace_back(url);
    error = b.error;
    return b.error == 0;
}

namespace host {

std::vector<std::u16string> BrowserOpenedUrls() {
    BrowserSim& b = browser();
    std::lock_guard l(b.m);
    return b.urls;
}

void ClearBrowserOpenedUrls() {
    BrowserSim& b = browser();
    std::lock_guard l(b.m);
    b.urls.clear();
}

void SetBrowserOpenError(uint32_t error) {
    BrowserSim& b = browser();
    std::lock_guard l(b.m);
    b.error = error;
}

}  // namespace host
}  // namespace platform
