// The read end of a child's standard output, as ProduceNsCtlLog copies it. Destroying it closes it.
#pragma once
#include <cstddef>

namespace corvane {

class CChildOutput {
public:
    virtual ~CChildOutput() = default;
    // Reads up to `size` bytes; 0 when the output has closed or the read failed.
    virtual std::size_t Read(char* buffer, std::size_t size) = 0;
};

}  // namespace corvane
