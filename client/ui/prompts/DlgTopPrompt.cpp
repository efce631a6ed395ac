// The top prompt.
#include "ui/prompts/DlgTopPrompt.h"

#include "common/winImage/ImageResource.h"
#include "skin_resource.h"
#include "ui/skin/PopupPlacement.h"
#include "ui/skin/PromptKind.h"
#include "ui/skin/SystemButtonLayout.h"

namespace velora {

namespace {
constexpr int kPromptIconSizes[5] = {16, 24, 32, 40, 48};
}

CDlgTopPrompt::CDlgTopPrompt(HWND owner, std::u16string text, int kind)
    : CSkinDialog(IDD_TOP_PROMPT, 2, skin::CSystemButtonLayout::kFlagCloseSmall, owner),
      m_owner(owner),
      m_text(std::move(text)),
      m_kind(kind) {}

BOOL CDlgTopPrompt::OnInitDialog() {
    HWND window = GetSafeHwnd();
    HDC screen = GetDC(window);
    const skin::CDpiScale scale = skin::CDpiScale::FromLogPixels(
        screen ? GetDeviceCaps(screen, LOGPIXELSX) : 0, screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0);
    const skin::PromptKind kind = skin::PromptKind::Of(m_kind);
    HWND iconControl = GetDlgItem(IDC_PROMPT_ICON);
    HWND textControl = GetDlgItem(IDC_PROMPT_TEXT);
    SetWindowTextW(textControl, reinterpret_cast<const wchar_t*>(m_text.c_str()));

    // As wide as icon and text need: margin, icon, gap, text, gap, close button, margin.
    HGDIOBJ oldFont = SelectObject(screen, reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)));
    SIZE textSize{0, 0};
    GetTextExtentPoint32W(screen, reinterpret_cast<const wchar_t*>(m_text.c_str()),
                          static_cast<int>(m_text.size()), &textSize);
    SelectObject(screen, oldFont);
    ReleaseDC(window, screen);
    RECT client;
    GetClientRect(window, &client);
    const int margin = scale.UnitsX(12);
    const int iconSize = kind.icons ? kPromptIconSizes[scale.Level()] : 0;
    const int gap = scale.UnitsX(8);
    int x = margin;
    if (kind.icons) {
        SendMessageW(iconControl, STM_SETICON,
                     reinterpret_cast<WPARAM>(CImageResource::LoadSharedIcon(
                         static_cast<UINT>(skin::CDpiScale::PickByLevel(*kind.icons, scale.Level())),
                         PictureModule())),
                     0);
        SetWindowPos(iconControl, nullptr, x, (client.bottom - iconSize) / 2, iconSize, iconSize,
                     SWP_NOZORDER);
        x += iconSize + gap;
    } else {
        ShowWindow(iconControl, SW_HIDE);
    }
    SetWindowPos(textControl, nullptr, x, (client.bottom - textSize.cy) / 2, textSize.cx + 2, textSize.cy,
                 SWP_NOZORDER);
    const int closeArea = scale.UnitsX(8) + static_cast<int>(9 * 1.4) + gap;
    const int width = x + textSize.cx + 2 + gap + closeArea;
    SetWindowPos(window, nullptr, 0, 0, width, client.bottom, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    const BOOL result = CSkinDialog::OnInitDialog();
    Place();
    if (kind.closesItself)
        SetTimer(window, skin::PromptKind::kCloseTimerId, skin::PromptKind::kCloseAfterMs, nullptr);
    return result;
}

void CDlgTopPrompt::Place() {
    HWND window = GetSafeHwnd();
    if (!window || !m_owner) return;
    RECT owner, self;
    GetClientRect(m_owner, &owner);
    GetWindowRect(window, &self);
    const skin::SkinRect placed = skin::PopupPlacement::TopPrompt(
        {owner.left, owner.top, owner.right, owner.bottom}, self.right - self.left, self.bottom - self.top);
    SetWindowPos(window, HWND_TOP, placed.left, placed.top, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
}

void CDlgTopPrompt::Close() {
    if (IsOpen()) DestroyWindow();
}

INT_PTR CDlgTopPrompt::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            if (wParam != skin::PromptKind::kCloseTimerId) break;
            KillTimer(GetSafeHwnd(), wParam);
            Close();
            return TRUE;
        case WM_CTLCOLORSTATIC:
            if (reinterpret_cast<HWND>(lParam) == GetDlgItem(IDC_PROMPT_TEXT)) {
                HDC dc = reinterpret_cast<HDC>(wParam);
                const skin::PromptKind kind = skin::PromptKind::Of(m_kind);
                SetTextColor(dc, kind.textColor ? *kind.textColor : GetSysColor(COLOR_WINDOWTEXT));
                SetBkMode(dc, TRANSPARENT);
                return reinterpret_cast<INT_PTR>(BackgroundBrushFor(reinterpret_cast<HWND>(lParam), dc));
            }
            break;
        default:
            break;
    }
    return CSkinDialog::WindowProc(message, wParam, lParam);
}

}  // namespace velora
