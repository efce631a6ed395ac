// The skinned windows and controls under Wine at the six DPI settings. The parent test sets LogPixels in
// the prefix and runs this program again for each setting (the DPI is read once per process); the child
// runs the SkinAtDpi tests, which show the real windows, capture their pixels from the window's device
// context and check what the skin promises at that scale. With VELORA_GALLERY_DIR set the child also
// leaves its captures there (the gallery script turns them into the contact sheet).
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <objidl.h>
#include <gdiplus.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "SkinTestIds.h"
#include "common/winAuto/ControlReflection.h"
#include "common/winImage/ImageResource.h"
#include "common/winWidget/Chronometer.h"
#include "common/winWidget/CustomCheckbox.h"
#include "common/winWidget/Hyperlink.h"
#include "common/winWidget/ImageButton.h"
#include "common/winWidget/ImageEdit.h"
#include "common/winWidget/LayerDlg.h"
#include "common/winWidget/RotateStatic.h"
#include "common/winWidget/SkinDialog.h"
#include "common/winWidget/SuperListCtrl.h"
#include "core/BrxException.h"
#include "core/WindowMessages.h"
#include "ui/framework/WinApp.h"
#include "common/winWidget/RichEditHideCursor.h"
#include "common/winWidget/VCenterStatic.h"
#include "ui/prompts/DlgChangePassSure.h"
#include "ui/prompts/DlgStopPrompt.h"
#include "ui/prompts/DlgSwitchAccount.h"
#include "ui/prompts/LogListView.h"
#include "ui/prompts/ToastHost.h"
#include "ui/prompts/TopPromptHost.h"
#include "ui/skin/ChronometerText.h"
#include "ui/skin/DpiScale.h"
#include "ui/skin/Palette.h"
#include "ui/skin/SystemButtonLayout.h"

namespace velora {
namespace {

constexpr int kDpiSettings[] = {96, 144, 168, 192, 240, 288};

int ChildDpi() {
    const char* value = std::getenv("VELORA_SKIN_DPI");
    return value ? std::atoi(value) : 0;
}

std::wstring SelfPath() {
    wchar_t path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, n);
}

std::wstring SelfFolder() {
    const std::wstring self = SelfPath();
    return self.substr(0, self.find_last_of(L"\\/") + 1);
}

// Runs the message loop of this thread for `ms` milliseconds.
void Pump(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(5);
    } while (std::chrono::steady_clock::now() < end);
}

// Pixels of a window (its whole rectangle) read from its device context.
struct Capture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // 0x00RRGGBB

    skin::SkinColor At(int x, int y) const {
        const uint32_t p =
            pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
        return skin::SkinRgb((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    bool Contains(skin::SkinColor color) const {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (At(x, y) == color) return true;
        return false;
    }
    Capture Part(int left, int top, int w, int h) const {
        Capture part{w, h, {}};
        for (int y = top; y < top + h; ++y)
            for (int x = left; x < left + w; ++x)
                part.pixels.push_back(
                    pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]);
        return part;
    }
};

Capture CaptureDc(HDC source, int width, int height) {
    Capture capture{width, height,
                    std::vector<uint32_t>(static_cast<size_t>(width) * static_cast<size_t>(height))};
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC memory = CreateCompatibleDC(source);
    HBITMAP bitmap = CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY);
    GdiFlush();
    const auto* words = static_cast<const uint32_t*>(bits);
    for (size_t i = 0; i < capture.pixels.size(); ++i) capture.pixels[i] = words[i] & 0xFFFFFF;
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    return capture;
}

Capture CaptureWindow(HWND window) {
    RECT rect;
    GetWindowRect(window, &rect);
    HDC dc = GetWindowDC(window);
    Capture capture = CaptureDc(dc, rect.right - rect.left, rect.bottom - rect.top);
    ReleaseDC(window, dc);
    return capture;
}

// Leaves a capture in the gallery folder as a 24-bit BMP, when there is one.
void SaveForGallery(const Capture& capture, const std::string& name) {
    const char* folder = std::getenv("VELORA_GALLERY_DIR");
    if (!folder || capture.width == 0) return;
    const std::string path = std::string(folder) + "\\" + std::to_string(ChildDpi()) + "-" + name + ".bmp";
    std::ofstream out(path, std::ios::binary);
    const int rowBytes = (capture.width * 3 + 3) & ~3;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER header{
        sizeof(BITMAPINFOHEADER), capture.width, capture.height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(rowBytes * capture.height);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&header), sizeof header);
    std::vector<char> row(static_cast<size_t>(rowBytes), 0);
    for (int y = capture.height - 1; y >= 0; --y) {
        for (int x = 0; x < capture.width; ++x) {
            const uint32_t p = capture.pixels[static_cast<size_t>(y) * static_cast<size_t>(capture.width) +
                                              static_cast<size_t>(x)];
            row[static_cast<size_t>(x) * 3] = static_cast<char>(p & 0xFF);
            row[static_cast<size_t>(x) * 3 + 1] = static_cast<char>((p >> 8) & 0xFF);
            row[static_cast<size_t>(x) * 3 + 2] = static_cast<char>((p >> 16) & 0xFF);
        }
        out.write(row.data(), rowBytes);
    }
}

