// Skinned dialogs.
#include "common/winWidget/SkinDialog.h"

#include <string>

#include "common/winAuto/ControlReflection.h"
#include "common/winAuto/SkinFailure.h"
#include "ui/framework/WinApp.h"
#include "ui/skin/Palette.h"
#include "ui/skin/SkinStyle.h"
#include "ui/skin/SystemButtonLayout.h"

namespace velora {

namespace {

std::wstring& PictureFolderOverride() {
    static std::wstring folder;
    return folder;
}

std::wstring PictureFolder() {
    if (!PictureFolderOverride().empty()) return PictureFolderOverride();
    wchar_t path[MAX_PATH] = {0};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    const size_t slash = folder.find_last_of(L"\\/");
    folder = slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
    return folder + L"res\\";
}

Gdiplus::Color Opaque(skin::SkinColor c) {
    return Gdiplus::Color(255, skin::RedOf(c), skin::GreenOf(c), skin::BlueOf(c));
}

}  // namespace

void CSkinDialog::SetPictureFolder(const std::wstring& folder) {
    PictureFolderOverride() = folder;
}

CSkinDialog::CSkinDialog(UINT templateId, int style, uint32_t buttonFlags, HWND parent, HMODULE module)
    : CDialog(templateId),
      m_parent(parent),
      m_style(style),
      m_flags(buttonFlags),
      m_module(module ? module : CWinApp::ResourceModule()) {}

CSkinDialog::~CSkinDialog() {
    if (m_region) DeleteObject(m_region);
    if (m_cacheBrush) DeleteObject(m_cacheBrush);
}

BOOL CSkinDialog::OnInitDialog() {
    const BOOL result = CDialog::OnInitDialog();
    HWND window = GetSafeHwnd();
    HDC dc = GetDC(window);
    m_scale = skin::CDpiScale::FromLogPixels(dc ? GetDeviceCaps(dc, LOGPIXELSX) : 0,
                                             dc ? GetDeviceCaps(dc, LOGPIXELSY) : 0);
    if (dc) ReleaseDC(window, dc);

    RECT client;
    GetClientRect(window, &client);
    for (const auto& placed : skin::CSystemButtonLayout::Layout(m_style, m_flags, client.right, m_scale)) {
        auto button = std::make_unique<CImageButton>();
        const RECT rect{placed.rect.left, placed.rect.top, placed.rect.right, placed.rect.bottom};
        button->Create(window, placed.controlId, rect, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS);
        button->SetRect(rect);
        for (int icon : placed.icons) button->AddIcon(static_cast<UINT>(icon), m_module);
        m_buttons.push_back(std::move(button));
    }
    if (m_flags & skin::CSystemButtonLayout::kFlagMinimise) {
        // The caption style lets the taskbar minimise and restore the window; the frame stays suppressed.
        SetWindowLongPtrW(window, GWL_STYLE, GetWindowLongPtrW(window, GWL_STYLE) | WS_CAPTION);
        SetWindowPos(window, nullptr, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
        GetClientRect(window, &client);
    }
    ApplyRegion(client.right, client.bottom);
    if (skin::SkinStyle::Background(m_style) == skin::SkinBackground::Wave) {
        const std::u16string name = skin::CDpiScale::WaveFileName(m_scale.Level());
        const std::wstring path = PictureFolder() + std::wstring(name.begin(), name.end());
        auto wave = std::make_unique<Gdiplus::Bitmap>(path.c_str());
        // A picture that cannot be read leaves the top plain.
        if (wave->GetLastStatus() == Gdiplus::Ok && wave->GetWidth() > 0) m_wave = std::move(wave);
    }
    return result;
}

void CSkinDialog::ApplyRegion(int width, int height) {
    HRGN region = CreateRoundRectRgn(0, 0, width, height, skin::SkinStyle::kCornerEllipse,
                                     skin::SkinStyle::kCornerEllipse);
    if (!region) return;
    if (m_region) DeleteObject(m_region);
    m_region = CreateRectRgn(0, 0, 0, 0);
    CombineRgn(m_region, region, nullptr, RGN_COPY);
    m_regionSize = {width, height};
    SetWindowRgn(GetSafeHwnd(), region, TRUE);  // the window owns `region` from here on
}

void CSkinDialog::DrawBackground(HDC dc, int width, int height) {
    const skin::SkinBackground background = skin::SkinStyle::Background(m_style);
    const int band = m_scale.UnitsX(skin::SkinStyle::kBandUnits);
    HBRUSH light = CreateSolidBrush(skin::kLightBackground);
    HBRUSH white = CreateSolidBrush(skin::kWhite);
    RECT fill{0, 0, width, height};
    if (background == skin::SkinBackground::BlueBand) fill.left = band;
    FillRect(dc, &fill, background == skin::SkinBackground::White ? white : light);
    DeleteObject(light);
    DeleteObject(white);
    if (m_region) {
        HBRUSH border = CreateSolidBrush(skin::kBorder);
        FrameRgn(dc, m_region, border, 1, 1);
        DeleteObject(border);
    }
    Gdiplus::Graphics graphics(dc);
    if (background == skin::SkinBackground::BlueBand) {
        Gdiplus::LinearGradientBrush brush(Gdiplus::Point(-1, 0), Gdiplus::Point(band + 1, 0),
                                           Opaque(skin::kAccentBlue), Opaque(skin::kAccentBlue));
        graphics.FillRectangle(&brush, 0, 0, band, height);
    } else if (background == skin::SkinBackground::Wave && m_wave) {
        graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
        graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
        graphics.DrawImage(m_wave.get(), 0, 0, width, m_scale.UnitsY(skin::SkinStyle::kWaveHeightUnits));
    }
}

void CSkinDialog::EraseBackground(HDC dc) {
    RECT client;
    GetClientRect(GetSafeHwnd(), &client);
    if (!m_cacheValid || m_cache.Width() != client.right || m_cache.Height() != client.bottom) {
        if (m_cacheBrush) DeleteObject(m_cacheBrush);
        m_cacheBrush = nullptr;
        m_cache.Update(dc, client.right, client.bottom);
        DrawBackground(m_cache.GetSafeHdc(), client.right, client.bottom);
        m_cacheValid = true;
        ++m_backgroundBuilds;
    }
    m_cache.CopyTo(dc);
}

HBRUSH CSkinDialog::BackgroundBrushFor(HWND child, HDC dc) {
    if (!m_cacheValid) {
        HDC screen = GetDC(GetSafeHwnd());
        CMemoryDC scratch(screen, 1, 1);
        EraseBackground(scratch.GetSafeHdc());
        ReleaseDC(GetSafeHwnd(), screen);
    }
    if (!m_cacheBrush) m_cacheBrush = CreatePatternBrush(m_cache.Bitmap());
    POINT origin{0, 0};
    MapWindowPoints(child, GetSafeHwnd(), &origin, 1);
    SetBrushOrgEx(dc, -origin.x, -origin.y, nullptr);
    return m_cacheBrush;
}

INT_PTR CSkinDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT reflected = 0;
    switch (message) {
        case WM_ERASEBKGND:
            EraseBackground(reinterpret_cast<HDC>(wParam));
            SetMessageResult(TRUE);
            return TRUE;
        case WM_CTLCOLORDLG:
            return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            if (ReflectToControl(GetSafeHwnd(), message, wParam, lParam, reflected)) return reflected;
            // Static texts lie on the cached background.
            SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
            return reinterpret_cast<INT_PTR>(
                BackgroundBrushFor(reinterpret_cast<HWND>(lParam), reinterpret_cast<HDC>(wParam)));
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_DRAWITEM:
            if (ReflectToControl(GetSafeHwnd(), message, wParam, lParam, reflected)) return reflected;
            return FALSE;
        case WM_NOTIFY:
            if (ReflectToControl(GetSafeHwnd(), message, wParam, lParam, reflected)) {
                SetMessageResult(reflected);
                return TRUE;
            }
            return FALSE;
        case WM_NCHITTEST:
            if (!skin::SkinStyle::DragsAnywhere(m_style)) return FALSE;
            SetMessageResult(HTCAPTION);
            return TRUE;
        case WM_NCCALCSIZE:
            SetMessageResult(0);  // no frame: the client area is the whole window
            return TRUE;
        case WM_NCACTIVATE:
            SetMessageResult(TRUE);
            return TRUE;
        case WM_SIZE:
            // A window given another size keeps its outline: the region and the framed edge of the background
            // (rebuilt for the new size) follow the client area.
            if (wParam != SIZE_MINIMIZED && m_region &&
                (LOWORD(lParam) != m_regionSize.cx || HIWORD(lParam) != m_regionSize.cy)) {
                ApplyRegion(LOWORD(lParam), HIWORD(lParam));
                // A smaller window is not repainted by itself, and its edge moved.
                InvalidateRect(GetSafeHwnd(), nullptr, TRUE);
            }
            return CDialog::WindowProc(message, wParam, lParam);
        case WM_NCPAINT:
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == skin::CSystemButtonLayout::kMinimiseCommandId) {
                ShowWindow(GetSafeHwnd(), SW_MINIMIZE);
                return TRUE;
            }
            return CDialog::WindowProc(message, wParam, lParam);
        default:
            return CDialog::WindowProc(message, wParam, lParam);
    }
}

}  // namespace velora
