// Events, threads, waits and sleep on Windows. Threads are created suspended and then resumed, so the
// caller holds the handle before the body can run; the body's result is the thread's exit code.
#include <windows.h>

#include <new>

#include "platform/Kernel.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Wide.h"

namespace platform {
namespace {

using win32::CKernelHandle;

class Win32Event final : public Event {
public:
    explicit Win32Event(HANDLE h) : h_(h) {}
    void Set() override { SetEvent(h_.Get()); }
    void Reset() override { ResetEvent(h_.Get()); }
    void Pulse() override { PulseEvent(h_.Get()); }
    bool Wait(uint32_t ms) override { return WaitForSingleObject(h_.Get(), ms) == WAIT_OBJECT_0; }
    HANDLE Handle() const { return h_.Get(); }

private:
    CKernelHandle h_;
};

class Win32Thread final : public Thread {
public:
    explicit Win32Thread(HANDLE h) : h_(h) {}
    bool IsRunning() override { return WaitForSingleObject(h_.Get(), 0) == WAIT_TIMEOUT; }
    bool GetExitCode(uint32_t& code) override {
        DWORD value = 0;
        if (!GetExitCodeThread(h_.Get(), &value)) return false;
        code = value;
        return true;
    }
    bool Wait(uint32_t ms) override { return WaitForSingleObject(h_.Get(), ms) == WAIT_OBJECT_0; }

private:
    CKernelHandle h_;
};

DWORD WINAPI ThreadEntry(LPVOID parameter) {
    auto* body = static_cast<std::function<uint32_t()>*>(parameter);
    const uint32_t code = (*body)();
    delete body;
    return code;
}

}  // namespace

EventCreation OpenOrCreateEvent(std::u16string_view name, bool manualReset, bool initiallySignalled) {
    EventCreation result;
    const std::wstring wideName = win32::WideString(name);
    SetLastError(ERROR_SUCCESS);  // only a named event that existed sets an error on success
    HANDLE h = CreateEventW(nullptr, manualReset ? TRUE : FALSE, initiallySignalled ? TRUE : FALSE,
                            name.empty() ? nullptr : wideName.c_str());
    const DWORD error = GetLastError();
    if (!h) {
        result.error = error ? error : ERROR_INVALID_HANDLE;
        return result;
    }
    result.alreadyExisted = error == ERROR_ALREADY_EXISTS;
    result.event = std::make_unique<Win32Event>(h);
    return result;
}

int WaitForAnyEvent(std::span<Event* const> events, uint32_t ms) {
    HANDLE handles[MAXIMUM_WAIT_OBJECTS];
    int indices[MAXIMUM_WAIT_OBJECTS];
    DWORD count = 0;
    for (std::size_t i = 0; i < events.size() && count < MAXIMUM_WAIT_OBJECTS; ++i) {
        const auto* event = dynamic_cast<const Win32Event*>(events[i]);
        if (!event) continue;
        handles[count] = event->Handle();
        indices[count] = static_cast<int>(i);
        ++count;
    }
    if (count == 0) {
        if (ms != INFINITE) Sleep(ms);
        return -1;
    }
    const DWORD wait = WaitForMultipleObjects(count, handles, FALSE, ms);
    if (wait >= WAIT_OBJECT_0 && wait < WAIT_OBJECT_0 + count) return indices[wait - WAIT_OBJECT_0];
    return -1;
}

ThreadCreation StartThread(std::function<uint32_t()> body) {
    ThreadCreation result;
    auto* heapBody = new (std::nothrow) std::function<uint32_t()>(std::move(body));
    if (!heapBody) {
        result.error = ERROR_NOT_ENOUGH_MEMORY;
        SetLastError(result.error);
        return result;
    }
    HANDLE h = CreateThread(nullptr, 0, ThreadEntry, heapBody, CREATE_SUSPENDED, nullptr);
    if (!h) {
        result.error = GetLastError();
        delete heapBody;
        if (result.error == 0) result.error = ERROR_NOT_ENOUGH_MEMORY;
        return result;
    }
    auto thread = std::make_unique<Win32Thread>(h);
    if (ResumeThread(h) == static_cast<DWORD>(-1)) {
        // A thread that never ran must not keep its body: end it before it starts.
        result.error = GetLastError();
        TerminateThread(h, result.error);
        delete heapBody;
        return result;
    }
    result.thread = std::move(thread);
    return result;
}

void SleepMs(uint32_t ms) {
    Sleep(ms);
}

uint32_t LastSystemError() {
    return GetLastError();
}

}  // namespace platform
