// The main window run in this process (its template loaded from Velora.exe): it is the application's
// main window while open, shows the log lines posted to it in order, and leaves the dialog manager's own
// use of the same message number alone.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "core/WindowMessages.h"
#include "platform/Messenger.h"
#include "resource.h"
#include "ui/framework/WinApp.h"
#include "ui/main/MainDlg.h"

namespace {

std::wstring VeloraPath() {
    wchar_t path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, n);
    return folder.substr(0, folder.find_last_of(L"\\/")) + L"\\Velora.exe";
}

template <typename Condition>
bool WaitUntil(Condition condition, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        Sleep(20);
    }
    return true;
}

std::wstring ListText(HWND list, int index) {
    const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, index, 0);
    if (length == LB_ERR) return L"<none>";
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    SendMessageW(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    return text;
}

class MainWindowTest : public testing::Test {
protected:
    void SetUp() override {
        m_resources = LoadLibraryExW(VeloraPath().c_str(), nullptr,
                                     LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(m_resources, nullptr) << "Velora.exe is missing next to the test";
        velora::CWinApp::SetResourceModule(m_resources);
        m_thread = std::thread([this] {
            velora::CMainDlg window;
            m_result = window.DoModal();
        });
        // The dialog exists a moment before its controls do, and is shown only once it has initialised:
        // wait for both.
        ASSERT_TRUE(WaitUntil(
            [this] {
                m_window = OwnWindow();
                m_list = m_window ? GetDlgItem(m_window, IDC_LOG_LIST) : nullptr;
                return m_list != nullptr && IsWindowVisible(m_window);
            },
            20000));
    }

    void TearDown() override {
        if (m_window && IsWindow(m_window)) PostMessageW(m_window, WM_CLOSE, 0, 0);
        if (m_thread.joinable()) m_thread.join();
        velora::CWinApp::SetResourceModule(nullptr);
        if (m_resources) FreeLibrary(m_resources);
    }

    // The main window of this process (another program's window may carry the same title).
    static HWND OwnWindow() {
        for (HWND w = FindWindowW(L"#32770", L"Halvane"); w;
             w = FindWindowExW(nullptr, w, L"#32770", L"Halvane")) {
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            if (pid == GetCurrentProcessId()) return w;
        }
        return nullptr;
    }

    HMODULE m_resources = nullptr;
    std::thread m_thread;
    INT_PTR m_result = 0;
    HWND m_window = nullptr;
    HWND m_list = nullptr;
};

TEST_F(MainWindowTest, ShowsPostedLogLinesInOrderWhileItIsTheMainWindow) {
    EXPECT_EQ(platform::MainWindow(), m_window);

    const std::vector<std::u16string> lines = {
        u"2026-01-02 03:04:05 [INFO] first",
        u"2026-01-02 03:04:06 [WARN] \u8fde\u63a5\u5df2\u65ad\u5f00",
        u"",
        std::u16string(5000, u'x'),
    };
    for (const auto& line : lines) {
        // The window owns and frees each text.
        ASSERT_TRUE(PostMessageW(m_window, velora::UM_LOG_LINE, 0,
                                 reinterpret_cast<LPARAM>(new std::u16string(line))));
    }
    ASSERT_TRUE(WaitUntil(
        [&] { return SendMessageW(m_list, LB_GETCOUNT, 0, 0) == static_cast<LRESULT>(lines.size()); },
        10000));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(ListText(m_list, static_cast<int>(i)), std::wstring(lines[i].begin(), lines[i].end())) << i;
    }

    PostMessageW(m_window, WM_CLOSE, 0, 0);
    m_thread.join();
    EXPECT_EQ(m_result, IDCANCEL);
    EXPECT_EQ(platform::MainWindow(), nullptr);
}

TEST_F(MainWindowTest, DefaultButtonMessageSharingTheLogNumberStillWorks) {
    // DM_SETDEFID has the log message's number; it carries no text and must reach the dialog manager.
    static_assert(DM_SETDEFID == velora::UM_LOG_LINE);
    SendMessageW(m_window, DM_SETDEFID, IDCANCEL, 0);
    EXPECT_EQ(LOWORD(SendMessageW(m_window, DM_GETDEFID, 0, 0)), IDCANCEL);
    EXPECT_EQ(SendMessageW(m_list, LB_GETCOUNT, 0, 0), 0);
}

}  // namespace
