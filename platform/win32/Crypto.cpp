// Platform cryptography on Windows: CNG (AES-128 in ECB mode without padding, the system random source).
#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <climits>

#include "platform/Crypto.h"
#include "platform/win32/Handles.h"

namespace platform {
namespace {

bool Succeeded(NTSTATUS status) {
    return status >= 0;
}

// A fresh provider per call keeps the function free of shared state; the settings store calls it
// only a handful of times per operation.
bool RunAes128Ecb(bool encrypt, const uint8_t key[16], const uint8_t* data, std::size_t size, uint8_t* out,
                  std::string& failedStep) {
    if (size % 16 != 0 || (size != 0 && (data == nullptr || out == nullptr)) || key == nullptr) {
        failedStep = "argument";
        return false;
    }
    win32::CAlgorithmProvider algorithm;
    if (!Succeeded(BCryptOpenAlgorithmProvider(algorithm.Receive(), BCRYPT_AES_ALGORITHM, nullptr, 0))) {
        failedStep = "BCryptOpenAlgorithmProvider";
        return false;
    }
    if (!Succeeded(BCryptSetProperty(algorithm.Get(), BCRYPT_CHAINING_MODE,
                                     reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(BCRYPT_CHAIN_MODE_ECB)),
                                     sizeof(BCRYPT_CHAIN_MODE_ECB), 0))) {
        failedStep = "BCryptSetProperty";
        return false;
    }
    win32::CCngKey keyHandle;
    if (!Succeeded(BCryptGenerateSymmetricKey(algorithm.Get(), keyHandle.Receive(), nullptr, 0,
                                              const_cast<PUCHAR>(key), 16, 0))) {
        failedStep = "BCryptGenerateSymmetricKey";
        return false;
    }
    // CNG takes ULONG lengths: large inputs go in slices of whole blocks.
    constexpr std::size_t kSlice = (ULONG_MAX / 16) * 16;
    std::size_t done = 0;
    while (done < size) {
        const ULONG n = static_cast<ULONG>(std::min(kSlice, size - done));
        ULONG written = 0;
        PUCHAR input = const_cast<PUCHAR>(data + done);
        const NTSTATUS status =
            encrypt
                ? BCryptEncrypt(keyHandle.Get(), input, n, nullptr, nullptr, 0, out + done, n, &written, 0)
                : BCryptDecrypt(keyHandle.Get(), input, n, nullptr, nullptr, 0, out + done, n, &written, 0);
        if (!Succeeded(status) || written != n) {
            failedStep = encrypt ? "BCryptEncrypt" : "BCryptDecrypt";
            return false;
        }
        done += n;
    }
    return true;
}

}  // namespace

bool Aes128EcbEncrypt(const uint8_t key[16], const uint8_t* data, std::size_t size, uint8_t* out,
                      std::string& failedStep) {
    return RunAes128Ecb(true, key, data, size, out, failedStep);
}

bool Aes128EcbDecrypt(const uint8_t key[16], const uint8_t* data, std::size_t size, uint8_t* out,
                      std::string& failedStep) {
    return RunAes128Ecb(false, key, data, size, out, failedStep);
}

bool RandomBytes(uint8_t* out, std::size_t size) {
    while (size > 0) {
        const ULONG n = static_cast<ULONG>(std::min<std::size_t>(size, ULONG_MAX));
        if (!Succeeded(BCryptGenRandom(nullptr, out, n, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) return false;
        out += n;
        size -= n;
    }
    return true;
}

}  // namespace platform
