// Wrapping a log text into list rows against a measuring function (the list's font in the view, a table
// of widths in tests). Rows break only before a character that is not an ASCII letter or digit; a text
// with no such place that fits stays on one row, however wide.
#pragma once
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace velora::skin {

using MeasureText = std::function<int(std::u16string_view)>;

// Each row is the longest start of the remaining text that fits `maxWidth` and ends just before a
// character that is not an ASCII letter or digit (that character begins the next row). Widths of a
// text's starts must not shrink as they grow (true of any font), which lets the search measure only a
// logarithmic number of candidates: a line of 100,000 characters wraps in moments.
std::vector<std::u16string> WrapLogText(std::u16string_view text, int maxWidth, const MeasureText& measure);

// The width rows may take: the list's client width less 20 units, a vertical scroll bar and 15 pixels.
int LogWrapWidth(int clientWidth, double scaleX, int scrollBarWidth);

}  // namespace velora::skin
