// What a start of the program decides without touching the window system: the arguments of its command
// line, and what a second start leaves in the settings for the copy that already runs.
#pragma once
#include <string_view>

namespace velora {

// The command line without the program name, as the C runtime hands it to the program entry: a quoted
// name ends at the next quote, an unquoted one at the first blank or control character; the blanks
// that follow are skipped too.
std::u16string_view CommandArguments(std::u16string_view commandLine);

// True when the arguments carry the browser's sign-in redirection ("com.halvane://redirect...").
bool IsBrowserRedirect(std::u16string_view arguments);

// A second start stores its arguments as the plain text "OauthDebugRet" and, for a browser
// redirection, also as the encrypted setting "OauthBrowerRet". Returns true when the running copy must
// be woken (only a redirection gives it a new sign-in result to read).
bool StoreSecondStartHandOver(std::u16string_view arguments);

}  // namespace velora
