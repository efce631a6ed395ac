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

#include <algorithm>
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
#include "skin_resource.h"
#include "common/winAuto/ControlReflection.h"
#include "common/winImage/ImageResource.h"
#include "common/winWidget/Chronometer.h"
#include "common/winWidget/CustomCheckbox.h"
#include "common/winWidget/Hyperlink.h"
#include "common/winWidget/ImageButton.h"
#include "common/winWidget/ImageButtonAnim.h"
#include "common/winWidget/ImageEdit.h"
#include "common/winWidget/LayerDlg.h"
#include "common/winWidget/RotateStatic.h"
#include "common/winWidget/SkinDialog.h"
#include "common/winWidget/SuperListCtrl.h"
#include "core/BrxException.h"
#include "core/Log.h"
#include "core/WindowMessages.h"
#include "ui/framework/WinApp.h"
#include "common/winWidget/RichEditHideCursor.h"
#include "common/winWidget/VCenterStatic.h"
#include "ui/prompts/DlgChangePassSure.h"
#include "ui/prompts/DlgStopPrompt.h"
#include "ui/prompts/DlgSwitchAccount.h"
#include "ui/prompts/LogListView.h"
#include "ui/prompts/ModalPrompts.h"
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
    // The rule written out per setting: 16 x 1.0, 16 x 1.125 (levels 1) and 16 x 1.5 (levels 2 to 4, 300 %
    // included), with the close row's icons of the level's group; and the icon's own size is the button's,
    // so the image list does not stretch it.
    struct Expected {
        int dpi, size, closeIcon;
    };
    for (const Expected& e : {Expected{96, 16, 138}, Expected{144, 18, 218}, Expected{168, 18, 218},
                              Expected{192, 24, 219}, Expected{240, 24, 219}, Expected{288, 24, 219}}) {
        if (e.dpi != m_dpi) continue;
        EXPECT_EQ(rect.right - rect.left, e.size);
        EXPECT_EQ(skin::CSystemButtonLayout::Icons(0x1, level)[0], e.closeIcon);
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(
            CImageResource::LoadSharedIcon(static_cast<UINT>(e.closeIcon), GetModuleHandleW(nullptr)),
            &info));
        BITMAP bits{};
        GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bits, &bits);
        if (info.hbmColor) DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        EXPECT_EQ(bits.bmWidth, e.size);
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

// Handles everything queued for this thread (paints included) without waiting for more.
void Drain() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// A message a control posted to its parent.
struct Heard {
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    bool operator==(const Heard&) const = default;
};

// Runs the queue for `ms` milliseconds and keeps what reached `target` in [first, last].
std::vector<Heard> PumpHearing(HWND target, UINT first, UINT last, int ms) {
    std::vector<Heard> heard;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.hwnd == target && msg.message >= first && msg.message <= last)
                heard.push_back({msg.message, msg.wParam, msg.lParam});
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(5);
    } while (std::chrono::steady_clock::now() < end);
    return heard;
}

std::vector<std::u16string> RowTexts(const CSuperListCtrl& list) {
    std::vector<std::u16string> rows;
    for (int i = 0; i < list.RowCount(); ++i) rows.push_back(list.RowText(i));
    return rows;
}

// "YYYY-MM-DD" of the local day `days` ago.
std::u16string DateDaysAgo(int days) {
    const time_t then = time(nullptr) - static_cast<time_t>(days) * 86400;
    const tm* local = localtime(&then);
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", local->tm_year + 1900, local->tm_mon + 1,
                  local->tm_mday);
    return std::u16string(text, text + std::strlen(text));
}

