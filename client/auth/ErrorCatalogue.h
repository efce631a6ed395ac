// The service's error catalogue: code -> English and Chinese text, downloaded by version, cached in the
// settings, and turned into the one-line user text "code text" of an error answer. One process-wide
// catalogue behind one lock: the sign-in worker, the account workers and the connect worker all read it,
// and whichever meets a newer version updates it.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace velora {

inline constexpr std::u16string_view kErrorCataloguePath = u"s/mobile/error/resource/url";

// Makes the catalogue available for this auth URL: memory, else the settings cache (same region and
// language), else a download.
void loadErrorCatalogue(std::u16string_view path, std::u16string_view authUrl);

// Downloads the catalogue that an answer names ("errorResourceVersion", "errorResourceDownloadUrl")
// unless that version is the one in memory.
void updateErrorCatalogue(std::u16string_view answer);

// "code text" for an error answer, or empty text.
std::u16string serverErrorText(std::u16string_view answer);

// The catalogue text parser on its own: entries "{...}," one after another; the first entry of a code
// wins. Never fails; malformed pieces are skipped.
void ParseErrorCatalogue(std::u16string_view text, std::map<int32_t, std::u16string>& english,
                         std::map<int32_t, std::u16string>& chinese);

// Tests: forget the catalogue in memory (the settings cache stays).
void ResetErrorCatalogueForTest();
std::u16string ErrorCatalogueVersionForTest();

}  // namespace velora
