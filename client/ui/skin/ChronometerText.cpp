// Chronometer text forms.
#include "ui/skin/ChronometerText.h"

#include <cstdio>

namespace velora::skin {

namespace {

std::u16string Ascii(const char* text) {
    std::u16string out;
    for (const char* p = text; *p; ++p) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(*p)));
    return out;
}

}  // namespace

std::u16string CChronometerText::Tick(int64_t nowSeconds, uint16_t language) {
    int64_t elapsed = nowSeconds - m_start;
    if (elapsed < 0) {
        m_start = nowSeconds;
        elapsed = 0;
    }
    return Format(elapsed, language);
}

std::u16string CChronometerText::Format(int64_t elapsedSeconds, uint16_t language) {
    if (elapsedSeconds < 0) elapsedSeconds = 0;
    const int64_t days = elapsedSeconds / 86400;
    const int64_t rest = elapsedSeconds % 86400;
    char clock[16];
    std::snprintf(clock, sizeof clock, "%02d:%02d:%02d", static_cast<int>(rest / 3600),
                  static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60));
    if (days == 0) return Ascii(clock);
    char count[32];
    std::snprintf(count, sizeof count, "%lld", static_cast<long long>(days));
    if (language == kChineseLanguage) return Ascii(count) + u"\u5929 " + Ascii(clock);
    return Ascii(count) + (days == 1 ? u" Day " : u" Days ") + Ascii(clock);
}

}  // namespace velora::skin
