// The settings the client keeps, each with the one kind it is stored as. The store looks a name up here
// before every read and write, so an encoded value can never be read as plain (or a number as text) by
// picking the wrong getter.
#pragma once
#include <optional>
#include <span>
#include <string_view>

namespace velora {

// How a setting is stored: AES-encoded text, plain text, 32-bit integer or binary value.
enum class SettingKind { Encoded, Plain, Integer, Binary };

struct SettingKey {
    std::u16string_view name;
    SettingKind kind;
};

// Every listed setting, in no particular order.
std::span<const SettingKey> SettingKeys();
// The kind of a listed setting; nothing for a name the table does not list (those keep the kind the
// caller's getter implies).
std::optional<SettingKind> FindSettingKind(std::u16string_view name);

}  // namespace velora