// What a transparent image button shows: `background` under the icon `index` drawn through an image list of
// the button's size, exactly as the button draws it.
Capture RenderIcon(const Capture& background, UINT iconId, int size) {
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, size, size);
    HGDIOBJ old = SelectObject(memory, bitmap);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const skin::SkinColor c = background.At(x, y);
            SetPixel(memory, x, y, c);
        }
    HIMAGELIST list = ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, 1, 1);
    ImageList_AddIcon(list, CImageResource::LoadSharedIcon(iconId, GetModuleHandleW(nullptr)));
    ImageList_Draw(list, 0, memory, 0, 0, ILD_TRANSPARENT);
    ImageList_Destroy(list);
    Capture result = CaptureDc(memory, size, size);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return result;
}

// Starts GDI+, makes this program the resource module and shows skinned windows at the top left.
class SkinAtDpi : public testing::Test {
protected:
    void SetUp() override {
        m_dpi = ChildDpi();
        if (m_dpi == 0) GTEST_SKIP() << "runs in the child processes of SkinDpiLevels";
        // The common controls and the rich edit as the program prepares them.
        INITCOMMONCONTROLSEX classes{sizeof classes, 0xFF};
        InitCommonControlsEx(&classes);
        m_richEdit = LoadLibraryW(L"riched20.dll");
        Gdiplus::GdiplusStartupInput input;
        ASSERT_EQ(Gdiplus::GdiplusStartup(&m_token, &input, nullptr), Gdiplus::Ok);
        CWinApp::SetResourceModule(GetModuleHandleW(nullptr));
        CSkinDialog::SetPictureFolder(SelfFolder() + L"res\\");
        HDC screen = GetDC(nullptr);
        ASSERT_EQ(GetDeviceCaps(screen, LOGPIXELSX), m_dpi) << "LogPixels of the prefix not in effect";
        ReleaseDC(nullptr, screen);
        m_scale = skin::CDpiScale::FromLogPixels(m_dpi, m_dpi);
    }
    void TearDown() override {
        m_windows.clear();
        if (m_token) Gdiplus::GdiplusShutdown(m_token);
        if (m_richEdit) FreeLibrary(m_richEdit);
    }

