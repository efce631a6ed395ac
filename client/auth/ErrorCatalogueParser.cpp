// The error catalogue's text format: entries "{...}," one after another, read with the field readers.
// Kept apart from the download and cache so that it can be fuzzed on its own.
#include "auth/ErrorCatalogue.h"
#include "core/JsonFields.h"

namespace velora {
namespace {

bool IsBlank(char16_t c) {
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

std::u16string CleanEntryText(std::u16string text) {
    std::u16string out;
    out.reserve(text.size());
    for (char16_t c : text) {
        if (c != u'"') out += c;
    }
    std::size_t begin = 0;
    while (begin < out.size() && IsBlank(out[begin])) ++begin;
    std::size_t end = out.size();
    while (end > begin && IsBlank(out[end - 1])) --end;
    return out.substr(begin, end - begin);
}

}  // namespace

void ParseErrorCatalogue(std::u16string_view text, std::map<int32_t, std::u16string>& english,
                         std::map<int32_t, std::u16string>& chinese) {
    english.clear();
    chinese.clear();
    std::size_t end = text.size();
    while (end > 0 && IsBlank(text[end - 1])) --end;
    std::u16string all(text.substr(0, end));
    all += u',';
    const std::u16string_view view(all);
    std::size_t start = 0;
    for (std::size_t close = view.find(u"},", start); close != std::u16string_view::npos;
         close = view.find(u"},", start)) {
        const std::u16string_view entry = view.substr(start, close + 2 - start);
        start = close + 2;
        const int32_t code = GetIntField(entry, u"error_Code", -1);
        if (code == -1) continue;
        const std::u16string en = CleanEntryText(GetStringField(entry, u"en", u""));
        const std::u16string cn = CleanEntryText(GetStringField(entry, u"cn", u""));
        if (!en.empty()) english.emplace(code, en);  // emplace keeps the first entry of a code
        if (!cn.empty()) chinese.emplace(code, cn);
    }
}

}  // namespace velora
