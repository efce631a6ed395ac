// Events, threads, waits, sleep, and the one seam for deliberate pauses.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/Types.h"

namespace platform {

class Event {
public:
    virtual ~Event() = default;
    virtual void Set() = 0;
    virtual void Reset() = 0;
    virtual void Pulse() = 0;
    // True when signalled within `ms` (kInfinite: no limit).
    virtual bool Wait(uint32_t ms) = 0;
};

struct EventCreation {
    std::unique_ptr<Event> event;  // null on failure
    uint32_t error = 0;            // system error when `event` is null
    bool alreadyExisted = false;   // a named event that some holder had created before
};

// An empty name makes an unnamed event. Named events are shared with other holders of the same name
// (across processes on Windows; within the process on the host).
EventCreation OpenOrCreateEvent(std::u16string_view name, bool manualReset, bool initiallySignalled);

// Waits until one of `events` is signalled, at most `ms` (kInfinite: no limit): the index of the first
// signalled one in the list (an auto-reset event is reset by being chosen), or -1 when the time ran out
// or the wait failed. Null entries are never chosen.
int WaitForAnyEvent(std::span<Event* const> events, uint32_t ms);

class Thread {
public:
    virtual ~Thread() = default;  // closes the handle; never ends the thread
    virtual bool IsRunning() = 0;
    // False if the code cannot be read; `code` is kStillActive (259) while the thread runs.
    virtual bool GetExitCode(uint32_t& code) = 0;
    virtual bool Wait(uint32_t ms) = 0;
};
constexpr uint32_t kStillActive = 259;

struct ThreadCreation {
    std::unique_ptr<Thread> thread;  // null on failure
    uint32_t error = 0;
};

// Starts `body` on a new thread; its return value becomes the thread's exit code.
ThreadCreation StartThread(std::function<uint32_t()> body);

void SleepMs(uint32_t ms);
uint32_t LastSystemError();

// Deliberate waits between attempts (a polling interval, a retry pause) go through Pause rather than
// SleepMs: a pause function set for the process runs in their place (null: SleepMs), so a test can run a
// flow's waits without waiting and see how long they would have been.
using PauseFunction = void (*)(uint32_t ms);
namespace detail {
inline std::atomic<PauseFunction> g_pauseFunction{nullptr};
}
inline void SetPauseFunction(PauseFunction pause) {
    detail::g_pauseFunction.store(pause);
}
inline void Pause(uint32_t ms) {
    if (const PauseFunction pause = detail::g_pauseFunction.load()) {
        pause(ms);
    } else {
        SleepMs(ms);
    }
}
// A deliberate wait that a stop event cuts short; true when the event was signalled. With a pause function
// set, the pause runs in place of the wait and the event is looked at afterwards without waiting.
inline bool PauseUntilSignalled(Event& stop, uint32_t ms) {
    if (const PauseFunction pause = detail::g_pauseFunction.load()) {
        pause(ms);
        return stop.Wait(0);
    }
    return stop.Wait(ms);
}

}  // namespace platform
