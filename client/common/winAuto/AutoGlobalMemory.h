// A movable global memory block (the copy of a picture resource that a stream reads), freed at the end of
// its scope unless a stream took it over.
#pragma once
#include <windows.h>

#include <cstddef>

namespace velora {

class CAutoGlobalMemory {
public:
    // Failure to allocate is the skin's out-of-memory failure ("CAutoGlobalMemory::CAutoGlobalMemory").
    explicit CAutoGlobalMemory(size_t size);
    ~CAutoGlobalMemory();
    CAutoGlobalMemory(const CAutoGlobalMemory&) = delete;
    CAutoGlobalMemory& operator=(const CAutoGlobalMemory&) = delete;

    HGLOBAL Get() const { return m_memory; }
    // Gives up ownership (a stream created with delete-on-release now frees it).
    HGLOBAL Release();

private:
    HGLOBAL m_memory = nullptr;
};

}  // namespace velora
