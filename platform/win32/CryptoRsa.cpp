// RSA public-key encryption through CryptoAPI decoding and CNG: the DER SubjectPublicKeyInfo is decoded,
// its key bits are decoded into a CNG RSA public blob, the blob is imported and the data encrypted with
// PKCS #1 v1.5 padding.
#include <windows.h>

#include <bcrypt.h>
#include <wincrypt.h>

#include <climits>

#include "platform/Crypto.h"
#include "platform/win32/CryptoBuffer.h"

namespace platform {

using win32::CAlgorithmProvider;
using win32::CCngKey;
using win32::CCryptoBuffer;
using win32::CngSucceeded;

namespace {

bool Fail(const char* step, uint32_t code, std::string& failedStep, uint32_t& status) {
    failedStep = step;
    status = code;
    return false;
}

// Two-call decoding (size, then data). `sizeStep`/`dataStep` name the two calls for the log.
bool Decode(LPCSTR structure, const BYTE* encoded, DWORD encodedSize, CCryptoBuffer& decoded,
            const char* sizeStep, const char* dataStep, std::string& failedStep, uint32_t& status) {
    DWORD size = 0;
    if (!CryptDecodeObject(X509_ASN_ENCODING, structure, encoded, encodedSize, 0, nullptr, &size) ||
        size == 0) {
        return Fail(sizeStep, GetLastError(), failedStep, status);
    }
    if (!decoded.Allocate(size)) return Fail(kCryptoAllocationStep, 0, failedStep, status);
    if (!CryptDecodeObject(X509_ASN_ENCODING, structure, encoded, encodedSize, 0, decoded.Get(), &size)) {
        return Fail(dataStep, GetLastError(), failedStep, status);
    }
    return true;
}

}  // namespace

bool RsaPkcs1Encrypt(const uint8_t* keyInfo, std::size_t keySize, const uint8_t* data, std::size_t size,
                     std::vector<uint8_t>& cipher, std::string& failedStep, uint32_t& status) {
    cipher.clear();
    status = 0;
    if (keyInfo == nullptr || (data == nullptr && size != 0) || keySize > ULONG_MAX || size > ULONG_MAX) {
        failedStep = "argument";
        return false;
    }
    CCryptoBuffer infoBuffer;
    if (!Decode(X509_PUBLIC_KEY_INFO, keyInfo, static_cast<DWORD>(keySize), infoBuffer,
                "CryptDecodeObject X509_PUBLIC_KEY_INFO size", "CryptDecodeObject X509_PUBLIC_KEY_INFO",
                failedStep, status)) {
        return false;
    }
    const auto* info = reinterpret_cast<const CERT_PUBLIC_KEY_INFO*>(infoBuffer.Get());
    CCryptoBuffer blob;
    if (!Decode(CNG_RSA_PUBLIC_KEY_BLOB, info->PublicKey.pbData, info->PublicKey.cbData, blob,
                "CryptDecodeObject CNG_RSA_PUBLIC_KEY_BLOB size", "CryptDecodeObject CNG_RSA_PUBLIC_KEY_BLOB",
                failedStep, status)) {
        return false;
    }

    CAlgorithmProvider algorithm;
    NTSTATUS result = BCryptOpenAlgorithmProvider(algorithm.Receive(), BCRYPT_RSA_ALGORITHM, nullptr, 0);
    if (!CngSucceeded(result)) return Fail("BCryptOpenAlgorithmProvider", result, failedStep, status);
    CCngKey key;
    result = BCryptImportKeyPair(algorithm.Get(), nullptr, BCRYPT_RSAPUBLIC_BLOB, key.Receive(), blob.Get(),
                                 static_cast<ULONG>(blob.Size()), BCRYPT_NO_KEY_VALIDATION);
    if (!CngSucceeded(result)) return Fail("BCryptImportKeyPair", result, failedStep, status);

    UCHAR nothing = 0;
    PUCHAR input = size != 0 ? const_cast<PUCHAR>(data) : &nothing;
    ULONG length = 0;
    result = BCryptEncrypt(key.Get(), input, static_cast<ULONG>(size), nullptr, nullptr, 0, nullptr, 0,
                           &length, BCRYPT_PAD_PKCS1);
    if (!CngSucceeded(result) || length == 0) return Fail("BCryptEncrypt", result, failedStep, status);
    CCryptoBuffer out;
    if (!out.Allocate(length)) return Fail(kCryptoAllocationStep, 0, failedStep, status);
    result = BCryptEncrypt(key.Get(), input, static_cast<ULONG>(size), nullptr, nullptr, 0, out.Get(), length,
                           &length, BCRYPT_PAD_PKCS1);
    if (!CngSucceeded(result)) return Fail("BCryptEncrypt2", result, failedStep, status);
    try {
        cipher.assign(out.Get(), out.Get() + length);
    } catch (const std::bad_alloc&) {
        cipher.clear();
        return Fail(kCryptoAllocationStep, 0, failedStep, status);
    }
    return true;
}

}  // namespace platform
