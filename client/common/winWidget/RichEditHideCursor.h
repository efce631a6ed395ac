// A rich edit used as selectable read-only text: it hides its caret after every click and every
// message-filter notification, so no cursor ever shows.
#pragma once
#include "common/winAuto/SubclassedControl.h"

namespace velora {

class CRichEditHideCursor : public CSubclassedControl {
public:
    LRESULT OnReflected(UINT reflected, UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

protected:
    void OnAttached() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
};

}  // namespace velora
