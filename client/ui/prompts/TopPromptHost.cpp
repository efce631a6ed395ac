// Top prompts of an owner window.
#include "ui/prompts/TopPromptHost.h"

#include <commctrl.h>

#include "core/Log.h"

namespace velora {

namespace {
constexpr UINT_PTR kOwnerSubclassId = 0x70;
}

CTopPromptHost::CTopPromptHost(HWND owner) : m_owner(owner) {
    m_listening = owner && SetWindowSubclass(owner, &CTopPromptHost::OwnerProc, kOwnerSubclassId,
                                             reinterpret_cast<DWORD_PTR>(this));
}

CTopPromptHost::~CTopPromptHost() {
    ClosePrompt();
    if (m_listening) RemoveWindowSubclass(m_owner, &CTopPromptHost::OwnerProc, kOwnerSubclassId);
}

LRESULT CALLBACK CTopPromptHost::OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                           DWORD_PTR data) {
    auto* host = reinterpret_cast<CTopPromptHost*>(data);
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(window, &CTopPromptHost::OwnerProc, kOwnerSubclassId);
        host->m_listening = false;
        return DefSubclassProc(window, message, wParam, lParam);
    }
    const LRESULT result = DefSubclassProc(window, message, wParam, lParam);
    // The owner has its new size by now; the prompt places itself against it.
    if (message == WM_SIZE && wParam != SIZE_MINIMIZED) host->OnOwnerSize();
    return result;
}

void CTopPromptHost::ShowPrompt(const std::u16string& text, int kind) {
    ClosePrompt();
    m_prompt = std::make_unique<CDlgTopPrompt>(m_owner, text, kind);
    if (!m_prompt->Create()) {
        m_prompt.reset();
        return;
    }
    ShowWindow(m_prompt->GetSafeHwnd(), SW_SHOWNOACTIVATE);
}

void CTopPromptHost::ShowMessage(uint32_t messageId, int kind) {
    ShowPrompt(MessageText(messageId), kind);
}

void CTopPromptHost::ClosePrompt() {
    // A prompt that closed itself left its object here; it goes now.
    if (m_prompt) m_prompt->Close();
    m_prompt.reset();
}

void CTopPromptHost::OnOwnerSize() {
    if (CDlgTopPrompt* prompt = Prompt()) prompt->Place();
}

CDlgTopPrompt* CTopPromptHost::Prompt() const {
    return m_prompt && m_prompt->IsOpen() ? m_prompt.get() : nullptr;
}

}  // namespace velora
