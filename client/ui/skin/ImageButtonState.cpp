// Image button state rules.
#include "ui/skin/ImageButtonState.h"

namespace velora::skin {

CImageButtonState::VisualState CImageButtonState::State(bool selected, bool disabled) const {
    if (selected) return kPressed;
    if (disabled) return kDisabled;
    if (m_hover) return kHover;
    return kNormal;
}

int CImageButtonState::IconIndex(VisualState state, int iconCount) {
    if (iconCount <= 0) return -1;
    const int index = static_cast<int>(state);
    return index < iconCount ? index : iconCount - 1;
}

bool CImageButtonState::OnMouseMove() {
    if (m_hover) return false;
    m_hover = true;
    m_showHoverText = true;
    return true;
}

void CImageButtonState::OnLeftButtonDown() {
    m_showHoverText = false;
    m_mouseFocus = true;
}

const std::u16string& CImageButtonState::ShownText(const std::u16string& windowText,
                                                   const std::u16string& hoverText) const {
    return m_showHoverText && !hoverText.empty() ? hoverText : windowText;
}

}  // namespace velora::skin
