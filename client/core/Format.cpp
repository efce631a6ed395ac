// printf-compatible UTF-16 formatter: numbers go through the C library's snprintf with the same
// flags, width and precision, texts are padded here.
#include "core/Format.h"

#include <cstdio>

namespace velora {
namespace {

void AppendAscii(std::u16string& out, const char* s) {
    for (; *s; ++s) out += static_cast<char16_t>(static_cast<unsigned char>(*s));
}

void Pad(std::u16string& out, std::size_t count, char16_t fill) { out.append(count, fill); }

}  // namespace

std::u16string FormatTextV(std::u16string_view format, std::span<const FormatArg> args) {
    std::u16string out;
    out.reserve(format.size() + 16 * args.size());
    std::size_t next = 0;
    const std::size_t n = format.size();
    std::size_t i = 0;
    while (i < n) {
        const char16_t c = format[i];
        if (c != u'%') {
            out += c;
            ++i;
            continue;
        }
        const std::size_t start = i++;
        if (i < n && format[i] == u'%') {
            out += u'%';
            ++i;
            continue;
        }
        std::string flags;
        while (i < n && (format[i] == u'-' || format[i] == u'0' || format[i] == u'+' || format[i] == u' ' ||
                         format[i] == u'#')) {
            flags += static_cast<char>(format[i++]);
        }
        int width = -1;
        bool bad = false;
        if (i < n && format[i] == u'*') {
            ++i;
            if (next < args.size() && args[next].kind() == FormatArg::Kind::Signed && args[next].size() <= 4) {
                width = static_cast<int>(args[next++].AsSigned());
                if (width < 0) {
                    flags += '-';
                    width = -width;
                }
            } else {
                bad = true;
                ++next;
            }
        } else {
            while (i < n && format[i] >= u'0' && format[i] <= u'9') {
                width = (width < 0 ? 0 : width) * 10 + (format[i++] - u'0');
                if (width > 4096) width = 4096;
            }
        }
        int precision = -1;
        if (i < n && format[i] == u'.') {
            ++i;
            precision = 0;
            while (i < n && format[i] >= u'0' && format[i] <= u'9') {
                precision = precision * 10 + (format[i++] - u'0');
                if (precision > 4096) precision = 4096;
            }
        }
        // Length: none/h/l → 32-bit integers (long is 32 bits on Windows); ll and I64 → 64-bit.
        bool wide64 = false;
        if (i + 1 < n && format[i] == u'l' && format[i + 1] == u'l') {
            wide64 = true;
            i += 2;
        } else if (i + 2 < n && format[i] == u'I' && format[i + 1] == u'6' && format[i + 2] == u'4') {
            wide64 = true;
            i += 3;
        } else if (i < n && (format[i] == u'l' || format[i] == u'h' || format[i] == u'w')) {
            ++i;
        }
        if (i >= n) {  // a lone or unfinished conversion at the end is copied as it stands
            out.append(format.substr(start));
            break;
        }
        const char16_t conv = format[i++];
        const FormatArg* arg = next < args.size() ? &args[next] : nullptr;
        ++next;
        if (bad || !arg) {
            out += kFormatMismatch;
            continue;
        }
        std::string spec = "%" + flags;
        if (width >= 0) spec += std::to_string(width);
        if (precision >= 0) spec += "." + std::to_string(precision);
        char buf[4200 + 64];
        switch (conv) {
            case u'd':
            case u'i':
            case u'u':
            case u'x':
            case u'X':
            case u'o': {
                const bool isInt = arg->kind() == FormatArg::Kind::Signed || arg->kind() == FormatArg::Kind::Unsigned;
                if (!isInt || (!wide64 && arg->size() > 4)) {
                    out += kFormatMismatch;
                    break;
                }
                const char cc = static_cast<char>(conv);
                if (wide64) {
                    spec += "ll";
                    spec += cc;
                    if (cc == 'd' || cc == 'i')
                        std::snprintf(buf, sizeof buf, spec.c_str(), static_cast<long long>(arg->AsSigned()));
                    else
                        std::snprintf(buf, sizeof buf, spec.c_str(), static_cast<unsigned long long>(arg->AsUnsigned()));
                } else {
                    spec += cc;
                    if (cc == 'd' || cc == 'i')
                        std::snprintf(buf, sizeof buf, spec.c_str(), static_cast<int32_t>(arg->AsSigned()));
                    else
                        std::snprintf(buf, sizeof buf, spec.c_str(), static_cast<uint32_t>(arg->AsUnsigned()));
                }
                AppendAscii(out, buf);
                break;
            }
            case u'f':
            case u'F':
            case u'e':
            case u'E':
            case u'g':
            case u'G': {
                if (arg->kind() != FormatArg::Kind::Double) {
                    out += kFormatMismatch;
                    break;
                }
                spec += static_cast<char>(conv);
                std::snprintf(buf, sizeof buf, spec.c_str(), arg->AsDouble());
                AppendAscii(out, buf);
                break;
            }
            case u'c':
            case u'C': {
                char16_t ch = 0;
                if (arg->kind() == FormatArg::Kind::Char ||
                    ((arg->kind() == FormatArg::Kind::Signed || arg->kind() == FormatArg::Kind::Unsigned) &&
                     arg->size() <= 4)) {
                    ch = static_cast<char16_t>(arg->AsUnsigned());
                } else {
                    out += kFormatMismatch;
                    break;
                }
                const bool left = flags.find('-') != std::string::npos;
                const std::size_t padding = width > 1 ? static_cast<std::size_t>(width - 1) : 0;
                if (!left) Pad(out, padding, u' ');
                out += ch;
                if (left) Pad(out, padding, u' ');
                break;
            }
            case u's':
            case u'S': {
                if (arg->kind() != FormatArg::Kind::Text) {
                    out += kFormatMismatch;
                    break;
                }
                std::u16string_view text = arg->AsText();
                if (precision >= 0 && static_cast<std::size_t>(precision) < text.size()) text = text.substr(0, precision);
                const bool left = flags.find('-') != std::string::npos;
                const std::size_t padding =
                    width > 0 && static_cast<std::size_t>(width) > text.size() ? width - text.size() : 0;
                if (!left) Pad(out, padding, u' ');
                out += text;
                if (left) Pad(out, padding, u' ');
                break;
            }
            default:  // unknown conversion: copy it and give the argument back
                out.append(format.substr(start, i - start));
                --next;
                break;
        }
    }
    return out;
}

}  // namespace velora
