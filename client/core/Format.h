// printf-compatible formatting over UTF-16 text with type-checked arguments. The request bodies and
// messages of the system are printf formats whose spacing is protocol, so the conversions follow the
// platform's wide printf: %s takes a UTF-16 text, %d a 32-bit integer, %lld/%I64u a 64-bit one.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace velora {

class FormatArg {
public:
    enum class Kind { Signed, Unsigned, Double, Text, Char };

    template <typename T>
        requires(std::is_integral_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, char> &&
                 !std::is_same_v<T, char16_t> && !std::is_same_v<T, char8_t> && !std::is_same_v<T, char32_t> &&
                 !std::is_same_v<T, wchar_t>)
    FormatArg(T v) : size_(sizeof(T)) {
        if constexpr (std::is_signed_v<T>) {
            kind_ = Kind::Signed;
            i_ = v;
        } else {
            kind_ = Kind::Unsigned;
            u_ = v;
        }
    }
    template <typename E>
        requires std::is_enum_v<E>
    FormatArg(E v) : FormatArg(static_cast<std::underlying_type_t<E>>(v)) {}
    FormatArg(double v) : kind_(Kind::Double), size_(8), d_(v) {}
    FormatArg(float v) : kind_(Kind::Double), size_(8), d_(v) {}
    FormatArg(char16_t c) : kind_(Kind::Char), size_(2), u_(c) {}
    FormatArg(std::u16string_view s) : kind_(Kind::Text), size_(0), text_(s) {}
    FormatArg(const std::u16string& s) : kind_(Kind::Text), size_(0), text_(s) {}
    FormatArg(const char16_t* s) : kind_(Kind::Text), size_(0), text_(s ? std::u16string_view(s) : u"(null)") {}
    // Narrow texts and booleans are refused at compile time: convert them on purpose.
    FormatArg(const char*) = delete;
    FormatArg(const std::string&) = delete;
    FormatArg(bool) = delete;

    Kind kind() const { return kind_; }
    int size() const { return size_; }
    int64_t AsSigned() const { return kind_ == Kind::Signed ? i_ : static_cast<int64_t>(u_); }
    uint64_t AsUnsigned() const { return kind_ == Kind::Signed ? static_cast<uint64_t>(i_) : u_; }
    double AsDouble() const { return d_; }
    std::u16string_view AsText() const { return text_; }

private:
    Kind kind_;
    int size_;
    int64_t i_ = 0;
    uint64_t u_ = 0;
    double d_ = 0;
    std::u16string_view text_;
};

// Marker written in place of a conversion whose argument is missing or of the wrong type.
inline constexpr std::u16string_view kFormatMismatch = u"<?>";

std::u16string FormatTextV(std::u16string_view format, std::span<const FormatArg> args);

template <typename... Args>
std::u16string FormatText(std::u16string_view format, const Args&... args) {
    if constexpr (sizeof...(Args) == 0) {
        return FormatTextV(format, {});
    } else {
        const FormatArg list[] = {FormatArg(args)...};
        return FormatTextV(format, list);
    }
}

}  // namespace velora
