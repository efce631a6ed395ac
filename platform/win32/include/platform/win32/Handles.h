// The one owner of Win32 handles: CUniqueHandle closes its handle exactly once, with the close call that the
// handle's traits name. Every handle kind the Windows code keeps has its traits here, so each kind is closed
// in one place; the automation string and the COM pointer owners sit beside them.
#pragma once
#include <windows.h>

#include <bcrypt.h>
#include <oleauto.h>
#include <unknwn.h>
#include <wincrypt.h>
#include <wininet.h>
#include <winsvc.h>

#include <optional>
#include <string>
#include <string_view>

namespace platform::win32 {

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
    bool IsValid() const { return Traits::IsValid(m_handle); }
    explicit operator bool() const { return IsValid(); }
    Handle Release() {
        Handle handle = m_handle;
        m_handle = Traits::Invalid();
        return handle;
    }
    void Reset(Handle handle = Traits::Invalid()) {
        if (Traits::IsValid(m_handle)) Traits::Close(m_handle);
        m_handle = handle;
    }
    // Closes now and tells whether the close call succeeded (true when nothing was open): for writes
    // whose failure only shows at close.
    bool Close() {
        const bool ok = !Traits::IsValid(m_handle) || Traits::Close(m_handle);
        m_handle = Traits::Invalid();
        return ok;
    }
    // For creators that return the handle through a pointer; closes what was held before.
    Handle* Receive() {
        Reset();
        return &m_handle;
    }

private:
    Handle m_handle = Traits::Invalid();
};

// Kernel objects whose creators report failure with null (events, threads, processes, tokens).
struct KernelHandleTraits {
    static HANDLE Invalid() { return nullptr; }
    static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static bool Close(HANDLE h) { return CloseHandle(h) != FALSE; }
};
// Kernel objects whose creators report failure with INVALID_HANDLE_VALUE (files, pipes, snapshots).
struct FileHandleTraits {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static bool Close(HANDLE h) { return CloseHandle(h) != FALSE; }
};
struct GdiObjectTraits {
    static HGDIOBJ Invalid() { return nullptr; }
    static bool IsValid(HGDIOBJ h) { return h != nullptr; }
    static bool Close(HGDIOBJ h) { return DeleteObject(h) != FALSE; }
};
struct ModuleTraits {
    static HMODULE Invalid() { return nullptr; }
    static bool IsValid(HMODULE h) { return h != nullptr; }
    static bool Close(HMODULE h) { return FreeLibrary(h) != FALSE; }
};
struct InternetHandleTraits {
    static HINTERNET Invalid() { return nullptr; }
    static bool IsValid(HINTERNET h) { return h != nullptr; }
    static bool Close(HINTERNET h) { return InternetCloseHandle(h) != FALSE; }
};
struct RegistryKeyTraits {
    static HKEY Invalid() { return nullptr; }
    static bool IsValid(HKEY h) { return h != nullptr; }
    static bool Close(HKEY h) { return RegCloseKey(h) == ERROR_SUCCESS; }
};
struct ServiceHandleTraits {
    static SC_HANDLE Invalid() { return nullptr; }
    static bool IsValid(SC_HANDLE h) { return h != nullptr; }
    static bool Close(SC_HANDLE h) { return CloseServiceHandle(h) != FALSE; }
};
struct AlgorithmProviderTraits {
    static BCRYPT_ALG_HANDLE Invalid() { return nullptr; }
    static bool IsValid(BCRYPT_ALG_HANDLE h) { return h != nullptr; }
    static bool Close(BCRYPT_ALG_HANDLE h) { return BCryptCloseAlgorithmProvider(h, 0) >= 0; }
};
struct CngKeyTraits {
    static BCRYPT_KEY_HANDLE Invalid() { return nullptr; }
    static bool IsValid(BCRYPT_KEY_HANDLE h) { return h != nullptr; }
    static bool Close(BCRYPT_KEY_HANDLE h) { return BCryptDestroyKey(h) >= 0; }
};
struct CngHashTraits {
    static BCRYPT_HASH_HANDLE Invalid() { return nullptr; }
    static bool IsValid(BCRYPT_HASH_HANDLE h) { return h != nullptr; }
    static bool Close(BCRYPT_HASH_HANDLE h) { return BCryptDestroyHash(h) >= 0; }
};
struct CertStoreTraits {
    static HCERTSTORE Invalid() { return nullptr; }
    static bool IsValid(HCERTSTORE h) { return h != nullptr; }
    static bool Close(HCERTSTORE h) { return CertCloseStore(h, 0) != FALSE; }
};
// Memory the system allocated for the caller with LocalAlloc (FormatMessage buffers, descriptors).
struct LocalMemoryTraits {
    static HLOCAL Invalid() { return nullptr; }
    static bool IsValid(HLOCAL h) { return h != nullptr; }
    static bool Close(HLOCAL h) { return LocalFree(h) == nullptr; }
};
struct BstrTraits {
    static BSTR Invalid() { return nullptr; }
    static bool IsValid(BSTR s) { return s != nullptr; }
    static bool Close(BSTR s) {
        SysFreeString(s);
        return true;
    }
};

