// Field readers over JSON answer texts: linear searches with fixed delimiters, no tree, no copy of the
// answer beyond the value that is returned.
#include "core/JsonFields.h"

#include "core/TextHelpers.h"

namespace velora {
namespace {

constexpr auto npos = std::u16string_view::npos;

// Where the key's value starts, or npos when the key does not occur. A first occurrence that is not a
// quoted key (a key inside a longer key, such as "code" in "errcode") gives way to the next occurrence,
// which is taken without a further check. `skip` is the number of units between the key's end and the
// value: the closing quote and the colon, plus the opening quote for string values.
std::size_t LocateValue(std::u16string_view answer, std::u16string_view key, std::size_t skip) {
    if (answer.empty() || key.empty()) return npos;
    std::size_t p = answer.find(key);
    if (p == npos) return npos;
    const std::size_t e = p + key.size();
    if (e < answer.size() && p >= 2 && (answer[p - 1] != u'"' || answer[e] != u'"')) {
        const std::size_t again = answer.find(key, e);
        if (again != npos) p = again;
    }
    return p + key.size() + skip;
}

// The rest of the answer from `start` (empty when the start lies beyond the end).
std::u16string_view RestFrom(std::u16string_view answer, std::size_t start) {
    return start < answer.size() ? answer.substr(start) : std::u16string_view();
}

// The unquoted value text of GetIntField and GetBoolField: up to the first "," else the first "}".
bool CutPlainValue(std::u16string_view answer, std::u16string_view key, std::u16string_view& value) {
    const std::size_t start = LocateValue(answer, key, 2);
    if (start == npos) return false;
    const std::u16string_view rest = RestFrom(answer, start);
    std::size_t end = rest.find(u',');
    if (end == npos) end = rest.find(u'}');
    if (end == npos) return false;
    value = rest.substr(0, end);
    return true;
}

bool IsBlank(char16_t c) {
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

std::u16string_view TrimBlanks(std::u16string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool EqualsIgnoringAsciiCase(std::u16string_view s, std::u16string_view lower) {
    if (s.size() != lower.size()) return false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        char16_t c = s[i];
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
        if (c != lower[i]) return false;
    }
    return true;
}

// Position of the key in the first occurrence of "key":" (a key with a string value), or npos.
std::size_t FindQuotedKey(std::u16string_view text, std::u16string_view key) {
    for (std::size_t p = text.find(key, 1); p != npos; p = text.find(key, p + 1)) {
        const std::u16string_view after = text.substr(p + key.size());
        if (text[p - 1] == u'"' && after.starts_with(u"\":\"")) return p;
    }
    return npos;
}

}  // namespace

std::u16string GetStringField(std::u16string_view answer, std::u16string_view key,
                              std::u16string_view defaultValue) {
    const std::size_t start = LocateValue(answer, key, 3);
    if (start == npos) return std::u16string(defaultValue);
    const std::u16string_view rest = RestFrom(answer, start);
    // The pair quote-comma is searched over the whole rest first, so a value that closes its object
    // ends at a later quote-comma when the answer has one further on; the protocol depends on it.
    std::size_t end = rest.find(u"\",");
    if (end == npos) end = rest.find(u"\"}");
    if (end == npos && !rest.empty()) end = rest.find(u'"', 1);
    if (end == npos) return std::u16string(defaultValue);
    return std::u16string(TrimBlanks(rest.substr(0, end)));
}

int32_t GetIntField(std::u16string_view answer, std::u16string_view key, int32_t defaultValue) {
    std::u16string_view value;
    if (!CutPlainValue(answer, key, value)) return defaultValue;
    return ParseDecimal(value);
}

uint8_t GetBoolField(std::u16string_view answer, std::u16string_view key, uint8_t defaultValue) {
    std::u16string_view value;
    if (!CutPlainValue(answer, key, value)) return defaultValue;
    if (EqualsIgnoringAsciiCase(value, u"true")) return 1;
    if (EqualsIgnoringAsciiCase(value, u"false")) return 0;
    return defaultValue;
}

std::u16string GetArrayField(std::u16string_view answer, std::u16string_view key,
                             std::u16string_view defaultValue) {
    if (answer.empty() || key.empty()) return std::u16string(defaultValue);
    const std::size_t p = answer.find(key);
    if (p == npos) return std::u16string(defaultValue);
    const std::u16string_view rest = answer.substr(p + key.size());
    const std::size_t open = rest.find(u'[');
    const std::size_t close = rest.find(u']');
    if (open == npos || close == npos || close <= open + 1) return std::u16string(defaultValue);
    const std::u16string_view inside = rest.substr(open + 1, close - open - 1);
    std::u16string out;
    out.reserve(inside.size());
    for (const char16_t c : inside) {
        if (c != u'"') out += c;
    }
    return out;
}

std::u16string GetObjectField(std::u16string_view answer, std::u16string_view key,
                              std::u16string_view defaultValue) {
    if (answer.empty() || key.empty()) return std::u16string(defaultValue);
    const std::size_t p = answer.find(key);
    if (p == npos) return std::u16string(defaultValue);
    // Braces inside string values count too: the reader follows the text, not the JSON grammar.
    std::ptrdiff_t depth = 0;
    bool opened = false;
    for (std::size_t i = p; i < answer.size(); ++i) {
        const char16_t c = answer[i];
        if (c == u'{') {
            ++depth;
            opened = true;
        } else if (c == u'}') {
            --depth;
        } else {
            continue;
        }
        if (opened && depth == 0) return std::u16string(answer.substr(p, i - p + 1));
    }
    return std::u16string(defaultValue);
}

std::u16string GetFirstArrayObject(std::u16string_view answer, std::u16string_view key,
                                   std::u16string_view defaultValue) {
    if (answer.empty() || key.empty()) return std::u16string(defaultValue);
    const std::size_t p = answer.find(key);
    if (p == npos) return std::u16string(defaultValue);
    std::u16string_view rest = answer.substr(p + key.size());
    const std::size_t open = rest.find(u'[');
    if (open == npos) return std::u16string(defaultValue);
    rest.remove_prefix(open);
    const std::size_t close = rest.find(u']');
    if (close == npos) return std::u16string(defaultValue);
    rest = rest.substr(0, close);
    const std::size_t brace = rest.find(u'{');
    if (brace == npos) return std::u16string(defaultValue);
    return std::u16string(rest.substr(brace));
}

std::u16string MaskStringField(std::u16string_view text, std::u16string_view key) {
    // An empty key would match at the start and mangle the text; there is nothing to mask then.
    if (key.empty()) return std::u16string(text);
    // The key written as a key ("key":"...) is preferred over a bare first occurrence, so that a
    // user-typed value that happens to contain the key's name (a user called "password") cannot leave
    // the secret unmasked in the log. Escaped values cannot hold that quoted form.
    std::size_t p = FindQuotedKey(text, key);
    if (p == npos) p = text.find(key);
    if (p == npos) return std::u16string(text);
    const std::size_t keep = p + key.size() + 3;  // up to and including the value's opening quote
    if (keep > text.size()) return std::u16string(text);
    // The value ends at its first unescaped quotation mark: a secret that holds an escaped quote
    // (\") must not have its tail written to the log.
    std::size_t closing = npos;
    for (std::size_t i = keep; i < text.size(); ++i) {
        if (text[i] == u'\\') {
            ++i;
        } else if (text[i] == u'"') {
            closing = i;
            break;
        }
    }
    if (closing == npos) return std::u16string(text);
    std::u16string out;
    out.reserve(keep + 3 + (text.size() - closing));
    out.append(text.substr(0, keep));
    out.append(u"***");
    out.append(text.substr(closing));
    return out;
}

}  // namespace velora
