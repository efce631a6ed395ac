// Frames of the engine control pipe and the readers of the engine's replies: lengths from the other
// side are never trusted, and the status text is read the way the engine writes it.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "engine/EnginePipe.h"
#include "engine/PipeFrame.h"

namespace velora {
namespace {

std::string Header(uint32_t code, uint32_t length) {
    std::string h;
    for (uint32_t v : {code, length})
        for (int i = 0; i < 4; ++i) h.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    return h;
}

TEST(PipeFrame, EncodesLittleEndianHeaderWithTotalLength) {
    EXPECT_EQ(EncodePipeFrame(PIPE_CMD_STATUS, ""), std::string("\x00\x02\x10\x00\x08\x00\x00\x00", 8));
    EXPECT_EQ(EncodePipeFrame(PIPE_CMD_SET_SHARE_IF, "ifindex=7"),
              std::string("\x00\x04\x1b\x00\x11\x00\x00\x00", 8) + "ifindex=7");
}

TEST(PipeFrame, RefusesRequestsLargerThanTheRequestBuffer) {
    EXPECT_EQ(EncodePipeFrame(PIPE_CMD_STATUS, std::string(kPipeRequestBufferSize - 8, 'x')).size(),
              kPipeRequestBufferSize);
    EXPECT_TRUE(EncodePipeFrame(PIPE_CMD_STATUS, std::string(kPipeRequestBufferSize - 7, 'x')).empty());
    EXPECT_TRUE(EncodePipeFrame(PIPE_CMD_STATUS, "", 4).empty());
}

TEST(PipeFrame, RoundTripsThroughTheParser) {
    const std::string frame = EncodePipeFrame(PIPE_CMD_STOP, "bye") + "next";
    const PipeFrameParse parse = ParsePipeFrame(frame);
    ASSERT_EQ(parse.state, PipeFrameState::kComplete);
    EXPECT_EQ(parse.header.code, PIPE_CMD_STOP);
    EXPECT_EQ(parse.header.length, 11u);
    EXPECT_EQ(parse.payload, "bye");  // the bytes after the frame belong to the next one
}

struct ParseCase {
    const char* name;
    std::string bytes;
    PipeFrameState state;
    std::size_t needed;
};

TEST(PipeFrame, ParsesPartialAndHostileHeaders) {
    const ParseCase cases[] = {
        {"nothing yet", "", PipeFrameState::kNeedMore, 8},
        {"half a header", Header(0, 12).substr(0, 5), PipeFrameState::kNeedMore, 3},
        {"length larger than the data", Header(0, 100) + "abc", PipeFrameState::kNeedMore, 89},
        {"length zero", Header(0, 0) + "abc", PipeFrameState::kBadLength, 0},
        {"length shorter than the header", Header(0, 7), PipeFrameState::kBadLength, 0},
        {"length 2^31", Header(0, 0x80000000u), PipeFrameState::kBadLength, 0},
        {"length 2^32-1", Header(0, 0xFFFFFFFFu), PipeFrameState::kBadLength, 0},
        {"just above the cap", Header(0, kPipeMaxFrameLength + 1), PipeFrameState::kBadLength, 0},
        {"at the cap", Header(0, kPipeMaxFrameLength), PipeFrameState::kNeedMore, kPipeMaxFrameLength - 8},
        {"header only", Header(0, 8), PipeFrameState::kComplete, 0},
    };
    for (const ParseCase& c : cases) {
        const PipeFrameParse parse = ParsePipeFrame(c.bytes);
        EXPECT_EQ(parse.state, c.state) << c.name;
        EXPECT_EQ(parse.needed, c.needed) << c.name;
        if (parse.state == PipeFrameState::kComplete) {
            EXPECT_TRUE(parse.payload.empty()) << c.name;
        }
    }
}

struct StatusCase {
    const char* name;
    const char* text;
    int64_t tx;
    int64_t rx;
    bool down;
};

TEST(EngineStatusText, SumsTunnelLinesAndTellsDown) {
    const StatusCase cases[] = {
        {"down then one tunnel", "State: DOWN\nTunnel(txbytes/rxbytes/txpkts/rxpkts): 10,20,1,2\n", 10, 20,
         true},
        {"up then one tunnel", "State: UP\nTunnel(txbytes/rxbytes/txpkts/rxpkts): 10,20,1,2\n", 10, 20,
         false},
        {"no state line", "Tunnel(txbytes/rxbytes/txpkts/rxpkts): 10,20\n", 0, 0, false},
        {"connected sums every tunnel",
         "State: CONNECTED\nTunnel(txbytes/rxbytes/txpkts/rxpkts): 1,2,0,0\n"
         "Tunnel(txbytes/rxbytes/txpkts/rxpkts): 30,40,0,0\n",
         31, 42, false},
        // Without a connected state each tunnel line needs a state line of its own before it.
        {"down counts only tunnels after a state line",
         "State: DOWN\nTunnel(txbytes/rxbytes/txpkts/rxpkts): 1,2\nTunnel(txbytes/rxbytes/txpkts/rxpkts): "
         "3,4\n",
         1, 2, true},
        {"state but no tunnel", "State: DOWN\n", 0, 0, false},
        {"blanks before numbers", "State: UP\nTunnel(txbytes/rxbytes/txpkts/rxpkts):   5, 6\n", 5, 6, false},
        {"only the first number", "State: UP\nTunnel(txbytes/rxbytes/txpkts/rxpkts): 5;6\n", 5, 0, false},
        {"garbage numbers", "State: UP\nTunnel(txbytes/rxbytes/txpkts/rxpkts): x,y\n", 0, 0, false},
        // A negative count is no count, whichever of the two it is.
        {"negative sent", "State: UP\nTunnel(txbytes/rxbytes/txpkts/rxpkts): -5,6\n", 0, 6, false},
        {"negative received",
         "State: UP\nTunnel(txbytes/rxbytes/txpkts/rxpkts): 5,-6\n"
         "Tunnel(txbytes/rxbytes/txpkts/rxpkts): 1,1\n",
         6, 1, false},
        {"most negative",
         "State: UP\nTunnel(txbytes/rxbytes/txpkts/rxpkts): -9223372036854775808,"
         "-99999999999999999999\n",
         0, 0, false},
        {"huge numbers saturate",
         "State: UP\nTunnel(txbytes/rxbytes/txpkts/rxpkts): 99999999999999999999999,9223372036854775807\n"
         "Tunnel(txbytes/rxbytes/txpkts/rxpkts): 1,1\n",
         std::numeric_limits<int64_t>::max(), std::numeric_limits<int64_t>::max(), false},
        {"empty", "", 0, 0, false},
    };
    for (const StatusCase& c : cases) {
        int64_t tx = -1;
        int64_t rx = -1;
        bool down = !c.down;
        ScanEngineStatus(c.text, tx, rx, down);
        EXPECT_EQ(tx, c.tx) << c.name;
        EXPECT_EQ(rx, c.rx) << c.name;
        EXPECT_EQ(down, c.down) << c.name;
    }
}

// -1 without a "=" and a line break after it; with them, the decimal integer between them as the C
// library reads it: the digits it starts with, 0 when none, limited to 32 bits.
TEST(EngineShareInterface, ReadsTheValueOfANameValueLine) {
    const std::pair<const char*, int32_t> cases[] = {
        {"ifindex=12\n", 12},
        {"ifindex=12\r\n", 12},
        {"ifindex=-1\n", -1},
        {"ifindex=12", -1},
        {"no equals\n", -1},
        {"", -1},
        {"a=3\nb=4\n", 3},
        {"ifindex= \t7 \n", 7},
        {"ifindex=+5\n", 5},
        {"ifindex=12abc\n", 12},
        {"ifindex=\n", 0},
        {"ifindex=abc\n", 0},
        {"ifindex=99999999999\n", std::numeric_limits<int32_t>::max()},
        {"ifindex=-99999999999\n", std::numeric_limits<int32_t>::min()},
    };
    for (const auto& [text, index] : cases) EXPECT_EQ(ParseShareInterface(text), index) << text;
}

// A reply longer than the request buffer is read into a grown buffer; when it cannot grow, the request
// fails with 12.
TEST(EnginePipeReplyBuffer, GrowsForALongReplyOrFailsWith12) {
    const std::pair<std::size_t, int32_t> cases[] = {
        {8000, 0},
        {kPipeMaxFrameLength, 0},
        {std::string().max_size(), kPipeErrorGrowFailed},
    };
    for (const auto& [length, result] : cases) {
        std::string buffer;
        EXPECT_EQ(GrowReplyBuffer(buffer, length), result) << length;
        if (result == 0) {
            EXPECT_GT(buffer.capacity(), length);
        }
    }
    EXPECT_EQ(kPipeErrorGrowFailed, 12);
}

TEST(EngineShareInterface, PayloadSendsNegativeAsZeroAndNothingForZero) {
    EXPECT_EQ(ShareInterfacePayload(5), "ifindex=5");
    EXPECT_EQ(ShareInterfacePayload(-3), "ifindex=0");
    EXPECT_EQ(ShareInterfacePayload(0), "");
}

}  // namespace
}  // namespace velora
