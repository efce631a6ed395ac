// The base of the client's frameless, skinned windows: one of five background styles painted from a cached
// off-screen copy, its own system buttons, a rounded outline with a thin border, and dragging by any point
// no control covers.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "common/winDC/GdiPlus.h"
#include "common/winDC/MemoryDC.h"
#include "common/winWidget/ImageButton.h"
#include "ui/framework/Dialog.h"
#include "ui/skin/DpiScale.h"

namespace velora {

class CSkinDialog : public CDialog {
public:
    // `parent` is where DoModal/Create puts the window when they get none; `module` holds the pictures
    // (null: the program's resource module).
    CSkinDialog(UINT templateId, int style, uint32_t buttonFlags, HWND parent = nullptr,
                HMODULE module = nullptr);
    ~CSkinDialog() override;

    INT_PTR DoModal() { return CDialog::DoModal(m_parent); }
    bool Create() { return CDialog::Create(m_parent); }

    int Style() const { return m_style; }
    const skin::CDpiScale& Scale() const { return m_scale; }
    int ButtonCount() const { return static_cast<int>(m_buttons.size()); }
    CImageButton* Button(int index) { return m_buttons[static_cast<size_t>(index)].get(); }
    bool HasWave() const { return m_wave != nullptr; }
    // How often the cached background was drawn anew (it is only when the client size changes).
    int BackgroundBuilds() const { return m_backgroundBuilds; }
    HMODULE PictureModule() const { return m_module; }
    // Folder of the "res" pictures (the executable's folder followed by "res\"), replaceable for tests.
    static void SetPictureFolder(const std::wstring& folder);

protected:
    BOOL OnInitDialog() override;
    INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Paints the window's background (from the cache) into `dc`.
    void EraseBackground(HDC dc);
    virtual void DrawBackground(HDC dc, int width, int height);
    // A brush of the cached background aligned for `child`, so that texts on the window show the
    // background behind them.
    HBRUSH BackgroundBrushFor(HWND child, HDC dc);
    // The rounded outline for a client area of this size.
    void ApplyRegion(int width, int height);

    HWND m_parent;

private:
    int m_style;
    uint32_t m_flags;
    HMODULE m_module;
    skin::CDpiScale m_scale;
    std::vector<std::unique_ptr<CImageButton>> m_buttons;
    CMemoryDC m_cache;
    bool m_cacheValid = false;
    int m_backgroundBuilds = 0;
    std::unique_ptr<Gdiplus::Bitmap> m_wave;
    HRGN m_region = nullptr;  // a copy of the window region, for the frame
    SIZE m_regionSize{0, 0};
    HBRUSH m_cacheBrush = nullptr;
};

}  // namespace velora
