// A text link: drawn in the parent's font in link colours, underlined while the mouse is over it or it is
// pressed, on a transparent background; Space activates it as Enter does.
#pragma once
#include <windows.h>

#include "common/winAuto/SubclassedControl.h"

namespace velora {

class CHyperlink : public CSubclassedControl {
public:
    enum Align { kLeft = 0, kRight = 1, kCentre = 2 };

    ~CHyperlink() override;
    void SetAlign(Align align) { m_align = align; }
    // Replaces the link colours (normal and hover) with one colour, e.g. a disabled "View All".
    void SetLinkColor(COLORREF color);
    bool Visited() const { return m_visited; }
    bool Highlighted() const { return m_hover; }
    // Measures the text on one line plus 6 pixels each side; may centre itself in its old rectangle.
    void SizeToContent(bool centreHorizontally, bool centreVertically);
    LRESULT OnReflected(UINT reflected, UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

protected:
    void OnAttached() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void EnsureFont();
    void Activate();

    HFONT m_font = nullptr;
    HFONT m_underlined = nullptr;
    COLORREF m_normal = 0;
    COLORREF m_hoverColor = 0;
    COLORREF m_visitedColor = RGB(128, 0, 128);
    bool m_customColor = false;
    Align m_align = kLeft;
    bool m_hover = false;
    bool m_visited = false;
};

}  // namespace velora
