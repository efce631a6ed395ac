// The top prompt of one owner window: at most one open at a time; showing another closes it first. The
// host listens to the owner's WM_SIZE itself, so the open prompt follows every change of the owner's size.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "ui/prompts/DlgTopPrompt.h"

namespace velora {

class CTopPromptHost {
public:
    explicit CTopPromptHost(HWND owner);
    ~CTopPromptHost();
    // The owner's subclass refers to this object.
    CTopPromptHost(const CTopPromptHost&) = delete;
    CTopPromptHost& operator=(const CTopPromptHost&) = delete;

    void ShowPrompt(const std::u16string& text, int kind);
    // The numbered message's text as the prompt.
    void ShowMessage(uint32_t messageId, int kind);
    void ClosePrompt();
    // The owner changed size (WM_SIZE): the open prompt places itself again.
    void OnOwnerSize();
    // The open prompt, or null once it closed (by itself, its close button or ClosePrompt).
    CDlgTopPrompt* Prompt() const;

private:
    static LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                      DWORD_PTR data);

    HWND m_owner;
    bool m_listening = false;
    std::unique_ptr<CDlgTopPrompt> m_prompt;
};

}  // namespace velora