using CKernelHandle = CUniqueHandle<HANDLE, KernelHandleTraits>;
using CFileHandle = CUniqueHandle<HANDLE, FileHandleTraits>;
using CGdiObject = CUniqueHandle<HGDIOBJ, GdiObjectTraits>;
using CLibrary = CUniqueHandle<HMODULE, ModuleTraits>;
using CInternetHandle = CUniqueHandle<HINTERNET, InternetHandleTraits>;
using CRegistryKey = CUniqueHandle<HKEY, RegistryKeyTraits>;
using CServiceHandle = CUniqueHandle<SC_HANDLE, ServiceHandleTraits>;
using CAlgorithmProvider = CUniqueHandle<BCRYPT_ALG_HANDLE, AlgorithmProviderTraits>;
using CCngKey = CUniqueHandle<BCRYPT_KEY_HANDLE, CngKeyTraits>;
using CCngHash = CUniqueHandle<BCRYPT_HASH_HANDLE, CngHashTraits>;
using CCertStore = CUniqueHandle<HCERTSTORE, CertStoreTraits>;
using CLocalMemory = CUniqueHandle<HLOCAL, LocalMemoryTraits>;

// An automation string owned by this side of a call.
class CBstr : public CUniqueHandle<BSTR, BstrTraits> {
public:
    CBstr() = default;
    explicit CBstr(std::u16string_view text)
        : CUniqueHandle(SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                                          static_cast<UINT>(text.size()))) {}
    explicit CBstr(const wchar_t* text) : CUniqueHandle(SysAllocString(text)) {}
    // The text, empty for a null string.
    std::u16string Text() const {
        const BSTR s = Get();
        return s ? std::u16string(reinterpret_cast<const char16_t*>(s), SysStringLen(s)) : std::u16string();
    }
    // Out strings: copied when the other side set one.
    void CopyTo(std::optional<std::u16string>& text) const {
        if (Get()) text = Text();
    }
};

// A COM interface pointer holding one reference.
template <typename I>
class CComPtr {
public:
    CComPtr() = default;
    ~CComPtr() { Reset(); }
    CComPtr(const CComPtr&) = delete;
    CComPtr& operator=(const CComPtr&) = delete;
    CComPtr(CComPtr&& other) noexcept : m_p(other.m_p) { other.m_p = nullptr; }
    CComPtr& operator=(CComPtr&& other) noexcept {
        if (this != &other) {
            Reset();
            m_p = other.m_p;
            other.m_p = nullptr;
        }
        return *this;
    }
    I* Get() const { return m_p; }
    I* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    void Reset() {
        if (m_p) m_p->Release();
        m_p = nullptr;
    }
    I** Receive() {
        Reset();
        return &m_p;
    }
    // For creators typed void** (CoCreateInstance, QueryInterface).
    void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }

private:
    I* m_p = nullptr;
};

}  // namespace platform::win32
