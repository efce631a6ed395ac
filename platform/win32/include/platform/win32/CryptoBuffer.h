// Working buffers of the CNG code whose allocation failure must be reported, not thrown, and the status
// test; the CNG handle owners are in Handles.h.
#pragma once
#include <windows.h>

#include <bcrypt.h>

#include <cstddef>
#include <memory>
#include <new>

#include "platform/win32/Handles.h"

namespace platform::win32 {

// A byte buffer aligned for any structure (the decoders write structures with pointers into it).
class CCryptoBuffer {
public:
    // False when the memory cannot be had.
    bool Allocate(std::size_t size) {
        data_.reset(new (std::nothrow) unsigned char[size == 0 ? 1 : size]);
        size_ = data_ ? size : 0;
        return data_ != nullptr;
    }
    unsigned char* Get() const { return data_.get(); }
    std::size_t Size() const { return size_; }

private:
    std::unique_ptr<unsigned char[]> data_;
    std::size_t size_ = 0;
};

inline bool CngSucceeded(NTSTATUS status) {
    return status >= 0;
}

}  // namespace platform::win32
