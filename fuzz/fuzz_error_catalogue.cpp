// Feeds arbitrary texts to the error catalogue parser. Any crash, out-of-bounds access or undefined
// behaviour is a finding; every stored text must be non-empty and free of quotation marks.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "auth/ErrorCatalogue.h"
#include "platform/Utf16Le.h"

namespace {
void Check(const std::map<int32_t, std::u16string>& map) {
    for (const auto& [code, text] : map) {
        if (code == -1 || text.empty() || text.find(u'"') != std::u16string::npos) {
            std::fprintf(stderr, "fuzz_error_catalogue: bad entry for code %d\n", code);
            std::abort();
        }
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::u16string units = platform::DecodeUtf16Le(data, size);
    std::u16string bytes(data, data + size);
    for (const std::u16string* text : {&units, &bytes}) {
        std::map<int32_t, std::u16string> english;
        std::map<int32_t, std::u16string> chinese;
        velora::ParseErrorCatalogue(*text, english, chinese);
        Check(english);
        Check(chinese);
    }
    return 0;
}
