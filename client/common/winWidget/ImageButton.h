// An owner-drawn button of the skin: a background per state (or the parent's background showing through),
// an icon per state from an image list at the button size, its text, a focus rectangle, a border or an
// underline. The system buttons of skinned windows are image buttons.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "common/winAuto/SubclassedControl.h"
#include "ui/skin/ImageButtonState.h"
#include "ui/skin/Palette.h"

namespace velora {

class CImageButton : public CSubclassedControl {
public:
    static constexpr COLORREF kTransparent = skin::kTransparentKey;

    CImageButton() = default;
    ~CImageButton() override;

    // Creates the button as an owner-drawn child ("CImageButton::Create" on failure).
    void Create(HWND parent, int controlId, const RECT& rect, DWORD style);
    // Moves the button and re-creates its image list at the new size ("CImageButton::SetRect").
    void SetRect(const RECT& rect);
    void SetSize(int width, int height);
    // Appends the icon resource `id` of `module` ("CImageButton::AddIcon"); replaces the first icon
    // ("CImageButton::replaceIcon").
    void AddIcon(UINT id, HMODULE module);
    void ReplaceIcon(UINT id, HMODULE module);
    int IconCount() const;

    void SetBorderColor(COLORREF color) { m_border = color; }
    // Normal, pressed, hover, disabled; kTransparent shows the parent.
    void SetBackgroundColors(COLORREF normal, COLORREF pressed, COLORREF hover, COLORREF disabled);
    void SetTextColor(COLORREF color) {
        m_textColor = color;
        m_customText = true;
    }
    void SetGradient(COLORREF start, COLORREF end) {
        m_gradientStart = start;
        m_gradientEnd = end;
    }
    void SetGradientFill(bool on) { m_gradientFill = on; }
    void SetUnderline(COLORREF color, int thickness, bool gradient = false, COLORREF end = 0);
    void SetRounded(bool on, int diameter = 8) {
        m_rounded = on;
        m_diameter = diameter;
    }
    void SetTextCentered(bool centred) { m_centred = centred; }
    void SetTextOffset(int x, int y) {
        m_textX = x;
        m_textY = y;
    }
    void SetImagePosition(int x, int y) {
        m_imageX = x;
        m_imageY = y;
    }
    void SetHoverText(const std::u16string& text) { m_hoverText = text; }
    void ShowIcons(bool on) { m_showIcons = on; }
    void SetHandCursor(bool on) { m_handCursor = on; }
    bool TabStop() const { return m_tabStop; }

    LRESULT OnReflected(UINT reflected, UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnAttached() override;
    // Draws the whole button into `dc` (an off-screen copy of the client area).
    virtual void DrawButton(HDC dc, const RECT& rect, bool selected, bool disabled, bool focused);
    void PaintParentBackground(HDC dc) const;
    void FillRoundedGradient(HDC dc, const RECT& rect) const;

    COLORREF m_backgrounds[4] = {kTransparent, kTransparent, kTransparent, kTransparent};
    COLORREF m_gradientStart = RGB(0, 0, 0);
    COLORREF m_gradientEnd = RGB(0, 0, 0);
    int m_diameter = 8;
    bool m_gradientFill = false;
    bool m_rounded = false;
    skin::CImageButtonState m_state;

private:
    void RecreateImageList(int width, int height, const char* operation);

    HIMAGELIST m_images = nullptr;
    COLORREF m_border = kTransparent;
    COLORREF m_textColor = 0;
    bool m_customText = false;
    COLORREF m_underline = kTransparent;
    COLORREF m_underlineEnd = 0;
    int m_underlineThickness = 2;
    bool m_underlineGradient = false;
    bool m_hasUnderline = false;
    bool m_centred = true;
    int m_textX = 0;
    int m_textY = 0;
    int m_imageX = 0;
    int m_imageY = 0;
    std::u16string m_hoverText;
    bool m_showIcons = true;
    bool m_handCursor = true;
    bool m_tabStop = false;
};

}  // namespace velora
