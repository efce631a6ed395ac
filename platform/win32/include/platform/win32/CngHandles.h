// Owners of CNG handles and of working buffers whose allocation failure must be reported, not thrown.
#pragma once
#include <windows.h>

#include <bcrypt.h>

#include <cstddef>
#include <memory>
#include <new>

namespace platform::win32 {

class CAlgorithmProvider {
public:
    CAlgorithmProvider() = default;
    CAlgorithmProvider(const CAlgorithmProvider&) = delete;
    CAlgorithmProvider& operator=(const CAlgorithmProvider&) = delete;
    ~CAlgorithmProvider() {
        if (handle_) BCryptCloseAlgorithmProvider(handle_, 0);
    }
    BCRYPT_ALG_HANDLE* Receive() { return &handle_; }
    BCRYPT_ALG_HANDLE Get() const { return handle_; }

private:
    BCRYPT_ALG_HANDLE handle_ = nullptr;
};

class CCngKey {
public:
    CCngKey() = default;
    CCngKey(const CCngKey&) = delete;
    CCngKey& operator=(const CCngKey&) = delete;
    ~CCngKey() {
        if (handle_) BCryptDestroyKey(handle_);
    }
    BCRYPT_KEY_HANDLE* Receive() { return &handle_; }
    BCRYPT_KEY_HANDLE Get() const { return handle_; }

private:
    BCRYPT_KEY_HANDLE handle_ = nullptr;
};

class CCngHash {
public:
    CCngHash() = default;
    CCngHash(const CCngHash&) = delete;
    CCngHash& operator=(const CCngHash&) = delete;
    ~CCngHash() {
        if (handle_) BCryptDestroyHash(handle_);
    }
    BCRYPT_HASH_HANDLE* Receive() { return &handle_; }
    BCRYPT_HASH_HANDLE Get() const { return handle_; }

private:
    BCRYPT_HASH_HANDLE handle_ = nullptr;
};

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
