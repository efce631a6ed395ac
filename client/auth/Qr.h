// The QR symbol of the one-time-password binding page: the module matrix that an authenticator app
// scans, made by qrcodegen. Drawing it is the window's business.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velora {

// A square of size × size modules, row by row from the top left; 1 is dark.
struct QrMatrix {
    int size = 0;
    std::vector<uint8_t> modules;
    bool Dark(int x, int y) const {
        return x >= 0 && y >= 0 && x < size && y < size &&
               modules[static_cast<std::size_t>(y * size + x)] != 0;
    }
};

// Encodes the bytes (up to the first NUL) at error-correction level medium, boosted where the version
// allows, versions 1 to 40, automatic mask, with the segment mode qrcodegen picks. False (and an empty
// matrix) when the text does not fit into version 40.
bool EncodeQrText(std::string_view bytes, QrMatrix& matrix);

// "otpauth://totp/<account>?secret=<key>", in the thread's narrow code page, as the binding page
// encodes it (the values go in as they are, unescaped: authenticator apps expect that form).
std::string otpBindingUri(std::u16string_view accountName, std::u16string_view otpKey);

// The binding symbol for the account and secret; false when it cannot be made.
bool otpBindingQr(std::u16string_view accountName, std::u16string_view otpKey, QrMatrix& matrix);

}  // namespace velora
