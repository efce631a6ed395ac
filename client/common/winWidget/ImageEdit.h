// The skin's edit field: light background, a rounded frame (accent blue inside while active), an optional
// icon with a separator at the left, a hint text while empty and unfocused, the text vertically centred
// through its non-client area, and notifications of every change to its parent.
#pragma once
#include <windows.h>

#include <string>

#include "common/winAuto/SubclassedControl.h"

namespace velora {

class CImageEdit : public CSubclassedControl {
public:
    // Posted to the parent after a change: 1041 (1042 for a password field) without parameters, then 1044
    // with the control id and 1 when the field holds text; 1044 with the id and 2 for Backspace in an
    // empty field.
    static constexpr UINT UM_EDIT_CHANGED = 1041;
    static constexpr UINT UM_PASSWORD_EDIT_CHANGED = 1042;
    static constexpr UINT UM_EDIT_STATE = 1044;

    void SetHint(const std::u16string& hint);
    // Icon (shared, not destroyed here) shown at the left, or null.
    void SetIcon(HICON icon) { m_icon = icon; }
    // Padding 3 units; icon 32 pixels at scale 2.0, 16 at 1.0 or 1.25, else 24.
    void SetScale(double scale);
    bool HintShown() const { return m_hintShown; }
    // The user's text (empty while the hint shows).
    std::u16string Text() const;

    LRESULT OnReflected(UINT reflected, UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

protected:
    void OnAttached() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void ShowHint();
    void HideHint();
    void NotifyIfChanged();
    void PaintFrame();
    std::u16string WindowText() const;

    std::u16string m_hint;
    std::u16string m_lastText;
    HICON m_icon = nullptr;
    HBRUSH m_background = nullptr;
    int m_padding = 3;
    int m_iconSize = 16;
    bool m_password = false;
    wchar_t m_passwordChar = L'*';
    bool m_hintShown = false;
    bool m_settingText = false;
};

}  // namespace velora
