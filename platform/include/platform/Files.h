// Files and folders, opened per operation with read and write sharing (so readers never block writers).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Types.h"

namespace platform {

// Paths are UTF-16 with the platform's separator rules ('\' on Windows; the host accepts '\' and '/').
bool FileExists(std::u16string_view path);  // a file or a folder
bool IsDirectory(std::u16string_view path);
bool CreateOneDirectory(std::u16string_view path);  // one level; true if it exists afterwards
bool DeleteOneFile(std::u16string_view path);

// Appends the bytes, creating the file if missing. Returns false (and sets the last error) if the file
// cannot be opened or written.
bool AppendToFile(std::u16string_view path, const void* data, std::size_t size);
// Creates the file only if it does not exist; `created` tells whether this call created it.
bool CreateFileIfMissing(std::u16string_view path, bool& created);
// Replaces the file's content as one step: the bytes go to a temporary file beside it, which then takes
// its place, so a crash in between leaves either the old or the new content, never neither.
bool ReplaceFileContent(std::u16string_view path, const void* data, std::size_t size);
// Reads the whole file. False if it cannot be opened.
bool ReadWholeFile(std::u16string_view path, std::string& bytes);

// Copies a file, replacing the target if it exists (the copy streams; nothing is held whole).
bool CopyOneFile(std::u16string_view from, std::u16string_view to);
// Names (without folder) of the files in `folder` whose name matches `pattern`, a name with at most one
// "*" ("*.dmp"), in the order the system lists them. False when the folder cannot be listed.
bool FindFileNames(std::u16string_view folder, std::u16string_view pattern, std::vector<std::u16string>& names);

// The error of the last failed call above (a Windows error number on both platforms) and its text.
uint32_t LastFileError();
std::u16string ErrorText(uint32_t error);

// The user's roaming application-data folder (CSIDL_APPDATA on Windows; $XDG_DATA_HOME or
// ~/.local/share on the host). Empty when it cannot be found.
std::u16string RoamingAppDataFolder();

// The path separator of this platform.
constexpr char16_t kPathSeparator =
#ifdef _WIN32
    u'\\';
#else
    u'/';
#endif

}  // namespace platform
