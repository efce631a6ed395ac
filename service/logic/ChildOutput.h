// The read end of a child's standard output, as ProduceNsCtlLog copies it. Destroying it closes it.
#pragma once
#include <cstddef>
#include <cstdint>

namespace corvane {

enum class OutputRead { Data, Closed, TimedOut };

class CChildOutput {
public:
    virtual ~CChildOutput() = default;
    // Waits at most `waitMs` for bytes: Data with `got` > 0, Closed when every writer has gone (or the
    // read failed), TimedOut when nothing came in time (the output is still open).
    virtual OutputRead Read(char* buffer, std::size_t size, uint32_t waitMs, std::size_t& got) = 0;
};

}  // namespace corvane