    CSkinDialog& Show(int style, uint32_t flags, UINT templateId = IDD_SKIN_BARE, int x = 0, int y = 0) {
        m_windows.push_back(std::make_unique<CSkinDialog>(templateId, style, flags));
        CSkinDialog& dialog = *m_windows.back();
        EXPECT_TRUE(dialog.Create());
        SetWindowPos(dialog.GetSafeHwnd(), HWND_TOP, x, y, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
        Pump(150);
        return dialog;
    }

    int m_dpi = 0;
    skin::CDpiScale m_scale;
    ULONG_PTR m_token = 0;
    HMODULE m_richEdit = nullptr;
    std::vector<std::unique_ptr<CSkinDialog>> m_windows;
};

TEST_F(SkinAtDpi, StyleZeroBandBorderAndSystemButtons) {
    CSkinDialog& dialog = Show(0, 0x1 | 0x2);
    const Capture shot = CaptureWindow(dialog.GetSafeHwnd());
    SaveForGallery(shot, "style0");
    const int band = m_scale.UnitsX(171);
    const int y = shot.height / 2;
    // The accent band is exactly 171 units wide, over the frame too.
    for (int x = 0; x < band; ++x) ASSERT_EQ(shot.At(x, y), skin::kAccentBlue) << "x " << x;
    EXPECT_EQ(shot.At(band, y), skin::kLightBackground);
    // The border line along the right edge of the rounded outline.
    bool border = false;
    for (int x = shot.width - 3; x < shot.width; ++x) border = border || shot.At(x, y) == skin::kBorder;
    EXPECT_TRUE(border);
    // System buttons: size by level, and the icons of the level's group.
    const int level = m_scale.Level();
    const int size = static_cast<int>(16 * skin::CSystemButtonLayout::SizeFactor(level, 0));
    HWND close = GetDlgItem(dialog.GetSafeHwnd(), IDCANCEL);
    ASSERT_NE(close, nullptr);
    RECT rect;
    GetWindowRect(close, &rect);
    EXPECT_EQ(rect.right - rect.left, size);
    EXPECT_EQ(rect.bottom - rect.top, size);
    if (m_dpi == 144) {
        EXPECT_EQ(size, 18);
    }
    POINT origin{rect.left, rect.top};
    ScreenToClient(dialog.GetSafeHwnd(), &origin);
    const Capture button = shot.Part(origin.x, origin.y, size, size);
    const Capture plain{size, size, std::vector<uint32_t>(static_cast<size_t>(size * size), 0xF5FAFF)};
    const auto icons = skin::CSystemButtonLayout::Icons(0x1, level);
    EXPECT_EQ(button.pixels, RenderIcon(plain, static_cast<UINT>(icons[0]), size).pixels);
    const auto otherGroup = skin::CSystemButtonLayout::Icons(0x1, level == 1 ? 0 : 1);
    EXPECT_NE(button.pixels, RenderIcon(plain, static_cast<UINT>(otherGroup[0]), size).pixels);
    // The minimise button 25 units to the left, and the window can be minimised by it.
    HWND minimise = GetDlgItem(dialog.GetSafeHwnd(), skin::CSystemButtonLayout::kMinimiseCommandId);
    ASSERT_NE(minimise, nullptr);
    RECT minRect;
    GetWindowRect(minimise, &minRect);
    EXPECT_EQ(rect.left - minRect.left, m_scale.UnitsX(25));
    // The background was drawn once, and repainting reuses it.
    RedrawWindow(dialog.GetSafeHwnd(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    EXPECT_EQ(dialog.BackgroundBuilds(), 1);
}

TEST_F(SkinAtDpi, StylesTwoToFourAreWhiteWithABorder) {
    for (int style : {2, 3, 4}) {
        CSkinDialog& dialog = Show(style, 0x1);
        const Capture shot = CaptureWindow(dialog.GetSafeHwnd());
        SaveForGallery(shot, "style" + std::to_string(style));
        EXPECT_EQ(shot.At(shot.width / 2, shot.height / 2), skin::kWhite);
        EXPECT_EQ(shot.At(shot.width / 2, 0), skin::kBorder) << style;
        // Only style 3 answers the position query as a normal dialog.
        RECT r;
        GetWindowRect(dialog.GetSafeHwnd(), &r);
        const LRESULT hit =
            SendMessageW(dialog.GetSafeHwnd(), WM_NCHITTEST, 0, MAKELPARAM(r.left + 40, r.bottom - 20));
        EXPECT_EQ(hit == HTCAPTION, style != 3) << style;
        DestroyWindow(dialog.GetSafeHwnd());
    }
}

TEST_F(SkinAtDpi, WavePictureOfTheLevelAndAPlainTopWhenItCannotBeRead) {
    const std::u16string wanted = skin::CDpiScale::WaveFileName(m_scale.Level());
    if (m_dpi == 168) {
        EXPECT_EQ(wanted, u"wavetop-kx15x.png");
    }
    if (m_dpi == 288) {
        EXPECT_EQ(wanted, u"wavetop-kx3x.png");
    }
    // A folder holding only the level's file: the window finds it.
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "velora-wave-only";
    std::filesystem::create_directories(folder);
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        std::filesystem::remove(entry.path());
    std::filesystem::copy_file(
        std::filesystem::path(SelfFolder() + L"res\\") / std::wstring(wanted.begin(), wanted.end()),
        folder / std::wstring(wanted.begin(), wanted.end()));
    CSkinDialog::SetPictureFolder(folder.wstring() + L"\\");
    CSkinDialog& found = Show(1, 0x1);
    EXPECT_TRUE(found.HasWave());
    const Capture shot = CaptureWindow(found.GetSafeHwnd());
    SaveForGallery(shot, "style1");
    EXPECT_NE(shot.At(shot.width / 2, 3), skin::kLightBackground);
    DestroyWindow(found.GetSafeHwnd());
    m_windows.clear();  // GDI+ keeps a picture's file open while the picture lives
    // The same file but unreadable (not a picture): the top stays plain.
    std::ofstream(folder / std::wstring(wanted.begin(), wanted.end()), std::ios::trunc) << "not a picture";
    CSkinDialog& plain = Show(1, 0x1);
    EXPECT_FALSE(plain.HasWave());
    const Capture plainShot = CaptureWindow(plain.GetSafeHwnd());
    EXPECT_EQ(plainShot.At(plainShot.width / 2, m_scale.UnitsY(50)), skin::kLightBackground);
    m_windows.clear();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

TEST_F(SkinAtDpi, TransparentButtonOverTheWaveShowsTheWave) {
    CSkinDialog& dialog = Show(1, 0);
    ASSERT_TRUE(dialog.HasWave());
    const int x = m_scale.UnitsX(40), y = m_scale.UnitsY(20), size = m_scale.UnitsX(30);
    const Capture before = CaptureWindow(dialog.GetSafeHwnd()).Part(x, y, size, size);
    CImageButton button;
    button.Create(dialog.GetSafeHwnd(), 300, RECT{x, y, x + size, y + size}, WS_CHILD | WS_VISIBLE);
    button.SetHandCursor(false);
    Pump(100);
    const Capture after = CaptureWindow(dialog.GetSafeHwnd()).Part(x, y, size, size);
    EXPECT_EQ(after.pixels, before.pixels);
}

TEST_F(SkinAtDpi, DisabledButtonWithThreeIconsShowsThePressedIcon) {
    CSkinDialog& dialog = Show(4, 0);
    const int size = m_scale.UnitsX(24);
    const int x = m_scale.UnitsX(20), y = m_scale.UnitsY(40);
    CImageButton button;
    button.Create(dialog.GetSafeHwnd(), 301, RECT{x, y, x + size, y + size}, WS_CHILD | WS_VISIBLE);
    for (UINT icon : {138u, 139u, 140u}) button.AddIcon(icon, GetModuleHandleW(nullptr));
    EnableWindow(button.GetSafeHwnd(), FALSE);
    Pump(100);
    const Capture shot = CaptureWindow(dialog.GetSafeHwnd()).Part(x, y, size, size);
    const Capture white{size, size, std::vector<uint32_t>(static_cast<size_t>(size * size), 0xFFFFFF)};
    EXPECT_EQ(shot.pixels, RenderIcon(white, 140, size).pixels);
    EXPECT_NE(shot.pixels, RenderIcon(white, 138, size).pixels);
    // A missing icon is the skin's failure, with the operation's name.
    try {
        button.AddIcon(7777, GetModuleHandleW(nullptr));
        ADD_FAILURE() << "no exception";
    } catch (CBrxException* e) {
        EXPECT_EQ(e->Function(), "CImageButton::AddIcon");
        EXPECT_EQ(e->File(), "common\\winWidget");
        EXPECT_EQ(static_cast<uint32_t>(e->Code()) & 0xFFFF0000u, 0x80070000u);
        e->Delete();
    }
}

TEST_F(SkinAtDpi, CheckMarkAppearsInItsColourOnClick) {
    CSkinDialog& dialog = Show(4, 0);
    const int size = m_scale.UnitsX(18), x = m_scale.UnitsX(20), y = m_scale.UnitsY(40);
    HWND box = CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | BS_CHECKBOX, x, y, size, size,
                               dialog.GetSafeHwnd(), reinterpret_cast<HMENU>(302), GetModuleHandleW(nullptr),
                               nullptr);
    CCustomCheckbox check;
    ASSERT_TRUE(check.Attach(box));
    Pump(100);
    EXPECT_FALSE(CaptureWindow(dialog.GetSafeHwnd()).Part(x, y, size, size).Contains(skin::kCheckMark));
    PostMessageW(box, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(size / 2, size / 2));
    PostMessageW(box, WM_LBUTTONUP, 0, MAKELPARAM(size / 2, size / 2));
    Pump(150);
    EXPECT_TRUE(check.Checked());
    const Capture shot = CaptureWindow(dialog.GetSafeHwnd()).Part(x, y, size, size);
    SaveForGallery(shot, "checkbox");
    EXPECT_TRUE(shot.Contains(skin::kCheckMark));
    EXPECT_EQ(shot.At(0, 0), skin::kBorder);
}

TEST_F(SkinAtDpi, EditHintShowsInItsColourUntilFocusAndInputIsReported) {
    CSkinDialog& dialog = Show(4, 0);
    const int x = m_scale.UnitsX(20), y = m_scale.UnitsY(30), w = m_scale.UnitsX(160), h = m_scale.UnitsY(34);
    HWND edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, x, y, w, h,
                                dialog.GetSafeHwnd(), reinterpret_cast<HMENU>(303), GetModuleHandleW(nullptr),
                                nullptr);
    SendMessageW(edit, WM_SETFONT, SendMessageW(dialog.GetSafeHwnd(), WM_GETFONT, 0, 0), TRUE);
    CImageEdit field;
    ASSERT_TRUE(field.Attach(edit));
    field.SetScale(m_scale.X());
    field.SetIcon(CImageResource::LoadSharedIcon(IDI_TEST_EDIT, GetModuleHandleW(nullptr)));
    field.SetHint(u"User name");
    Pump(100);
    Capture shot = CaptureWindow(dialog.GetSafeHwnd()).Part(x, y, w, h);
    SaveForGallery(shot, "edit-hint");
    EXPECT_TRUE(field.HintShown());
    EXPECT_TRUE(shot.Contains(skin::kHintText));
    EXPECT_FALSE(shot.Contains(skin::kAccentBlue));
    SetFocus(edit);
    Pump(100);
    shot = CaptureWindow(dialog.GetSafeHwnd()).Part(x, y, w, h);
    SaveForGallery(shot, "edit-focus");
    EXPECT_FALSE(shot.Contains(skin::kHintText));
    EXPECT_TRUE(shot.Contains(skin::kAccentBlue));  // the active frame
    EXPECT_EQ(field.Text(), u"");
    // Typing through the message queue: the parent hears 1041, then 1044 with the id and 1.
    PostMessageW(edit, WM_CHAR, L'a', 1);
    MSG msg;
    std::vector<std::pair<UINT, std::pair<WPARAM, LPARAM>>> heard;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    while (std::chrono::steady_clock::now() < end) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.hwnd == dialog.GetSafeHwnd() && msg.message >= 1041 && msg.message <= 1044) {
                heard.push_back({msg.message, {msg.wParam, msg.lParam}});
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(5);
    }
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[0].first, 1041u);
    EXPECT_EQ(heard[1].first, 1044u);
    EXPECT_EQ(heard[1].second.first, 303u);
    EXPECT_EQ(heard[1].second.second, 1);
    EXPECT_EQ(field.Text(), u"a");
}

