// Reading the redirect URL that the browser hands back after an external sign-in.
#pragma once
#include <string>
#include <string_view>

namespace velora {

// The value of a redirect parameter: the name is found anywhere in the URL, the value starts one
// character after it (past the "=") and runs to the next "&" or the end; then "%20" becomes a blank and
// "%27" an apostrophe, and nothing else is decoded. Empty when the name is empty or absent.
std::u16string RedirectParameter(std::u16string_view url, std::u16string_view name);

// True when the URL holds the parameter name at all (the code exchange starts only then).
bool RedirectHasParameter(std::u16string_view url, std::u16string_view name);

// Whether the redirect belongs to our request: when the request carried the state ("%state" in the
// reqQuery text or in the state parameter's value), the state value must occur in the returned URL.
bool RedirectStateMatches(std::u16string_view url, std::u16string_view reqQueryText,
                          std::u16string_view stateParamText, std::u16string_view state);

}  // namespace velora
