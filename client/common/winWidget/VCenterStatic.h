// A static text drawn word-wrapped and vertically centred, in its own colour over the parent.
#pragma once
#include "common/winAuto/SubclassedControl.h"

namespace velora {

class CVCenterStatic : public CSubclassedControl {
public:
    void SetTextColor(COLORREF color) {
        m_color = color;
        Invalidate();
    }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    COLORREF m_color = RGB(53, 64, 82);
};

}  // namespace velora
