// QR symbols through qrcodegen's C interface: fixed-size buffers, no exceptions, no heap inside.
#include "auth/Qr.h"

#include <qrcodegen.h>

#include <memory>

#include "core/Format.h"
#include "platform/Text.h"

namespace velora {

bool EncodeQrText(std::string_view bytes, QrMatrix& matrix) {
    matrix = QrMatrix{};
    // qrcodegen reads a C string; the text stops at its first NUL as any narrow text of the client does.
    const std::string text(bytes.substr(0, bytes.find('\0')));
    auto temp = std::make_unique<uint8_t[]>(qrcodegen_BUFFER_LEN_MAX);
    auto code = std::make_unique<uint8_t[]>(qrcodegen_BUFFER_LEN_MAX);
    if (!qrcodegen_encodeText(text.c_str(), temp.get(), code.get(), qrcodegen_Ecc_MEDIUM,
                              qrcodegen_VERSION_MIN, qrcodegen_VERSION_MAX, qrcodegen_Mask_AUTO, true)) {
        return false;
    }
    const int size = qrcodegen_getSize(code.get());
    matrix.size = size;
    matrix.modules.resize(static_cast<std::size_t>(size) * static_cast<std::size_t>(size));
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            matrix.modules[static_cast<std::size_t>(y * size + x)] =
                qrcodegen_getModule(code.get(), x, y) ? 1 : 0;
        }
    }
    return true;
}

std::string otpBindingUri(std::u16string_view accountName, std::u16string_view otpKey) {
    return platform::Utf16ToNarrow(
        FormatText(u"otpauth://totp/%s?secret=%s", std::u16string(accountName), std::u16string(otpKey)));
}

bool otpBindingQr(std::u16string_view accountName, std::u16string_view otpKey, QrMatrix& matrix) {
    return EncodeQrText(otpBindingUri(accountName, otpKey), matrix);
}

}  // namespace velora
