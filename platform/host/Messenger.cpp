// Window messages on the host: simulated windows that record what workers post and send.
#include "platform/Messenger.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <utility>

#include "platform/host/SimWindows.h"

namespace platform {
namespace {

struct SimWindow {
    std::set<int> controls;
    host::SimSendHandler onSend;
    std::vector<host::SimMessage> messages;
};

struct SimWindows {
    std::mutex lock;
    std::condition_variable arrived;
    std::map<uintptr_t, SimWindow> windows;
    uintptr_t nextId = 0x10000;
};

SimWindows& Sim() {
    static SimWindows* sim = new SimWindows();  // outlives every thread that may still post at exit
    return *sim;
}

uintptr_t IdOf(WindowHandle window) {
    return reinterpret_cast<uintptr_t>(window);
}

std::atomic<WindowHandle> g_mainWindow{nullptr};

}  // namespace

bool PostWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    auto& sim = Sim();
    std::lock_guard<std::mutex> guard(sim.lock);
    const auto it = sim.windows.find(IdOf(window));
    if (!window || it == sim.windows.end()) return false;
    it->second.messages.push_back({message, wParam, lParam, false});
    sim.arrived.notify_all();
    return true;
}

intptr_t SendWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    auto& sim = Sim();
    host::SimSendHandler handler;
    {
        std::lock_guard<std::mutex> guard(sim.lock);
        const auto it = sim.windows.find(IdOf(window));
        if (!window || it == sim.windows.end()) return 0;
        it->second.messages.push_back({message, wParam, lParam, true});
        handler = it->second.onSend;
        sim.arrived.notify_all();
    }
    // Outside the lock: a handler may itself post or send, as a window procedure can.
    return handler ? handler(message, wParam, lParam) : 0;
}

bool WindowExists(WindowHandle window) {
    auto& sim = Sim();
    std::lock_guard<std::mutex> guard(sim.lock);
    return window && sim.windows.count(IdOf(window)) > 0;
}

bool WindowHasControl(WindowHandle window, int controlId) {
    auto& sim = Sim();
    std::lock_guard<std::mutex> guard(sim.lock);
    const auto it = sim.windows.find(IdOf(window));
    return window && it != sim.windows.end() && it->second.controls.count(controlId) > 0;
}

void SetMainWindow(WindowHandle window) {
    g_mainWindow.store(window);
}
WindowHandle MainWindow() {
    return g_mainWindow.load();
}

namespace host {

WindowHandle CreateSimWindow(const std::vector<int>& controlIds, SimSendHandler onSend) {
    auto& sim = Sim();
    std::lock_guard<std::mutex> guard(sim.lock);
    const uintptr_t id = sim.nextId;
    sim.nextId += 0x10;
    SimWindow& window = sim.windows[id];
    window.controls.insert(controlIds.begin(), controlIds.end());
    window.onSend = std::move(onSend);
    return reinterpret_cast<WindowHandle>(id);
}

std::vector<SimMessage> TakeSimMessages(WindowHandle window) {
    auto& sim = Sim();
    std::lock_guard<std::mutex> guard(sim.lock);
    const auto it = sim.windows.find(IdOf(window));
    if (it == sim.windows.end()) return {};
    return std::exchange(it->second.messages, {});
}

bool WaitForSimMessages(WindowHandle window, std::size_t count, uint32_t timeoutMs) {
    auto& sim = Sim();
    std::unique_lock<std::mutex> guard(sim.lock);
    return sim.arrived.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] {
        const auto it = sim.windows.find(IdOf(window));
        return it != sim.windows.end() && it->second.messages.size() >= count;
    });
}

std::vector<SimMessage> DestroySimWindow(WindowHandle window) {
    auto& sim = Sim();
    std::lock_guard<std::mutex> guard(sim.lock);
    const auto it = sim.windows.find(IdOf(window));
    if (it == sim.windows.end()) return {};
    std::vector<SimMessage> left = std::move(it->second.messages);
    sim.windows.erase(it);
    WindowHandle expected = window;
    g_mainWindow.compare_exchange_strong(expected, nullptr);
    return left;
}

}  // namespace host
}  // namespace platform