TEST_F(SkinAtDpi, BusyPictureTurnsBetweenTicks) {
    CSkinDialog& dialog = Show(4, 0);
    const int size = m_scale.UnitsX(20), x = m_scale.UnitsX(30), y = m_scale.UnitsY(40);
    HWND host =
        CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, x, y, size, size, dialog.GetSafeHwnd(),
                        reinterpret_cast<HMENU>(304), GetModuleHandleW(nullptr), nullptr);
    CRotateStatic busy;
    ASSERT_TRUE(busy.Attach(host));
    auto picture =
        CImageResource::Load(static_cast<UINT>(IDB_TEST_BUSY + m_scale.Level()), GetModuleHandleW(nullptr));
    busy.SetPicture(picture.get(), static_cast<int>(picture->GetWidth()),
                    static_cast<int>(picture->GetHeight()));
    Pump(50);
    const Capture first = CaptureWindow(dialog.GetSafeHwnd()).Part(x, y, size, size);
    SaveForGallery(first, "busy");
    busy.StartTimer(180);
    Pump(260);
    busy.StopTimer();
    Pump(20);
    EXPECT_GE(busy.Angle(), 15);
    EXPECT_NE(CaptureWindow(dialog.GetSafeHwnd()).Part(x, y, size, size).pixels, first.pixels);
    // An empty or missing PNG resource is the skin's failure.
    try {
        CImageResource::Load(7778, GetModuleHandleW(nullptr));
        ADD_FAILURE() << "no exception";
    } catch (CBrxException* e) {
        EXPECT_EQ(e->Function(), "CImageResource::Load");
        EXPECT_EQ(e->File(), "common\\winImage");
        EXPECT_EQ(static_cast<uint32_t>(e->Code()), 0x80070716u);  // resource name not found
        e->Delete();
    }
}

