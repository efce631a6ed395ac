// Window messages through the Win32 message queue.
#include <windows.h>

#include <atomic>

#include "platform/Messenger.h"

namespace platform {
namespace {

std::atomic<WindowHandle> g_mainWindow{nullptr};

HWND Hwnd(WindowHandle window) {
    return static_cast<HWND>(window);
}

}  // namespace

bool PostWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    // A null window would post to the thread's own queue; the exported API has no window at all.
    if (!window) return false;
    return PostMessageW(Hwnd(window), message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam)) !=
           FALSE;
}

intptr_t SendWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (!window) return 0;
    return static_cast<intptr_t>(
        SendMessageW(Hwnd(window), message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam)));
}

bool WindowExists(WindowHandle window) {
    return window && IsWindow(Hwnd(window));
}

bool WindowHasControl(WindowHandle window, int controlId) {
    return window && IsWindow(Hwnd(window)) && GetDlgItem(Hwnd(window), controlId) != nullptr;
}

void SetMainWindow(WindowHandle window) {
    g_mainWindow.store(window);
}
WindowHandle MainWindow() {
    return g_mainWindow.load();
}

}  // namespace platform
