// Feeds arbitrary bytes to the field readers and the text helpers: read as UTF-16 units, once whole
// against fixed keys and once split into a key and an answer. Any crash, out-of-bounds access or
// undefined behaviour is a finding; results are checked only for what must always hold.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#define FUZZ_TARGET_NAME "fuzz_fields"
#include "FuzzCheck.h"
#include "core/JsonFields.h"
#include "core/TextHelpers.h"

namespace {

void ReadAll(std::u16string_view answer, std::u16string_view key) {
    using namespace velora;
    const std::u16string_view def = u"\x1d";
    const std::u16string s = GetStringField(answer, key, def);
    Check(s == def || s.size() <= answer.size());
    (void)GetIntField(answer, key, -1);
    const uint8_t b = GetBoolField(answer, key, 7);
    Check(b == 0 || b == 1 || b == 7);
    const std::u16string a = GetArrayField(answer, key, def);
    Check(a == def || a.size() < answer.size());
    const std::u16string o = GetObjectField(answer, key, def);
    // The object is cut from the key's first occurrence and ends at the unit that brings the depth
    // back to 0: usually "}", but "{" when a "}" came first, and inside the key itself when the key
    // holds braces (the reader counts braces, it does not parse).
    Check(o == def ||
          (answer.substr(answer.find(key)).starts_with(o) && (o.ends_with(u'}') || o.ends_with(u'{'))));
    const std::u16string f = GetFirstArrayObject(answer, key, def);
    Check(f == def || f.starts_with(u'{'));
    const std::u16string m = MaskStringField(answer, key);
    Check(m.size() <= answer.size() + 3);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace velora;
    std::u16string units(size / 2, u'\0');
    if (!units.empty()) std::memcpy(units.data(), data, units.size() * sizeof(char16_t));
    const std::u16string_view text = units;

    // Whole input as the answer, with the keys the protocol reads most.
    for (const std::u16string_view key : {std::u16string_view(u"code"), std::u16string_view(u"message"),
                                          std::u16string_view(u"data"), std::u16string_view(u"a")}) {
        ReadAll(text, key);
    }

    // First unit gives the key length: key and answer both from the input.
    if (!text.empty()) {
        const std::size_t keyLength = std::min<std::size_t>(text[0] % 16, text.size() - 1);
        const std::u16string_view key = text.substr(1, keyLength);
        const std::u16string_view answer = text.substr(1 + keyLength);
        ReadAll(answer, key);

        const int order = CompareVersions(key, answer);
        Check(order >= -1 && order <= 1);
        Check(CompareVersions(answer, key) == -order);
        Check(CompareVersions(answer, answer) == 0);
    }

    const std::u16string escaped = JsonEscape(text);
    Check(escaped.size() <= text.size() * 2);
    for (const char16_t c : escaped) Check(c >= 0x20 && c != 0x7F);
    const std::u16string unescaped = UnescapeText(text);
    Check(unescaped.size() <= text.size() * 2);
    (void)UrlEncode(text);
    (void)IsIpv4Text(text);
    (void)Utf8ToUtf16(Utf16ToUtf8(text));
    (void)Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
