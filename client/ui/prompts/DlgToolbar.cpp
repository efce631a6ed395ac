// The toast.
#include "ui/prompts/DlgToolbar.h"

#include <string>

#include "common/winImage/ImageResource.h"
#include "core/Log.h"
#include "core/WindowMessages.h"
#include "skin_resource.h"
#include "ui/skin/Palette.h"
#include "ui/skin/PopupPlacement.h"
#include "ui/skin/SystemButtonLayout.h"
#include "ui/skin/ToastRetryText.h"

namespace velora {

namespace {

constexpr uint32_t kTitleMessage = 1107;
constexpr uint32_t kRetryMessage = 1108;
constexpr uint32_t kLineMessages[3] = {1109, 1110, 1111};
constexpr std::array<int, 5> kPictureIds{1092, 1094, 1093, 463, 464};
constexpr std::array<int, 5> kBrandIds{1095, 1097, 1096, 465, 466};

void SetText(HWND control, const std::u16string& text) {
    SetWindowTextW(control, reinterpret_cast<const wchar_t*>(text.c_str()));
}

std::u16string WindowText(HWND control) {
    const int length = GetWindowTextLengthW(control);
    std::u16string text(static_cast<size_t>(length), u'\0');
    if (length > 0) GetWindowTextW(control, reinterpret_cast<wchar_t*>(text.data()), length + 1);
    return text;
}

}  // namespace

CDlgToolbar::CDlgToolbar(HWND mainWindow, UINT hideAfterMs)
    : CSkinDialog(IDD_TOOLBAR, 2, skin::CSystemButtonLayout::kFlagClose, mainWindow),
      m_main(mainWindow),
      m_hideAfterMs(hideAfterMs) {}

BOOL CDlgToolbar::OnInitDialog() {
    const BOOL result = CSkinDialog::OnInitDialog();
    SetText(GetDlgItem(IDC_TOAST_TITLE), MessageText(kTitleMessage));
    const int lines[3] = {IDC_TOAST_TEXT1, IDC_TOAST_TEXT2, IDC_TOAST_TEXT3};
    for (int i = 0; i < 3; ++i) SetText(GetDlgItem(lines[i]), MessageText(kLineMessages[i]));
    m_retry.SubclassDlgItem(IDC_TOAST_RETRY, GetSafeHwnd());
    m_retry.SetRounded(true, 8);
    m_retry.SetBackgroundColors(skin::kAccentBlue, skin::SkinRgb(3, 58, 181), skin::SkinRgb(40, 100, 235),
                                skin::kStatusGrey);
    m_retry.SetTextColor(skin::kWhite);
    SetText(m_retry.GetSafeHwnd(), MessageText(kRetryMessage));
    const int level = Scale().Level();
    m_picture = CImageResource::Load(static_cast<UINT>(skin::CDpiScale::PickByLevel(kPictureIds, level)),
                                     PictureModule());
    m_brand = CImageResource::Load(static_cast<UINT>(skin::CDpiScale::PickByLevel(kBrandIds, level)),
                                   PictureModule());
    return result;
}

void CDlgToolbar::Present() {
    HWND window = GetSafeHwnd();
    RECT work{0, 0, 0, 0};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    RECT self;
    GetWindowRect(window, &self);
    const skin::SkinRect placed = skin::PopupPlacement::Toast({work.left, work.top, work.right, work.bottom},
                                                              self.right - self.left, self.bottom - self.top);
    SetWindowPos(window, HWND_TOPMOST, placed.left, placed.top, 0, 0, SWP_NOSIZE);
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    EnableWindow(m_retry.GetSafeHwnd(), TRUE);
    SetTimer(window, kHideTimerId, m_hideAfterMs, nullptr);
}

void CDlgToolbar::Reset() {
    KillTimer(GetSafeHwnd(), kDotsTimerId);
    SetText(m_retry.GetSafeHwnd(), MessageText(kRetryMessage));
    EnableWindow(m_retry.GetSafeHwnd(), TRUE);
}

void CDlgToolbar::OnCancel() {
    // The close button drops the toast; the next one is made anew.
    DestroyWindow();
}

INT_PTR CDlgToolbar::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            if (wParam == kHideTimerId) {
                KillTimer(GetSafeHwnd(), kHideTimerId);
                ShowWindow(GetSafeHwnd(), SW_HIDE);
                return TRUE;
            }
            if (wParam == kDotsTimerId) {
                SetText(m_retry.GetSafeHwnd(),
                        skin::NextRetryText(WindowText(m_retry.GetSafeHwnd()), MessageText(kRetryMessage)));
                return TRUE;
            }
            break;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDC_TOAST_RETRY && HIWORD(wParam) == BN_CLICKED) {
                EnableWindow(m_retry.GetSafeHwnd(), FALSE);
                SetTimer(GetSafeHwnd(), kDotsTimerId, kDotsPeriodMs, nullptr);
                PostMessageW(m_main, UM_TOAST_RECONNECT, 0, 0);
                return TRUE;
            }
            break;
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (item->CtlID == IDC_TOAST_PICTURE || item->CtlID == IDC_TOAST_BRAND) {
                // The control's origin: the background is drawn at its offset.
                POINT origin{0, 0};
                MapWindowPoints(item->hwndItem, GetSafeHwnd(), &origin, 1);
                POINT old;
                OffsetViewportOrgEx(item->hDC, -origin.x, -origin.y, &old);
                EraseBackground(item->hDC);
                SetViewportOrgEx(item->hDC, old.x, old.y, nullptr);
                Gdiplus::Bitmap* image = item->CtlID == IDC_TOAST_PICTURE ? m_picture.get() : m_brand.get();
                if (image) {
                    Gdiplus::Graphics graphics(item->hDC);
                    const INT w = static_cast<INT>(image->GetWidth()),
                              h = static_cast<INT>(image->GetHeight());
                    const RECT& r = item->rcItem;
                    graphics.DrawImage(image, r.left + (r.right - r.left - w) / 2,
                                       r.top + (r.bottom - r.top - h) / 2, w, h);
                }
                return TRUE;
            }
            break;
        }
        case WM_CTLCOLORSTATIC: {
            HDC dc = reinterpret_cast<HDC>(wParam);
            const bool title = reinterpret_cast<HWND>(lParam) == GetDlgItem(IDC_TOAST_TITLE);
            SetTextColor(dc, title ? RGB(50, 54, 58) : RGB(127, 143, 164));
            SetBkMode(dc, TRANSPARENT);
            return reinterpret_cast<INT_PTR>(BackgroundBrushFor(reinterpret_cast<HWND>(lParam), dc));
        }
        default:
            break;
    }
    return CSkinDialog::WindowProc(message, wParam, lParam);
}

}  // namespace velora