TEST_F(SkinAtDpi, BusyButtonTurnsBetweenTicksAndComesBackAfterAFullTurn) {
    CSkinDialog& dialog = Show(4, 0);
    const int w = m_scale.UnitsX(80), h = m_scale.UnitsY(28), x = m_scale.UnitsX(30), y = m_scale.UnitsY(40);
    CImageButtonAnim button;
    button.Create(dialog.GetSafeHwnd(), 306, RECT{x, y, x + w, y + h}, WS_CHILD | WS_VISIBLE);
    button.SetHandCursor(false);
    button.SetRounded(true, 8);
    button.SetBackgroundColors(skin::kAccentBlue, skin::kAccentBlue, skin::kAccentBlue, skin::kAccentBlue);
    button.SetTextColor(skin::kWhite);
    SetWindowTextW(button.GetSafeHwnd(), L"Connect");
    auto picture =
        CImageResource::Load(static_cast<UINT>(IDB_TEST_BUSY + m_scale.Level()), GetModuleHandleW(nullptr));
    Pump(50);
    auto shot = [&] {
        Drain();
        return CaptureWindow(dialog.GetSafeHwnd()).Part(x, y, w, h);
    };
    const Capture idle = shot();
    // Busy without a picture: only the background behind the button, no text.
    button.SetBusy(true);
    EXPECT_FALSE(shot().Contains(skin::kWhite) && shot().Contains(skin::kAccentBlue));
    button.SetBusyPicture(picture.get(), static_cast<int>(picture->GetWidth()),
                          static_cast<int>(picture->GetHeight()));
    std::vector<Capture> frames{shot()};
    SaveForGallery(frames[0], "button-busy");
    EXPECT_NE(frames[0].pixels, idle.pixels);
    EXPECT_EQ(frames[0].At(w / 8, h / 2), skin::kAccentBlue);  // the rounded face in the normal colour
    // One tick of timer 1 at a time, through the queue: every tick turns the picture, 24 make a full turn.
    for (int tick = 1; tick <= 24; ++tick) {
        PostMessageW(button.GetSafeHwnd(), WM_TIMER, CImageButtonAnim::kTimerId, 0);
        frames.push_back(shot());
        EXPECT_NE(frames[static_cast<size_t>(tick)].pixels, frames[static_cast<size_t>(tick - 1)].pixels)
            << "tick " << tick;
    }
    EXPECT_EQ(button.Angle(), 0);
    EXPECT_EQ(frames[24].pixels, frames[0].pixels);
    EXPECT_NE(frames[6].pixels, frames[0].pixels);
    // The owner's timer drives the same turn.
    button.StartTimer(60);
    Pump(200);
    button.StopTimer();
    EXPECT_NE(button.Angle(), 0);
    // Not busy: the ordinary button again.
    button.SetBusy(false);
    EXPECT_EQ(shot().pixels, idle.pixels);
}

// Not bound to the DPI: one run at 96 DPI, about two seconds of watching for the caret's blink.
TEST_F(SkinAtDpi, RichEditShowsNoCaretAfterFocusClicksAndKeys) {
    if (m_dpi != 96) return;
    CSkinDialog& dialog = Show(4, 0);
    const int w = m_scale.UnitsX(140), h = m_scale.UnitsY(40), x = m_scale.UnitsX(10);
    auto make = [&](int y, int id) {
        HWND rich = CreateWindowExW(0, L"RichEdit20W", L"Selectable text",
                                    WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY, x, y, w, h,
                                    dialog.GetSafeHwnd(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                    GetModuleHandleW(nullptr), nullptr);
        SendMessageW(rich, WM_SETFONT, SendMessageW(dialog.GetSafeHwnd(), WM_GETFONT, 0, 0), TRUE);
        return rich;
    };
    HWND plain = make(m_scale.UnitsY(10), 310);
    HWND hiding = make(m_scale.UnitsY(55), 311);
    CRichEditHideCursor rich;
    ASSERT_TRUE(rich.Attach(hiding));
    // Clicked and moved through with the keys: the caret of `window` as the system reports it, and how many
    // different pictures the control shows over two blink periods.
    struct Seen {
        HWND caretWindow = nullptr;
        size_t pictures = 0;
    };
    auto use = [&](HWND window) {
        PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(8, 6));
        PostMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(8, 6));
        PostMessageW(window, WM_KEYDOWN, VK_RIGHT, 0x014D0001);
        PostMessageW(window, WM_KEYUP, VK_RIGHT, static_cast<LPARAM>(0xC14D0001u));
        Pump(100);
        Seen seen;
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(GetCurrentThreadId(), &info);
        seen.caretWindow = info.hwndCaret;
        std::vector<std::vector<uint32_t>> pictures;
        const UINT blink = GetCaretBlinkTime();
        for (int i = 0; i < 12; ++i) {
            Pump(static_cast<int>(blink) / 6 + 1);
            auto picture = CaptureWindow(window).pixels;
            if (std::find(pictures.begin(), pictures.end(), picture) == pictures.end())
                pictures.push_back(std::move(picture));
        }
        seen.pictures = pictures.size();
        return seen;
    };
    const Seen ordinary = use(plain);
    const Seen hidden = use(hiding);
    // What a shown caret looks like here: the ordinary rich edit blinks.
    EXPECT_EQ(GetFocus(), hiding);
    EXPECT_EQ(ordinary.caretWindow, plain);
    EXPECT_GT(ordinary.pictures, 1u);
    // The hiding one has the focus and a caret, but never shows it.
    // (Wine flags a caret as blinking while it exists, shown or hidden: the pictures are what counts.)
    EXPECT_EQ(hidden.caretWindow, hiding);
    EXPECT_EQ(hidden.pictures, 1u);
}

