// The user log reaching a real window: a hidden main window with its log list (control 1040) receives
// UM_LOG_LINE from the queue and live, from any thread; the messenger's window calls; message texts
// from the client library's own string tables.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "core/Log.h"
#include "core/WindowMessages.h"
#include "platform/Messages.h"
#include "platform/Messenger.h"
#include "support/LogFiles.h"

namespace velora {
namespace {

constexpr UINT kAnswerMe = WM_APP + 7;
std::vector<std::u16string> g_received;

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == UM_LOG_LINE) {
        auto* line = reinterpret_cast<std::u16string*>(lParam);
        EXPECT_EQ(wParam, 0u);
        g_received.push_back(*line);
        delete line;  // the window owns the text
        return 0;
    }
    if (message == kAnswerMe) return static_cast<LRESULT>(wParam * 2);
    return DefWindowProcW(window, message, wParam, lParam);
}

// A hidden top-level window with one child control.
class CTestWindow {
public:
    explicit CTestWindow(int childId) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = MainProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"VeloraLogTestWindow";
        RegisterClassW(&wc);  // a second registration fails harmlessly
        window_ = CreateWindowExW(0, wc.lpszClassName, L"log test", WS_OVERLAPPEDWINDOW, 0, 0, 200, 200,
                                  nullptr, nullptr, wc.hInstance, nullptr);
        if (window_) {
            CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 50, 50, window_,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(childId)), wc.hInstance, nullptr);
        }
    }
    ~CTestWindow() {
        if (window_) DestroyWindow(window_);
    }
    CTestWindow(const CTestWindow&) = delete;
    CTestWindow& operator=(const CTestWindow&) = delete;
    HWND get() const { return window_; }
    void Destroy() { DestroyWindow(window_); }

private:
    HWND window_ = nullptr;
};

// Runs the message loop until `count` lines arrived or the time is up.
void PumpUntil(std::size_t count, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    MSG msg;
    while (g_received.size() < count && GetTickCount64() < deadline) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (g_received.size() < count) MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

std::vector<std::u16string> FileLines(std::u16string_view path) {
    const std::u16string text = test::FromUtf16Le(test::ReadBytes(path), test::kLogHeader.size());
    std::vector<std::u16string> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find(u'\n', at) + 1;
        lines.push_back(text.substr(at, end - at));
        at = end;
    }
    return lines;
}

class LogWindowWin : public testing::Test {
protected:
    void SetUp() override {
        StartLog(nullptr);
        path_ = scratch_.Path(u"window.log");
        test::WriteBytes(path_, test::kLogHeader);
        SetLogFilePath(path_);
        platform::SetMainWindow(nullptr);
        FlushPendingLogLines();
        g_received.clear();
    }
    void TearDown() override { platform::SetMainWindow(nullptr); }

    test::CScratchFolder scratch_;
    std::u16string path_;
};

TEST_F(LogWindowWin, QueuedThenLiveLinesArriveInOrder) {
    LogAtLevel(u"before the window", kLogInfo);
    LogDebug(u"file only");
    CTestWindow main(kLogListControlId);
    ASSERT_NE(main.get(), nullptr);
    platform::SetMainWindow(main.get());
    FlushPendingLogLines();
    LogFormat(u"file only, formatted %d", 3);
    LogAtLevel(FormatText(u"live %d", 2), kLogWarn);
    std::thread([] { LogAtLevel(u"from a worker", kLogError); }).join();

    PumpUntil(3, 5000);
    const auto file = FileLines(path_);
    ASSERT_EQ(file.size(), 5u);
    EXPECT_EQ(g_received, (std::vector<std::u16string>{file[0], file[3], file[4]}));
}

TEST_F(LogWindowWin, AWindowWithoutTheLogListGetsNothing) {
    CTestWindow other(1041);
    ASSERT_NE(other.get(), nullptr);
    platform::SetMainWindow(other.get());
    LogAtLevel(u"queued", kLogInfo);
    FlushPendingLogLines();  // no log list: the queue is dropped
    PumpUntil(1, 300);
    EXPECT_TRUE(g_received.empty());
}

TEST(MessengerWin, WindowCalls) {
    CTestWindow window(kLogListControlId);
    ASSERT_NE(window.get(), nullptr);
    EXPECT_TRUE(platform::WindowExists(window.get()));
    EXPECT_TRUE(platform::WindowHasControl(window.get(), kLogListControlId));
    EXPECT_FALSE(platform::WindowHasControl(window.get(), 1002));
    EXPECT_EQ(platform::SendWindowMessage(window.get(), kAnswerMe, 21, 0), 42);
    EXPECT_FALSE(platform::PostWindowMessage(nullptr, kAnswerMe, 0, 0));
    EXPECT_EQ(platform::SendWindowMessage(nullptr, kAnswerMe, 21, 0), 0);
    window.Destroy();
    EXPECT_FALSE(platform::WindowExists(window.get()));
    EXPECT_FALSE(platform::WindowHasControl(window.get(), kLogListControlId));
    EXPECT_FALSE(platform::PostWindowMessage(window.get(), kAnswerMe, 0, 0));
}

TEST(MessagesWin, TextsFromTheClientLibrary) {
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring dll(exe);
    dll = dll.substr(0, dll.find_last_of(L"\\/") + 1) + L"Velora.dll";
    EXPECT_FALSE(platform::SetMessageModule(u"Velora.dll")) << "not loaded yet";
    HMODULE library = LoadLibraryW(dll.c_str());
    ASSERT_NE(library, nullptr);
    EXPECT_TRUE(platform::SetMessageModule(u"Velora.dll"));
    platform::SetMessageLanguage(0x0804);
    const std::u16string chinese = MessageText(260);
    platform::SetMessageLanguage(0x0409);
    const std::u16string english = MessageText(260);
    EXPECT_FALSE(english.empty());
    EXPECT_FALSE(chinese.empty());
    EXPECT_NE(chinese, english);
    platform::SetMessageModule(nullptr);
    FreeLibrary(library);
}

}  // namespace
}  // namespace velora
