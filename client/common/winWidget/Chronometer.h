// The elapsed-time display of a connection: a static text that its timer 1 (started by the main window,
// 1,000 ms) sets to the time since the start.
#pragma once
#include <cstdint>

#include "common/winAuto/SubclassedControl.h"
#include "ui/skin/ChronometerText.h"

namespace velora {

class CChronometer : public CSubclassedControl {
public:
    static constexpr UINT_PTR kTimerId = 1;

    // Starts counting from now (seconds of the system clock) in the given UI language.
    void Start(uint16_t language);
    void StartTimer(UINT periodMs = 1000) { SetTimer(m_hWnd, kTimerId, periodMs, nullptr); }
    void StopTimer() { KillTimer(m_hWnd, kTimerId); }
    // Sets the start time directly (seconds of the system clock), for a connection that began earlier.
    void SetStartTime(int64_t seconds) { m_text.Start(seconds); }
    void Update();

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    skin::CChronometerText m_text;
    uint16_t m_language = 0;
};

}  // namespace velora
