// The top prompt of one owner window: at most one open at a time; showing another closes it first.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "ui/prompts/DlgTopPrompt.h"

namespace velora {

class CTopPromptHost {
public:
    explicit CTopPromptHost(HWND owner) : m_owner(owner) {}
    ~CTopPromptHost();

    void ShowPrompt(const std::u16string& text, int kind);
    // The numbered message's text as the prompt.
    void ShowMessage(uint32_t messageId, int kind);
    void ClosePrompt();
    // The owner changed size (WM_SIZE): the open prompt places itself again.
    void OnOwnerSize();
    // The open prompt, or null once it closed (by itself, its close button or ClosePrompt).
    CDlgTopPrompt* Prompt() const;

private:
    HWND m_owner;
    std::unique_ptr<CDlgTopPrompt> m_prompt;
};

}  // namespace velora
