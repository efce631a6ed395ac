// Owning wrappers for the Win32 handles that the application and its windows keep: each handle is
// closed exactly once, by the wrapper that owns it.
#pragma once
#include <windows.h>

namespace velora {

template <typename Handle, typename Traits>
class CUniqueHandle {
public:
    CUniqueHandle() = default;
    explicit CUniqueHandle(Handle handle) : m_handle(handle) {}
    ~CUniqueHandle() { Reset(); }
    CUniqueHandle(const CUniqueHandle&) = delete;
    CUniqueHandle& operator=(const CUniqueHandle&) = delete;
    CUniqueHandle(CUniqueHandle&& other) noexcept : m_handle(other.Release()) {}
    CUniqueHandle& operator=(CUniqueHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }

    Handle Get() const { return m_handle; }
    explicit operator bool() const { return Traits::IsValid(m_handle); }
    Handle Release() {
        Handle handle = m_handle;
        m_handle = Traits::Invalid();
        return handle;
    }
    void Reset(Handle handle = Traits::Invalid()) {
        if (Traits::IsValid(m_handle)) Traits::Close(m_handle);
        m_handle = handle;
    }

private:
    Handle m_handle = Traits::Invalid();
};

struct KernelHandleTraits {
    // Some creators report failure with null, others (snapshots, files) with INVALID_HANDLE_VALUE.
    static HANDLE Invalid() { return nullptr; }
    static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { CloseHandle(h); }
};
struct GdiObjectTraits {
    static HGDIOBJ Invalid() { return nullptr; }
    static bool IsValid(HGDIOBJ h) { return h != nullptr; }
    static void Close(HGDIOBJ h) { DeleteObject(h); }
};
struct ModuleTraits {
    static HMODULE Invalid() { return nullptr; }
    static bool IsValid(HMODULE h) { return h != nullptr; }
    static void Close(HMODULE h) { FreeLibrary(h); }
};

using CKernelHandle = CUniqueHandle<HANDLE, KernelHandleTraits>;
using CGdiObject = CUniqueHandle<HGDIOBJ, GdiObjectTraits>;
using CLibrary = CUniqueHandle<HMODULE, ModuleTraits>;

}  // namespace velora
