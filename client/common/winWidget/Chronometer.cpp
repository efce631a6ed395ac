// The chronometer.
#include "common/winWidget/Chronometer.h"

#include <ctime>

namespace velora {

void CChronometer::Start(uint16_t language) {
    m_language = language;
    m_text.Start(static_cast<int64_t>(std::time(nullptr)));
    Update();
}

void CChronometer::Update() {
    const std::u16string text = m_text.Tick(static_cast<int64_t>(std::time(nullptr)), m_language);
    SetWindowTextW(m_hWnd, reinterpret_cast<const wchar_t*>(text.c_str()));
}

LRESULT CChronometer::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER && wParam == kTimerId) {
        Update();
        return 0;
    }
    return Default(message, wParam, lParam);
}

}  // namespace velora
