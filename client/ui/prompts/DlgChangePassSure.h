// "Your password was changed": a text and an OK button, without a close button.
#pragma once
#include <string>

#include "common/winWidget/ImageButton.h"
#include "common/winWidget/SkinDialog.h"

namespace velora {

class CDlgChangePassSure : public CSkinDialog {
public:
    CDlgChangePassSure(HWND parent, std::u16string text);

protected:
    BOOL OnInitDialog() override;

private:
    std::u16string m_text;
    CImageButton m_ok;
};

}  // namespace velora