TEST_F(SkinAtDpi, EditTellsItsParentAboutBackspaceAndShowsAPasswordHintInClearText) {
    CSkinDialog& dialog = Show(4, 0);
    const int x = m_scale.UnitsX(20), w = m_scale.UnitsX(160), h = m_scale.UnitsY(34);
    const int yPlain = m_scale.UnitsY(20), yPassword = m_scale.UnitsY(60);
    auto make = [&](int y, int id, DWORD style) {
        HWND edit = CreateWindowExW(
            0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL | style, x, y, w, h, dialog.GetSafeHwnd(),
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
        SendMessageW(edit, WM_SETFONT, SendMessageW(dialog.GetSafeHwnd(), WM_GETFONT, 0, 0), TRUE);
        return edit;
    };
    HWND plainEdit = make(yPlain, 307, 0);
    HWND passwordEdit = make(yPassword, 308, ES_PASSWORD);
    CImageEdit plain, password;
    ASSERT_TRUE(plain.Attach(plainEdit));
    ASSERT_TRUE(password.Attach(passwordEdit));
    for (CImageEdit* field : {&plain, &password}) {
        field->SetScale(m_scale.X());
        field->SetHint(u"Password");
    }
    Pump(100);
    auto part = [&](int y) { return CaptureWindow(dialog.GetSafeHwnd()).Part(x, y, w, h); };
    // Empty and unfocused: the password field shows its hint exactly as an ordinary field does.
    EXPECT_TRUE(password.HintShown());
    EXPECT_EQ(SendMessageW(passwordEdit, EM_GETPASSWORDCHAR, 0, 0), 0);
    const Capture hint = part(yPassword);
    SaveForGallery(hint, "edit-password-hint");
    EXPECT_TRUE(hint.Contains(skin::kHintText));
    EXPECT_EQ(hint.pixels, part(yPlain).pixels);

    // Keys through the queue (Backspace as the keyboard sends it, its character made by the translation)
    // and what the parent hears.
    struct Step {
        HWND field;
        WPARAM key;  // a virtual key, or 0 for a typed character
        wchar_t typed;
        std::vector<Heard> heard;
    };
    const Step steps[] = {
        {plainEdit, VK_BACK, 0, {{1044, 307, 2}}},             // empty: Backspace is reported
        {plainEdit, 0, L'b', {{1041, 0, 0}, {1044, 307, 1}}},  // a change, and text is there
        {plainEdit, VK_BACK, 0, {{1041, 0, 0}}},               // the last character goes: a change
        {plainEdit, VK_BACK, 0, {{1044, 307, 2}}},             // empty again
        {passwordEdit, VK_BACK, 0, {{1044, 308, 2}}},
        {passwordEdit, 0, L'a', {{1042, 0, 0}, {1044, 308, 1}}},  // the password field's own change
        {passwordEdit, VK_BACK, 0, {{1042, 0, 0}}},
        {passwordEdit, VK_BACK, 0, {{1044, 308, 2}}},
        {passwordEdit, 0, L'a', {{1042, 0, 0}, {1044, 308, 1}}},
    };
    int index = 0;
    for (const Step& step : steps) {
        SetFocus(step.field);
        Pump(20);
        if (step.key) {
            PostMessageW(step.field, WM_KEYDOWN, step.key, 0x000E0001);
            PostMessageW(step.field, WM_KEYUP, step.key, static_cast<LPARAM>(0xC00E0001u));
        } else {
            PostMessageW(step.field, WM_CHAR, step.typed, 1);
        }
        EXPECT_EQ(PumpHearing(dialog.GetSafeHwnd(), 1041, 1044, 120), step.heard) << "step " << index;
        ++index;
    }
    // Real input switched the password character on: the same letter no longer looks the same in both.
    EXPECT_NE(SendMessageW(passwordEdit, EM_GETPASSWORDCHAR, 0, 0), 0);
    SetWindowTextW(plainEdit, L"a");
    SetFocus(dialog.GetSafeHwnd());
    Pump(100);
    EXPECT_EQ(password.Text(), u"a");
    EXPECT_NE(part(yPassword).pixels, part(yPlain).pixels);
    SaveForGallery(part(yPassword), "edit-password-typed");
}

// Not bound to the DPI (the corner at each setting is checked above), and timed: one run at 96 DPI.
TEST_F(SkinAtDpi, ToastHidesWhenItsTimeIsUpAndShowingItAgainKeepsItsTimer) {
    if (m_dpi != 96) return;
    CSkinDialog& main = Show(0, 0x1 | 0x2);
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    {
        // The hide timer by its id: its expiry hides the toast; shown again, the toast is in its corner
        // again.
        CToastHost host(main.GetSafeHwnd());
        host.ShowToast();
        Pump(100);
        ASSERT_NE(host.Toast(), nullptr);
        HWND toast = host.Toast()->GetSafeHwnd();
        EXPECT_TRUE(IsWindowVisible(toast));
        PostMessageW(toast, WM_TIMER, CDlgToolbar::kHideTimerId, 0);
        Pump(50);
        EXPECT_FALSE(IsWindowVisible(toast));
        SetWindowPos(toast, nullptr, 5, 5, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        host.ShowToast();
        Pump(50);
        RECT rect;
        GetWindowRect(toast, &rect);
        EXPECT_TRUE(IsWindowVisible(toast));
        EXPECT_EQ(host.Toast()->GetSafeHwnd(), toast);  // kept, not made anew
        EXPECT_EQ(rect.right, work.right - 10);
        EXPECT_EQ(rect.bottom, work.bottom - 10);
    }
    // A toast that stays up 1 s: asking again half-way neither moves it nor gives it another second. The
    // hide timer's tick is taken from the queue, so the time the hiding itself takes does not count.
    CToastHost host(main.GetSafeHwnd(), 1000);
    host.ShowToast();
    const auto shown = std::chrono::steady_clock::now();
    ASSERT_NE(host.Toast(), nullptr);
    HWND toast = host.Toast()->GetSafeHwnd();
    Pump(500);
    SetWindowPos(toast, nullptr, 5, 5, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    host.ShowToast();
    RECT rect;
    GetWindowRect(toast, &rect);
    EXPECT_EQ(rect.left, 5);
    long long tickAt = -1;
    while (tickAt < 0 && std::chrono::steady_clock::now() - shown < std::chrono::seconds(3)) {
        MSG msg;
        while (tickAt < 0 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.hwnd == toast && msg.message == WM_TIMER && msg.wParam == CDlgToolbar::kHideTimerId)
                tickAt = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - shown)
                             .count();
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(5);
    }
    EXPECT_FALSE(IsWindowVisible(toast));
    EXPECT_GE(tickAt, 950);
    EXPECT_LT(tickAt, 1450) << "a restarted timer ticks 1.5 s after the first showing";
}

TEST_F(SkinAtDpi, TopPromptFollowsItsOwnersSizeAndAReplacedPromptKeepsItsOwnTime) {
    CSkinDialog& owner = Show(0, 0x1 | 0x2);
    CTopPromptHost prompts(owner.GetSafeHwnd());
    prompts.ShowPrompt(u"2017 Invalid password", 0);
    Pump(100);
    ASSERT_NE(prompts.Prompt(), nullptr);
    HWND prompt = prompts.Prompt()->GetSafeHwnd();
    // The owner only changes size (as the main window does): the prompt follows by itself.
    for (int width : {m_scale.UnitsX(420), m_scale.UnitsX(240), m_scale.UnitsX(300)}) {
        SetWindowPos(owner.GetSafeHwnd(), nullptr, 0, 0, width, m_scale.UnitsY(160),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        Drain();
        RECT ownerRect, promptRect;
        GetWindowRect(owner.GetSafeHwnd(), &ownerRect);
        GetWindowRect(prompt, &promptRect);
        EXPECT_EQ(ownerRect.right - ownerRect.left, width);
        EXPECT_EQ(promptRect.top - ownerRect.top, 10) << width;
        EXPECT_LE(std::abs((promptRect.left - ownerRect.left) - (ownerRect.right - promptRect.right)), 1)
            << width;
        // The owner's outline follows its size: the border line along its new right edge.
        const Capture shot = CaptureWindow(owner.GetSafeHwnd());
        bool border = false;
        for (int x = shot.width - 3; x < shot.width; ++x)
            border = border || shot.At(x, shot.height / 2) == skin::kBorder;
        EXPECT_TRUE(border) << width;
    }
    if (m_dpi != 96) return;  // timed: once is enough
    // A success prompt replaced by another while its 4 s run: the second one gets its own 4 s.
    prompts.ShowPrompt(u"Connected", 1);
    Pump(2000);
    prompts.ShowPrompt(u"Settings saved", 1);
    Pump(2500);  // 4.5 s after the first one
    ASSERT_NE(prompts.Prompt(), nullptr);
    EXPECT_EQ(prompts.Prompt()->Text(), u"Settings saved");
    Pump(2000);  // 4.5 s after the second one
    EXPECT_EQ(prompts.Prompt(), nullptr);
}

TEST_F(SkinAtDpi, LogListViewAllAndTrimOnOpenThroughTheList) {
    CSkinDialog& dialog = Show(4, 0, IDD_SKIN_WIDE);
    const HFONT font = reinterpret_cast<HFONT>(SendMessageW(dialog.GetSafeHwnd(), WM_GETFONT, 0, 0));
    // The second list only answers for its rows; it stays hidden.
    auto makeList = [&](int id, bool visible) {
        HWND window = CreateWindowExW(
            0, WC_LISTVIEWW, L"", WS_CHILD | (visible ? WS_VISIBLE : 0) | LVS_REPORT | LVS_NOCOLUMNHEADER,
            m_scale.UnitsX(10), m_scale.UnitsY(30), m_scale.UnitsX(300), m_scale.UnitsY(150),
            dialog.GetSafeHwnd(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
            GetModuleHandleW(nullptr), nullptr);
        SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
        return window;
    };
    HWND linkWindow =
        CreateWindowExW(0, L"BUTTON", L"View All", WS_CHILD | WS_VISIBLE, m_scale.UnitsX(10),
                        m_scale.UnitsY(8), m_scale.UnitsX(60), m_scale.UnitsY(16), dialog.GetSafeHwnd(),
                        reinterpret_cast<HMENU>(1066), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(linkWindow, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    CHyperlink link;
    ASSERT_TRUE(link.Attach(linkWindow));
    HWND listWindow = makeList(1040, true);
    CSuperListCtrl list;
    ASSERT_TRUE(list.Attach(listWindow));
    CLogListView view(list, &link);

    // The user log as the file holds it: the first line is passed over, older lines first.
    const std::u16string d0 = DateDaysAgo(0), d1 = DateDaysAgo(1), d3 = DateDaysAgo(3), d14 = DateDaysAgo(14);
    const std::u16string shown[] = {d1 + u" 09:00:00 [INFO] Connected to the gateway\n",
                                    d0 + u" 10:00:00 [ERROR] The link was lost\n"};
    const std::u16string file = u"\n" + DateDaysAgo(20) + u" 08:00:00 [INFO] Too old for the history\n" +
                                d14 + u" 07:00:00 [WARN] Heartbeat answered late\n" + d3 +
                                u" 07:30:00 [INFO] Reconnected after a short break\n" + d3 +
                                u" 07:40:00 [DEBUG] Not for the user\n" + shown[0] + shown[1];
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "velora-log-list";
    std::filesystem::create_directories(folder);
    {
        std::ofstream out(folder / "clientUI.log", std::ios::binary | std::ios::trunc);
        const unsigned char header[] = {0xFF, 0xFE, 0x00, 0x00, 0x0A, 0x00};
        out.write(reinterpret_cast<const char*>(header), sizeof header);
        for (char16_t unit : file) {
            const char bytes[2] = {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
            out.write(bytes, 2);
        }
    }
    const std::wstring logPath = (folder / "clientUI.log").wstring();
    SetLogFilePath(std::u16string(logPath.begin(), logPath.end()));

    // The lines of this session, as UM_LOG_LINE brings them.
    for (const auto& line : shown) view.AppendLogLine(line);
    const std::vector<std::u16string> recent = RowTexts(list);
    const std::vector<std::u16string> wantRecent = {u"", d0, u"", u"The link was lost",        u"10:00:00",
                                                    u"", d1, u"", u"Connected to the gateway", u"09:00:00"};
    ASSERT_EQ(recent, wantRecent);
    Pump(50);

    view.ViewAll();
    Pump(50);
    // The markers are the oldest entry on show; the older lines follow it newest first, under their dates.
    EXPECT_EQ(view.Model().MarkerA(), u"09:00:00");
    EXPECT_EQ(view.Model().MarkerB(), u"Connected to the gateway");
    std::vector<std::u16string> wantAll = wantRecent;
    for (const char16_t* row : {u"", d3.c_str(), u"", u"Reconnected after a short break", u"07:30:00", u"",
                                d14.c_str(), u"", u"Heartbeat answered late", u"07:00:00"})
        wantAll.push_back(row);
    EXPECT_EQ(RowTexts(list), wantAll);
    const int warn = list.RowCount() - 2;
    EXPECT_EQ(list.RowStatus(warn), 3);  // the WARN entry's orange marker
    EXPECT_EQ(list.RowStatus(warn + 1), 8);
    EXPECT_EQ(list.RowStatus(list.RowCount() - 4), 9);
    EXPECT_FALSE(IsWindowEnabled(linkWindow));
    ListView_EnsureVisible(listWindow, list.RowCount() - 1, FALSE);
    Pump(50);
    const Capture all = CaptureWindow(listWindow);
    SaveForGallery(all, "loglist-view-all");
    EXPECT_TRUE(all.Contains(skin::kStatusOrange));
    EXPECT_TRUE(CaptureWindow(linkWindow).Contains(skin::kStatusGrey));

    // The log page opens again: only the recent rows, the link blue and enabled again.
    view.TrimLogOnOpen();
    Pump(50);
    EXPECT_EQ(RowTexts(list), wantRecent);
    EXPECT_TRUE(IsWindowEnabled(linkWindow));
    const Capture blueLink = CaptureWindow(linkWindow);
    EXPECT_TRUE(blueLink.Contains(skin::kAccentBlue));
    EXPECT_FALSE(blueLink.Contains(skin::kStatusGrey));

    // A window open for more than 15 days: the dates that are no longer recent go when the page opens.
    HWND oldWindow = makeList(1041, false);
    CSuperListCtrl oldList;
    ASSERT_TRUE(oldList.Attach(oldWindow));
    CLogListView oldView(oldList, nullptr);
    const std::u16string d16 = DateDaysAgo(16);
    for (const auto& line : {d16 + u" 08:00:00 [INFO] Signed in", shown[0], shown[1]})
        oldView.AppendLogLine(line);
    ASSERT_EQ(oldList.RowCount(), 15);
    oldView.TrimLogOnOpen();
    std::vector<std::u16string> wantKept = wantRecent;
    wantKept.push_back(u"");  // the empty row above the old date stays
    EXPECT_EQ(RowTexts(oldList), wantKept);
    SetLogFilePath(u"");
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

// What the modal test's timer does while one of the small dialogs runs: checks the layer under it, notes
// what it saw and clicks the dialog's button.
struct ModalProbe {
    HWND main = nullptr;
    HWND layer = nullptr;
    int button = 0;                 // the control to click: 1, 2 (the "No" button) or 0 (the close button)
    skin::SkinColor mainPixel = 0;  // the covered window's pixel at `probe` before the layer came
    POINT probe{0, 0};              // in screen coordinates
    int ticks = 0;
    int looks = 0;
    bool seen = false;
    BYTE alpha = 0;
    bool layerVisible = false;
    bool layerOverMain = false;
    bool dialogCentred = false;
    bool dimmed = false;
    bool dialogOnTop = false;
    std::wstring question;
};
ModalProbe* g_probe = nullptr;

BOOL CALLBACK FindOwned(HWND window, LPARAM found) {
    if (IsWindowVisible(window) && GetWindow(window, GW_OWNER) == g_probe->layer) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK FindButton(HWND child, LPARAM found) {
    const int id = GetDlgCtrlID(child);
    const bool named = GetWindowTextLengthW(child) > 0;
    if ((g_probe->button == 1 && id == IDOK) || (g_probe->button == 2 && id == IDCANCEL && named) ||
        (g_probe->button == 0 && id == IDCANCEL && !named)) {
        *reinterpret_cast<HWND*>(found) = child;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK ProbeModal(HWND, UINT, UINT_PTR timer, DWORD) {
    ModalProbe& probe = *g_probe;
    HWND dialog = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindOwned, reinterpret_cast<LPARAM>(&dialog));
    if (!dialog && ++probe.ticks > 100) {
        // Nothing showed within 3 s: end whatever runs modally, so the test fails instead of hanging.
        KillTimer(nullptr, timer);
        if (HWND active = GetActiveWindow()) PostMessageW(active, WM_COMMAND, IDCANCEL, 0);
        return;
    }
    if (!dialog || probe.seen) return;
    if (probe.looks++ == 0)
        RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    probe.layerVisible = IsWindowVisible(probe.layer) != FALSE;
    DWORD flags = 0;
    GetLayeredWindowAttributes(probe.layer, nullptr, &probe.alpha, &flags);
    RECT main, layer, self;
    GetWindowRect(probe.main, &main);
    GetWindowRect(probe.layer, &layer);
    GetWindowRect(dialog, &self);
    probe.layerOverMain = EqualRect(&main, &layer) != FALSE;
    probe.dialogCentred = std::abs((self.left - layer.left) - (layer.right - self.right)) <= 1 &&
                          std::abs((self.top - layer.top) - (layer.bottom - self.bottom)) <= 1;
    // On the screen: the covered window darker (Wine shows the layer black, Windows blends it at 114/255),
    // the dialog itself undimmed above it.
    HDC screen = GetDC(nullptr);
    const COLORREF under = GetPixel(screen, probe.probe.x, probe.probe.y);
    const COLORREF face = GetPixel(screen, self.left + 4, (self.top + self.bottom) / 2);
    ReleaseDC(nullptr, screen);
    auto darker = [](int now, int before) { return now <= before * 141 / 255 + 2; };
    probe.dimmed = under != probe.mainPixel && darker(GetRValue(under), skin::RedOf(probe.mainPixel)) &&
                   darker(GetGValue(under), skin::GreenOf(probe.mainPixel)) &&
                   darker(GetBValue(under), skin::BlueOf(probe.mainPixel));
    probe.dialogOnTop = face == skin::kWhite;
    // The screen follows the windows' own pictures a little later: look again for up to a second.
    if (!(probe.dimmed && probe.dialogOnTop) && probe.looks < 30) return;
    probe.seen = true;
    KillTimer(nullptr, timer);
    wchar_t text[256] = {};
    GetDlgItemTextW(dialog, IDC_STOP_QUESTION, text, 256);
    probe.question = text;
    screen = GetDC(nullptr);
    SaveForGallery(CaptureDc(screen, main.right, main.bottom), "modal-over-layer");
    ReleaseDC(nullptr, screen);
    HWND button = nullptr;
    EnumChildWindows(dialog, FindButton, reinterpret_cast<LPARAM>(&button));
    if (!button) {
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);  // ends the dialog; the test sees the missing button
        return;
    }
    PostMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    PostMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
}

TEST_F(SkinAtDpi, SmallDialogsRunModallyOverTheDimmingLayer) {
    CSkinDialog& main = Show(0, 0x1 | 0x2, IDD_SKIN_WIDE);
    RECT mainRect;
    GetWindowRect(main.GetSafeHwnd(), &mainRect);
    CLayerDlg layer(main.GetSafeHwnd());
    ASSERT_TRUE(layer.Create());
    // A point of the blue band that no dialog covers.
    const POINT probePoint{mainRect.left + m_scale.UnitsX(20), mainRect.top + m_scale.UnitsY(20)};
    HDC screen = GetDC(nullptr);
    const COLORREF before = GetPixel(screen, probePoint.x, probePoint.y);
    ReleaseDC(nullptr, screen);
    ASSERT_EQ(before, skin::kAccentBlue);

    enum class Which { Stop, Quit, SwitchAccount, PasswordChanged };
    struct Case {
        Which which;
        int button;
        bool confirmed;
    };
    const Case cases[] = {
        {Which::Stop, 1, true},          {Which::Stop, 2, false},          {Which::Quit, 0, false},
        {Which::SwitchAccount, 1, true}, {Which::SwitchAccount, 0, false}, {Which::PasswordChanged, 1, true},
    };
    for (const Case& c : cases) {
        ModalProbe probe;
        probe.main = main.GetSafeHwnd();
        probe.layer = layer.GetSafeHwnd();
        probe.button = c.button;
        probe.mainPixel = before;
        probe.probe = probePoint;
        g_probe = &probe;
        const UINT_PTR timer = SetTimer(nullptr, 0, 30, ProbeModal);
        bool confirmed = true;
        switch (c.which) {
            case Which::Stop:
            case Which::Quit:
                confirmed = AskStop(layer, c.which == Which::Quit);
                break;
            case Which::SwitchAccount:
                confirmed = AskSwitchAccount(layer);
                break;
            case Which::PasswordChanged:
                ShowPasswordChanged(layer, u"Your password was changed. Please sign in again.");
                break;
        }
        KillTimer(nullptr, timer);
        g_probe = nullptr;
        const int index = static_cast<int>(&c - cases);
        ASSERT_TRUE(probe.seen) << index;
        EXPECT_EQ(confirmed, c.confirmed) << index;
        EXPECT_TRUE(probe.layerVisible) << index;
        EXPECT_EQ(probe.alpha, 114) << index;
        EXPECT_TRUE(probe.layerOverMain) << index;
        EXPECT_TRUE(probe.dialogCentred) << index;
        EXPECT_TRUE(probe.dimmed) << index;
        EXPECT_TRUE(probe.dialogOnTop) << index;
        if (c.which == Which::Stop) {
            EXPECT_EQ(probe.question, L"Are you sure to stop Halvane?");
        }
        if (c.which == Which::Quit) {
            EXPECT_EQ(probe.question, L"Are you sure to quit the application?");
        }
        // Afterwards the layer is gone and the window shows undimmed (on the screen within a second).
        EXPECT_FALSE(IsWindowVisible(layer.GetSafeHwnd())) << index;
        COLORREF after = 0;
        for (int look = 0; look < 30 && after != before; ++look) {
            Pump(30);
            screen = GetDC(nullptr);
            after = GetPixel(screen, probePoint.x, probePoint.y);
            ReleaseDC(nullptr, screen);
        }
        EXPECT_EQ(after, before) << index;
    }
    layer.DestroyWindow();
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
    CImageButtonAnim busyButton;
    busyButton.SubclassDlgItem(IDC_HOST_BUSY, window);
    busyButton.SetRounded(true, 8);
    busyButton.SetBackgroundColors(skin::kWhite, skin::kWhite, skin::kWhite, skin::kWhite);
    busyButton.SetBusyPicture(picture.get(), static_cast<int>(picture->GetWidth()),
                              static_cast<int>(picture->GetHeight()));
    busyButton.SetBusy(true);
    for (int tick = 0; tick < 3; ++tick)
        PostMessageW(busyButton.GetSafeHwnd(), WM_TIMER, CImageButtonAnim::kTimerId, 0);
    Pump(200);
    RECT busyRect;
    GetWindowRect(busyButton.GetSafeHwnd(), &busyRect);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&busyRect), 2);
    SaveForGallery(CaptureWindow(window).Part(busyRect.left, busyRect.top, busyRect.right - busyRect.left,
                                              busyRect.bottom - busyRect.top),
                   "button-busy");
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
    // The host under its layer with the last dialog on top, as the screen shows it (Wine draws the layer
    // black: it does not blend a layered window's alpha).
    RECT hostRect;
    GetWindowRect(window, &hostRect);
    HDC screen = GetDC(nullptr);
    SaveForGallery(CaptureDc(screen, hostRect.right, hostRect.bottom), "layer-with-dialog");
    ReleaseDC(nullptr, screen);
    for (CSkinDialog* dialog : std::initializer_list<CSkinDialog*>{&stop, &switcher, &changed})
        dialog->DestroyWindow();
    layer.DestroyWindow();
}

// Wine's X11 driver, in its managed mode, waits about 2 s for a window manager whenever a window it hands
// to one is hidden or ends; the test screen has none. While it lives, the programs started afterwards run
// with that mode off (the prefix's setting comes back afterwards).
class CUnmanagedWindows {
public:
    CUnmanagedWindows() {
        if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\X11 Driver", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &m_key, nullptr) != ERROR_SUCCESS) {
            m_key = nullptr;
            return;
        }
        wchar_t value[64] = {};
        DWORD size = sizeof value - sizeof(wchar_t), type = 0;
        m_had = RegQueryValueExW(m_key, kName, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
                    ERROR_SUCCESS &&
                type == REG_SZ;
        if (m_had) m_previous = value;
        Set(L"N");
    }
    ~CUnmanagedWindows() {
        if (!m_key) return;
        if (m_had)
            Set(m_previous);
        else
            RegDeleteValueW(m_key, kName);
        RegCloseKey(m_key);
    }
    CUnmanagedWindows(const CUnmanagedWindows&) = delete;
    CUnmanagedWindows& operator=(const CUnmanagedWindows&) = delete;

private:
    static constexpr const wchar_t* kName = L"Managed";
    void Set(const std::wstring& value) {
        RegSetValueExW(m_key, kName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }

    HKEY m_key = nullptr;
    bool m_had = false;
    std::wstring m_previous;
};

// The parent: one child process per DPI setting.
TEST(SkinDpiLevels, EveryControlAtTheSixSettings) {
    if (ChildDpi() != 0) GTEST_SKIP() << "already a child";
    const CUnmanagedWindows unmanaged;
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
