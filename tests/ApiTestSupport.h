// Shared helpers of the client API tests: bounded waits, a gate that holds a worker double until the
// test opens it, and a recorder of what the engine's worker doubles were asked to do.
#pragma once
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "auth/SignIn.h"
#include "api/ClientApi.h"
#include "core/Settings.h"
#include "engine/ConnectContext.h"
#include "engine/EngineState.h"
#include "engine/EngineWorkers.h"

namespace velora::test {

// Polls `condition` until it holds or `limitMs` passed; never waits without bound.
inline bool WaitUntil(const std::function<bool()>& condition, int limitMs = 20000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

class Gate {
public:
    void Open() {
        {
            std::lock_guard l(m_);
            open_ = true;
        }
        cv_.notify_all();
    }
    bool Wait(int limitMs = 20000) {
        std::unique_lock l(m_);
        return cv_.wait_for(l, std::chrono::milliseconds(limitMs), [&] { return open_; });
    }
    bool IsOpen() {
        std::lock_guard l(m_);
        return open_;
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    bool open_ = false;
};

struct JobRecord {
    int removeRoutes;
    int notifyOrchestrator;
    uint32_t reason;
    uint32_t mode;
    bool hadMonitor;
    int32_t stepSeen;
};

// The engine's workers replaced by doubles that record their calls. `onConnect` decides each connect
// attempt (call number from 1); `onMonitor` each link monitor run; defaults: connect succeeds, the
// monitor waits for stopMonitorEvent like the real one. The resolver-cache flush is counted, and run for
// real when `realFlush` is set.
class WorkerRecorder : public CEngineWorkers {
public:
    std::function<void(ConnectContext&, int)> onConnect = [](ConnectContext& c, int) {
        StoreMode(c.mode, NATIVE);
        c.result = 0;
    };
    std::function<uint32_t(int)> onMonitor = [](int) {
        GetEngineState().stopMonitorEvent->Wait(platform::kInfinite);
        return kMonitorStopped;
    };
    std::function<uint32_t(int64_t&, int64_t&)> onFlowCounters;
    std::atomic<bool> realFlush{false};

    std::atomic<int> connectCalls{0};
    std::atomic<int> monitorCalls{0};
    std::atomic<int> monitorEnds{0};
    std::atomic<int> flushes{0};

    void ValidateUserAndConnectThread(ConnectContext& c) override {
        const int n = ++connectCalls;
        Note(u"connect", ApiGetConnectionStep());
        onConnect(c, n);
        Note(u"connect-end", ApiGetConnectionStep());
    }
    uint32_t MonitorThread(uint32_t*) override {
        const int n = ++monitorCalls;
        const uint32_t code = onMonitor(n);
        ++monitorEnds;
        return code;
    }
    void DisconnectWorker(DisconnectJob& job) override {
        std::lock_guard l(m_);
        jobs_.push_back({job.removeRoutes, job.notifyOrchestrator, job.reason, job.mode,
                         job.monitorThread != nullptr, ApiGetConnectionStep()});
        events_.push_back(u"disconnect");
    }
    void RemoveTunnelRoutes() override { Note(u"remove-routes", ApiGetConnectionStep()); }
    void HangUpTunnel() override { Note(u"hang-up", ApiGetConnectionStep()); }
    uint32_t QueryEngineFlowCounters(int64_t& tx, int64_t& rx) override {
        return onFlowCounters ? onFlowCounters(tx, rx) : uint32_t{2};
    }
    void FlushResolverCache() override {
        ++flushes;
        if (realFlush) CEngineWorkers::FlushResolverCache();
    }

    std::vector<JobRecord> Jobs() {
        std::lock_guard l(m_);
        return jobs_;
    }
    std::vector<std::u16string> Events() {
        std::lock_guard l(m_);
        return events_;
    }
    std::vector<int32_t> ConnectSteps() {
        std::lock_guard l(m_);
        return connectSteps_;
    }
    void Note(std::u16string event, int32_t step) {
        std::lock_guard l(m_);
        if (event == u"connect") connectSteps_.push_back(step);
        events_.push_back(std::move(event));
    }

private:
    std::mutex m_;
    std::vector<JobRecord> jobs_;
    std::vector<std::u16string> events_;
    std::vector<int32_t> connectSteps_;
};

// Initialises the API, installs the doubles and clears the settings the API writes; at the end stops
// every API thread so none outlives the test.
class ApiFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ApiExit();
        ASSERT_EQ(ApiInit(nullptr, nullptr, recorder), 1);
        for (const char16_t* name : {u"AuthToken", u"Password", u"Username", u"CustomerId", u"AuthUrl"}) {
            SetSetting(name, u"");
        }
    }
    void TearDown() override {
        ApiInit(nullptr, nullptr, recorder);
        char16_t buffer[64];
        ApiDisconnect(buffer, 64);
        EXPECT_TRUE(WaitUntil([] { return ApiWatcherCount() == 0; }));
        EXPECT_TRUE(WaitUntil([&] { return workers.monitorEnds.load() == workers.monitorCalls.load(); }));
        // The next user of the API finds it initialised with the built-in workers.
        ApiExit();
        ApiInit(nullptr, nullptr);
        SetSignInRunnerForTest({});
    }

    std::shared_ptr<WorkerRecorder> recorder = std::make_shared<WorkerRecorder>();
    WorkerRecorder& workers = *recorder;
};

inline std::u16string Text(const char16_t* buffer) {
    return std::u16string(buffer);
}

}  // namespace velora::test
