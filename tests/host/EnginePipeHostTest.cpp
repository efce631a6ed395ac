// The engine pipe client against a simulated engine: one lazily opened connection, dropped by every
// failure, and replies from a broken or hostile engine refused without trusting their lengths.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "engine/EnginePipe.h"
#include "engine/EngineWorkers.h"
#include "engine/PipeFrame.h"
#include "platform/Pipe.h"
#include "platform/ProgramFolder.h"
#include "platform/host/SimPipe.h"

namespace velora {
namespace {

using platform::host::SimPipeAnswer;

std::string Header(uint32_t code, uint32_t length) {
    std::string h;
    for (uint32_t v : {code, length})
        for (int i = 0; i < 4; ++i) h.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    return h;
}

class EnginePipeHost : public ::testing::Test {
protected:
    void SetUp() override {
        CloseEnginePipe();
        platform::host::StopSimPipe(kEnginePipeName);
    }
    void TearDown() override {
        CloseEnginePipe();
        platform::host::StopSimPipe(kEnginePipeName);
        platform::host::SetSimPipeServerImage(kEnginePipeName, u"");
        SetTrustedEngineImage(u"");
    }
    // An engine that answers every complete request with `reply(code, payload)`.
    void ServeFrames(std::function<std::string(uint32_t, std::string_view)> reply) {
        platform::host::ServeSimPipe(kEnginePipeName, [this, reply](std::string_view written) {
            requests_.emplace_back(written);
            const PipeFrameParse parse = ParsePipeFrame(written);
            if (parse.state != PipeFrameState::kComplete) return SimPipeAnswer{"", true};
            return SimPipeAnswer{reply(parse.header.code, parse.payload)};
        });
    }
    uint32_t Opens() { return platform::host::SimPipeOpenCount(kEnginePipeName); }
    std::vector<std::string> requests_;
};

TEST_F(EnginePipeHost, FlowCountersComeFromTheStatusReply) {
    ServeFrames([](uint32_t code, std::string_view) {
        EXPECT_EQ(code, PIPE_CMD_STATUS);
        return EncodePipeFrame(0,
                               "Version: 1\nState: CONNECTED\n"
                               "Tunnel(txbytes/rxbytes/txpkts/rxpkts): 100,200,1,2\n"
                               "Tunnel(txbytes/rxbytes/txpkts/rxpkts): 5,7,1,1\n",
                               kPipeMaxFrameLength);
    });
    const uint32_t opensBefore = Opens();
    int64_t tx = 0;
    int64_t rx = 0;
    EXPECT_EQ(QueryEngineFlowCounters(tx, rx), 0u);
    EXPECT_EQ(tx, 105);
    EXPECT_EQ(rx, 207);
    bool down = true;
    EXPECT_EQ(QueryEngineStatus(tx, rx, down), 0);
    EXPECT_FALSE(down);
    EXPECT_EQ(Opens(), opensBefore + 1);  // one connection serves every request
}

TEST_F(EnginePipeHost, CommandsCarryTheirCodesAndPayloads) {
    ServeFrames([](uint32_t code, std::string_view) {
        return EncodePipeFrame(0, code == PIPE_CMD_GET_SHARE_IF ? "ifindex=9\r\n" : "");
    });
    int32_t index = 0;
    EXPECT_EQ(QueryShareInterface(index), 0);
    EXPECT_EQ(index, 9);
    EXPECT_EQ(SetShareInterface(-4), 0);
    EXPECT_EQ(SetShareInterface(0), 0);
    EXPECT_EQ(StopEngine(), 0);
    ASSERT_EQ(requests_.size(), 4u);
    EXPECT_EQ(requests_[0], EncodePipeFrame(PIPE_CMD_GET_SHARE_IF, ""));
    EXPECT_EQ(requests_[1], EncodePipeFrame(PIPE_CMD_SET_SHARE_IF, "ifindex=0"));
    EXPECT_EQ(requests_[2], EncodePipeFrame(PIPE_CMD_SET_SHARE_IF, ""));
    EXPECT_EQ(requests_[3], EncodePipeFrame(PIPE_CMD_STOP, ""));
}

TEST_F(EnginePipeHost, NoEngineIsFileNotFound) {
    int64_t tx = 1;
    int64_t rx = 1;
    bool down = true;
    EXPECT_EQ(QueryEngineStatus(tx, rx, down), 2);
    EXPECT_EQ(tx, 0);
    EXPECT_EQ(rx, 0);
    EXPECT_FALSE(down);
}

TEST_F(EnginePipeHost, BusyEngineIsRetriedABoundedNumberOfTimes) {
    ServeFrames([](uint32_t, std::string_view) { return EncodePipeFrame(0, ""); });
    platform::host::SetSimPipeBusy(kEnginePipeName, kPipeOpenAttempts - 1);
    EXPECT_EQ(StopEngine(), 0);
    CloseEnginePipe();
    platform::host::SetSimPipeBusy(kEnginePipeName, kPipeOpenAttempts);
    EXPECT_EQ(StopEngine(), static_cast<int32_t>(platform::kErrorSemTimeout));
}

struct BadReply {
    const char* name;
    std::string bytes;
    bool close;
    int32_t result;
};

// Every failure drops the connection: the next request opens a fresh one and succeeds.
TEST_F(EnginePipeHost, BrokenRepliesFailAndTheNextRequestReconnects) {
    const BadReply cases[] = {
        {"non-zero status", EncodePipeFrame(1, "no"), false, kPipeErrorStatus},
        {"length larger than the data, then silence", Header(0, 100) + "State: UP", false,
         static_cast<int32_t>(platform::kWaitTimeout)},
        {"length larger than the data, then closed", Header(0, 100) + "State: UP", true,
         static_cast<int32_t>(platform::kErrorBrokenPipe)},
        {"length zero", Header(0, 0) + "State: UP", false, kPipeErrorBadFrame},
        {"length 2^31", Header(0, 0x80000000u), false, kPipeErrorBadFrame},
        {"half a header", Header(0, 8).substr(0, 5), false, static_cast<int32_t>(platform::kWaitTimeout)},
        {"nothing at all", "", false, static_cast<int32_t>(platform::kWaitTimeout)},
    };
    for (const BadReply& c : cases) {
        SCOPED_TRACE(c.name);
        CloseEnginePipe();  // a connection keeps the server it was opened with
        bool broken = true;
        platform::host::ServeSimPipe(kEnginePipeName, [&](std::string_view) {
            if (broken) return SimPipeAnswer{c.bytes, c.close};
            return SimPipeAnswer{
                EncodePipeFrame(0, "State: UP\nTunnel(txbytes/rxbytes/txpkts/rxpkts): 3,4\n")};
        });
        const uint32_t opensBefore = Opens();
        int64_t tx = 0;
        int64_t rx = 0;
        bool down = false;
        EXPECT_EQ(QueryEngineStatus(tx, rx, down), c.result);
        EXPECT_EQ(tx, 0);
        broken = false;
        EXPECT_EQ(QueryEngineStatus(tx, rx, down), 0);
        EXPECT_EQ(tx, 3);
        EXPECT_EQ(Opens(), opensBefore + 2);
        CloseEnginePipe();
    }
}

// Whoever created the pipe name first gets no request unless it is the engine in the helper service's
// folder (on the host: beside the running program).
TEST_F(EnginePipeHost, OnlyTheEngineInTheServiceFolderIsTalkedTo) {
    const std::u16string folder = platform::ProgramFolder();
    struct Case {
        const char* name;
        std::u16string image;
        bool accepted;
    };
    const Case cases[] = {
        {"the engine", folder + u"ferronwin.exe", true},
        {"the engine, other case", folder + u"FerronWin.EXE", true},
        {"another program beside it", folder + u"ferronwin2.exe", false},
        {"the engine's name elsewhere", u"/tmp/elsewhere/ferronwin.exe", false},
        {"a prefix of the path", folder + u"ferronwin.ex", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CloseEnginePipe();
        requests_.clear();
        ServeFrames([](uint32_t, std::string_view) { return EncodePipeFrame(0, "State: UP\n"); });
        platform::host::SetSimPipeServerImage(kEnginePipeName, c.image);
        EXPECT_EQ(StopEngine(), c.accepted ? 0 : kPipeErrorForeignServer);
        EXPECT_EQ(requests_.size(), c.accepted ? 1u : 0u);  // a refused server never sees a byte
        EXPECT_EQ(ConnectEnginePipe(), c.accepted ? 0 : kPipeErrorForeignServer);
    }
    // The trusted path can be named outright (a test engine in a folder of its own).
    CloseEnginePipe();
    platform::host::SetSimPipeServerImage(kEnginePipeName, u"/opt/engine/ferronwin.exe");
    SetTrustedEngineImage(u"/opt/engine/ferronwin.exe");
    EXPECT_EQ(StopEngine(), 0);
}

// Bytes after a reply mean the stream no longer pairs replies with requests: the reply is taken, and the
// next request drops the connection that holds the extra frame instead of reading it as its answer.
TEST_F(EnginePipeHost, BytesAfterAReplyDropTheConnection) {
    int n = 0;
    platform::host::ServeSimPipe(kEnginePipeName, [&](std::string_view) {
        ++n;
        std::string bytes = EncodePipeFrame(0, "State: UP\nTunnel(txbytes/rxbytes/txpkts/rxpkts): 3,4\n");
        if (n == 1)
            bytes += EncodePipeFrame(0, "State: UP\nTunnel(txbytes/rxbytes/txpkts/rxpkts): 666,666\n");
        return SimPipeAnswer{bytes};
    });
    const uint32_t opensBefore = Opens();
    int64_t tx = 0;
    int64_t rx = 0;
    bool down = true;
    EXPECT_EQ(QueryEngineStatus(tx, rx, down), 0);
    EXPECT_EQ(tx, 3);
    EXPECT_EQ(QueryEngineStatus(tx, rx, down), 0);
    EXPECT_EQ(tx, 3);  // a fresh reply, not the stale frame
    EXPECT_EQ(rx, 4);
    EXPECT_EQ(Opens(), opensBefore + 2);
}

TEST_F(EnginePipeHost, ConcurrentCallersGetTheirOwnWholeReplies) {
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    platform::host::ServeSimPipe(kEnginePipeName, [&](std::string_view written) {
        if (inside.fetch_add(1) != 0) ++overlaps;
        const PipeFrameParse parse = ParsePipeFrame(written);
        std::string reply =
            parse.state == PipeFrameState::kComplete && parse.header.code == PIPE_CMD_GET_SHARE_IF
                ? EncodePipeFrame(0, "ifindex=42\n")
                : EncodePipeFrame(0, "State: UP\nTunnel(txbytes/rxbytes/txpkts/rxpkts): 1,2\n");
        std::this_thread::yield();
        inside.fetch_sub(1);
        return SimPipeAnswer{reply};
    });
    const uint32_t opensBefore = Opens();
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                if (t % 2) {
                    int32_t index = 0;
                    if (QueryShareInterface(index) != 0 || index != 42) ++wrong;
                } else {
                    int64_t tx = 0;
                    int64_t rx = 0;
                    bool down = true;
                    if (QueryEngineStatus(tx, rx, down) != 0 || tx != 1 || rx != 2 || down) ++wrong;
                }
            }
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_EQ(Opens(), opensBefore + 1);
}

}  // namespace
}  // namespace velora
