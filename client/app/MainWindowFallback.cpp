// The application's main-window record, for builds whose Win32 platform layer does not provide the
// window-message port yet (the build adds this file only then).
#include <atomic>

#include "platform/Messenger.h"

namespace platform {
namespace {
std::atomic<WindowHandle> g_mainWindow{nullptr};
}
void SetMainWindow(WindowHandle window) {
    g_mainWindow.store(window);
}
WindowHandle MainWindow() {
    return g_mainWindow.load();
}
}  // namespace platform