TEST_F(SkinAtDpi, LayerCoversItsWindowWithAlpha114) {
    CSkinDialog& covered = Show(0, 0x1 | 0x2);
    CLayerDlg layer(covered.GetSafeHwnd());
    ASSERT_TRUE(layer.Create());
    layer.Show(true);
    Pump(100);
    BYTE alpha = 0;
    DWORD flags = 0;
    ASSERT_TRUE(GetLayeredWindowAttributes(layer.GetSafeHwnd(), nullptr, &alpha, &flags));
    EXPECT_EQ(alpha, 114);
    EXPECT_TRUE(flags & LWA_ALPHA);
    RECT a, b;
    GetWindowRect(covered.GetSafeHwnd(), &a);
    GetWindowRect(layer.GetSafeHwnd(), &b);
    EXPECT_TRUE(EqualRect(&a, &b));
    layer.DestroyWindow();
}

TEST_F(SkinAtDpi, ToastSitsInTheWorkAreaCornerAndStaysPutWhenShownAgain) {
    CSkinDialog& main = Show(0, 0x1 | 0x2);
    CToastHost host(main.GetSafeHwnd());
    bool restore = true;
    host.ShowToast(&restore);
    Pump(150);
    ASSERT_NE(host.Toast(), nullptr);
    EXPECT_FALSE(restore);
    RECT work, toast;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    GetWindowRect(host.Toast()->GetSafeHwnd(), &toast);
    EXPECT_EQ(toast.right, work.right - 10);
    EXPECT_EQ(toast.bottom, work.bottom - 10);
    SaveForGallery(CaptureWindow(host.Toast()->GetSafeHwnd()), "toast");
    SetWindowPos(host.Toast()->GetSafeHwnd(), nullptr, 5, 5, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    host.ShowToast();
    GetWindowRect(host.Toast()->GetSafeHwnd(), &toast);
    EXPECT_EQ(toast.left, 5);
    // The retry button: disabled, a dot per tick, the main window asked to reconnect.
    HWND retry = GetDlgItem(host.Toast()->GetSafeHwnd(), 1422);
    SendMessageW(host.Toast()->GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(1422, BN_CLICKED),
                 reinterpret_cast<LPARAM>(retry));
    EXPECT_FALSE(IsWindowEnabled(retry));
    MSG msg;
    EXPECT_TRUE(PeekMessageW(&msg, main.GetSafeHwnd(), UM_TOAST_RECONNECT, UM_TOAST_RECONNECT, PM_REMOVE));
    Pump(500);
    wchar_t text[64] = {};
    GetWindowTextW(retry, text, 64);
    EXPECT_EQ(std::wstring(text), L"Retry.");
    host.ResetToast();
    GetWindowTextW(retry, text, 64);
    EXPECT_EQ(std::wstring(text), L"Retry");
    EXPECT_TRUE(IsWindowEnabled(retry));
}

TEST_F(SkinAtDpi, LogListMirrorsItsRowsAndChronometerCounts) {
    CSkinDialog& dialog = Show(4, 0);
    HWND listWindow = CreateWindowExW(
        0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_NOCOLUMNHEADER, m_scale.UnitsX(10),
        m_scale.UnitsY(30), m_scale.UnitsX(220), m_scale.UnitsY(120), dialog.GetSafeHwnd(),
        reinterpret_cast<HMENU>(1040), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(listWindow, WM_SETFONT, SendMessageW(dialog.GetSafeHwnd(), WM_GETFONT, 0, 0), TRUE);
    CSuperListCtrl list;
    ASSERT_TRUE(list.Attach(listWindow));
    CLogListView view(list, nullptr);
    view.AppendLogLine(u"2026-03-01 08:00:00 [INFO] Connected to the gateway\n");
    view.AppendLogLine(
        u"2026-03-01 09:00:00 [ERROR] The link to the gateway was lost, so the client is reconnecting now; "
        u"this "
        u"can take a while when the network is slow, please wait until the connection is back or retry "
        u"later");
    view.AppendLogLine(u"2026-03-01 09:00:01 no level");
    Pump(100);
    ASSERT_EQ(list.RowCount(), static_cast<int>(view.Model().Rows().size()));
    for (int i = 0; i < list.RowCount(); ++i) {
        EXPECT_EQ(list.RowText(i), view.Model().Rows()[static_cast<size_t>(i)].text);
        EXPECT_EQ(list.RowStatus(i), view.Model().Rows()[static_cast<size_t>(i)].status);
    }
    EXPECT_GT(list.RowCount(), 8);  // the long line wrapped
    const Capture shot = CaptureWindow(listWindow);
    SaveForGallery(shot, "loglist");
    EXPECT_TRUE(shot.Contains(skin::kStatusRed));  // the error entry's marker
    // The chronometer: a connection that began 1 day, 2 hours, 3 minutes and 4 seconds ago.
    HWND chronoWindow =
        CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 200, 20, dialog.GetSafeHwnd(),
                        reinterpret_cast<HMENU>(305), GetModuleHandleW(nullptr), nullptr);
    CChronometer chrono;
    ASSERT_TRUE(chrono.Attach(chronoWindow));
    chrono.Start(1033);
    chrono.SetStartTime(static_cast<int64_t>(time(nullptr)) - (86400 + 2 * 3600 + 3 * 60 + 4));
    chrono.Update();
    wchar_t text[64] = {};
    GetWindowTextW(chronoWindow, text, 64);
    EXPECT_EQ(std::wstring(text), L"1 Day 02:03:04");
}

// A plain parent that records the commands its children send.
std::vector<WPARAM>& Commands() {
    static std::vector<WPARAM> commands;
    return commands;
}

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND) Commands().push_back(wParam);
    if (message == WM_DRAWITEM) {
        LRESULT result = 0;
        if (ReflectToControl(window, message, wParam, lParam, result)) return result;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

TEST_F(SkinAtDpi, LinkTakesSpaceAsEnterAndButtonShowsItsHoverTextUntilPressed) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = RecordingProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = L"VeloraSkinRecorder";
    RegisterClassW(&windowClass);
    HWND parent =
        CreateWindowExW(0, L"VeloraSkinRecorder", L"", WS_POPUP | WS_VISIBLE, 0, 0, m_scale.UnitsX(300),
                        m_scale.UnitsY(120), nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(parent, nullptr);
    HWND linkWindow = CreateWindowExW(0, L"BUTTON", L"View All", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 10, 10,
                                      m_scale.UnitsX(80), m_scale.UnitsY(20), parent,
                                      reinterpret_cast<HMENU>(1066), GetModuleHandleW(nullptr), nullptr);
    CHyperlink link;
    ASSERT_TRUE(link.Attach(linkWindow));
    Commands().clear();
    PostMessageW(linkWindow, WM_KEYDOWN, VK_SPACE, 0x00390001);
    PostMessageW(linkWindow, WM_KEYUP, VK_SPACE, static_cast<LPARAM>(0xC0390001u));
    Pump(100);
    ASSERT_EQ(Commands().size(), 1u);
    EXPECT_EQ(Commands()[0], MAKEWPARAM(1066, BN_CLICKED));
    EXPECT_TRUE(link.Visited());

    const int x = 10, y = m_scale.UnitsY(50), w = m_scale.UnitsX(120), h = m_scale.UnitsY(28);
    CImageButton button;
    button.Create(parent, 1067, RECT{x, y, x + w, y + h}, WS_CHILD | WS_VISIBLE);
    SetWindowTextW(button.GetSafeHwnd(), L"Connected");
    button.SetHoverText(u"Disconnect");
    button.SetBackgroundColors(skin::kAccentBlue, skin::kAccentBlue, skin::kAccentBlue, skin::kAccentBlue);
    button.SetTextColor(skin::kWhite);
    Pump(100);
    auto shot = [&] { return CaptureWindow(parent).Part(x, y, w, h); };
    const Capture normal = shot();
    PostMessageW(button.GetSafeHwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    Pump(100);
    const Capture hover = shot();
    SaveForGallery(hover, "button-hover");
    EXPECT_NE(hover.pixels, normal.pixels);  // the hover text replaced "Connected"
    PostMessageW(button.GetSafeHwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    PostMessageW(button.GetSafeHwnd(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    Pump(100);
    EXPECT_EQ(shot().pixels, normal.pixels);  // pressed: its own text again
    EXPECT_EQ(Commands().back(), MAKEWPARAM(1067, BN_CLICKED));
    DestroyWindow(parent);
}

// Timed: one run at 96 DPI is enough for the self-closing rule.
TEST_F(SkinAtDpi, SuccessPromptClosesAfterFourSecondsAndAnErrorPromptStays) {
    CSkinDialog& owner = Show(0, 0x1 | 0x2);
    CTopPromptHost prompts(owner.GetSafeHwnd());
    prompts.ShowPrompt(u"Connected", 1);
    Pump(100);
    ASSERT_NE(prompts.Prompt(), nullptr);
    const Capture shot = CaptureWindow(prompts.Prompt()->GetSafeHwnd());
    SaveForGallery(shot, "prompt-success");
    RECT ownerRect, promptRect;
    GetWindowRect(owner.GetSafeHwnd(), &ownerRect);
    GetWindowRect(prompts.Prompt()->GetSafeHwnd(), &promptRect);
    EXPECT_EQ(promptRect.top - ownerRect.top, 10);
    EXPECT_LE(std::abs((promptRect.left - ownerRect.left) - (ownerRect.right - promptRect.right)), 1);
    if (m_dpi != 96) return;
    Pump(3500);
    EXPECT_NE(prompts.Prompt(), nullptr);
    Pump(800);
    EXPECT_EQ(prompts.Prompt(), nullptr);
    // An error prompt replacing a success prompt whose timer runs: the old timer takes nothing with it.
    prompts.ShowPrompt(u"Connected", 1);
    Pump(2000);
    prompts.ShowPrompt(u"2017 Invalid password", 0);
    Pump(3000);
    ASSERT_NE(prompts.Prompt(), nullptr);
    EXPECT_EQ(prompts.Prompt()->Kind(), 0);
    SaveForGallery(CaptureWindow(prompts.Prompt()->GetSafeHwnd()), "prompt-error");
}

// Not a check: with VELORA_GALLERY_DIR set, every control of the skin in one host window, and the pop-ups
// and dialogs, captured for the contact sheet.
TEST_F(SkinAtDpi, Gallery) {
    if (!std::getenv("VELORA_GALLERY_DIR")) GTEST_SKIP() << "only for the gallery";
    CSkinDialog& host = Show(0, 0x1 | 0x2 | 0x8, IDD_SKIN_HOST);
    HWND window = host.GetSafeHwnd();
    const HMODULE module = GetModuleHandleW(nullptr);
    CImageButton button, icons;
    button.SubclassDlgItem(IDC_HOST_BUTTON, window);
    button.SetRounded(true, 8);
    button.SetGradientFill(true);
    button.SetGradient(skin::kAccentBlue, skin::SkinRgb(40, 120, 240));
    button.SetTextColor(skin::kWhite);
    icons.SubclassDlgItem(IDC_HOST_ICONS, window);
    for (UINT id : {156u, 157u, 158u}) icons.AddIcon(id, module);
    CCustomCheckbox check;
    check.SubclassDlgItem(IDC_HOST_CHECK, window);
    check.SetChecked(true);
    CImageEdit edit, password;
    edit.SubclassDlgItem(IDC_HOST_EDIT, window);
    edit.SetScale(m_scale.X());
    edit.SetIcon(CImageResource::LoadSharedIcon(static_cast<UINT>(IDI_TEST_EDIT + m_scale.Level()), module));
    edit.SetHint(u"User name");
    password.SubclassDlgItem(IDC_HOST_PASSWORD, window);
    password.SetScale(m_scale.X());
    SetWindowTextW(password.GetSafeHwnd(), L"secret");
    CHyperlink link;
    link.SubclassDlgItem(IDC_HOST_LINK, window);
    CChronometer chrono;
    chrono.SubclassDlgItem(IDC_HOST_CHRONO, window);
    chrono.Start(1033);
    chrono.SetStartTime(static_cast<int64_t>(time(nullptr)) - (86400 + 2 * 3600 + 3 * 60 + 4));
    chrono.Update();
    CRotateStatic busy;
    busy.SubclassDlgItem(IDC_HOST_ROTATE, window);
    auto picture = CImageResource::Load(static_cast<UINT>(IDB_TEST_BUSY + m_scale.Level()), module);
    busy.SetPicture(picture.get(), static_cast<int>(picture->GetWidth()),
                    static_cast<int>(picture->GetHeight()));
    CVCenterStatic centred;
    centred.SubclassDlgItem(IDC_HOST_VCENTER, window);
    CSuperListCtrl list;
    list.SubclassDlgItem(IDC_HOST_LIST, window);
    CLogListView log(list, &link);
    log.AppendLogLine(u"2026-03-01 08:00:00 [INFO] Connected to the gateway");
    log.AppendLogLine(u"2026-03-01 08:30:00 [WARN] Heartbeat answered late");
    log.AppendLogLine(u"2026-03-01 09:00:00 [ERROR] The link was lost, the client reconnects now");
    log.AppendLogLine(u"2026-03-02 07:00:00 [NOTICE] A new version is available");
    CRichEditHideCursor rich;
    rich.SubclassDlgItem(IDC_HOST_RICH, window);
    Pump(200);
    SaveForGallery(CaptureWindow(window), "host-controls");
    for (int style : {1, 2, 3, 4})
        SaveForGallery(CaptureWindow(Show(style, 0x1 | 0x2).GetSafeHwnd()), "style" + std::to_string(style));
    CTopPromptHost prompts(window);
    for (int kind : {0, 1, 2, 3}) {
        prompts.ShowPrompt(kind == 0 ? u"2017 Invalid password" : u"Connected to Halvane", kind);
        Pump(100);
        SaveForGallery(CaptureWindow(prompts.Prompt()->GetSafeHwnd()), "prompt-kind" + std::to_string(kind));
    }
    prompts.ClosePrompt();
    CToastHost toast(window);
    toast.ShowToast();
    Pump(150);
    SaveForGallery(CaptureWindow(toast.Toast()->GetSafeHwnd()), "toast");
    CLayerDlg layer(window);
    layer.Create();
    layer.Show(true);
    CDlgStopPrompt stop(layer.GetSafeHwnd(), false);
    CCDlgSwitchAccount switcher(layer.GetSafeHwnd());
    CDlgChangePassSure changed(layer.GetSafeHwnd(), u"Your password was changed. Please sign in again.");
    for (CSkinDialog* dialog : std::initializer_list<CSkinDialog*>{&stop, &switcher, &changed}) {
        ASSERT_TRUE(dialog->Create());
        ShowWindow(dialog->GetSafeHwnd(), SW_SHOW);
    }
    Pump(200);
    SaveForGallery(CaptureWindow(stop.GetSafeHwnd()), "dialog-stop");
    SaveForGallery(CaptureWindow(switcher.GetSafeHwnd()), "dialog-switch-account");
    SaveForGallery(CaptureWindow(changed.GetSafeHwnd()), "dialog-password-changed");
    for (CSkinDialog* dialog : std::initializer_list<CSkinDialog*>{&stop, &switcher, &changed})
        dialog->DestroyWindow();
    layer.DestroyWindow();
}

// The parent: one child process per DPI setting.
TEST(SkinDpiLevels, EveryControlAtTheSixSettings) {
    if (ChildDpi() != 0) GTEST_SKIP() << "already a child";
    HKEY desktop = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &desktop, nullptr),
              ERROR_SUCCESS);
    DWORD previous = 0, size = sizeof previous, type = 0;
    const bool hadValue = RegQueryValueExW(desktop, L"LogPixels", nullptr, &type,
                                           reinterpret_cast<BYTE*>(&previous), &size) == ERROR_SUCCESS;
    const char* filter = std::getenv("VELORA_SKIN_FILTER");
    for (int dpi : kDpiSettings) {
        const DWORD value = static_cast<DWORD>(dpi);
        RegSetValueExW(desktop, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                       sizeof value);
        SetEnvironmentVariableW(L"VELORA_SKIN_DPI", std::to_wstring(dpi).c_str());
        // The gallery is left out: a skipped test in the child's output would mark this test skipped.
        std::wstring command = L"\"" + SelfPath() + L"\" --gtest_filter=SkinAtDpi." +
                               (filter ? std::wstring(filter, filter + std::strlen(filter)) : L"*") +
                               L"-SkinAtDpi.Gallery";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                   &startup, &process));
        const DWORD waited = WaitForSingleObject(process.hProcess, 240000);
        DWORD code = 1;
        if (waited != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        EXPECT_EQ(code, 0u) << "at " << dpi << " DPI";
    }
    SetEnvironmentVariableW(L"VELORA_SKIN_DPI", nullptr);
    if (hadValue)
        RegSetValueExW(desktop, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&previous),
                       sizeof previous);
    else
        RegDeleteValueW(desktop, L"LogPixels");
    RegCloseKey(desktop);
}

}  // namespace
}  // namespace velora
