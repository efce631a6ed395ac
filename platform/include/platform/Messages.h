// Numbered message texts by ID: the string tables of the resource module on Windows, the table
// generated from the catalogue on the host.
#pragma once
#include <cstdint>
#include <string>

namespace platform {

// Selects the module whose string tables hold the texts (null: the program's own module). Returns
// false when the named module is not loaded; the program's own module is used then.
bool SetMessageModule(const char16_t* moduleName);

// False when the text is missing or cannot be loaded.
bool LoadMessage(uint32_t id, std::u16string& text);

// Language of the texts that any thread loads from now on: 0x0409 English (default) or 0x0804
// Chinese; a text missing in that language comes in English. On Windows this also sets the calling
// thread's UI language (until it is called, texts follow each thread's UI language); on the host it
// picks the column of the table.
void SetMessageLanguage(uint16_t languageId);

}  // namespace platform
