// The application object: start, message loop (unused while the program lives in modal windows) and exit.
#include "ui/framework/WinApp.h"

namespace velora {
namespace {
CWinApp* g_app = nullptr;
HINSTANCE g_resourceModule = nullptr;

// The program's file name without folder and extension ("Velora" for Velora.exe).
std::wstring ModuleBaseName() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return L"Velora";
    std::wstring name(path, length);
    const auto slash = name.find_last_of(L"\\/");
    if (slash != std::wstring::npos) name.erase(0, slash + 1);
    const auto dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos && dot > 0) name.erase(dot);
    return name;
}
}  // namespace

CWinApp::CWinApp() {
    // A second application object would silently take over the first one's run.
    if (!g_app) g_app = this;
}

CWinApp::~CWinApp() {
    if (g_app == this) g_app = nullptr;
}

CWinApp* CWinApp::GetApp() {
    return g_app;
}

HINSTANCE CWinApp::ResourceModule() {
    if (g_resourceModule) return g_resourceModule;
    if (g_app && g_app->m_hInstance) return g_app->m_hInstance;
    return GetModuleHandleW(nullptr);
}

void CWinApp::SetResourceModule(HINSTANCE module) {
    g_resourceModule = module;
}

BOOL CWinApp::InitInstance() {
    if (m_appName.empty()) m_appName = ModuleBaseName();
    if (m_profileName.empty()) m_profileName = m_appName;
    return TRUE;
}

int CWinApp::ExitInstance() {
    return 0;
}

void CWinApp::SetRegistryKey(const wchar_t* key) {
    m_registryKey = key ? key : L"";
    if (m_appName.empty()) m_appName = ModuleBaseName();
    m_profileName = m_appName;
}

int CWinApp::RunMessageLoop() {
    MSG message;
    BOOL got;
    while ((got = GetMessageW(&message, nullptr, 0, 0)) != 0) {
        if (got == -1) break;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return got == 0 ? static_cast<int>(message.wParam) : 0;
}

int CWinApp::Run(HINSTANCE instance, const wchar_t* commandLine, int showCommand) {
    CWinApp* app = g_app;
    if (!app) return -1;
    app->m_hInstance = instance;
    app->m_lpCmdLine = commandLine ? commandLine : L"";
    app->m_nCmdShow = showCommand;
    if (!app->InitInstance()) return app->ExitInstance();
    app->RunMessageLoop();
    return app->ExitInstance();
}

}  // namespace velora
