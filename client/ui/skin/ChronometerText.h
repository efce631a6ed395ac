// The elapsed-time text of the connection chronometer: a start time, and per tick the span since then in
// one of three forms (below a day, one day, more days), in Chinese when the UI language is 2052.
#pragma once
#include <cstdint>
#include <string>

namespace velora::skin {

class CChronometerText {
public:
    static constexpr uint16_t kChineseLanguage = 2052;

    void Start(int64_t nowSeconds) { m_start = nowSeconds; }
    int64_t StartTime() const { return m_start; }
    // The text for `nowSeconds`; a clock that went back before the start restarts the count from now.
    std::u16string Tick(int64_t nowSeconds, uint16_t language);

    static std::u16string Format(int64_t elapsedSeconds, uint16_t language);

private:
    int64_t m_start = 0;
};

}  // namespace velora::skin
