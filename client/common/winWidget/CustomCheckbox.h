// The skin's check box: a white square with a thin border and, when checked, an anti-aliased check mark;
// every click toggles it.
#pragma once
#include "common/winAuto/SubclassedControl.h"

namespace velora {

class CCustomCheckbox : public CSubclassedControl {
public:
    bool Checked() const { return m_checked; }
    void SetChecked(bool checked);
    LRESULT OnReflected(UINT reflected, UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

protected:
    void OnAttached() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    bool m_checked = false;
};

}  // namespace velora
