// Starting programs through the shell on the host: nothing is started, the calls are recorded so tests
// can see what would have run.
#include <deque>
#include <mutex>
#include <utility>

#include "platform/Processes.h"
#include "platform/SystemErrors.h"
#include "platform/host/SimShell.h"

namespace platform {
namespace {

constexpr std::size_t kKeptCalls = 1000;

struct ShellSim {
    std::mutex m;
    std::deque<host::ShellCall> calls;
    uint64_t count = 0;
    bool succeeds = true;
    host::ShellRunHandler runHandler;
};
ShellSim& shell() {
    static ShellSim* s = new ShellSim;  // never destroyed: detached threads may still call at exit
    return *s;
}

}  // namespace

bool ShellExecuteHidden(std::u16string_view verb, std::u16string_view file, std::u16string_view parameters) {
    ShellSim& s = shell();
    std::lock_guard l(s.m);
    s.calls.push_back({std::u16string(verb), std::u16string(file), std::u16string(parameters), {}, 0});
    if (s.calls.size() > kKeptCalls) s.calls.pop_front();
    ++s.count;
    return s.succeeds;
}

ShellRun ShellExecuteHiddenAndWait(std::u16string_view verb, std::u16string_view file,
                                   std::u16string_view parameters, std::u16string_view folder, uint32_t timeoutMs) {
    host::ShellCall call{std::u16string(verb), std::u16string(file), std::u16string(parameters),
                         std::u16string(folder), timeoutMs};
    host::ShellRunHandler handler;
    bool succeeds = true;
    {
        ShellSim& s = shell();
        std::lock_guard l(s.m);
        s.calls.push_back(call);
        if (s.calls.size() > kKeptCalls) s.calls.pop_front();
        ++s.count;
        handler = s.runHandler;
        succeeds = s.succeeds;
    }
    ShellRun run;
    if (!succeeds) {
        run.error = kErrorFileNotFound;
        return run;
    }
    run.started = true;
    run.ended = true;
    // The handler plays the program (outside the lock, so it may take its time or look at the calls).
    if (handler) run = handler(call);
    return run;
}

namespace host {

void SetShellRunHandler(ShellRunHandler handler) {
    ShellSim& s = shell();
    std::lock_guard l(s.m);
    s.runHandler = std::move(handler);
}

std::vector<ShellCall> ShellCalls() {
    ShellSim& s = shell();
    std::lock_guard l(s.m);
    return {s.calls.begin(), s.calls.end()};
}

uint64_t ShellCallCount() {
    ShellSim& s = shell();
    std::lock_guard l(s.m);
    return s.count;
}

void ClearShellCalls() {
    ShellSim& s = shell();
    std::lock_guard l(s.m);
    s.calls.clear();
    s.count = 0;
}

void SetShellExecuteResult(bool succeeds) {
    ShellSim& s = shell();
    std::lock_guard l(s.m);
    s.succeeds = succeeds;
}

}  // namespace host
}  // namespace platform
