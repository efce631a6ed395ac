// Top prompts of an owner window.
#include "ui/prompts/TopPromptHost.h"

#include "core/Log.h"

namespace velora {

CTopPromptHost::~CTopPromptHost() {
    ClosePrompt();
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
