// Events, threads, waits and sleep on the host: std::thread and condition variables. Named events live
// in an in-process registry, so two holders of one name in this process share one event.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/Kernel.h"
#include "platform/host/SimKernel.h"

namespace platform {
namespace {

thread_local uint32_t t_lastError = 0;

// Waits on several events at once watch one change counter that every Set and Pulse advances.
struct AnyWait {
    std::mutex m;
    std::condition_variable cv;
    uint64_t changes = 0;
};
AnyWait& anyWait() {
    static AnyWait* w = new AnyWait;  // never destroyed: detached threads may still signal at exit
    return *w;
}
void NoteChange() {
    AnyWait& w = anyWait();
    {
        std::lock_guard l(w.m);
        ++w.changes;
    }
    w.cv.notify_all();
}

struct EventState {
    std::mutex m;
    std::condition_variable cv;
    bool manual = false;
    bool signalled = false;
    uint64_t pulseGeneration = 0;  // a pulse of a manual-reset event releases everyone waiting then
    uint32_t waiters = 0;
    uint32_t pulseTickets = 0;  // a pulse of an auto-reset event releases one thread waiting then
};

class HostEvent final : public Event {
public:
    explicit HostEvent(std::shared_ptr<EventState> s) : s_(std::move(s)) {}

    void Set() override {
        {
            std::lock_guard l(s_->m);
            s_->signalled = true;
        }
        s_->cv.notify_all();
        NoteChange();
    }
    void Reset() override {
        std::lock_guard l(s_->m);
        s_->signalled = false;
    }
    void Pulse() override {
        {
            std::lock_guard l(s_->m);
            s_->signalled = false;
            if (s_->manual) {
                ++s_->pulseGeneration;
            } else if (s_->waiters > s_->pulseTickets) {
                ++s_->pulseTickets;
            }
        }
        s_->cv.notify_all();
        NoteChange();
    }
    bool Wait(uint32_t ms) override {
        std::unique_lock l(s_->m);
        if (s_->signalled) {
            if (!s_->manual) s_->signalled = false;
            return true;
        }
        if (ms == 0) return false;
        const uint64_t generation = s_->pulseGeneration;
        auto released = [&] {
            return s_->signalled || (s_->manual ? s_->pulseGeneration != generation : s_->pulseTickets > 0);
        };
        ++s_->waiters;
        bool ok = true;
        if (ms == kInfinite) {
            s_->cv.wait(l, released);
        } else {
            ok = s_->cv.wait_for(l, std::chrono::milliseconds(ms), released);
        }
        --s_->waiters;
        if (!ok) {
            // A pulse meant for waiters that have all gone must not release a later one.
            if (s_->pulseTickets > s_->waiters) s_->pulseTickets = s_->waiters;
            return false;
        }
        if (!s_->manual) {
            if (s_->pulseTickets > 0 && !s_->signalled) {
                --s_->pulseTickets;
            } else {
                s_->signalled = false;
            }
        }
        return true;
    }

private:
    std::shared_ptr<EventState> s_;
};

struct ThreadState {
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    uint32_t code = kStillActive;
};

class HostThread final : public Thread {
public:
    explicit HostThread(std::shared_ptr<ThreadState> s) : s_(std::move(s)) {}
    bool IsRunning() override {
        std::lock_guard l(s_->m);
        return !s_->done;
    }
    bool GetExitCode(uint32_t& code) override {
        std::lock_guard l(s_->m);
        code = s_->done ? s_->code : kStillActive;
        return true;
    }
    bool Wait(uint32_t ms) override {
        std::unique_lock l(s_->m);
        auto finished = [&] { return s_->done; };
        if (ms == kInfinite) {
            s_->cv.wait(l, finished);
            return true;
        }
        return s_->cv.wait_for(l, std::chrono::milliseconds(ms), finished);
    }

private:
    std::shared_ptr<ThreadState> s_;
};

// Simulation state: the named-event registry and the failures that tests ask for.
struct Sim {
    std::mutex m;
    std::map<std::u16string, std::weak_ptr<EventState>, std::less<>> named;
    uint32_t threadSkip = 0;
    uint32_t threadFailures = 0;
    uint32_t threadError = 0;
    std::map<std::u16string, uint32_t, std::less<>> namedFailures;
    uint32_t eventFailures = 0;
    uint32_t eventError = 0;
};
Sim& sim() {
    static Sim* s = new Sim;  // never destroyed: detached threads may still use it at exit
    return *s;
}
std::atomic<uint32_t> g_running{0};

}  // namespace

EventCreation OpenOrCreateEvent(std::u16string_view name, bool manualReset, bool initiallySignalled) {
    EventCreation result;
    Sim& s = sim();
    std::lock_guard l(s.m);
    if (s.eventFailures > 0) {
        --s.eventFailures;
        result.error = s.eventError;
    } else if (!name.empty()) {
        auto failure = s.namedFailures.find(name);
        if (failure != s.namedFailures.end()) {
            result.error = failure->second;
            s.namedFailures.erase(failure);
        }
    }
    if (result.error != 0) {
        t_lastError = result.error;
        return result;
    }
    std::shared_ptr<EventState> state;
    if (!name.empty()) {
        auto it = s.named.find(name);
        if (it != s.named.end()) state = it->second.lock();
    }
    if (state) {
        result.alreadyExisted = true;
    } else {
        state = std::make_shared<EventState>();
        state->manual = manualReset;
        state->signalled = initiallySignalled;
        if (!name.empty()) s.named[std::u16string(name)] = state;
    }
    result.event = std::make_unique<HostEvent>(std::move(state));
    return result;
}

int WaitForAnyEvent(std::span<Event* const> events, uint32_t ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    AnyWait& w = anyWait();
    // A Set between the look and the wait needs this lock to count its change, so it cannot be missed.
    std::unique_lock l(w.m);
    for (;;) {
        for (std::size_t i = 0; i < events.size(); ++i) {
            if (events[i] && events[i]->Wait(0)) return static_cast<int>(i);
        }
        if (ms == kInfinite) {
            w.cv.wait(l);
        } else if (w.cv.wait_until(l, deadline) == std::cv_status::timeout) {
            for (std::size_t i = 0; i < events.size(); ++i) {
                if (events[i] && events[i]->Wait(0)) return static_cast<int>(i);
            }
            return -1;
        }
    }
}

ThreadCreation StartThread(std::function<uint32_t()> body) {
    ThreadCreation result;
    {
        Sim& s = sim();
        std::lock_guard l(s.m);
        if (s.threadSkip > 0) {
            --s.threadSkip;
        } else if (s.threadFailures > 0) {
            --s.threadFailures;
            result.error = s.threadError;
            t_lastError = result.error;
            return result;
        }
    }
    auto state = std::make_shared<ThreadState>();
    ++g_running;
    try {
        std::thread([state, body = std::move(body)]() mutable {
            const uint32_t code = body();
            body = nullptr;  // the body's captures go before anyone learns that the thread ended
            {
                std::lock_guard l(state->m);
                state->code = code;
                state->done = true;
            }
            state->cv.notify_all();
            --g_running;
        }).detach();
    } catch (const std::system_error&) {
        --g_running;
        result.error = kErrorNotEnoughMemory;
        t_lastError = result.error;
        return result;
    }
    result.thread = std::make_unique<HostThread>(std::move(state));
    return result;
}

void SleepMs(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

uint32_t LastSystemError() {
    return t_lastError;
}

namespace host {

void FailThreadCreations(uint32_t skip, uint32_t count, uint32_t error) {
    Sim& s = sim();
    std::lock_guard l(s.m);
    s.threadSkip = skip;
    s.threadFailures = count;
    s.threadError = error;
}

void FailNamedEventCreation(std::u16string_view name, uint32_t error) {
    Sim& s = sim();
    std::lock_guard l(s.m);
    s.namedFailures[std::u16string(name)] = error;
}

void FailNextEventCreations(uint32_t count, uint32_t error) {
    Sim& s = sim();
    std::lock_guard l(s.m);
    s.eventFailures = count;
    s.eventError = error;
}

void ResetSimKernel() {
    Sim& s = sim();
    std::lock_guard l(s.m);
    s.threadSkip = s.threadFailures = s.threadError = 0;
    s.namedFailures.clear();
    s.eventFailures = s.eventError = 0;
}

uint32_t RunningThreadCount() {
    return g_running.load();
}

}  // namespace host
}  // namespace platform
