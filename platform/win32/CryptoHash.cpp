// SHA-256 through CNG: provider, object and digest lengths, hash object, data, finish. A fresh provider
// per call keeps the function free of shared state; it runs once per browser sign-in.
#include <windows.h>

#include <bcrypt.h>

#include <climits>

#include "platform/Crypto.h"
#include "platform/win32/CryptoBuffer.h"

namespace platform {

using win32::CAlgorithmProvider;
using win32::CCngHash;
using win32::CCryptoBuffer;
using win32::CngSucceeded;

namespace {

bool Fail(const char* step, NTSTATUS result, std::string& failedStep, uint32_t& status) {
    failedStep = step;
    status = static_cast<uint32_t>(result);
    return false;
}

}  // namespace

bool Sha256(const uint8_t* data, std::size_t size, uint8_t digest[32], std::string& failedStep,
            uint32_t& status) {
    status = 0;
    if ((data == nullptr && size != 0) || digest == nullptr || size > ULONG_MAX) {
        failedStep = "argument";
        return false;
    }
    CAlgorithmProvider algorithm;
    NTSTATUS result = BCryptOpenAlgorithmProvider(algorithm.Receive(), BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    if (!CngSucceeded(result)) {
        return Fail("BCryptOpenAlgorithmProvider BCRYPT_SHA256_ALGORITHM", result, failedStep, status);
    }
    DWORD objectLength = 0;
    ULONG got = 0;
    result = BCryptGetProperty(algorithm.Get(), BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&objectLength),
                               sizeof objectLength, &got, 0);
    if (!CngSucceeded(result))
        return Fail("BCryptGetProperty BCRYPT_OBJECT_LENGTH", result, failedStep, status);
    DWORD digestLength = 0;
    result = BCryptGetProperty(algorithm.Get(), BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&digestLength),
                               sizeof digestLength, &got, 0);
    if (!CngSucceeded(result))
        return Fail("BCryptGetProperty BCRYPT_HASH_LENGTH", result, failedStep, status);
    // The caller's buffer holds exactly one SHA-256 digest; any other length would overrun it.
    if (digestLength != 32) return Fail("BCryptGetProperty BCRYPT_HASH_LENGTH", result, failedStep, status);

    CCryptoBuffer object;
    CCryptoBuffer out;
    if (!object.Allocate(objectLength) || !out.Allocate(digestLength)) {
        failedStep = kCryptoAllocationStep;
        return false;
    }
    CCngHash hash;
    result = BCryptCreateHash(algorithm.Get(), hash.Receive(), object.Get(), objectLength, nullptr, 0, 0);
    if (!CngSucceeded(result)) return Fail("BCryptCreateHash", result, failedStep, status);
    UCHAR nothing = 0;
    result = BCryptHashData(hash.Get(), size != 0 ? const_cast<PUCHAR>(data) : &nothing,
                            static_cast<ULONG>(size), 0);
    if (!CngSucceeded(result)) return Fail("BCryptHashData", result, failedStep, status);
    result = BCryptFinishHash(hash.Get(), out.Get(), digestLength, 0);
    if (!CngSucceeded(result)) return Fail("BCryptFinishHash", result, failedStep, status);
    for (DWORD i = 0; i < digestLength; ++i) digest[i] = out.Get()[i];
    return true;
}

}  // namespace platform
