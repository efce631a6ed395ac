// A window that records the messages workers post and send to it, for the portable tests: on the host a
// simulated window, on Windows a real message-only window whose messages the test thread pumps. A sent
// message's text (lParam, valid only during the send) is copied while it is handled.
#pragma once
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Types.h"

#ifdef _WIN32
#include <windows.h>
#else
#include "platform/host/SimWindows.h"
#endif

namespace velora::test {

struct RecordedMessage {
    uint32_t message = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
    bool sent = false;
    std::u16string text;  // a sent message's lParam text
    bool settled = true;  // host: false until the text of a sent message was copied
};

class CRecordingWindow {
public:
    CRecordingWindow() {
#ifdef _WIN32
        static const ATOM atom = [] {
            WNDCLASSW wc{};
            wc.lpfnWndProc = &CRecordingWindow::Procedure;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = L"VeloraTestRecorder";
            return RegisterClassW(&wc);
        }();
        (void)atom;
        m_window = CreateWindowExW(0, L"VeloraTestRecorder", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   GetModuleHandleW(nullptr), nullptr);
        SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
#else
        // The simulated window records a sent message before it calls this handler: the recorder may
        // already hold the message (without its text) when the handler runs, or not yet.
        m_window =
            platform::host::CreateSimWindow({}, [this](uint32_t, uintptr_t, intptr_t lParam) -> intptr_t {
                std::lock_guard l(m_lock);
                PullLocked();
                for (RecordedMessage& r : m_messages) {
                    if (r.sent && !r.settled) {
                        if (lParam) r.text = reinterpret_cast<const char16_t*>(lParam);
                        r.settled = true;
                        break;
                    }
                }
                return 0;
            });
#endif
    }
    ~CRecordingWindow() {
#ifdef _WIN32
        if (m_window) DestroyWindow(m_window);
#else
        (void)platform::host::DestroySimWindow(m_window);
#endif
    }
    CRecordingWindow(const CRecordingWindow&) = delete;
    CRecordingWindow& operator=(const CRecordingWindow&) = delete;

    platform::WindowHandle Handle() const {
        return m_window;
    }

    // Handles what arrives (on Windows: pumps this thread's queue) until `done` holds or the time is up.
    bool PumpUntil(const std::function<bool()>& done, uint32_t timeoutMs) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            Pump();
            if (done()) return true;
            if (std::chrono::steady_clock::now() >= end) return false;
#ifdef _WIN32
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
#else
            platform::host::WaitForSimMessages(m_window, 1, 20);
#endif
        }
    }
    bool WaitFor(std::size_t count, uint32_t timeoutMs) {
        return PumpUntil([&] { return Count() >= count; }, timeoutMs);
    }
    std::size_t Count() {
        Pump();
        std::lock_guard l(m_lock);
        return Settled();
    }
    // Everything recorded so far, oldest first, and forgets it.
    std::vector<RecordedMessage> Take() {
        Pump();
        std::lock_guard l(m_lock);
        const auto end = m_messages.begin() + static_cast<std::ptrdiff_t>(Settled());
        std::vector<RecordedMessage> out(m_messages.begin(), end);
        m_messages.erase(m_messages.begin(), end);
        return out;
    }

private:
    void Pump() {
#ifdef _WIN32
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            m_dispatching = msg.hwnd == m_window;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
            m_dispatching = false;
        }
#else
        std::lock_guard l(m_lock);
        PullLocked();
#endif
    }

    // The messages before the first one whose text is not copied yet.
    std::size_t Settled() const {
        std::size_t n = 0;
        while (n < m_messages.size() && m_messages[n].settled) ++n;
        return n;
    }

#ifndef _WIN32
    void PullLocked() {
        for (const auto& m : platform::host::TakeSimMessages(m_window)) {
            m_messages.push_back({m.message, m.wParam, m.lParam, m.sent, {}, !m.sent});
        }
    }
#endif

#ifdef _WIN32
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<CRecordingWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self && message >= WM_USER && message < 0xC000) {
            RecordedMessage r{message,
                              static_cast<uintptr_t>(wParam),
                              static_cast<intptr_t>(lParam),
                              !self->m_dispatching,
                              {}};
            if (r.sent && lParam) r.text = reinterpret_cast<const char16_t*>(lParam);
            std::lock_guard l(self->m_lock);
            self->m_messages.push_back(std::move(r));
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }
    HWND m_window = nullptr;
    bool m_dispatching = false;
#else
    platform::WindowHandle m_window = nullptr;
#endif
    std::mutex m_lock;
    std::deque<RecordedMessage> m_messages;
};

}  // namespace velora::test
