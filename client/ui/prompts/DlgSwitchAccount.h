// "Switch account?": confirms signing out to sign in with another account.
#pragma once
#include "common/winWidget/ImageButton.h"
#include "common/winWidget/SkinDialog.h"

namespace velora {

class CCDlgSwitchAccount : public CSkinDialog {
public:
    explicit CCDlgSwitchAccount(HWND parent);

protected:
    BOOL OnInitDialog() override;

private:
    CImageButton m_yes;
    CImageButton m_no;
};

}  // namespace velora
