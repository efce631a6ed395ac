// Field readers over the service's JSON answers. Answers are never parsed into a tree: a value is cut
// out of the text by key with fixed delimiters, and every caller relies on exactly these cutting rules
// (for instance, a number read as a text runs on to the next quotation mark that ends a value). Each
// reader returns its default when the value cannot be found; none of them ever fails or throws.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace velora {

// The text between the quotes of the key's value, blanks at both ends removed; escapes are left as
// they are (see UnescapeText).
std::u16string GetStringField(std::u16string_view answer, std::u16string_view key,
                              std::u16string_view defaultValue);

// The key's value up to the next "," (else "}") as a decimal number; a quoted number reads as 0.
int32_t GetIntField(std::u16string_view answer, std::u16string_view key, int32_t defaultValue);

// 1 for true and 0 for false (either in any letter case), otherwise the default.
uint8_t GetBoolField(std::u16string_view answer, std::u16string_view key, uint8_t defaultValue);

// The inside of the first array after the key, with every quotation mark removed ("a","b" -> a,b).
std::u16string GetArrayField(std::u16string_view answer, std::u16string_view key,
                             std::u16string_view defaultValue);

// From the key itself up to and including the brace that closes the first object after it.
std::u16string GetObjectField(std::u16string_view answer, std::u16string_view key,
                              std::u16string_view defaultValue);

// The inside of the first array after the key, from its first "{" to just before the first "]".
std::u16string GetFirstArrayObject(std::u16string_view answer, std::u16string_view key,
                                   std::u16string_view defaultValue);

// The text with the key's string value replaced by "***" (for logging texts that hold secrets).
std::u16string MaskStringField(std::u16string_view text, std::u16string_view key);

}  // namespace velora
