// Frames of the engine control pipe: an 8-byte header (code or status, total length, both 32-bit
// little-endian) and an 8-bit text payload. The same frame carries requests and replies. Decoding
// treats every byte from the other side as untrusted: lengths are checked against a cap before any
// buffer is sized from them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace velora {

constexpr uint32_t PIPE_CMD_STATUS = 0x00100200;
constexpr uint32_t PIPE_CMD_SET_SHARE_IF = 0x001B0400;
constexpr uint32_t PIPE_CMD_GET_SHARE_IF = 0x001C0400;
constexpr uint32_t PIPE_CMD_STOP = 0x001D0400;

constexpr std::size_t kPipeHeaderSize = 8;
// A request never exceeds the client's request buffer.
constexpr std::size_t kPipeRequestBufferSize = 4096;
// No reply the engine gives comes near this; anything longer is a broken or hostile peer.
constexpr uint32_t kPipeMaxFrameLength = 1u << 20;

struct PipeFrameHeader {
    uint32_t code = 0;    // request: command code; reply: status (0 = success)
    uint32_t length = 0;  // whole frame, header included
};

// Header followed by `payload`; empty when the frame would not fit in `maxLength` bytes.
std::string EncodePipeFrame(uint32_t code, std::string_view payload,
                            std::size_t maxLength = kPipeRequestBufferSize);

// Reads the header from the first 8 bytes; false when fewer are given.
bool DecodePipeHeader(std::string_view bytes, PipeFrameHeader& header);

// Whether a header's length can describe a frame: at least the header, at most `maxLength`.
bool IsPipeFrameLengthValid(uint32_t length, uint32_t maxLength = kPipeMaxFrameLength);

enum class PipeFrameState {
    kNeedMore,   // `needed` more bytes complete the header or the frame
    kComplete,   // `header` and `payload` are set; the frame took header.length bytes of the input
    kBadLength,  // the header's length is below 8 or above the cap: the stream cannot be trusted
};

struct PipeFrameParse {
    PipeFrameState state = PipeFrameState::kNeedMore;
    PipeFrameHeader header;
    std::string_view payload;  // points into the input
    std::size_t needed = kPipeHeaderSize;
};

// Looks at the bytes received so far (from the start of a frame) and says what they hold.
PipeFrameParse ParsePipeFrame(std::string_view received, uint32_t maxLength = kPipeMaxFrameLength);

}  // namespace velora
