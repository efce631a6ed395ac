// Frame codec of the engine control pipe.
#include "engine/PipeFrame.h"

namespace velora {
namespace {

void PutLe32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFFu));
}

uint32_t GetLe32(std::string_view in, std::size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(in[at + static_cast<std::size_t>(i)]);
    return v;
}

}  // namespace

std::string EncodePipeFrame(uint32_t code, std::string_view payload, std::size_t maxLength) {
    if (payload.size() > maxLength || maxLength - payload.size() < kPipeHeaderSize) return {};
    const std::size_t length = kPipeHeaderSize + payload.size();
    if (length > UINT32_MAX) return {};
    std::string frame;
    frame.reserve(length);
    PutLe32(frame, code);
    PutLe32(frame, static_cast<uint32_t>(length));
    frame.append(payload);
    return frame;
}

bool DecodePipeHeader(std::string_view bytes, PipeFrameHeader& header) {
    if (bytes.size() < kPipeHeaderSize) return false;
    header.code = GetLe32(bytes, 0);
    header.length = GetLe32(bytes, 4);
    return true;
}

bool IsPipeFrameLengthValid(uint32_t length, uint32_t maxLength) {
    return length >= kPipeHeaderSize && length <= maxLength;
}

PipeFrameParse ParsePipeFrame(std::string_view received, uint32_t maxLength) {
    PipeFrameParse parse;
    if (!DecodePipeHeader(received, parse.header)) {
        parse.needed = kPipeHeaderSize - received.size();
        return parse;
    }
    if (!IsPipeFrameLengthValid(parse.header.length, maxLength)) {
        parse.state = PipeFrameState::kBadLength;
        parse.needed = 0;
        return parse;
    }
    if (received.size() < parse.header.length) {
        parse.needed = parse.header.length - received.size();
        return parse;
    }
    parse.state = PipeFrameState::kComplete;
    parse.needed = 0;
    parse.payload = received.substr(kPipeHeaderSize, parse.header.length - kPipeHeaderSize);
    return parse;
}

}  // namespace velora
