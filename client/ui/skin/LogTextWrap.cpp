// Log text wrapping.
#include "ui/skin/LogTextWrap.h"

namespace velora::skin {

namespace {

bool IsAsciiAlnum(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// The longest length L (0..size) such that the first L characters fit; widths grow with length.
size_t LongestFittingStart(std::u16string_view text, int maxWidth, const MeasureText& measure) {
    size_t fits = 0;  // known to fit (the empty start always does)
    size_t step = 1;
    size_t fails = text.size() + 1;  // known not to fit (one past the end: unknown, treated as failing)
    while (fits + step < fails) {
        if (measure(text.substr(0, fits + step)) <= maxWidth) {
            fits += step;
            step *= 2;
        } else {
            fails = fits + step;
            break;
        }
    }
    while (fits + 1 < fails) {
        const size_t middle = fits + (fails - fits) / 2;
        if (measure(text.substr(0, middle)) <= maxWidth)
            fits = middle;
        else
            fails = middle;
    }
    return fits;
}

}  // namespace

std::vector<std::u16string> WrapLogText(std::u16string_view text, int maxWidth, const MeasureText& measure) {
    std::vector<std::u16string> rows;
    while (!text.empty()) {
        // Measuring only starts of growing length keeps a long text from being measured whole per row.
        const size_t fitting = LongestFittingStart(text, maxWidth, measure);
        if (fitting == text.size()) {
            rows.emplace_back(text);
            break;
        }
        // Break before position b (1 <= b < size) whose character is not a letter or digit, as far right
        // as the fitting start allows.
        size_t breakAt = 0;
        for (size_t b = fitting < text.size() ? fitting : text.size() - 1; b >= 1; --b) {
            if (!IsAsciiAlnum(text[b])) {
                breakAt = b;
                break;
            }
        }
        if (breakAt == 0) {
            rows.emplace_back(text);
            break;
        }
        rows.emplace_back(text.substr(0, breakAt));
        text.remove_prefix(breakAt);
    }
    return rows;
}

int LogWrapWidth(int clientWidth, double scaleX, int scrollBarWidth) {
    return clientWidth - static_cast<int>(20 * scaleX) - scrollBarWidth - 15;
}

}  // namespace velora::skin
