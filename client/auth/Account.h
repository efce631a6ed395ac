// Account operations around the sign-in: password change, sign-out at the service, the privacy-policy
// consent and the date line of the privacy dialog.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/Kernel.h"
#include "platform/Types.h"

namespace velora {

constexpr uint16_t kLanguageChinese = 0x0804;  // 2052
constexpr int32_t kNoAuthToken = 112;          // UM_CONNECT_RESULT when no token is stored

// The date line for a privacy version "YYYYMMDD" in the user interface language; empty when the version
// is not 8 characters or (English) its month is not 1 to 12.
std::u16string privacyDateText(std::u16string_view version, uint16_t uiLanguage);

// The user accepted the privacy dialog: `agreeToPrivacy` is set, and the consent is stored with the
// version fetched at the start of the sign-in ("newest" when none was known).
void AcceptPrivacyPolicy();
// Whether the stored consent lets a sign-in start without the dialog.
bool PrivacyPolicyAccepted();

// The password-change worker body: reports to `mainWindow` with UM_PASSWORD_CHANGED (or
// UM_CONNECT_RESULT 112 without a stored token). The passwords are encrypted as typed; the clear body
// carries them JSON-escaped.
void changePassword(std::u16string_view oldPassword, std::u16string_view newPassword,
                    platform::WindowHandle mainWindow);
std::unique_ptr<platform::Thread> StartChangePassword(std::u16string oldPassword, std::u16string newPassword,
                                                      platform::WindowHandle mainWindow, uint32_t& error);

// Sign-out at the service; with `forgetToken` the stored token is emptied first, whatever the outcome.
void signOut(bool forgetToken);
std::unique_ptr<platform::Thread> StartSignOut(bool forgetToken, uint32_t& error);

}  // namespace velora
