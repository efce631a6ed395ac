// The input and drawing decisions of an image button: its drawing state, which icon it shows, when the
// hover text replaces its own, when it draws a focus rectangle. The Win32 button feeds it the mouse and
// focus events and draws what it answers.
#pragma once
#include <string>

namespace velora::skin {

class CImageButtonState {
public:
    enum VisualState { kNormal = 0, kHover = 1, kPressed = 2, kDisabled = 3 };

    // Pressed while selected, else disabled when disabled, else hover while the mouse is over it.
    VisualState State(bool selected, bool disabled) const;
    // The icon index is the state, clamped to the last icon present; -1 without icons.
    static int IconIndex(VisualState state, int iconCount);
    // A pressed button moves its text 2 pixels right and down.
    static int TextShift(VisualState state) { return state == kPressed ? 2 : 0; }

    // A mouse move; true when it is the first one over the button (the view then asks for the leave
    // notification and repaints).
    bool OnMouseMove();
    void OnMouseLeave() { m_hover = false; }
    void OnLeftButtonDown();
    // Focus went to `toOwnWindow` (another window of the program) or left the program.
    void OnKillFocus(bool toOwnWindow) { m_mouseFocus = !toOwnWindow; }

    bool Hovering() const { return m_hover; }
    bool ShowingHoverText() const { return m_showHoverText; }
    bool MouseFocusMark() const { return m_mouseFocus; }
    // The text to draw: the hover text while it is shown and not empty, else the window's text.
    const std::u16string& ShownText(const std::u16string& windowText, const std::u16string& hoverText) const;
    // The focus rectangle: tab-stop button with the focus whose mouse-focus mark is clear.
    bool DrawsFocusRect(bool tabStop, bool hasFocus) const { return tabStop && hasFocus && !m_mouseFocus; }

private:
    bool m_hover = false;
    bool m_showHoverText = false;
    bool m_mouseFocus = false;
};

}  // namespace velora::skin
